// TECPLOT point data blocks, written to a memory unit 8 and compared byte for
// byte with blocks worked out by hand.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "e2e_support.h"
#include "recordio/records/units.h"
#include "writers/writers.h"

using namespace KOVA;

// Six nodes and five elements in the store's layout: IX column by column, the
// columns MAXN = 7 long (not NUMEL, so addressing by the wrong length shows).
// Element 1 is a quadrilateral, 2 a triangle with its third corner repeated,
// 3 has attribute 0 (it alone touches node 6), 4 has a fourth corner 0,
// 5 attribute -2. Work arrays start with stale values.
TEST(TecplotBlock, CountedElementsCornersAndPlainMeans) {
  constexpr std::int32_t MAXN = 7, NUMEL = 5;
  TITLE_TEXT TITLE;
  TITLE.fill(' ');
  std::string("STEADY TEST").copy(TITLE.data(), 11);
  const std::vector<double> X = {0, 10, 10, 0, 20, 20}, Y = {0, 0, 10, 10, 0, 10};
  const std::vector<double> H = {12.5, 12.25, 3, 0, -1.5, 1};
  const std::vector<double> VX = {1, 3, 100, 4, 7}, VY = {2, -4, 100, 5, 7};
  std::vector<std::int32_t> IX = e2e::MAKE_IX(MAXN, {{1, 2, 3, 4, 1}, {2, 5, 3, 3, 2}, {3, 5, 6, 6, 0},
                                                   {1, 3, 4, 0, 3}, {5, 6, 3, 3, -2}}), NCNT(8, 99);
  std::vector<double> VXN(8, 123.0), VYN(8, 123.0);
  auto block = [&] {
    OUTPUT& out = CONNECT_MEMORY_UNIT(8);
    WRITE_TECPLOT(TITLE, X, Y, H, VX, VY, IX, VXN, VYN, NCNT, 6, NUMEL, MAXN, 3600.0);
    return out.MEMORY;
  };
  const std::string head = "TITLE = \"TIME=  3.6000E+03 STEADY TEST" + std::string(69, ' ') + "\"\r\n" +
                           "VARIABLES = \"X\",\"Y\",\"H\",\"VX\",\"VY\",\"V\"\r\nZONE N=     6, E=     ";
  // Node 1 and 4: elements 1 and 4, (2.5, 3.5). Node 2: 1 and 2, (2, -1). Node 3:
  // 1, 2 (once) and 4, (8/3, 1). Node 5: element 2 alone. Node 6: none.
  const std::string points[] = {
      "  0.0000E+00,  0.0000E+00,  1.2500E+01,  2.5000E+00,  3.5000E+00,  4.3012E+00,\r\n",
      "  1.0000E+01,  0.0000E+00,  1.2250E+01,  2.0000E+00, -1.0000E+00,  2.2361E+00,\r\n",
      "  1.0000E+01,  1.0000E+01,  3.0000E+00,  2.6667E+00,  1.0000E+00,  2.8480E+00,\r\n",
      "  0.0000E+00,  1.0000E+01,  0.0000E+00,  2.5000E+00,  3.5000E+00,  4.3012E+00,\r\n",
      "  2.0000E+01,  0.0000E+00, -1.5000E+00,  3.0000E+00, -4.0000E+00,  5.0000E+00,\r\n",
      "  2.0000E+01,  1.0000E+01,  1.0000E+00,  0.0000E+00,  0.0000E+00,  0.0000E+00,\r\n"};
  std::string counted = head + "3, F=FEPOINT\r\n", none = head + "0, F=FEPOINT\r\n";
  for (const std::string& p : points) {
    counted += p;
    none += p.substr(0, 39) + "  0.0000E+00,  0.0000E+00,  0.0000E+00,\r\n";
  }
  EXPECT_EQ(block(),
            counted + "    1,    2,    3,    4\r\n    2,    5,    3,    3\r\n    1,    3,    4,    0\r\n");
  // No counted element: zero velocities everywhere, the work arrays rebuilt from zero.
  for (int e = 0; e < NUMEL; ++e) IX[4 * MAXN + e] = 0;
  EXPECT_EQ(block(), none);
}
