// FEMAP neutral-file writers: header and model blocks, the group block, and
// the output set with its eight vectors.
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

std::vector<std::int32_t> MAKE_IX(std::int32_t MAXN,
                                  const std::vector<std::array<std::int32_t, 5>>& ROWS) {
  std::vector<std::int32_t> ix(5 * static_cast<std::size_t>(MAXN), 0);
  for (std::size_t e = 0; e < ROWS.size(); ++e) {
    for (std::size_t j = 0; j < 5; ++j) ix[j * static_cast<std::size_t>(MAXN) + e] = ROWS[e][j];
  }
  return ix;
}

void APPEND(std::vector<std::string>& to, std::string_view line, int times = 1) {
  for (int k = 0; k < times; ++k) to.emplace_back(line);
}

// One step's input: nodes and elements with their values, and the work arrays.
struct STEP_DATA {
  std::vector<double> H, Q, VX, VY, VXN, VYN;
  std::vector<std::int32_t> NCNT, IX;
  std::int32_t NUMNP = 0, NUMEL = 0, MAXN = 1;
};

void WRITE_STEP(STEP_DATA& S, double TIME, std::int32_t& NSETID) {
  S.VXN.assign(std::max<std::size_t>(S.H.size(), 1), 0.0);
  S.VYN.assign(S.VXN.size(), 0.0);
  S.NCNT.assign(S.VXN.size(), 0);
  WRITE_NEUTRAL_STEP(S.H, S.VXN, S.VYN, S.VX, S.VY, S.Q, S.NCNT, S.IX, S.NUMNP, S.NUMEL, S.MAXN,
                     TIME, 8, NSETID);
}

// First line of vector V (0..7) in the lines of one call: 11 lines precede
// the first vector; node vectors have 8 + NUMNP lines, element vectors 8 + NUMEL.
std::size_t VECTOR_AT(int V, std::int32_t NUMNP, std::int32_t NUMEL) {
  std::size_t at = 11;
  for (int k = 0; k < V; ++k) at += 8 + static_cast<std::size_t>(k < 5 ? NUMNP : NUMEL);
  return at;
}

}  // namespace

TEST(NeutralModel, OpeningLinesNodesAndElements) {
  OUTPUT& O = CONNECT_MEMORY_UNIT(8);
  // x 9.00000048 lies past the midpoint between the 4-byte reals 9 and
  // 9 + 2^-20, so the 4-byte value shows 9.000001 where the 8-byte one would not.
  const std::vector<double> X{10.0, 0.1, 9.00000048};
  const std::vector<double> Y{-2.5, 123456.789, 0.0};
  const std::int32_t MAXN = 6;
  const auto IX = MAKE_IX(MAXN, {{1, 2, 3, 4, 1},     // quadrilateral
                                 {12, 13, 27, 0, 0},  // triangle, no fourth corner
                                 {1, 2, 3, 3, -1},    // triangle, third corner repeated
                                 {1, 2, 0, 0, 5}});   // third and fourth corner 0
  WRITE_NEUTRAL_MODEL(X, Y, IX, 3, 4, MAXN, 8);

  const std::vector<std::string> LINES = RECORDS(O.MEMORY);
  // 5 + 36 + 33 + (NUMNP + 3) + (7 NUMEL + 3) lines.
  ASSERT_EQ(LINES.size(), 5U + 36U + 33U + 6U + 31U);
  const std::vector<std::string> OPENING(LINES.begin(), LINES.begin() + 8);
  EXPECT_EQ(OPENING, (std::vector<std::string>{"   -1", "   100", "  ", " 4.5,", "   -1", "   -1",
                                               "   401", " 1,55,0,1,0,"}));
  EXPECT_EQ(LINES[39], " 0,0,0,0,");
  EXPECT_EQ(LINES[42], "   402");
  EXPECT_EQ(LINES[43], "    1,110,1,19,1,0,");
  EXPECT_EQ(LINES[72], " 0.,0.,0.,");

  // Node and element blocks.
  std::vector<std::string> E;
  APPEND(E, "   -1");
  APPEND(E, "   403");
  APPEND(E, "      1,0,0,1,46,0,0,0,0,0,0, 1.000000E+01,-2.500000E+00, 0.000000E+00");
  APPEND(E, "      2,0,0,1,46,0,0,0,0,0,0, 1.000000E-01, 1.234568E+05, 0.000000E+00");
  APPEND(E, "      3,0,0,1,46,0,0,0,0,0,0, 9.000001E+00, 0.000000E+00, 0.000000E+00");
  APPEND(E, "   -1");

  const std::array<std::string_view, 4> HEADS{
      "           1 ,124,           1 ,19,           4 ,1,0,0,",
      "           2 ,124,           1 ,19,           2 ,1,0,0,",
      "           3 ,124,           1 ,19,           2 ,1,0,0,",
      "           4 ,124,           1 ,19,           2 ,1,0,0,"};
  const std::array<std::string_view, 4> CORNERS{
      "      1,      2,      3,      4,      0,      0,      0,      0,      0,      0,",
      "     12,     13,     27,      0,      0,      0,      0,      0,      0,      0,",
      "      1,      2,      3,      0,      0,      0,      0,      0,      0,      0,",
      "      1,      2,      0,      0,      0,      0,      0,      0,      0,      0,"};
  APPEND(E, "   -1");
  APPEND(E, "   404");
  for (std::size_t e = 0; e < 4; ++e) {
    APPEND(E, HEADS[e]);
    APPEND(E, CORNERS[e]);
    APPEND(E, " 0,0,0,0,0,0,0,0,0,0,");
    APPEND(E, " 0.,0.,0.,", 3);
    APPEND(E, " 0,0,0,0,0,0,0,0,0,0,0,0,");
  }
  APPEND(E, "   -1");
  EXPECT_EQ(std::vector<std::string>(LINES.begin() + 74, LINES.end()), E);
}

