// TECPLOT point data blocks, written to a memory unit 8 and compared byte for
// byte with blocks worked out by hand.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "recordio/units.h"
#include "writers/writers.h"

namespace {

// A small model in the store's layout: IX column by column, columns MAXN long.
// MAXN is deliberately not NUMEL, so column addressing by the wrong length shows.
struct MODEL {
  static constexpr std::int32_t MAXN = 7;
  TITLE_TEXT TITLE{};
  std::vector<double> X, Y, H, VX, VY;
  std::vector<std::int32_t> IX = std::vector<std::int32_t>(5 * MAXN, 0);
  std::vector<double> VXN = std::vector<double>(8, 123.0), VYN = std::vector<double>(8, 123.0);
  std::vector<std::int32_t> NCNT = std::vector<std::int32_t>(8, 99);
  std::int32_t NUMEL = 0;

  MODEL(std::string title) {
    title.resize(80, ' ');
    std::copy(title.begin(), title.end(), TITLE.begin());
  }
  void NODE(double x, double y, double h) {
    X.push_back(x);
    Y.push_back(y);
    H.push_back(h);
  }
  void ELEMENT(std::array<std::int32_t, 5> ix, double vx, double vy) {
    for (std::size_t j = 0; j < 5; ++j) IX[j * MAXN + static_cast<std::size_t>(NUMEL)] = ix[j];
    VX.push_back(vx);
    VY.push_back(vy);
    ++NUMEL;
  }
  std::string WRITE(double time) {
    OUTPUT& out = CONNECT_MEMORY_UNIT(8);
    WRITE_TECPLOT(TITLE, X, Y, H, VX, VY, IX, VXN, VYN, NCNT, static_cast<std::int32_t>(X.size()),
                  NUMEL, MAXN, time);
    return out.MEMORY;
  }
};

const std::string VARIABLES = "VARIABLES = \"X\",\"Y\",\"H\",\"VX\",\"VY\",\"V\"\r\n";

}  // namespace

// A quadrilateral and a triangle stored with its third corner repeated, both
// counted: plain means at the shared nodes, the repeated corner counted once.
TEST(TecplotBlock, HeaderPointLinesAndConnectivity) {
  MODEL m("STEADY TEST");
  m.NODE(0, 0, 12.5);
  m.NODE(10, 0, 12.25);
  m.NODE(10, 10, 3);
  m.NODE(0, 10, 0);
  m.NODE(20, 0, -1.5);
  m.ELEMENT({1, 2, 3, 4, 1}, 1.0, 2.0);
  m.ELEMENT({2, 5, 3, 3, 2}, 3.0, -4.0);

  // Node 2 and 3: ((1+3)/2, (2-4)/2) = (2, -1); speed sqrt(5) = 2.23607 in every
  // node but node 5, which only the triangle touches: (3, -4), speed 5.
  const std::string expected =
      "TITLE = \"TIME=  3.6000E+03 STEADY TEST" + std::string(69, ' ') + "\"\r\n" + VARIABLES +
      "ZONE N=     5, E=     2, F=FEPOINT\r\n"
      "  0.0000E+00,  0.0000E+00,  1.2500E+01,  1.0000E+00,  2.0000E+00,  2.2361E+00,\r\n"
      "  1.0000E+01,  0.0000E+00,  1.2250E+01,  2.0000E+00, -1.0000E+00,  2.2361E+00,\r\n"
      "  1.0000E+01,  1.0000E+01,  3.0000E+00,  2.0000E+00, -1.0000E+00,  2.2361E+00,\r\n"
      "  0.0000E+00,  1.0000E+01,  0.0000E+00,  1.0000E+00,  2.0000E+00,  2.2361E+00,\r\n"
      "  2.0000E+01,  0.0000E+00, -1.5000E+00,  3.0000E+00, -4.0000E+00,  5.0000E+00,\r\n"
      "    1,    2,    3,    4\r\n"
      "    2,    5,    3,    3\r\n";
  EXPECT_EQ(m.WRITE(3600.0), expected);

  // The closing quote sits in column 108 whatever the title holds.
  const std::string first = expected.substr(0, expected.find('\r'));
  EXPECT_EQ(first.size(), 108U);
}

