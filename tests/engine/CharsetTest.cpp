#include "engine/Charset.h"

#include <gtest/gtest.h>

#include <tuple>

namespace meldrix {
namespace {

TEST(Charset, NoneDin66003AndIbmPc) {
  std::string all;
  for (int c = 0; c < 256; ++c) all.push_back(static_cast<char>(c));
  const std::tuple<std::string, int, std::string> rows[] = {  // text, setting, converted
      {all, 0, all}, {all, 7, all},  // unknown setting: no conversion
      {"Stra~e", 2, "Stra\xDF" "e"}, {"Stra}e", 2, "Stra\xFC" "e"}, {"{", 2, "\xE4"},
      {"[\\]`{|}~", 2, "\xC4\xD6\xDC\xA7\xE4\xF6\xFC\xDF"},
      // Control bytes and the upper half become "~"; the "~" itself is ß.
      {std::string("A\x07\x80\xFF" "Z", 5), 2, "A~~~Z"}, {"Halle 2: Feuer!", 2, "Halle 2: Feuer!"},
      {"\x81\x84\x94\xE1\x8E\x99\x9A", 1, "\xFC\xE4\xF6\xDF\xC4\xD6\xDC"},
      {"\xF8\xF1\xE6", 1, "\xB0\xB1\xB5"},  // degree, plus-minus, micro
      {"\xB3\xC4\xDA", 1, "\xA6-+"},        // box drawing
      {"\x80\xFF\x0D~", 1, "\xC7\xA0~~"},
  };
  for (const auto& [text, setting, converted] : rows)
    EXPECT_EQ(ConvertCharset(text, setting), converted) << setting << ": " << text.substr(0, 20);
}

}  // namespace
}  // namespace meldrix
