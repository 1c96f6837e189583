#include <gtest/gtest.h>

#include "platform/Env.h"
#include "ExprTestSupport.h"

namespace meldrix {
namespace {

TEST(ExpandText, BlocksAreReplacedByTheirValues) {
  CDataValueStorage store(false);
  store.Set("$MESSAGE", "Feuer Halle 3");
  EXPECT_EQ(ExpandText("Alarm: {{ $MESSAGE }} ({{ LEN($MESSAGE) }})", store),
            "Alarm: Feuer Halle 3 (13)");
  EXPECT_EQ(ExpandText("no blocks", store), "no blocks");
  EXPECT_EQ(ExpandText("a{{}}b", store), "ab");
  std::string value;
  EXPECT_FALSE(store.Get("$ERROR", value));
}

TEST(ExpandText, FailedBlocksBecomeEmptyAndSetError) {
  CDataValueStorage store(false);
  EXPECT_EQ(ExpandText("[{{ }}]", store), "[]");
  std::string value;
  ASSERT_TRUE(store.Get("$ERROR", value));
  EXPECT_EQ(value, "Syntaxfehler @1");
  // A later good block does not hide the failure of an earlier one.
  EXPECT_EQ(ExpandText("{{1 +}}{{2}}", store), "2");
  ASSERT_TRUE(store.Get("$ERROR", value));
  EXPECT_EQ(value, "Syntaxfehler @3");
  EXPECT_EQ(ExpandText("{{2}}", store), "2");
  EXPECT_FALSE(store.Get("$ERROR", value));
}

TEST(ExpandText, NestingAndResultsThatLookLikeBlocks) {
  CDataValueStorage store(false);
  // The inner pair does not end the block.
  EXPECT_EQ(ExpandText("{{ LEN('{{x}}') }}", store), "5");
  // A result is never expanded again.
  EXPECT_EQ(ExpandText("{{ '{{1+1}}' }}!", store), "{{1+1}}!");
  // A block without its end stays as it is, and so does the rest.
  EXPECT_EQ(ExpandText("{{1}} {{ 2 {{3}}", store), "1 {{ 2 {{3}}");
  EXPECT_EQ(ExpandText("{{", store), "{{");
  EXPECT_EQ(ExpandText("}}{{1}}}}", store), "}}1}}");
}

TEST(ExpandText, HtmlOption) {
  CDataValueStorage store(false);
  store.Set("t", "a<b\r\nc");
  EXPECT_EQ(ExpandText("<p>{{ t }}</p>", store, true), "<p>a&lt;b<br>\r\nc</p>");
  EXPECT_EQ(ExpandText("{{ '&lt;' }}", store, true), "&lt;");
  EXPECT_EQ(ExpandText("{{ LEN('&auml;') }}", store, true), "1");
  store.Set("tab", "x\ty");
  EXPECT_EQ(ExpandText("{{ tab }}", store, true), "<tr><td>x</td><td>y</td></tr>");
}

TEST(ExpandText, CheckTextGivesThePositionInTheWholeText) {
  auto ui = std::make_shared<test::RecordingUi>();
  ScopedEnv env(Env{.ui = ui});
  CDataValueStorage store(false);
  EXPECT_EQ(CheckText("ok {{ 1 + 2 }} and {{ 'x' }}", store), 0);
  EXPECT_EQ(CheckText("abc {{1 +}}", store), 4 + 2 + 3);
  EXPECT_EQ(CheckText("{{ }}", store), 3);
  EXPECT_EQ(CheckExpression(" ", store), 1);
  // A check evaluates nothing.
  EXPECT_EQ(CheckText("{{ x := 1 }}", store), 0);
  std::string value;
  EXPECT_FALSE(store.Get("x", value));
  EXPECT_EQ(ui->shown.size(), 3u);
}

}  // namespace
}  // namespace meldrix
