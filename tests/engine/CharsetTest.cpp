#include "engine/Charset.h"

#include <gtest/gtest.h>

namespace meldrix {
namespace {

TEST(Charset, NoneLeavesEveryByte) {
  std::string all;
  for (int c = 0; c < 256; ++c) all.push_back(static_cast<char>(c));
  EXPECT_EQ(ConvertCharset(all, 0), all);
  EXPECT_EQ(ConvertCharset(all, 7), all);  // unknown setting: no conversion
}

TEST(Charset, Din66003GermanLetters) {
  EXPECT_EQ(ConvertCharset("Stra~e", 2), "Stra\xDF" "e");
  EXPECT_EQ(ConvertCharset("Stra}e", 2), "Stra\xFC" "e");
  EXPECT_EQ(ConvertCharset("{", 2), "\xE4");
  EXPECT_EQ(ConvertCharset("[\\]`{|}~", 2), "\xC4\xD6\xDC\xA7\xE4\xF6\xFC\xDF");
  // Control bytes and the upper half become "~"; the "~" itself is ß.
  EXPECT_EQ(ConvertCharset(std::string("A\x07\x80\xFF" "Z", 5), 2), "A~~~Z");
  EXPECT_EQ(ConvertCharset("Halle 2: Feuer!", 2), "Halle 2: Feuer!");
}

TEST(Charset, IbmPcTable) {
  EXPECT_EQ(ConvertCharset("\x81\x84\x94\xE1\x8E\x99\x9A", 1), "\xFC\xE4\xF6\xDF\xC4\xD6\xDC");
  EXPECT_EQ(ConvertCharset("\xF8\xF1\xE6", 1), "\xB0\xB1\xB5");  // degree, plus-minus, micro
  EXPECT_EQ(ConvertCharset("\xB3\xC4\xDA", 1), "\xA6-+");        // box drawing
  EXPECT_EQ(IbmPcToAnsi(0x80), 0xC7);
  EXPECT_EQ(IbmPcToAnsi(0xFF), 0xA0);
  EXPECT_EQ(IbmPcToAnsi(0x0D), '~');
  EXPECT_EQ(IbmPcToAnsi('~'), '~');
}

}  // namespace
}  // namespace meldrix
