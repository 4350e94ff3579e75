#include "alphawed/command_line.h"

#include <gtest/gtest.h>

namespace alphawed {
namespace {

struct SplitCase {
  const char* line;
  std::vector<std::string> words;
};

TEST(SplitCommandLine, SplitsAsTheToolExpects) {
  const SplitCase cases[] = {
      {"alphawed a.bmp b.bmp c.tga", {"alphawed", "a.bmp", "b.bmp", "c.tga"}},
      {"  alphawed   a.bmp  ", {"alphawed", "a.bmp"}},
      {"\"C:\\Program Files\\alphawed.exe\" \"C:\\my pics\\a.bmp\" \"No alpha image\" out.tga",
       {"C:\\Program Files\\alphawed.exe", "C:\\my pics\\a.bmp", "No alpha image", "out.tga"}},
      // Only a word that begins with a quote is quoted; quotes inside a word stay.
      {"p a\"b c\"", {"p", "a\"b", "c\""}},
      // The closing quote ends the word; what follows starts the next one.
      {"p \"a b\"c", {"p", "a b", "c"}},
      {"p \"\" x", {"p", "", "x"}},
      {"p \"open to the end", {"p", "open to the end"}},
      // Tabs and backslashes are ordinary characters.
      {"p a\tb \\\"x", {"p", "a\tb", "\\\"x"}},
      {"", {}},
  };
  for (const SplitCase& c : cases) {
    EXPECT_EQ(SplitCommandLine(c.line), c.words) << c.line;
  }
}

TEST(ParseArguments, TakesThreeWordsAfterTheProgram) {
  const Arguments full = ParseArguments("alphawed a.bmp \"No alpha image\" c.tga extra words");
  EXPECT_EQ(full.colour_bmp, "a.bmp");
  EXPECT_EQ(full.alpha_bmp, "No alpha image");
  EXPECT_EQ(full.tga_name, "c.tga");
  EXPECT_FALSE(full.HasAlphaBitmap());

  const Arguments short_line = ParseArguments("alphawed a.bmp");
  EXPECT_EQ(short_line.colour_bmp, "a.bmp");
  EXPECT_EQ(short_line.alpha_bmp, "");
  EXPECT_EQ(short_line.tga_name, "");
  EXPECT_TRUE(short_line.HasAlphaBitmap());
}

TEST(ParseArguments, OnlyTheExactMarkerMeansNoAlpha) {
  for (const char* alpha : {"No Alpha Image", "no alpha image", "No alpha image ", " No alpha image",
                            "C:\\x\\No alpha image", "/x/No alpha image", "No alpha imag"}) {
    Arguments arguments;
    arguments.alpha_bmp = alpha;
    EXPECT_TRUE(arguments.HasAlphaBitmap()) << alpha;
  }
  // Unquoted, the marker falls apart into three words.
  const Arguments unquoted = ParseArguments("alphawed a.bmp No alpha image");
  EXPECT_EQ(unquoted.alpha_bmp, "No");
  EXPECT_EQ(unquoted.tga_name, "alpha");
}

}  // namespace
}  // namespace alphawed
