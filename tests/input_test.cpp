// Text input: list-directed integer answers and 20-character line reads.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "tests/probe/probe_support.h"

namespace {

std::string REPORT_LINE(int report, std::string_view message, int unit, std::string_view file) {
  return "forrtl: severe (" + std::to_string(report) + "): " + std::string(message) + ", unit " +
         std::to_string(unit) + ", file " + std::string(file) + "\n";
}

TEST(TextInput, EveryAnswerForm) {
  // Each answer line and the value the read gives; the value before the
  // first read is 77, and a null value or a slash keeps the previous one.
  const std::vector<std::pair<std::string, std::string>> answers = {
      {"/\n", "VALUE 77"},           {", 7\n", "VALUE 77"},
      {"  12  \n", "VALUE 12"},      {"5,\n", "VALUE 5"},
      {"6/\n", "VALUE 6"},           {"3*4\n", "VALUE 4"},
      {"4*\n", "VALUE 4"},           {"1.9\n", "VALUE 1"},
      {"-0.5\n", "VALUE 0"},         {"\n\t \t\n8\n", "VALUE 8"},
      {"T\n", "VALUE -1"},           {".f.\n", "VALUE 0"},
      {"true\n", "VALUE -1"},        {"3 4\n", "VALUE 3"},
      {"007\n", "VALUE 7"},          {"+12\n", "VALUE 12"},
      {"-3\n", "VALUE -3"},          {"1E1\n", "VALUE 10"},
      {".5\n", "VALUE 0"},           {"-2.7\n", "VALUE -2"},
      {"12.5D1\n", "VALUE 125"},     {"1q2\n", "VALUE 100"},
      {"2147483647\n", "VALUE 2147483647"},
      {"-2147483648\n", "VALUE -2147483648"},
      {"\t9\t,5\n", "VALUE 9"},      {"21\r\n", "VALUE 21"},
      {"-1.5e+1\n", "VALUE -15"},    {"0.000000000000000000000000000042E30\n", "VALUE 42"},
      {"2*.T.\n", "VALUE -1"},       {"6", "VALUE 6"},
  };
  std::string input, script, expected;
  for (const auto& [line, value] : answers) {
    input += line;
    script += "int -4;";
    expected += value + "\r\n";
  }
  e2e::SCRATCH S;
  const e2e::RUN r = probe::RUN(S, script, input);
  EXPECT_EQ(r.OUT, expected);
  EXPECT_EQ(r.ERR, "");
  EXPECT_EQ(r.STATUS, 0);
}

TEST(TextInput, MalformedAnswersEndTheRun) {
  const std::string syntax = "list-directed I/O syntax error";
  const std::string conversion = "input conversion error";
  const std::vector<std::pair<std::string, int>> answers = {
      {"x", 59},          {"12abc", 59},      {"1.2.3", 59},      {"1E2E3", 59},
      {"+-3", 59},        {"1E+-3", 59},      {"+", 59},          {".", 59},
      {")", 59},          {"E5", 59},         {"0*5", 59},        {"*5", 59},
      {"99999999999", 64}, {"2147483648", 64}, {"-2147483649", 64}, {"1-2", 64},
      {"3E9", 64},        {"-3e9", 64},       {"1E", 64},
  };
  e2e::SCRATCH S;
  for (const auto& [answer, report] : answers) {
    SCOPED_TRACE(answer);
    const e2e::RUN r = probe::RUN(S, "put -1 asked;int -4", answer + "\n");
    // The prompt written before the read is out before the report.
    EXPECT_EQ(r.OUT, "asked\r\n");
    EXPECT_EQ(r.ERR, REPORT_LINE(report, report == 59 ? syntax : conversion, -4, "CONIN$"));
    EXPECT_EQ(r.STATUS, report);
  }
}

TEST(TextInput, EndOfInputEndsTheRun) {
  e2e::SCRATCH S;
  const std::string eof = REPORT_LINE(24, "end-of-file during read", -4, "CONIN$");
  for (const std::string input : {"", "\n  \n\t\n"}) {
    const e2e::RUN r = probe::RUN(S, "int -4", input);
    EXPECT_EQ(r.OUT, "");
    EXPECT_EQ(r.ERR, eof);
    EXPECT_EQ(r.STATUS, 24);
  }
  const e2e::RUN twice = probe::RUN(S, "int -4;int -4", "2\n");
  EXPECT_EQ(twice.OUT, "VALUE 2\r\n");
  EXPECT_EQ(twice.ERR, eof);
  EXPECT_EQ(twice.STATUS, 24);
}

TEST(TextInput, CharacterReadsOfTheWorkList) {
  e2e::SCRATCH S;
  S.WRITE("WORK.LST",
          "result.bin\n"
          "abcdefghijklmnopqrstuvwxy\n"
          "  lead\tx\r\n"
          "\n"
          "last line no LF");
  const e2e::RUN r = probe::RUN(S, "open 98 WORK.LST old f;chars 98;chars 98;chars 98;chars 98;"
                                   "chars 98;chars 98");
  EXPECT_EQ(r.OUT,
            "[result.bin          ]\r\n"
            "[abcdefghijklmnopqrst]\r\n"
            "[  lead\tx            ]\r\n"
            "[                    ]\r\n"
            "[last line no LF     ]\r\n");
  EXPECT_EQ(r.ERR, REPORT_LINE(24, "end-of-file during read", 98, e2e::REPORTED_PATH(S, "WORK.LST")));
  EXPECT_EQ(r.STATUS, 24);
}

TEST(TextInput, LongLinesAndMixedReadsOnTheConsole) {
  // A line far longer than one read-ahead, then an answer behind it: the
  // character read keeps 20 characters and the next read starts a new line.
  e2e::SCRATCH S;
  const std::string input = std::string(200000, 'a') + "b\n" + std::string(150000, ' ') + "5\n";
  const e2e::RUN r = probe::RUN(S, "chars -4;int -4", input);
  EXPECT_EQ(r.OUT, "[aaaaaaaaaaaaaaaaaaaa]\r\nVALUE 5\r\n");
  EXPECT_EQ(r.ERR, "");
  EXPECT_EQ(r.STATUS, 0);
}

}  // namespace
