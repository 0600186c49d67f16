// Models whose node or element count outgrows the number fields of an output:
// the width chosen once per output and the warning that says so, each writer
// at its limit and one past it, and whole runs on a generated model of about
// 150000 nodes, whose numbers no output may turn into asterisks.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "e2e_support.h"
#include "recordio/recordio.h"
#include "writers/writers.h"

using namespace KOVA;

namespace {

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

// V right-justified in W columns.
std::string RIGHT(std::int64_t V, int W) {
  char field[32];
  std::snprintf(field, sizeof field, "%*lld", W, static_cast<long long>(V));
  return field;
}

std::string WARNING(const std::string& COUNT, int NORMAL, const std::string& NAME, int WIDE) {
  return "kovaconv: warning: " + COUNT + " does not fit the " + std::to_string(NORMAL) +
         "-digit fields of " + NAME + "; they are written " + std::to_string(WIDE) + " wide\n";
}

// A literal '#' stays as it is; the number fields take the width.
constexpr FORMAT F_TEN = PARSE_FORMAT_WIDTH<10>("('#',I#,2(',',I#))");

std::size_t LINES(const std::string& TEXT) { return std::count(TEXT.begin(), TEXT.end(), '\n'); }

}  // namespace

// The width follows the larger count named; one warning names it, the output
// as it was opened and both widths. The first choice holds until the unit is
// opened again.
TEST(NumberWidth, LargerCountDigitsPlusOneOncePerOpening) {
  e2e::SCRATCH S;
  const std::string NAME = (S.DIR / "tec.plt").string();
  struct CASE { int NORMAL; std::int32_t NUMNP, NUMEL; int WIDTH; std::string COUNT; };
  constexpr std::int32_t MAX = std::numeric_limits<std::int32_t>::max();
  const CASE CASES[] = {{5, 99999, 99999, 5, ""},          {5, 100000, 0, 7, "NUMNP=100000"},
                        {5, 50000, 100000, 7, "NUMEL=100000"}, {6, 999999, 1000000, 8, "NUMEL=1000000"},
                        {7, 10000000, 9999999, 9, "NUMNP=10000000"}, {8, MAX, 0, 11, "NUMNP=2147483647"},
                        {5, -5, -200000, 5, ""}};
  for (const CASE& C : CASES) {
    OPEN_UNIT(8, "  " + NAME + " ", STATUS::UNKNOWN, FORM::FORMATTED);
    CaptureStderr();
    EXPECT_EQ(NUMBER_WIDTH(8, C.NORMAL, C.NUMNP, C.NUMEL), C.WIDTH) << C.NUMNP << " " << C.NUMEL;
    EXPECT_EQ(NUMBER_WIDTH(8, C.NORMAL, 5, MAX), C.WIDTH);  // kept, no second warning
    EXPECT_EQ(GetCapturedStderr(), C.COUNT.empty() ? "" : WARNING(C.COUNT, C.NORMAL, NAME, C.WIDTH));
  }
  CONNECT_MEMORY_UNIT(8);

  // Every width a count can lead to reaches a layout of its own.
  for (const int W : {5, 7, 8, 9, 10, 11}) {
    int got = 0;
    WITH_NUMBER_WIDTH<5>(W, [&](auto LAID_OUT) { got = LAID_OUT(); });
    EXPECT_EQ(got, W);
  }
  OUTPUT& O = CONNECT_MEMORY_UNIT(8);
  WRITE_STATEMENT<F_TEN>(O, 1, -23, 2147483647);
  EXPECT_EQ(O.MEMORY, "#         1,       -23,2147483647\r\n");
}