TEST(NeutralModel, EmptyNodeAndElementBlocks) {
  OUTPUT& O = CONNECT_MEMORY_UNIT(8);
  const std::vector<double> NONE(1, 0.0);
  const auto IX = MAKE_IX(1, {});
  WRITE_NEUTRAL_MODEL(NONE, NONE, IX, 0, 0, 1, 8);

  const std::vector<std::string> LINES = RECORDS(O.MEMORY);
  ASSERT_EQ(LINES.size(), 5U + 36U + 33U + 3U + 3U);
  const std::vector<std::string> TAIL(LINES.end() - 6, LINES.end());
  EXPECT_EQ(TAIL, (std::vector<std::string>{"   -1", "   403", "   -1", "   -1", "   404",
                                            "   -1"}));
}

TEST(NeutralGroup, MembersAreElementsWithPositiveAttribute) {
  OUTPUT& O = CONNECT_MEMORY_UNIT(8);
  const std::int32_t MAXN = 5;
  const auto IX = MAKE_IX(MAXN, {{1, 2, 3, 0, 3}, {1, 2, 3, 0, 0}, {1, 2, 3, 0, -2},
                                 {1, 2, 3, 0, 1}});
  std::int32_t NGRPID = 20000;
  WRITE_NEUTRAL_GROUP(IX, 4, MAXN, 8, NGRPID);
  EXPECT_EQ(NGRPID, 20001);

  std::vector<std::string> E;
  APPEND(E, "   -1");
  APPEND(E, "   408");
  APPEND(E, "       20001 ,1");
  APPEND(E, "ELEM-GROUP 0 ");
  APPEND(E, " 0,0,0");
  APPEND(E, " 0,0,0,0,0.,0.");
  APPEND(E, " 0,0");
  for (int k = 0; k < 6; ++k) {
    APPEND(E, " 0,0");
    APPEND(E, " 0.,0.,0.", 2);
  }
  APPEND(E, " 38");
  APPEND(E, " 21");
  APPEND(E, "           1 ,0,1,1,");
  APPEND(E, "           4 ,0,1,1,");
  APPEND(E, " -1,-1,-1,-1,");
  APPEND(E, " -1");
  APPEND(E, " 15");
  APPEND(E, " -1");
  APPEND(E, "   -1");
  EXPECT_EQ(RECORDS(O.MEMORY), E);

  // No member at all: "21" is followed at once by the closing line; 32 lines.
  OUTPUT& P = CONNECT_MEMORY_UNIT(8);
  const auto NONE = MAKE_IX(2, {{1, 2, 3, 0, 0}, {1, 2, 3, 0, -1}});
  WRITE_NEUTRAL_GROUP(NONE, 2, 2, 8, NGRPID);
  EXPECT_EQ(NGRPID, 20002);
  const std::vector<std::string> LINES = RECORDS(P.MEMORY);
  ASSERT_EQ(LINES.size(), 32U);
  EXPECT_EQ(LINES[2], "       20002 ,1");
  EXPECT_EQ(LINES[26], " 21");
  EXPECT_EQ(LINES[27], " -1,-1,-1,-1,");
}

