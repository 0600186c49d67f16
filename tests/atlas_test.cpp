// ATLAS mesh (unit 21) and result (unit 22) writers.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "e2e_support.h"
#include "recordio/recordio.h"
#include "writers/writers.h"

namespace {

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

TITLE_TEXT MAKE_TITLE(std::string_view text) {
  TITLE_TEXT t;
  t.fill(' ');
  std::copy(text.begin(), text.end(), t.begin());
  return t;
}

// IX column by column, columns MAXN long; ROWS lists corners 1-4 and the attribute.
std::vector<std::int32_t> MAKE_IX(std::int32_t MAXN,
                                  const std::vector<std::array<std::int32_t, 5>>& ROWS) {
  std::vector<std::int32_t> ix(5 * static_cast<std::size_t>(MAXN), 0);
  for (std::size_t e = 0; e < ROWS.size(); ++e) {
    for (std::size_t j = 0; j < 5; ++j) ix[j * static_cast<std::size_t>(MAXN) + e] = ROWS[e][j];
  }
  return ix;
}

}  // namespace

TEST(AtlasMesh, TitleNodesAndElementShapes) {
  OUTPUT& O = CONNECT_MEMORY_UNIT(21);
  const TITLE_TEXT TITLE = MAKE_TITLE("SLOPE SEEPAGE 2");
  const std::vector<double> X{10.0, 0.1, -0.5};
  const std::vector<double> Y{-2.5, 123456.789, 1.0E100};
  // Columns longer than the element count: corners are found by MAXN.
  const std::int32_t MAXN = 7;
  const auto IX = MAKE_IX(MAXN, {{11, 12, 18, 17, 2},   // quadrilateral
                                 {12, 13, 18, 18, 2},   // triangle, third corner repeated
                                 {12, 13, 18, 0, 0},    // triangle, no fourth corner
                                 {1, 2, 3, 4, -7},      // negative attribute
                                 {1, 2, 0, 0, 1}});     // two corners only
  WRITE_ATLAS_MESH(TITLE, 3, X, Y, 5, IX, MAXN);

  const std::vector<std::string> EXPECTED{
      "TITLE",
      "FEM ANALISYS",
      "STITLE",
      "SLOPE SEEPAGE 2" + std::string(65, ' '),
      "GRID    (I6,3E12.0)",
      "     10.100000E+02-.250000E+010.000000E+00",
      "     20.100000E+000.123457E+060.000000E+00",
      "     3-.500000E+000.100000+1010.000000E+00",
      "-1",
      "CONC          (8I6)",
      "     1   204     2    11    12    18    17     2",
      "     2   203     2    12    13    18     2",
      "     3   203     0    12    13    18     0",
      "     4   204   100     1     2     3     4   100",
      "     5   203     1     1     2     0     1",
      "-1"};
  EXPECT_EQ(RECORDS(O.MEMORY), EXPECTED);
}

TEST(AtlasMesh, NoNodesAndNoElements) {
  OUTPUT& O = CONNECT_MEMORY_UNIT(21);
  const TITLE_TEXT TITLE = MAKE_TITLE("");
  const std::vector<double> NONE(1, 0.0);
  const auto IX = MAKE_IX(1, {});
  WRITE_ATLAS_MESH(TITLE, 0, NONE, NONE, 0, IX, 1);

  const std::vector<std::string> EXPECTED{
      "TITLE", "FEM ANALISYS", "STITLE", std::string(80, ' '), "GRID    (I6,3E12.0)",
      "-1",    "CONC          (8I6)", "-1"};
  EXPECT_EQ(RECORDS(O.MEMORY), EXPECTED);
}

TEST(AtlasResult, BlockOfThreeNodesAndTwoElements) {
  OUTPUT& O = CONNECT_MEMORY_UNIT(22);
  const std::vector<double> H{10.0, -2.5, 0.0};
  const std::vector<double> VX{1.0E-5, 0.0};
  const std::vector<double> VY{-3.0, 123.4567};
  WRITE_ATLAS_RESULT(3, H, VX, VY, 3, 2, 7200.0, 20000);

  const std::vector<std::string> EXPECTED{
      "VERSION",
      "950400",
      "PSIZ",
      "       0         1         3         0         0         0         0         0",
      "       0         0         0         0         0         0         0         0",
      "STEP",
      "       3         1         7200.",
      "GVAL",
      "       1",
      "0.100000E+02",
      "       2",
      "-.250000E+01",
      "       3",
      "0.000000E+00",
      "-1",
      "EVAL",
      "       1",
      "0.100000E-04 -.300000E+01",
      "       2",
      "0.000000E+00 0.123457E+03",
      "-1"};
  EXPECT_EQ(RECORDS(O.MEMORY), EXPECTED);
}

