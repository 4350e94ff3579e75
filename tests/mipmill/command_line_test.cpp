#include "mipmill/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/platform.h"

namespace {

struct ParseCase {
  const char* label;
  const char* line;
  int level_request;
  const char* file_name;
};

void PrintTo(const ParseCase& c, std::ostream* out) { *out << c.label; }

class ParseEncoderCommandLineTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseEncoderCommandLineTest, GivesRequestAndName) {
  const ParseCase& c = GetParam();
  const mipmill::EncoderCommand command = mipmill::ParseEncoderCommandLine(c.line);
  EXPECT_EQ(command.level_request, c.level_request);
  EXPECT_EQ(command.file_name, c.file_name);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ParseEncoderCommandLineTest,
    ::testing::Values(
        ParseCase{"program_only", "mipmill.exe", 0, ""}, ParseCase{"trailing_space", "mipmill.exe ", 0, ""},
        ParseCase{"file", "mipmill.exe car.tga", 0, "car.tga"},
        ParseCase{"option_then_file", "mipmill.exe -5 car.tga", 5, "car.tga"},
        ParseCase{"quoted_program_and_file", "\"C:\\My Tools\\mipmill.exe\" -9 \"D:\\My Cars\\car.tga\"", 9,
                  "D:\\My Cars\\car.tga"},
        // A dash inside a quoted name belongs to the name: the usual call from
        // the batch converter for a car-5.tga keeps its file.
        ParseCase{"dash_inside_quoted_name", "\"C:\\My Tools\\mipmill.exe\" -5 \"D:\\My Cars\\car-5.tga\"", 5,
                  "D:\\My Cars\\car-5.tga"},
        ParseCase{"quoted_name_with_dash_only", "mipmill.exe \"my-car.tga\"", 0, "my-car.tga"},
        // A quote that never closes swallows the rest of the line.
        ParseCase{"unclosed_quote", "\"C:\\My Tools\\mipmill.exe -5 car.tga", 0, ""},
        // Outside quotes the dash is an option wherever it stands, and takes two characters with it.
        ParseCase{"dash_inside_name", "mipmill.exe my-car.tga", 51, "myr.tga"},
        ParseCase{"two_digit_option", "mipmill.exe -12 car.tga", 1, " car.tga"},
        ParseCase{"letter_option", "mipmill.exe -a car.tga", 49, "car.tga"},
        ParseCase{"zero_option", "mipmill.exe -0 car.tga", 0, "car.tga"},
        ParseCase{"option_after_file", "mipmill.exe car.tga -5", 5, "car.tga "},
        ParseCase{"dash_at_end", "mipmill.exe car.tga -", -48, "car.tga "},
        // Character codes are read as unsigned bytes.
        ParseCase{"high_byte_option", "mipmill.exe -\xE9 car.tga", 0xE9 - '0', "car.tga"},
        // One character after the program part is not enough for a name; two are.
        ParseCase{"one_character", "mipmill.exe x", 0, ""},
        ParseCase{"two_characters", "mipmill.exe xy", 0, "xy"},
        ParseCase{"two_spaces", "mipmill.exe  car.tga", 0, " car.tga"}));

TEST(ParseEncoderCommandLine, ParsesTheLineRebuiltFromArguments) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows hands over the process's own command line; argv is not rebuilt";
#endif
  std::string program = "/opt/My Tools/mipmill";
  std::string option = "-7";
  std::string file = "/data/My Cars/car.tga";
  std::vector<char*> argv{program.data(), option.data(), file.data()};
  const mipmill::EncoderCommand command =
      mipmill::ParseEncoderCommandLine(platform::RawCommandLine(static_cast<int>(argv.size()), argv.data()));
  EXPECT_EQ(command.level_request, 7);
  EXPECT_EQ(command.file_name, file);
}

}  // namespace