TEST(NeutralStep, OutputSetAndEightVectors) {
  OUTPUT& O = CONNECT_MEMORY_UNIT(8);
  // Two nodes, two elements: element 1 (3, -4) on nodes 1 and 2, element 2
  // (1, 0) on node 2 alone. Node 1 averages to (3, -4), node 2 to (2, -2).
  STEP_DATA S;
  S.NUMNP = 2;
  S.NUMEL = 2;
  S.MAXN = 3;
  S.IX = MAKE_IX(S.MAXN, {{1, 2, 0, 0, 1}, {2, 0, 0, 0, 1}});
  S.H = {10.0, 12.5};
  S.Q = {0.5, -0.25};
  S.VX = {3.0, 1.0};
  S.VY = {-4.0, 0.0};
  std::int32_t NSETID = 0;
  WRITE_STEP(S, 3600.0, NSETID);
  EXPECT_EQ(NSETID, 1);

  const std::vector<std::string> E{
      "   -1",
      "   450",
      "           1",
      " T=  3.6000E+03",
      " 0,0,",
      "   3600.000    ",
      " 1,",
      "   ",
      "   -1",
      "   -1",
      "   451",
      // 10: total head
      "           1 ,10,1,",
      " Total Head",
      "   10.00000       12.50000       12.50000    ",
      " 0,0,0,0,0,0,0,0,0,0,",
      " 0,0,0,0,0,0,0,0,0,0,",
      "           1 ,           2 ,6,7,",
      " 0,1,1,",
      "           1 ,   10.00000    ",
      "           2 ,   12.50000    ",
      "          -1 ,  0.0000000E+00",
      // 12: Q
      "           1 ,12,1,",
      " Q",
      " -0.2500000      0.5000000      0.5000000    ",
      " 0,0,0,0,0,0,0,0,0,0,",
      " 0,0,0,0,0,0,0,0,0,0,",
      "           2 ,           1 ,6,7,",
      " 0,1,1,",
      "           1 ,  0.5000000    ",
      "           2 , -0.2500000    ",
      "          -1 ,  0.0000000E+00",
      // 13: node speed 5 and sqrt(8), 8-byte values
      "           1 ,13,1,",
      " Velocity(Node)",
      "   2.828427       5.000000       5.000000    ",
      " 14,15,0,0,0,0,0,0,0,0,",
      " 0,0,0,0,0,0,0,0,0,0,",
      "           2 ,           1 ,1,7,",
      " 0,1,1,",
      "           1 ,   5.00000000000000     ",
      "           2 ,   2.82842712474619     ",
      "          -1 ,  0.000000000000000E+000",
      // 14: node x velocity
      "           1 ,14,1,",
      " X Velocity(Node)",
      "   2.000000       3.000000       3.000000    ",
      " 14,0,0,0,0,0,0,0,0,0,",
      " 0,0,0,0,0,0,0,0,0,0,",
      "           2 ,           1 ,1,7,",
      " 0,1,1,",
      "           1 ,   3.00000000000000     ",
      "           2 ,   2.00000000000000     ",
      "          -1 ,  0.000000000000000E+000",
      // 15: node y velocity; the minimum has the larger magnitude
      "           1 ,15,1,",
      " Y Velocity(Node)",
      "  -4.000000      -2.000000       4.000000    ",
      " 0,0,16,0,0,0,0,0,0,0,",
      " 0,0,0,0,0,0,0,0,0,0,",
      "           1 ,           2 ,1,7,",
      " 0,1,1,",
      "           1 ,  -4.00000000000000     ",
      "           2 ,  -2.00000000000000     ",
      "          -1 ,  0.000000000000000E+000",
      // 70010: element speed
      "           1 ,70010,1,",
      " Velocity",
      "   1.000000       5.000000       5.000000    ",
      " 70011,70012,0,0,0,0,0,0,0,0,",
      " 0,0,0,0,0,0,0,0,0,0,",
      "           2 ,           1 ,1,8,",
      " 0,1,1,",
      "           1 ,   5.000000    ",
      "           2 ,   1.000000    ",
      "          -1 ,  0.0000000E+00",
      // 70011: element x velocity
      "           1 ,70011,1,",
      " X Velocity",
      "   1.000000       3.000000       3.000000    ",
      " 70011,0,0,0,0,0,0,0,0,0,",
      " 0,0,0,0,0,0,0,0,0,0,",
      "           2 ,           1 ,1,8,",
      " 0,1,1,",
      "           1 ,   3.000000    ",
      "           2 ,   1.000000    ",
      "          -1 ,  0.0000000E+00",
      // 70012: element y velocity
      "           1 ,70012,1,",
      " Y Velocity",
      "  -4.000000      0.0000000E+00   4.000000    ",
      " 70013,0,0,0,0,0,0,0,0,0,",
      " 0,0,0,0,0,0,0,0,0,0,",
      "           1 ,           2 ,1,8,",
      " 0,1,1,",
      "           1 ,  -4.000000    ",
      "           2 ,  0.0000000E+00",
      "          -1 ,  0.0000000E+00",
      "   -1"};
  EXPECT_EQ(RECORDS(O.MEMORY), E);
  EXPECT_EQ(S.NCNT, (std::vector<std::int32_t>{1, 2}));
}

