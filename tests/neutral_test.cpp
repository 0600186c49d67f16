// FEMAP neutral file: header and model blocks, the group block, and per step
// an output set with its eight vectors.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e_support.h"
#include "recordio/recordio.h"
#include "writers/writers.h"

using namespace KOVA;

using LINES = std::vector<std::string>;
using VALUES = std::vector<double>;

// The records of BYTES, each of which must end in CR LF.
static LINES RECORDS(std::string_view B) {
  EXPECT_TRUE(B.empty() || B.ends_with("\r\n")) << "last record without CR LF";
  LINES L;
  for (std::size_t end; (end = B.find("\r\n")) != B.npos; B.remove_prefix(end + 2))
    L.emplace_back(B.substr(0, end));
  return L;
}

// The records of the first output set, written with work arrays full of junk.
static LINES WRITE_STEP(const VALUES& H, const VALUES& Q, const VALUES& VX, const VALUES& VY,
                        INTS IX, int NUMNP, int NUMEL, int MAXN, double TIME) {
  OUTPUT& O = CONNECT_MEMORY_UNIT(8);
  std::int32_t NSETID = 0;
  std::vector<double> VXN(H.size(), -9.0), VYN = VXN;
  std::vector<std::int32_t> NCNT(H.size(), 9);
  WRITE_NEUTRAL_STEP(H, VXN, VYN, VX, VY, Q, NCNT, IX, NUMNP, NUMEL, MAXN, TIME, 8, NSETID);
  return RECORDS(O.MEMORY);
}

// First line of vector V (0..7) in a step's lines: 11 lines come first; node
// vectors have 8 + NUMNP lines, element vectors 8 + NUMEL.
static std::size_t VECTOR_AT(int V, std::size_t NUMNP, std::size_t NUMEL) {
  return 11 + std::min(V, 5) * (8 + NUMNP) + std::max(V - 5, 0) * (8 + NUMEL);
}

TEST(NeutralModel, OpeningNodesAndElementShapes) {
  OUTPUT& O = CONNECT_MEMORY_UNIT(8);
  // 9.00000048 lies past the midpoint of the 4-byte reals 9 and 9 + 2^-20: it shows 9.000001.
  const auto IX = e2e::MAKE_IX(6, {{1, 2, 3, 4, 1}, {12, 13, 27, 0, 0}, {1, 2, 3, 3, -1},
                              {1, 2, 0, 0, 5}});
  WRITE_NEUTRAL_MODEL(std::vector{10.0, 0.1, 9.00000048}, std::vector{-2.5, 123456.789, 0.0}, IX,
                      3, 4, 6, 8);
  const LINES L = RECORDS(O.MEMORY);
  ASSERT_EQ(L.size(), 5U + 36 + 33 + (3 + 3) + (7 * 4 + 3));
  EXPECT_EQ(LINES(L.begin(), L.begin() + 8),
            (LINES{"   -1", "   100", "  ", " 4.5,", "   -1", "   -1", "   401", " 1,55,0,1,0,"}));
  EXPECT_EQ(L[43], "    1,110,1,19,1,0,");

  // A quadrilateral; triangles: no fourth corner, third corner repeated, third and fourth 0.
  const std::string SHAPES[4][2] = {
      {"           1 ,124,           1 ,19,           4 ,1,0,0,",
       "      1,      2,      3,      4,      0,      0,      0,      0,      0,      0,"},
      {"           2 ,124,           1 ,19,           2 ,1,0,0,",
       "     12,     13,     27,      0,      0,      0,      0,      0,      0,      0,"},
      {"           3 ,124,           1 ,19,           2 ,1,0,0,",
       "      1,      2,      3,      0,      0,      0,      0,      0,      0,      0,"},
      {"           4 ,124,           1 ,19,           2 ,1,0,0,",
       "      1,      2,      0,      0,      0,      0,      0,      0,      0,      0,"}};
  LINES E{"   -1", "   403",
          "      1,0,0,1,46,0,0,0,0,0,0, 1.000000E+01,-2.500000E+00, 0.000000E+00",
          "      2,0,0,1,46,0,0,0,0,0,0, 1.000000E-01, 1.234568E+05, 0.000000E+00",
          "      3,0,0,1,46,0,0,0,0,0,0, 9.000001E+00, 0.000000E+00, 0.000000E+00",
          "   -1", "   -1", "   404"};
  for (const auto& [HEAD, CORNERS] : SHAPES)
    E.insert(E.end(), {HEAD, CORNERS, " 0,0,0,0,0,0,0,0,0,0,", " 0.,0.,0.,", " 0.,0.,0.,",
                       " 0.,0.,0.,", " 0,0,0,0,0,0,0,0,0,0,0,0,"});
  E.push_back("   -1");
  EXPECT_EQ(LINES(L.begin() + 74, L.end()), E);

  // No nodes and no elements: both blocks are their frame lines alone.
  OUTPUT& P = CONNECT_MEMORY_UNIT(8);
  WRITE_NEUTRAL_MODEL(std::vector{0.0}, std::vector{0.0}, e2e::MAKE_IX(1, {}), 0, 0, 1, 8);
  const LINES M = RECORDS(P.MEMORY);
  ASSERT_EQ(M.size(), 80U);
  EXPECT_EQ(LINES(M.begin() + 74, M.end()),
            (LINES{"   -1", "   403", "   -1", "   -1", "   404", "   -1"}));
}

