// Text input: list-directed integer answers and 20-character line reads.
#include <gtest/gtest.h>

#include "tests/probe/probe_support.h"

namespace {

TEST(TextInput, EveryAnswerForm) {
  // Each answer and the value the read gives: 77 before the first read, and a
  // null value or a slash keeps the value before. Reals are cut toward zero.
  const struct { std::string LINE; int VALUE; } answers[] = {
      {"/\n", 77},         {", 7\n", 77},        {"  12  \n", 12},     {"5,\n", 5},
      {"6/\n", 6},         {"3*4\n", 4},         {"4*\n", 4},          {"2*.T.\n", -1},
      {"1.9\n", 1},        {"-0.5\n", 0},        {"-2.7\n", -2},       {".5\n", 0},
      {"1E1\n", 10},       {"-1.5e+1\n", -15},   {"12.5D1\n", 125},    {"1q2\n", 100},
      {"0.000000000000000000000000000042E30\n", 42},                 {"\n\t \t\n8\n", 8},
      {"T\n", -1},         {".f.\n", 0},         {"true\n", -1},       {"3 4\n", 3},
      {"007\n", 7},        {"+12\n", 12},        {"-3\n", -3},         {"\t9\t,5\n", 9},
      {"21\r\n", 21},      {"2147483647\n", 2147483647},  {"-2147483648\n", -2147483647 - 1},
      // Values far longer than the input buffer, read a character at a time.
      {"2*" + std::string(5000, '0') + "9\n", 9},
      {"1" + std::string(6000, '0') + "E-6000\n", 1},
      {"-0." + std::string(9000, '0') + "5E9001\n", -5},
      {"6", 6},  // the last line has no line end
  };
  std::string input, script, expected;
  for (const auto& a : answers) {
    input += a.LINE;
    script += "int -4;";
    expected += "VALUE " + std::to_string(a.VALUE) + "\r\n";
  }
  e2e::SCRATCH S;
  // One read more than there are answers meets the end of the input.
  const e2e::RUN r = probe::RUN(S, script + "int -4", input);
  EXPECT_EQ(r.STDOUT, expected);
  EXPECT_EQ(r.ERR, e2e::SEVERE(24, -4, "CONIN$"));
  EXPECT_EQ(r.STATUS, e2e::REPORT_STATUS(24));
}

TEST(TextInput, MalformedAnswersEndTheRun) {
  const struct { std::string LINE; int REPORT; } answers[] = {
      {"x", 59},    {"12abc", 59}, {"1.2.3", 59}, {"1E2E3", 59}, {"+-3", 59}, {"1E+-3", 59},
      {"+", 59},    {".", 59},     {")", 59},     {"E5", 59},    {"0*5", 59}, {"*5", 59},
      {"1-2", 64},  {"1E", 64},    {"99999999999", 64},   {"2147483648", 64}, {"-2147483649", 64},
      {"3E9", 64},  {"-3e9", 64},  // real forms beyond 32 bits
      {"\t ", 24},  // blank lines are skipped up to the end of the input
      {"T" + std::string(5000, 'x') + "*5", 59}, {std::string(5000, '1'), 64},
  };
  e2e::SCRATCH S;
  for (const auto& [answer, report] : answers) {
    SCOPED_TRACE(answer.substr(0, 20));
    const e2e::RUN r = probe::RUN(S, "put -1 asked;int -4", answer + "\n");
    EXPECT_EQ(r.STDOUT, "asked\r\n");  // the console is written out before the report
    EXPECT_EQ(r.ERR, e2e::SEVERE(report, -4, "CONIN$"));
    EXPECT_EQ(r.STATUS, e2e::REPORT_STATUS(report));
  }
}

TEST(TextInput, CharacterReads) {
  e2e::SCRATCH S;
  S.WRITE("WORK.LST", "result.bin\nabcdefghijklmnopqrstuvwxy\n  lead\tx\r\n\nlast line no LF");
  const e2e::RUN r = probe::RUN(S, "open 98 WORK.LST old f;chars 98;chars 98;chars 98;chars 98;"
                                   "chars 98;chars 98");
  EXPECT_EQ(r.STDOUT, "[result.bin          ]\r\n[abcdefghijklmnopqrst] CUT\r\n[  lead\tx            ]\r\n"
                   "[                    ]\r\n[last line no LF     ]\r\n");
  EXPECT_EQ(r.ERR, e2e::SEVERE(24, 98, e2e::REPORTED_PATH(S, "WORK.LST")));
  EXPECT_EQ(r.STATUS, e2e::REPORT_STATUS(24));
  // A line far longer than one read-ahead: the read keeps 20 characters and
  // the next read starts on the next line.
  const std::string input = std::string(200000, 'a') + "b\n" + std::string(150000, ' ') + "5\n";
  const e2e::RUN console = probe::RUN(S, "chars -4;int -4", input);
  EXPECT_EQ(console.STDOUT, "[aaaaaaaaaaaaaaaaaaaa] CUT\r\nVALUE 5\r\n");
  EXPECT_EQ(console.STATUS, 0);
  // Only characters other than blanks after the twentieth cut the value; the
  // carriage return of a line end that falls across two buffer fills is none,
  // one that is not followed by the line feed is.
  // The first and third carriage returns are the last bytes of a 4 KiB read.
  const std::string twenty = "abcdefghijklmnopqrst";
  const e2e::RUN ends = probe::RUN(S, "chars -4;chars -4;chars -4",
                                   twenty + std::string(4075, ' ') + "\r\n" + twenty + "   \n" + twenty +
                                       std::string(4050, ' ') + "\r \n");
  EXPECT_EQ(ends.STDOUT, "[" + twenty + "]\r\n[" + twenty + "]\r\n[" + twenty + "] CUT\r\n");
}

}  // namespace