TEST(NeutralStep, NodeAveragingCountsEveryNonZeroSlot) {
  OUTPUT& O = CONNECT_MEMORY_UNIT(8);
  // A quadrilateral (1, 0) and a triangle stored as (2, 5, 3, 3) with (4, 0):
  // node 3 gets the triangle twice, (1 + 4 + 4) / 3 = 3. Node 6 is named by
  // no element. Corners 9 and -1 name no node of the model and take no share.
  STEP_DATA S;
  S.NUMNP = 6;
  S.NUMEL = 3;
  S.MAXN = 4;
  S.IX = MAKE_IX(S.MAXN, {{1, 2, 3, 4, 1}, {2, 5, 3, 3, 0}, {9, -1, 0, 0, -3}});
  S.H.assign(6, 1.0);
  S.Q.assign(6, 0.0);
  S.VX = {1.0, 4.0, 100.0};
  S.VY = {0.0, 0.0, 100.0};
  std::int32_t NSETID = 0;
  WRITE_STEP(S, 0.0, NSETID);

  EXPECT_EQ(S.NCNT, (std::vector<std::int32_t>{1, 2, 3, 1, 1, 0}));
  EXPECT_EQ(S.VXN, (std::vector<double>{1.0, 2.5, 3.0, 1.0, 4.0, 0.0}));
  EXPECT_EQ(S.VYN, (std::vector<double>(6, 0.0)));

  const std::vector<std::string> L = RECORDS(O.MEMORY);
  // Value lines of vectors 13, 14 and 15: node 3, then the node no element names.
  const std::size_t V13 = VECTOR_AT(2, 6, 3), V14 = VECTOR_AT(3, 6, 3), V15 = VECTOR_AT(4, 6, 3);
  EXPECT_EQ(L[V13 + 7 + 2], "           3 ,   3.00000000000000     ");
  EXPECT_EQ(L[V14 + 7 + 2], "           3 ,   3.00000000000000     ");
  EXPECT_EQ(L[V14 + 7 + 1], "           2 ,   2.50000000000000     ");
  EXPECT_EQ(L[V13 + 7 + 5], "           6 ,  0.000000000000000E+000");
  EXPECT_EQ(L[V14 + 7 + 5], "           6 ,  0.000000000000000E+000");
  EXPECT_EQ(L[V15 + 7 + 5], "           6 ,  0.000000000000000E+000");
  // Node x velocity: minimum 0 at node 6, maximum 4 at node 5.
  EXPECT_EQ(L[V14 + 2], "  0.0000000E+00   4.000000       4.000000    ");
  EXPECT_EQ(L[V14 + 5], "           6 ,           5 ,1,7,");
  // The element with corners outside the model still has its value lines.
  const std::size_t V70011 = VECTOR_AT(6, 6, 3);
  EXPECT_EQ(L[V70011 + 7 + 2], "           3 ,   100.0000    ");
  EXPECT_EQ(L.size(), 9U + 3U + 5U * (8U + 6U) + 3U * (8U + 3U));
}