TEST(NeutralGroup, MembersAreElementsWithPositiveAttribute) {
  OUTPUT& O = CONNECT_MEMORY_UNIT(8);
  std::int32_t NGRPID = 20000;
  const auto IX = e2e::MAKE_IX(5, {{1, 2, 3, 0, 3}, {1, 2, 3, 0, 0}, {1, 2, 3, 0, -2}, {1, 2, 3, 0, 1}});
  WRITE_NEUTRAL_GROUP(IX, 4, 5, 8, NGRPID);
  LINES E{"   -1", "   408", "       20001 ,1", "ELEM-GROUP 0 ",
          " 0,0,0", " 0,0,0,0,0.,0.", " 0,0"};
  for (int k = 0; k < 6; ++k) E.insert(E.end(), {" 0,0", " 0.,0.,0.", " 0.,0.,0."});
  E.insert(E.end(), {" 38", " 21", "           1 ,0,1,1,", "           4 ,0,1,1,",
                     " -1,-1,-1,-1,", " -1", " 15", " -1", "   -1"});
  EXPECT_EQ(RECORDS(O.MEMORY), E);
}

TEST(NeutralStep, OutputSetAndEightVectors) {
  // Element 1 (3, -4) on nodes 1 and 2, element 2 (1, 0) on node 2 alone:
  // node 1 averages to (3, -4), node 2 to (2, -2); node speeds 5 and sqrt(8).
  const auto IX = e2e::MAKE_IX(3, {{1, 2, 0, 0, 1}, {2, 0, 0, 0, 1}});
  const LINES L = WRITE_STEP({10.0, 12.5}, {0.5, -0.25}, {3, 1}, {-4, 0}, IX, 2, 2, 3, 3600.0);
  const std::string END4 = "          -1 ,  0.0000000E+00";
  const std::string END8 = "          -1 ,  0.000000000000000E+000";
  // Per vector: first line, title, extremes, components, extreme entities, value lines, end line.
  const LINES VECTORS[8] = {
      {"           1 ,10,1,", " Total Head", "   10.00000       12.50000       12.50000    ",
       " 0,0,0,0,0,0,0,0,0,0,", "           1 ,           2 ,6,7,",
       "           1 ,   10.00000    ", "           2 ,   12.50000    ", END4},
      {"           1 ,12,1,", " Q", " -0.2500000      0.5000000      0.5000000    ",
       " 0,0,0,0,0,0,0,0,0,0,", "           2 ,           1 ,6,7,",
       "           1 ,  0.5000000    ", "           2 , -0.2500000    ", END4},
      {"           1 ,13,1,", " Velocity(Node)", "   2.828427       5.000000       5.000000    ",
       " 14,15,0,0,0,0,0,0,0,0,", "           2 ,           1 ,1,7,",
       "           1 ,   5.00000000000000     ", "           2 ,   2.82842712474619     ", END8},
      {"           1 ,14,1,", " X Velocity(Node)", "   2.000000       3.000000       3.000000    ",
       " 14,0,0,0,0,0,0,0,0,0,", "           2 ,           1 ,1,7,",
       "           1 ,   3.00000000000000     ", "           2 ,   2.00000000000000     ", END8},
      {"           1 ,15,1,", " Y Velocity(Node)", "  -4.000000      -2.000000       4.000000    ",
       " 0,0,16,0,0,0,0,0,0,0,", "           1 ,           2 ,1,7,",
       "           1 ,  -4.00000000000000     ", "           2 ,  -2.00000000000000     ", END8},
      {"           1 ,70010,1,", " Velocity", "   1.000000       5.000000       5.000000    ",
       " 70011,70012,0,0,0,0,0,0,0,0,", "           2 ,           1 ,1,8,",
       "           1 ,   5.000000    ", "           2 ,   1.000000    ", END4},
      {"           1 ,70011,1,", " X Velocity", "   1.000000       3.000000       3.000000    ",
       " 70011,0,0,0,0,0,0,0,0,0,", "           2 ,           1 ,1,8,",
       "           1 ,   3.000000    ", "           2 ,   1.000000    ", END4},
      {"           1 ,70012,1,", " Y Velocity", "  -4.000000      0.0000000E+00   4.000000    ",
       " 70013,0,0,0,0,0,0,0,0,0,", "           1 ,           2 ,1,8,",
       "           1 ,  -4.000000    ", "           2 ,  0.0000000E+00", END4}};
  LINES E{"   -1", "   450", "           1", " T=  3.6000E+03", " 0,0,", "   3600.000    ", " 1,",
          "   ", "   -1", "   -1", "   451"};
  for (const LINES& V : VECTORS)
    E.insert(E.end(), {V[0], V[1], V[2], V[3], " 0,0,0,0,0,0,0,0,0,0,", V[4], " 0,1,1,", V[5],
                       V[6], V[7]});
  E.push_back("   -1");
  EXPECT_EQ(L, E);
}

