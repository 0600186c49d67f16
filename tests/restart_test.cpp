// Restart data writer: header record and node records on unit 8.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "e2e_support.h"
#include "recordio/recordio.h"
#include "writers/writers.h"

namespace {

// The records of a memory unit, each checked to end in CR LF.
std::vector<std::string> RECORDS(std::string_view bytes) {
  std::vector<std::string> lines;
  while (!bytes.empty()) {
    const auto end = bytes.find("\r\n");
    EXPECT_NE(end, std::string_view::npos) << "record without CR LF";
    if (end == std::string_view::npos) break;
    lines.emplace_back(bytes.substr(0, end));
    bytes.remove_prefix(end + 2);
  }
  return lines;
}

struct NODES {
  std::vector<std::int32_t> NFLAG, NCODE;
  std::vector<double> X, Y, H, Q, NPAR1, NPAR2;
};

void WRITE(const NODES& N, std::int32_t ISTEP, double TIME) {
  WRITE_RESTART(N.NFLAG, N.X, N.Y, N.H, N.Q, N.NCODE, N.NPAR1, N.NPAR2,
                static_cast<std::int32_t>(N.X.size()), ISTEP, TIME);
}

}  // namespace

TEST(Restart, HeaderThenOneRecordPerNode) {
  OUTPUT& O = CONNECT_MEMORY_UNIT(8);
  NODES N;
  N.NFLAG = {0, 123456, -12345};
  N.NCODE = {1, -1, 99999};
  N.X = {10.0, -0.001, 1.09375};
  N.Y = {-2.5, 123456.0, -9.99994};
  N.H = {12.25, 9.99996, 1.0E100};
  N.Q = {0.0, 1.03125, -1.0E-100};
  N.NPAR1 = {1.0, -0.0, 0.5};
  N.NPAR2 = {0.001, 1.0E-120, 123.45};
  WRITE(N, 5, 3600.0);

  const std::vector<std::string> EXPECTED{
      "  LA,TIME            5   3600.00000000000     ",
      "    1,    0,    1,  1.0000E+01, -2.5000E+00,  1.2250E+01,  0.0000E+00,  1.0000E+00,"
      "  1.0000E-03",
      // Integers too wide for I5 are asterisks; 9.99996 carries into the
      // exponent; a three-digit exponent drops the letter E.
      "    2,*****,   -1, -1.0000E-03,  1.2346E+05,  1.0000E+01,  1.0312E+00,  0.0000E+00,"
      "  1.0000-120",
      "    3,*****,99999,  1.0938E+00, -9.9999E+00,  1.0000+100, -1.0000-100,  5.0000E-01,"
      "  1.2345E+02"};
  EXPECT_EQ(RECORDS(O.MEMORY), EXPECTED);
}

TEST(Restart, BlocksFollowEachOtherWithoutSeparator) {
  OUTPUT& O = CONNECT_MEMORY_UNIT(8);
  NODES N;
  N.NFLAG = {7};
  N.NCODE = {0};
  N.X = {1.0};
  N.Y = {2.0};
  N.H = {3.0};
  N.Q = {4.0};
  N.NPAR1 = {5.0};
  N.NPAR2 = {6.0};
  WRITE(N, -3, 0.25);
  WRITE(N, 123, 1.0E20);

  // No nodes: the header alone.
  NODES NONE;
  WRITE(NONE, 0, 0.0);

  const std::string NODE = "    1,    7,    0,  1.0000E+00,  2.0000E+00,  3.0000E+00,  4.0000E+00,"
                           "  5.0000E+00,  6.0000E+00";
  const std::vector<std::string> EXPECTED{
      "  LA,TIME           -3  0.250000000000000     ",
      NODE,
      "  LA,TIME          123  1.000000000000000E+020",
      NODE,
      "  LA,TIME            0  0.000000000000000E+000"};
  EXPECT_EQ(RECORDS(O.MEMORY), EXPECTED);
}

// Whole runs: menu choice 1 with piped answers.
TEST(RestartRun, EveryStepAndTheFinalStep) {
  const std::string MODEL = e2e::MODEL_PART("RESTART", {{0.0, 0.0, 1.0, 0.0, 1}, {10.0, 0.0, 0.0, 0.0, 0}},
                                            {{{1, 2, 0, 0, 1}, 0.0}});
  const std::string STEPS = e2e::STEP(1, 60.0, {{0, 5.0, 0.0}, {1, 4.5, 0.0}}, {{0.5, 0.0}}) +
                            e2e::STEP(2, 120.0, {{0, 6.0, 0.0}, {1, 5.5, 0.25}}, {{0.25, -0.125}});
  const std::string STEP_1 =
      "  LA,TIME            1   60.0000000000000     \r\n"
      "    1,    0,    1,  0.0000E+00,  0.0000E+00,  5.0000E+00,  0.0000E+00,  1.0000E+00,"
      "  0.0000E+00\r\n"
      "    2,    1,    0,  1.0000E+01,  0.0000E+00,  4.5000E+00,  0.0000E+00,  0.0000E+00,"
      "  0.0000E+00\r\n";
  const std::string STEP_2 =
      "  LA,TIME            2   120.000000000000     \r\n"
      "    1,    0,    1,  0.0000E+00,  0.0000E+00,  6.0000E+00,  0.0000E+00,  1.0000E+00,"
      "  0.0000E+00\r\n"
      "    2,    1,    0,  1.0000E+01,  0.0000E+00,  5.5000E+00,  2.5000E-01,  0.0000E+00,"
      "  0.0000E+00\r\n";

  e2e::SCRATCH S;
  S.WRITE("WORK.LST", e2e::WORK_LIST("result.bin"));
  S.WRITE("result.bin", MODEL + STEPS);
  // An existing longer file is cut to what the run writes.
  S.WRITE("restart.dat", std::string(5000, 'x'));
  e2e::RUN R = S.CONVERT(e2e::ANSWERS(1, "restart.dat", -1));
  EXPECT_EQ(R.STATUS, 0) << R.ERR;
  EXPECT_EQ(S.READ("restart.dat"), STEP_1 + STEP_2);

  R = S.CONVERT(e2e::ANSWERS(1, "final.dat", 0));
  EXPECT_EQ(R.STATUS, 0) << R.ERR;
  EXPECT_EQ(S.READ("final.dat"), STEP_2);

  // No step selected: the existing file keeps its contents.
  R = S.CONVERT(e2e::ANSWERS(1, "restart.dat", 7));
  EXPECT_EQ(R.STATUS, 0) << R.ERR;
  EXPECT_EQ(S.READ("restart.dat"), STEP_1 + STEP_2);
}
