// ATLAS mesh (atlas.msh, unit 21) and result (atlas.pst, unit 22) files.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e_support.h"
#include "recordio/recordio.h"
#include "writers/writers.h"

using namespace KOVA;

// The opening lines of atlas.msh up to the title, and of a result block up to its step line.
static const std::string MESH_HEAD = "TITLE\r\nFEM ANALISYS\r\nSTITLE\r\n";
static const std::string BLOCK_HEAD = "VERSION\r\n950400\r\nPSIZ\r\n"
    "       0         1         3         0         0         0         0         0\r\n"
    "       0         0         0         0         0         0         0         0\r\nSTEP\r\n";

TEST(AtlasMesh, TitleGridAndElementShapes) {
  OUTPUT& O = CONNECT_MEMORY_UNIT(21);
  const std::string TITLE_LINE = "SLOPE SEEPAGE 2" + std::string(65, ' ');
  TITLE_TEXT TITLE;
  TITLE_LINE.copy(TITLE.data(), 80);
  const std::string GRID = MESH_HEAD + TITLE_LINE + "\r\nGRID    (I6,3E12.0)\r\n";
  const auto IX = e2e::MAKE_IX(7, {{11, 12, 18, 17, 2},    // quadrilateral; columns 7 long
                              {12, 13, 18, 18, 2},    // triangle, third corner repeated
                              {12, 13, 18, 0, 0},     // triangle, no fourth corner; material 0
                              {1, 2, 3, 4, -7}});     // negative attribute: material 100
  WRITE_ATLAS_MESH(TITLE, 2, std::vector{10.0, 0.1}, std::vector{-2.5, 123456.789}, 4, IX, 7);
  EXPECT_EQ(O.MEMORY, GRID + "     10.100000E+02-.250000E+010.000000E+00\r\n"
                             "     20.100000E+000.123457E+060.000000E+00\r\n"
                             "-1\r\nCONC          (8I6)\r\n"
                             "     1   204     2    11    12    18    17     2\r\n"
                             "     2   203     2    12    13    18     2\r\n"
                             "     3   203     0    12    13    18     0\r\n"
                             "     4   204   100     1     2     3     4   100\r\n-1\r\n");

  // No nodes and no elements: each header is followed at once by "-1".
  OUTPUT& E = CONNECT_MEMORY_UNIT(21);
  WRITE_ATLAS_MESH(TITLE, 0, std::vector{0.0}, std::vector{0.0}, 0, e2e::MAKE_IX(1, {}), 1);
  EXPECT_EQ(E.MEMORY, GRID + "-1\r\nCONC          (8I6)\r\n-1\r\n");
}

TEST(AtlasResult, BlockAndStepLine) {
  OUTPUT& O = CONNECT_MEMORY_UNIT(22);  // three nodes and two elements: 21 lines
  WRITE_ATLAS_RESULT(3, std::vector{10.0, -2.5, 0.0}, std::vector{1.0E-5, 0.0},
                     std::vector{-3.0, 123.4567}, 3, 2, 7200.0, 20000);
  EXPECT_EQ(O.MEMORY, BLOCK_HEAD + "       3         1         7200.\r\nGVAL\r\n"
                      "       1\r\n0.100000E+02\r\n       2\r\n-.250000E+01\r\n"
                      "       3\r\n0.000000E+00\r\n-1\r\nEVAL\r\n"
                      "       1\r\n0.100000E-04 -.300000E+01\r\n"
                      "       2\r\n0.000000E+00 0.123457E+03\r\n-1\r\n");

  // Times are rounded to whole numbers, halfway cases to the even one.
  const std::pair<double, std::string> CASES[] = {
      {0.25, "      17         1            0."}, {2.5, "      17         1            2."},
      {3.5, "      17         1            4."}, {1.0E11, "      17         1  ************"}};
  for (const auto& [TIME, LINE] : CASES) {
    OUTPUT& P = CONNECT_MEMORY_UNIT(22);
    WRITE_ATLAS_RESULT(17, std::vector{0.0}, std::vector{0.0}, std::vector{0.0}, 0, 0, TIME, 0);
    EXPECT_EQ(P.MEMORY, BLOCK_HEAD + LINE + "\r\nGVAL\r\n-1\r\nEVAL\r\n-1\r\n") << TIME;
  }
}

// Whole runs, menu choice 3: both files in the current directory.
TEST(AtlasRun, MeshWholeAndResultOnlyForSelectedSteps) {
  e2e::SCRATCH S;
  S.RESULT(e2e::MODEL_PART("RUN", {{0, 0}, {10, 0}}, {{{1, 2, 0, 0, 1}}}) +
                            e2e::STEP(5, 60.0, {{0, 6.0, 0.0}, {0, 5.5, 0.0}}, {{0.25, -0.125}}) +
                            e2e::STEP(9, 120.0, {{0, 6.0, 0.0}, {0, 5.5, 0.0}}, {{0.25, -0.125}}));
  const std::string MESH = MESH_HEAD + "RUN" + std::string(77, ' ') +
      "\r\nGRID    (I6,3E12.0)\r\n     10.000000E+000.000000E+000.000000E+00\r\n"
      "     20.100000E+020.000000E+000.000000E+00\r\n-1\r\nCONC          (8I6)\r\n"
      "     1   203     1     1     2     0     1\r\n-1\r\n";
  // The step field holds the read count, not the step number (5, 9).
  const std::string VALUES = "\r\nGVAL\r\n       1\r\n0.600000E+01\r\n       2\r\n0.550000E+01\r\n"
                             "-1\r\nEVAL\r\n       1\r\n0.250000E+00 -.125000E+00\r\n-1\r\n";
  const std::string BLOCKS = BLOCK_HEAD + "       1         1           60." + VALUES + BLOCK_HEAD +
                             "       2         1          120." + VALUES;

  // No step selected: the mesh is whole, atlas.pst is created and stays empty;
  // status 3 says that nothing was converted.
  EXPECT_EQ(S.CONVERT(e2e::ANSWERS(3, "", 7)).STATUS, 3);
  EXPECT_EQ(S.READ("atlas.msh"), MESH);
  EXPECT_EQ(std::filesystem::file_size(S.DIR / "atlas.pst"), 0U);

  // Every step, over longer files of an earlier run: they hold exactly the new output.
  S.WRITE("atlas.msh", MESH + std::string(3000, 'm'));
  S.WRITE("atlas.pst", std::string(9000, 'p'));
  EXPECT_EQ(S.CONVERT(e2e::ANSWERS(3, "", -1)).STATUS, 0);
  EXPECT_EQ(S.READ("atlas.msh"), MESH);
  EXPECT_EQ(S.READ("atlas.pst"), BLOCKS);

  // No step selected again: the existing atlas.pst is left as it was.
  EXPECT_EQ(S.CONVERT(e2e::ANSWERS(3, "", 4)).STATUS, 3);
  EXPECT_EQ(S.READ("atlas.pst"), BLOCKS);
}