// Each writer at the last count its fields show and one past it. Past it the
// number fields, and only they, take the count's digits plus one, with one
// warning for each output widened.
TEST(NumberWidth, WritersAtTheirLimitAndPastIt) {
  CaptureStderr();
  for (const std::int32_t N : {99999, 100000}) {
    const std::vector<std::int32_t> I(N, 0);
    const std::vector<double> R(N, 0.0);
    OUTPUT& O = CONNECT_MEMORY_UNIT(8);
    WRITE_RESTART(I, R, R, R, R, I, R, R, N, 1, 0.0);
    const int W = N == 99999 ? 5 : 7;
    const std::string LAST = O.MEMORY.substr(O.MEMORY.rfind("\r\n", O.MEMORY.size() - 3) + 2);
    EXPECT_EQ(LAST.substr(0, W + 12), RIGHT(N, W) + ",    0,    0") << N;
    EXPECT_EQ(O.MEMORY.substr(O.MEMORY.find("\r\n") + 2, W + 1), RIGHT(1, W) + ",");
    EXPECT_EQ(LINES(O.MEMORY), static_cast<std::size_t>(N) + 1);
  }

  // TECPLOT: three nodes, the element count decides; every element a counted
  // triangle with its third corner repeated.
  for (const std::int32_t E : {99999, 100000}) {
    const int W = E == 99999 ? 5 : 7;
    std::vector<std::int32_t> IX(5 * static_cast<std::size_t>(E));
    for (std::size_t e = 0; e < static_cast<std::size_t>(E); ++e)
      for (std::size_t j = 0; j < 5; ++j) IX[j * E + e] = j < 2 ? static_cast<std::int32_t>(j + 1) : j < 4 ? 3 : 1;
    std::vector<double> VXN(3), VYN(3), V(E, 0.0);
    std::vector<std::int32_t> NCNT(3);
    OUTPUT& O = CONNECT_MEMORY_UNIT(8);
    TITLE_TEXT TITLE;
    TITLE.fill(' ');
    WRITE_TECPLOT(TITLE, std::vector{0.0, 1.0, 0.0}, std::vector{0.0, 0.0, 1.0}, std::vector(3, 0.0), V, V,
                  IX, VXN, VYN, NCNT, 3, E, E, 0.0);
    const std::string LINE = RIGHT(1, W) + "," + RIGHT(2, W) + "," + RIGHT(3, W) + "," + RIGHT(3, W) + "\r\n";
    std::string CORNERS;
    for (std::int32_t e = 0; e < E; ++e) CORNERS += LINE;
    EXPECT_NE(O.MEMORY.find("\r\nZONE N= " + RIGHT(3, W) + ", E= " + RIGHT(E, W) + ", F=FEPOINT\r\n"),
              std::string::npos) << E;
    EXPECT_TRUE(O.MEMORY.ends_with(",\r\n" + CORNERS)) << E;  // after the last point line
  }

  // atlas.msh past a million nodes: node and corner numbers 8 wide, shape
  // codes and materials as before, section headers that give the new layout.
  constexpr std::int32_t N = 1000000;
  OUTPUT& O = CONNECT_MEMORY_UNIT(21);
  TITLE_TEXT TITLE;
  TITLE.fill(' ');
  const std::vector<double> R(N, 0.5);
  WRITE_ATLAS_MESH(TITLE, N, R, R, 2, e2e::MAKE_IX(2, {{1, 2, N, 4, 2}, {N, 5, 6, 0, -1}}), 2);
  const std::string NODE = "0.500000E+000.500000E+000.000000E+00\r\n";
  EXPECT_NE(O.MEMORY.find("\r\nGRID    (I8,3E12.0)\r\n" + RIGHT(1, 8) + NODE + RIGHT(2, 8) + NODE),
            std::string::npos);
  EXPECT_TRUE(O.MEMORY.ends_with(RIGHT(N, 8) + NODE + "-1\r\nCONC    (I8,2I6,4I8,I6)\r\n"
                                 "       1   204     2       1       2 1000000       4     2\r\n"
                                 "       2   203   100 1000000       5       6   100\r\n-1\r\n"));
  EXPECT_EQ(LINES(GetCapturedStderr()), 3U);
}

namespace {

// The generated model of about 150000 nodes and 3 steps, made once per test
// binary, with its counts and element table as the result file holds them.
struct LargeModel : testing::Test {
  static inline std::unique_ptr<e2e::SCRATCH> S;
  static inline std::int32_t NUMNP = 0, NUMEL = 0;
  static inline std::vector<std::array<std::int32_t, 5>> IX;

  static void SetUpTestSuite() {
    S = std::make_unique<e2e::SCRATCH>();
    const std::string FILE = e2e::GENERATE(*S, 150000, 3);
    if (FILE.empty()) return;
    // Records: title, NUMNP, the nodes, NUMEL, the elements.
    const std::vector<std::size_t> R = e2e::RECORD_STARTS(FILE);
    NUMNP = e2e::INT4_AT(FILE, R.at(1) + 4);
    NUMEL = e2e::INT4_AT(FILE, R.at(3) + 4);
    IX.resize(NUMEL);
    for (std::size_t e = 0; e < IX.size(); ++e)
      for (std::size_t j = 0; j < 5; ++j) IX[e][j] = e2e::INT4_AT(FILE, R.at(4) + 4 + 28 * e + 4 * j);
  }
  static void TearDownTestSuite() { S.reset(); }
};

}  // namespace

