// Splitting an argument string the way a Windows program splits its command line.
#include "platform/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace skelmar {
namespace {

using Args = std::vector<std::string>;

TEST(SplitCommandLine, Table) {
  struct Case {
    const char* input;
    Args expected;
  };
  const Case cases[] = {
      {"", {}},
      {"   \t ", {}},
      {"a b c", {"a", "b", "c"}},
      {"  a\t  b  ", {"a", "b"}},
      // Documented reference examples of the Windows rules.
      {R"("abc" d e)", {"abc", "d", "e"}},
      {R"(a\\\b d"e f"g h)", {R"(a\\\b)", "de fg", "h"}},
      {R"(a\\\"b c d)", {R"(a\"b)", "c", "d"}},
      {R"(a\\\\"b c" d e)", {R"(a\\b c)", "d", "e"}},
      // Quotes group and may start or end inside a word.
      {R"("a b" c)", {"a b", "c"}},
      {R"(x"y z"w)", {"xy zw"}},
      {R"("")", {""}},
      {R"("" "")", {"", ""}},
      {R"(a"" b)", {"a", "b"}},
      {R"("unterminated a  b)", {"unterminated a  b"}},
      // Backslashes: literal unless a quote follows.
      {R"(a\b)", {R"(a\b)"}},
      {R"(a\\b)", {R"(a\\b)"}},
      {R"(\"a\")", {R"("a")"}},
      {R"("\\")", {R"(\)"}},
      {R"(tail\\)", {R"(tail\\)"}},
      {R"(\\\\"a b"\\)", {R"(\\a b\\)"}},
      // Everything else is plain text, newlines included.
      {"a\nb c", {"a\nb", "c"}},
      {"; $(rm -rf x) `id` | & > <", {";", "$(rm", "-rf", "x)", "`id`", "|", "&", ">", "<"}},
      {"'single quoted'", {"'single", "quoted'"}},
  };
  for (const Case& c : cases) EXPECT_EQ(SplitCommandLine(c.input), c.expected) << c.input;
  EXPECT_TRUE(SplitCommandLine(nullptr).empty());
}

}  // namespace
}  // namespace skelmar