TEST(NeutralStep, ExtremesTiesNegativesAndEmptyModel) {
  // Ties go to the lowest entity; all-negative heads give the absolute
  // maximum from the minimum.
  OUTPUT& O = CONNECT_MEMORY_UNIT(8);
  STEP_DATA S;
  S.NUMNP = 4;
  S.NUMEL = 1;
  S.MAXN = 1;
  S.IX = MAKE_IX(1, {{1, 2, 3, 4, 1}});
  S.H = {-3.0, -12.5, -7.0, -12.5};
  S.Q = {7.0, 9.0, 9.0, 7.0};
  S.VX = {0.0};
  S.VY = {0.0};
  std::int32_t NSETID = 0;
  WRITE_STEP(S, 0.25, NSETID);
  std::vector<std::string> L = RECORDS(O.MEMORY);
  EXPECT_EQ(L[3], " T=  2.5000E-01");
  EXPECT_EQ(L[5], "  0.2500000    ");
  const std::size_t V10 = VECTOR_AT(0, 4, 1), V12 = VECTOR_AT(1, 4, 1);
  EXPECT_EQ(L[V10 + 2], "  -12.50000      -3.000000       12.50000    ");
  EXPECT_EQ(L[V10 + 5], "           2 ,           1 ,6,7,");
  EXPECT_EQ(L[V12 + 2], "   7.000000       9.000000       9.000000    ");
  EXPECT_EQ(L[V12 + 5], "           1 ,           2 ,6,7,");
  // All velocities zero: every extreme 0 at entity 1.
  for (int v = 2; v < 8; ++v) {
    const std::size_t at = VECTOR_AT(v, 4, 1);
    EXPECT_EQ(L[at + 2], "  0.0000000E+00  0.0000000E+00  0.0000000E+00") << "vector " << v;
    EXPECT_EQ(L[at + 5].substr(0, 28), "           1 ,           1 ,") << "vector " << v;
  }

  // No nodes and no elements: no value lines; the extremes start from the
  // first entry of each array.
  OUTPUT& P = CONNECT_MEMORY_UNIT(8);
  STEP_DATA N;
  N.IX = MAKE_IX(1, {});
  N.H = {2.5};
  N.Q = {-1.0};
  N.VX = {0.0};
  N.VY = {0.0};
  WRITE_STEP(N, 0.0, NSETID);
  L = RECORDS(P.MEMORY);
  ASSERT_EQ(L.size(), 9U + 3U + 5U * 8U + 3U * 8U);
  EXPECT_EQ(L[2], "           2");
  EXPECT_EQ(L[VECTOR_AT(0, 0, 0) + 2], "   2.500000       2.500000       2.500000    ");
  EXPECT_EQ(L[VECTOR_AT(0, 0, 0) + 7], "          -1 ,  0.0000000E+00");
  EXPECT_EQ(L[VECTOR_AT(1, 0, 0) + 2], "  -1.000000      -1.000000       1.000000    ");
  EXPECT_EQ(L[VECTOR_AT(1, 0, 0) + 5], "           1 ,           1 ,6,7,");
  EXPECT_EQ(L[VECTOR_AT(4, 0, 0) + 7], "          -1 ,  0.000000000000000E+000");
  EXPECT_EQ(L[VECTOR_AT(7, 0, 0) + 7], "          -1 ,  0.0000000E+00");
  EXPECT_EQ(L.back(), "   -1");

  // Element speed of (1.45, 4): sqrt(18.1025) = 4.25470328 lies below the
  // midpoint 4.25470328331 of its two neighbouring 4-byte reals, so the
  // extremes show 4.254703; the 4-byte x component 1.45000004768 gives
  // 4.25470329615, above it, so the value line shows 4.254704.
  OUTPUT& V = CONNECT_MEMORY_UNIT(8);
  STEP_DATA W;
  W.NUMNP = 1;
  W.NUMEL = 1;
  W.IX = MAKE_IX(1, {{1, 0, 0, 0, 1}});
  W.H = {0.0};
  W.Q = {0.0};
  W.VX = {1.45};
  W.VY = {4.0};
  WRITE_STEP(W, 0.0, NSETID);
  L = RECORDS(V.MEMORY);
  const std::size_t V70010 = VECTOR_AT(5, 1, 1);
  EXPECT_EQ(L[V70010 + 2], "   4.254703       4.254703       4.254703    ");
  EXPECT_EQ(L[V70010 + 7], "           1 ,   4.254704    ");
}