// All four outputs of every step: no asterisk anywhere. Restart and TECPLOT
// number fields are 7 wide, with one warning each; ATLAS (6 and 8 digits) and
// FEMAP (7) hold these counts and stay as they were.
TEST_F(LargeModel, EveryOutputKeepsItsNumbersWhole) {
  ASSERT_GT(NUMNP, 99999);
  ASSERT_GT(NUMEL, 99999);
  ASSERT_LT(std::max(NUMNP, NUMEL), 1000000);
  struct RUN_CASE { int TYPE; const char* NAME; };
  for (const RUN_CASE& C : {RUN_CASE{1, "out.rst"}, {2, "tec.plt"}, {3, ""}, {4, "out.neu"}}) {
    const e2e::RUN R = S->CONVERT(e2e::ANSWERS(C.TYPE, C.NAME, -1));
    EXPECT_EQ(R.STATUS, 0) << C.TYPE;
    const std::string COUNT = "NUMNP=" + std::to_string(NUMNP);
    EXPECT_EQ(R.ERR, C.TYPE <= 2 ? WARNING(COUNT, 5, C.NAME, 7) : "") << C.TYPE;
  }
  for (const char* NAME : {"out.rst", "tec.plt", "atlas.msh", "atlas.pst"})
    EXPECT_EQ(S->READ(NAME).find('*'), std::string::npos) << NAME;
  const std::string NEU = S->READ("out.neu");
  EXPECT_EQ(NEU.find('*'), std::string::npos);

  // Restart: per step the header record (46 columns), then the node records
  // (97 columns), each beginning with its number in 7 columns.
  const std::string RST = S->READ("out.rst");
  const std::size_t BLOCK = 48 + 99 * static_cast<std::size_t>(NUMNP);
  ASSERT_EQ(RST.size(), 3 * BLOCK);
  std::size_t wrong = 0;
  char number[16];
  for (std::size_t at = 48; at < RST.size(); at += BLOCK) {
    for (std::int32_t i = 1; i <= NUMNP; ++i) {
      std::snprintf(number, sizeof number, "%7d,", i);
      wrong += RST.compare(at + 99 * static_cast<std::size_t>(i - 1), 8, number) != 0;
    }
  }
  EXPECT_EQ(wrong, 0U);

  // TECPLOT: per block the zone line with both counts and, after the point
  // lines, the corners of every counted element, each 7 wide.
  std::string CORNERS;
  std::int32_t NE = 0;
  for (const auto& ix : IX) {
    if (ix[4] <= 0) continue;
    ++NE;
    char line[64];
    CORNERS += std::string_view(line, std::snprintf(line, sizeof line, "%7d,%7d,%7d,%7d\r\n", ix[0], ix[1], ix[2], ix[3]));
  }
  const std::string PLT = S->READ("tec.plt");
  const std::string ZONE = "ZONE N= " + RIGHT(NUMNP, 7) + ", E= " + RIGHT(NE, 7) + ", F=FEPOINT\r\n";
  std::size_t block = PLT.find(ZONE);
  for (int step = 1; step <= 3; ++step) {
    ASSERT_NE(block, std::string::npos) << step;
    std::size_t corners = block + ZONE.size() + 80 * static_cast<std::size_t>(NUMNP);  // 78-column point lines
    EXPECT_EQ(PLT.compare(corners, CORNERS.size(), CORNERS), 0) << step;
    block = PLT.find(ZONE, corners);
    EXPECT_EQ(corners + CORNERS.size(), step < 3 ? PLT.find("TITLE = ", corners) : PLT.size());
  }

  // ATLAS and FEMAP as they were: the last node number in 6 and in 7 columns.
  const std::string MSH = S->READ("atlas.msh");
  EXPECT_NE(MSH.find("\r\nGRID    (I6,3E12.0)\r\n"), std::string::npos);
  EXPECT_NE(MSH.find("\r\n" + RIGHT(NUMNP, 6) + "0."), std::string::npos);
  EXPECT_NE(NEU.find("\r\n" + RIGHT(NUMNP, 7) + ",0,0,1,46,"), std::string::npos);
}