TEST(AtlasResult, StepLineHoldsReadCountAndWholeTime) {
  OUTPUT& O = CONNECT_MEMORY_UNIT(22);
  const std::vector<double> NONE(1, 0.0);
  // Times round to a whole number, halfway cases to the even one.
  WRITE_ATLAS_RESULT(1, NONE, NONE, NONE, 0, 0, 0.25, 20000);
  WRITE_ATLAS_RESULT(2, NONE, NONE, NONE, 0, 0, 2.5, 20000);
  WRITE_ATLAS_RESULT(17, NONE, NONE, NONE, 0, 0, 3.5, 20000);
  WRITE_ATLAS_RESULT(20000, NONE, NONE, NONE, 0, 0, 1.0E11, 20000);

  const std::vector<std::string> LINES = RECORDS(O.MEMORY);
  // Each empty block: VERSION, 950400, PSIZ, two size lines, STEP, the step
  // line, GVAL, -1, EVAL, -1.
  ASSERT_EQ(LINES.size(), 4U * 11U);
  EXPECT_EQ(LINES[6], "       1         1            0.");
  EXPECT_EQ(LINES[11], "VERSION");
  EXPECT_EQ(LINES[17], "       2         1            2.");
  EXPECT_EQ(LINES[28], "      17         1            4.");
  EXPECT_EQ(LINES[39], "   20000         1  ************");
  EXPECT_EQ(LINES[40], "GVAL");
  EXPECT_EQ(LINES[41], "-1");
  EXPECT_EQ(LINES[42], "EVAL");
  EXPECT_EQ(LINES[43], "-1");
}

// Whole runs: menu choice 3 with piped answers.
namespace {

std::string ATLAS_RESULT_FILE() {
  return e2e::MODEL_PART("ATLAS RUN", {{0.0, 0.0, 0.0, 0.0, 0}, {10.0, 0.0, 0.0, 0.0, 0}},
                         {{{1, 2, 0, 0, 1}, 0.0}}) +
         e2e::STEP(5, 60.0, {{0, 5.0, 0.0}, {0, 4.5, 0.0}}, {{0.5, 0.0}}) +
         e2e::STEP(9, 120.0, {{0, 6.0, 0.0}, {0, 5.5, 0.0}}, {{0.25, -0.125}});
}

const std::string MESH =
    "TITLE\r\nFEM ANALISYS\r\nSTITLE\r\n"
    "ATLAS RUN" + std::string(71, ' ') + "\r\n"
    "GRID    (I6,3E12.0)\r\n"
    "     10.000000E+000.000000E+000.000000E+00\r\n"
    "     20.100000E+020.000000E+000.000000E+00\r\n"
    "-1\r\n"
    "CONC          (8I6)\r\n"
    "     1   203     1     1     2     0     1\r\n"
    "-1\r\n";

// The block of the second step in the file: the step field holds 2, not 9.
const std::string SECOND_BLOCK =
    "VERSION\r\n950400\r\nPSIZ\r\n"
    "       0         1         3         0         0         0         0         0\r\n"
    "       0         0         0         0         0         0         0         0\r\n"
    "STEP\r\n"
    "       2         1          120.\r\n"
    "GVAL\r\n       1\r\n0.600000E+01\r\n       2\r\n0.550000E+01\r\n-1\r\n"
    "EVAL\r\n       1\r\n0.250000E+00 -.125000E+00\r\n-1\r\n";

}  // namespace

TEST(AtlasRun, MeshWholeAndResultOnlyForSelectedSteps) {
  e2e::SCRATCH S;
  S.WRITE("WORK.LST", e2e::WORK_LIST("result.bin"));
  S.WRITE("result.bin", ATLAS_RESULT_FILE());

  // No step selected: the mesh is whole, atlas.pst is created and stays empty.
  e2e::RUN R = S.CONVERT(e2e::ANSWERS(3, "", 7));
  EXPECT_EQ(R.STATUS, 0) << R.ERR;
  EXPECT_EQ(S.READ("atlas.msh"), MESH);
  EXPECT_TRUE(S.EXISTS("atlas.pst"));
  EXPECT_EQ(S.READ("atlas.pst"), "");

  // Longer files from an earlier run are cut to the new output.
  S.WRITE("atlas.msh", MESH + std::string(3000, 'm'));
  S.WRITE("atlas.pst", std::string(9000, 'p'));
  R = S.CONVERT(e2e::ANSWERS(3, "", 9));
  EXPECT_EQ(R.STATUS, 0) << R.ERR;
  EXPECT_EQ(S.READ("atlas.msh"), MESH);
  EXPECT_EQ(S.READ("atlas.pst"), SECOND_BLOCK);

  // All steps: two blocks, the mesh still written once.
  R = S.CONVERT(e2e::ANSWERS(3, "", -1));
  EXPECT_EQ(R.STATUS, 0) << R.ERR;
  EXPECT_EQ(S.READ("atlas.msh"), MESH);
  const std::string PST = S.READ("atlas.pst");
  EXPECT_EQ(PST.find("       1         1           60.\r\n"), 189U);
  EXPECT_EQ(PST.size(), 2 * SECOND_BLOCK.size());
  EXPECT_EQ(PST.substr(SECOND_BLOCK.size()), SECOND_BLOCK);

  // An existing atlas.pst is left as it was when no step is selected.
  S.WRITE("atlas.pst", "earlier results\r\n");
  R = S.CONVERT(e2e::ANSWERS(3, "", 4));
  EXPECT_EQ(R.STATUS, 0) << R.ERR;
  EXPECT_EQ(S.READ("atlas.pst"), "earlier results\r\n");
  EXPECT_EQ(S.READ("atlas.msh"), MESH);
}