// Whole runs: menu choice 4 with piped answers.
TEST(NeutralRun, GroupBlockEndsTheFileWhenNoStepIsSelected) {
  e2e::SCRATCH S;
  S.WRITE("WORK.LST", e2e::WORK_LIST("result.bin"));
  S.WRITE("result.bin",
          e2e::MODEL_PART("FEMAP RUN", {{0.0, 0.0, 0.0, 0.0, 0}, {10.0, 0.0, 0.0, 0.0, 0}},
                          {{{1, 2, 0, 0, 1}, 0.0}}) +
              e2e::STEP(5, 60.0, {{0, 5.0, 0.0}, {0, 4.5, 0.0}}, {{0.5, 0.0}}) +
              e2e::STEP(9, 120.0, {{0, 6.0, 0.0}, {0, 5.5, 0.0}}, {{0.25, -0.125}}));
  // An existing longer file is cut to what the run writes.
  S.WRITE("model.neu", std::string(50000, 'z'));
  e2e::RUN R = S.CONVERT(e2e::ANSWERS(4, "model.neu", 7));
  EXPECT_EQ(R.STATUS, 0) << R.ERR;
  const std::string ONCE = S.READ("model.neu");
  std::vector<std::string> L = RECORDS(ONCE);
  ASSERT_EQ(L.size(), 5U + 36U + 33U + 5U + 10U + 33U);
  EXPECT_EQ(L[76], "      1,0,0,1,46,0,0,0,0,0,0, 0.000000E+00, 0.000000E+00, 0.000000E+00");
  EXPECT_EQ(L[77], "      2,0,0,1,46,0,0,0,0,0,0, 1.000000E+01, 0.000000E+00, 0.000000E+00");
  const std::vector<std::string> TAIL(L.end() - 10, L.end());
  EXPECT_EQ(TAIL, (std::vector<std::string>{" 0.,0.,0.", " 0.,0.,0.", " 38", " 21",
                                            "           1 ,0,1,1,", " -1,-1,-1,-1,", " -1",
                                            " 15", " -1", "   -1"}));

  // Every step: the same beginning, then sets 1 and 2 holding the two times.
  R = S.CONVERT(e2e::ANSWERS(4, "model.neu", -1));
  EXPECT_EQ(R.STATUS, 0) << R.ERR;
  const std::string ALL = S.READ("model.neu");
  EXPECT_EQ(ALL.substr(0, ONCE.size()), ONCE);
  L = RECORDS(ALL);
  const std::size_t PER_STEP = 9 + 3 + 5 * (8 + 2) + 3 * (8 + 1);
  ASSERT_EQ(L.size(), 122U + 2 * PER_STEP);
  EXPECT_EQ(L[123], "   450");
  EXPECT_EQ(L[124], "           1");
  EXPECT_EQ(L[125], " T=  6.0000E+01");
  EXPECT_EQ(L[123 + PER_STEP], "   450");
  EXPECT_EQ(L[124 + PER_STEP], "           2");
  EXPECT_EQ(L[125 + PER_STEP], " T=  1.2000E+02");
  EXPECT_EQ(L.back(), "   -1");
}
