// Restart data writer: a header record, then one record per node, block after block.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e_support.h"
#include "recordio/recordio.h"
#include "writers/writers.h"

using namespace KOVA;

TEST(Restart, HeaderAndNodeRecordsBlockAfterBlock) {
  OUTPUT& O = CONNECT_MEMORY_UNIT(8);
  // Node 1 is the worked example. Node 2: an integer too wide for I5 is
  // asterisks, 9.99996 carries into the exponent, -0 has no sign, and a
  // three-digit exponent drops the letter E.
  const std::vector<std::int32_t> NFLAG{0, 123456}, NCODE{1, -12345};
  const std::vector<double> X{10.0, -0.001}, Y{-2.5, 123456.0}, H{12.25, 9.99996},
      Q{0.0, -1.0E100}, NPAR1{1.0, -0.0}, NPAR2{0.001, 1.0E-120};
  WRITE_RESTART(NFLAG, X, Y, H, Q, NCODE, NPAR1, NPAR2, 2, 5, 3600.0);
  WRITE_RESTART(NFLAG, X, Y, H, Q, NCODE, NPAR1, NPAR2, 1, 123, 1.0E20);
  WRITE_RESTART(NFLAG, X, Y, H, Q, NCODE, NPAR1, NPAR2, 0, -3, 0.25);  // header alone

  const std::string NODE_1 = "    1,    0,    1,  1.0000E+01, -2.5000E+00,  1.2250E+01,"
                             "  0.0000E+00,  1.0000E+00,  1.0000E-03\r\n";
  EXPECT_EQ(O.MEMORY, "  LA,TIME            5   3600.00000000000     \r\n" + NODE_1 +
                          "    2,*****,*****, -1.0000E-03,  1.2346E+05,  1.0000E+01,"
                          " -1.0000+100,  0.0000E+00,  1.0000-120\r\n"
                          "  LA,TIME          123  1.000000000000000E+020\r\n" + NODE_1 +
                          "  LA,TIME           -3  0.250000000000000     \r\n");
}

// A whole run, menu choice 1, every step: one block per step in file order.
TEST(RestartRun, EveryStepInFileOrder) {
  e2e::SCRATCH S;
  S.RESULT(e2e::MODEL_PART("R", {{10.0, 0.0, 1.0, 0.0, 1}}, {{{1, 0, 0, 0, 1}, 0.0}}) +
                            e2e::STEP(1, 60.0, {{0, 5.0, 0.0}}, {{0.5, 0.0}}) +
                            e2e::STEP(7, 120.0, {{-1, 5.5, 0.25}}, {{0.25, -0.125}}));
  const e2e::RUN R = S.CONVERT(e2e::ANSWERS(1, "restart.dat", -1));
  EXPECT_EQ(R.STATUS, 0) << R.ERR;
  EXPECT_EQ(S.READ("restart.dat"),
            "  LA,TIME            1   60.0000000000000     \r\n"
            "    1,    0,    1,  1.0000E+01,  0.0000E+00,  5.0000E+00,  0.0000E+00,  1.0000E+00,"
            "  0.0000E+00\r\n"
            "  LA,TIME            7   120.000000000000     \r\n"
            "    1,   -1,    1,  1.0000E+01,  0.0000E+00,  5.5000E+00,  2.5000E-01,  1.0000E+00,"
            "  0.0000E+00\r\n");
}
