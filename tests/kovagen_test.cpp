// The sample generator: record framing and sizes, the work list, the mesh forms
// and the same bytes for the same options.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e_support.h"

TEST(Kovagen, FramedRecordsWorkListMeshFormsAndSameBytes) {
  e2e::SCRATCH s;
  auto kovagen = [&](const std::vector<std::string>& args) {
    return e2e::RUN_PROGRAM(s.DIR, KOVAGEN_EXE, "", args).STATUS;
  };
  ASSERT_EQ(kovagen({"--nodes", "400", "--steps", "3", "--name", "theis.res"}), 0);
  EXPECT_EQ(s.READ("WORK.LST"), "theis.dat\r\ntheis.out\r\ntheis.rst\r\ntheis.res\r\n");
  const std::string file = s.READ("theis.res");
  // 20 x 20 nodes; 19 x 19 cells, of which the 37 on the two diagonals (the
  // centre cell is on both) are split in two: 398 elements. Then three steps.
  const std::size_t sizes[] = {80, 4, 36 * 400, 4, 28 * 398, 12, 20 * 400, 16 * 398,
                               12, 20 * 400, 16 * 398, 12, 20 * 400, 16 * 398};
  std::vector<std::string> r;
  std::size_t at = 0;
  for (const std::size_t size : sizes) {
    const auto length = static_cast<std::int32_t>(size);
    ASSERT_EQ(e2e::INT4_AT(file, at), length) << "record " << r.size();
    ASSERT_EQ(e2e::INT4_AT(file, at + 4 + size), length) << "record " << r.size();
    r.push_back(file.substr(at + 4, size));
    at += 8 + size;
  }
  EXPECT_EQ(at, file.size());
  EXPECT_EQ(r[0], e2e::PADDED("THEIS PUMPING TEST  400 NODES 3 STEPS", 80));
  EXPECT_EQ(e2e::INT4_AT(r[1], 0), 400);
  EXPECT_EQ(e2e::INT4_AT(r[3], 0), 398);
  for (int k = 0; k < 3; ++k) EXPECT_EQ(r[5 + 3 * k].substr(0, 4), e2e::INT4(k + 1));  // step numbers

  // Corners within 1..NUMNP (a fourth corner may be 0); both triangle forms, and
  // four elements of attribute 0 or below: three cells of the north-east corner.
  int zero_fourth = 0, repeated_third = 0, inactive = 0;
  for (std::size_t e = 0; e < 398; ++e) {
    std::int32_t ix[5];
    for (std::size_t j = 0; j < 5; ++j) ix[j] = e2e::INT4_AT(r[4], 28 * e + 4 * j);
    for (int j = 0; j < 4; ++j) EXPECT_TRUE((ix[j] >= 1 && ix[j] <= 400) || (j == 3 && !ix[3])) << e;
    zero_fourth += ix[3] == 0;
    repeated_third += ix[3] == ix[2];
    inactive += ix[4] <= 0;
  }
  EXPECT_EQ(zero_fourth, 37);
  EXPECT_EQ(repeated_third, 37);
  EXPECT_EQ(inactive, 4);

  // The same options in another order give the same bytes.
  ASSERT_EQ(kovagen({"--name", "again.res", "--steps", "3", "--nodes", "400"}), 0);
  EXPECT_TRUE(s.READ("again.res") == file);
}

#if !defined(_WIN32)
// A write past the file-size limit (refused, as on a full disk, instead of a
// kill by SIGXFSZ) leaves no result file, neither cut nor under a temporary
// name, and says why; an existing result file stays as it was.
TEST(Kovagen, RefusedWriteLeavesNoResultFile) {
  e2e::SCRATCH s;
  s.WRITE("result.bin", "before");
  const e2e::RUN run = e2e::RUN_PROGRAM(
      s.DIR, "/bin/sh", "", {"-c", std::string("ulimit -f 1024; exec ") + KOVAGEN_EXE + " --nodes 40000 --steps 3"});
  EXPECT_EQ(run.STATUS, 1);
  EXPECT_EQ(run.ERR, "kovagen: ./result.bin: File too large\n");
  EXPECT_EQ(s.READ("result.bin"), "before");
  EXPECT_EQ(s.FILES({}).size(), 1U);  // no temporary file, no work list
}
#endif