// Which elements and corners take part: attributes of 0 or below are left out
// entirely, a fourth corner 0 makes a quadrilateral with three numbered corners,
// and corners outside 1..NUMNP take no share but are written as stored.
TEST(TecplotBlock, CountedElementsAndCorners) {
  MODEL none("");
  none.NODE(1, 1, 1);
  none.NODE(2, 2, 2);
  none.NODE(3, 3, 3);
  none.ELEMENT({1, 2, 3, 3, 0}, 5.0, 5.0);
  none.ELEMENT({1, 2, 3, 0, -4}, 7.0, 7.0);
  EXPECT_EQ(none.WRITE(0.0),
            "TITLE = \"TIME=  0.0000E+00 " + std::string(80, ' ') + "\"\r\n" + VARIABLES +
                "ZONE N=     3, E=     0, F=FEPOINT\r\n"
                "  1.0000E+00,  1.0000E+00,  1.0000E+00,  0.0000E+00,  0.0000E+00,  0.0000E+00,\r\n"
                "  2.0000E+00,  2.0000E+00,  2.0000E+00,  0.0000E+00,  0.0000E+00,  0.0000E+00,\r\n"
                "  3.0000E+00,  3.0000E+00,  3.0000E+00,  0.0000E+00,  0.0000E+00,  0.0000E+00,\r\n");

  // Element 1 (attribute 0) is the only one at node 4: it stays at zero.
  // Element 2 has a fourth corner 0: corners 1, 2, 3 get (6, 8).
  // Element 3 names nodes 9 and -2, which do not exist: only nodes 2 and 3
  // get its (-2, 0), so node 2 holds ((6-2)/2, 8/2) = (2, 4), speed sqrt(20).
  MODEL mixed("M");
  for (int i = 1; i <= 4; ++i) mixed.NODE(i, 0, 0);
  mixed.ELEMENT({1, 2, 4, 4, 0}, 100.0, 100.0);
  mixed.ELEMENT({1, 2, 3, 0, 3}, 6.0, 8.0);
  mixed.ELEMENT({9, 2, 3, -2, 1}, -2.0, 0.0);
  EXPECT_EQ(mixed.WRITE(-0.5),
            "TITLE = \"TIME= -5.0000E-01 M" + std::string(79, ' ') + "\"\r\n" + VARIABLES +
                "ZONE N=     4, E=     2, F=FEPOINT\r\n"
                "  1.0000E+00,  0.0000E+00,  0.0000E+00,  6.0000E+00,  8.0000E+00,  1.0000E+01,\r\n"
                "  2.0000E+00,  0.0000E+00,  0.0000E+00,  2.0000E+00,  4.0000E+00,  4.4721E+00,\r\n"
                "  3.0000E+00,  0.0000E+00,  0.0000E+00,  2.0000E+00,  4.0000E+00,  4.4721E+00,\r\n"
                "  4.0000E+00,  0.0000E+00,  0.0000E+00,  0.0000E+00,  0.0000E+00,  0.0000E+00,\r\n"
                "    1,    2,    3,    0\r\n"
                "    9,    2,    3,   -2\r\n");
}

// Each call rebuilds the work arrays from zero: a second step's block holds
// only that step's velocities, and the work arrays hold its averages after.
TEST(TecplotBlock, EveryCallStartsFromZero) {
  MODEL m(std::string(80, 'Q'));
  m.NODE(0, 0, 1);
  m.NODE(1, 0, 2);
  m.ELEMENT({1, 2, 2, 0, 1}, 1.0, 0.0);
  m.ELEMENT({2, 0, 0, 0, 1}, 3.0, 0.0);
  const std::string head = "TITLE = \"TIME=  1.0000E+00 " + std::string(80, 'Q') + "\"\r\n" +
                           VARIABLES + "ZONE N=     2, E=     2, F=FEPOINT\r\n";
  // Element 1 has corners 3 and 4 unequal (2 and 0): four corners, of which
  // two name node 2, so node 2 counts it twice. Element 2 has corners 3 and 4
  // equal (0 and 0): three corners, one of them node 2.
  // Node 2: (1 + 1 + 3) / 3 = 1.66667.
  EXPECT_EQ(m.WRITE(1.0),
            head +
                "  0.0000E+00,  0.0000E+00,  1.0000E+00,  1.0000E+00,  0.0000E+00,  1.0000E+00,\r\n"
                "  1.0000E+00,  0.0000E+00,  2.0000E+00,  1.6667E+00,  0.0000E+00,  1.6667E+00,\r\n"
                "    1,    2,    2,    0\r\n"
                "    2,    0,    0,    0\r\n");
  m.VX = {-4.0, 0.0};
  m.VY = {0.0, 0.0};
  // Node 2: (-4 - 4 + 0) / 3 = -2.66667.
  EXPECT_EQ(m.WRITE(1.0),
            head +
                "  0.0000E+00,  0.0000E+00,  1.0000E+00, -4.0000E+00,  0.0000E+00,  4.0000E+00,\r\n"
                "  1.0000E+00,  0.0000E+00,  2.0000E+00, -2.6667E+00,  0.0000E+00,  2.6667E+00,\r\n"
                "    1,    2,    2,    0\r\n"
                "    2,    0,    0,    0\r\n");
  EXPECT_EQ(m.NCNT[0], 1);
  EXPECT_EQ(m.NCNT[1], 3);
  EXPECT_DOUBLE_EQ(m.VXN[0], -4.0);
}