TEST(NeutralStep, AveragingAndExtremes) {
  // A quadrilateral (1, 0) and a triangle stored as (2, 5, 3, 3) with (4, 0): node 3 gets
  // the triangle twice, (1 + 4 + 4) / 3 = 3. Node 6 is named by no element. Corners 9
  // and -1 name no node of the model and take no share.
  const auto IX = e2e::MAKE_IX(4, {{1, 2, 3, 4, 1}, {2, 5, 3, 3, 0}, {9, -1, 0, 0, -3}});
  const LINES L = WRITE_STEP({-3.0, -12.5, -7.0, -12.5, -4.0, -5.0}, {7.0, 9.0, 9.0, 7.0, 7.0, 7.0},
                             {1.0, 4.0, 1.45}, {0.0, 0.0, 4.0}, IX, 6, 3, 4, 0.0);
  ASSERT_EQ(L.size(), 9U + 3 + 5 * (8 + 6) + 3 * (8 + 3));
  const std::size_t V13 = VECTOR_AT(2, 6, 3), V14 = VECTOR_AT(3, 6, 3), V15 = VECTOR_AT(4, 6, 3);
  EXPECT_EQ(L[V14 + 9], "           3 ,   3.00000000000000     ");
  for (std::size_t V : {V13, V14, V15})
    EXPECT_EQ(L[V + 12], "           6 ,  0.000000000000000E+000");

  // Ties go to the lowest entity; all-negative heads give the absolute maximum from the
  // minimum; all-zero node y velocities give 0 at entity 1.
  EXPECT_EQ(L[11 + 2], "  -12.50000      -3.000000       12.50000    ");
  EXPECT_EQ(L[11 + 5], "           2 ,           1 ,6,7,");
  EXPECT_EQ(L[VECTOR_AT(1, 6, 3) + 2], "   7.000000       9.000000       9.000000    ");
  EXPECT_EQ(L[VECTOR_AT(1, 6, 3) + 5], "           1 ,           2 ,6,7,");
  EXPECT_EQ(L[V14 + 2], "  0.0000000E+00   4.000000       4.000000    ");
  EXPECT_EQ(L[V14 + 5], "           6 ,           5 ,1,7,");
  EXPECT_EQ(L[V15 + 2], "  0.0000000E+00  0.0000000E+00  0.0000000E+00");
  EXPECT_EQ(L[V15 + 5], "           1 ,           1 ,1,7,");

  // Element 3, outside the model, has its value lines. Its speed 4.25470328 lies below the
  // midpoint 4.25470328331 of two 4-byte reals: extremes 4.254703; from the 4-byte x
  // 1.45000004768 it is 4.25470329615, so its value line shows 4.254704.
  const std::size_t V70010 = VECTOR_AT(5, 6, 3);
  EXPECT_EQ(L[V70010 + 2], "   1.000000       4.254703       4.254703    ");
  EXPECT_EQ(L[V70010 + 5], "           1 ,           3 ,1,8,");
  EXPECT_EQ(L[V70010 + 9], "           3 ,   4.254704    ");
}

// Whole runs, menu choice 4: output sets follow the group block, numbered from 1 in each run.
TEST(NeutralRun, OutputSetsFollowTheGroupBlock) {
  e2e::SCRATCH S;
  const e2e::NODE_RESULT N[] = {{0, 5.0, 0.0}, {0, 4.5, 0.0}};
  const e2e::ELEMENT_RESULT E[] = {{0.5, 0.0}};
  S.RESULT(e2e::MODEL_PART("RUN", {{0, 0}, {10, 0}}, {{{1, 2, 0, 0, 1}}}) +
                            e2e::STEP(5, 60, N, E) + e2e::STEP(9, 120, N, E) +
                            e2e::STEP(2, 180, N, E));
  S.WRITE("model.neu", std::string(50000, 'z'));  // an older, longer file is cut
  const std::size_t BEFORE = 5 + 36 + 33 + (2 + 3) + (7 + 3) + 33;
  const std::size_t PER_STEP = 9 + 3 + 5 * (8 + 2) + 3 * (8 + 1);
  const LINES SETS{"           1", "           2", "           3"};
  const LINES TIMES{" T=  6.0000E+01", " T=  1.2000E+02", " T=  1.8000E+02"};
  // Every step: sets 1, 2, 3; the final step: set 1 holding the third step; step 7: no set.
  for (const auto& [NSEL, FIRST] : {std::pair{-1, 0}, {0, 2}, {7, 3}}) {
    EXPECT_EQ(S.CONVERT(e2e::ANSWERS(4, "model.neu", NSEL)).STATUS, NSEL == 7 ? 3 : 0);
    const LINES L = RECORDS(S.READ("model.neu"));
    ASSERT_EQ(L.size(), BEFORE + (3 - FIRST) * PER_STEP) << NSEL;
    EXPECT_EQ(L[77], "      2,0,0,1,46,0,0,0,0,0,0, 1.000000E+01, 0.000000E+00, 0.000000E+00");
    EXPECT_EQ(LINES(L.begin() + BEFORE - 6, L.begin() + BEFORE),
              (LINES{"           1 ,0,1,1,", " -1,-1,-1,-1,", " -1", " 15", " -1", "   -1"}));
    for (int k = FIRST; k < 3; ++k) {
      const auto SET = L.begin() + BEFORE + (k - FIRST) * PER_STEP;
      EXPECT_EQ(LINES(SET, SET + 4), (LINES{"   -1", "   450", SETS[k - FIRST], TIMES[k]}));
    }
  }
}
