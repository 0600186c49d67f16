// The sample generator: record framing, work list, mesh forms, physics, options.
#include <gtest/gtest.h>

#include <unistd.h>

#include <bit>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct TEMP_DIR {
  fs::path PATH;
  TEMP_DIR() {
    std::string tmpl = (fs::temp_directory_path() / "kovagen_test_XXXXXX").string();
    if (::mkdtemp(tmpl.data())) PATH = tmpl;
  }
  ~TEMP_DIR() {
    std::error_code ec;
    if (!PATH.empty()) fs::remove_all(PATH, ec);
  }
};

// Runs kovagen with `args` in `dir`; returns its exit status.
int RUN(const fs::path& dir, const std::string& args) {
  const std::string cmd = "cd '" + dir.string() + "' && '" KOVAGEN_EXE "' " + args +
                          " >/dev/null 2>&1";
  const int rc = std::system(cmd.c_str());
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

std::string SLURP(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::uint64_t LE(const std::string& s, std::size_t at, int bytes) {
  std::uint64_t v = 0;
  for (int k = bytes - 1; k >= 0; --k) v = v << 8 | static_cast<unsigned char>(s.at(at + k));
  return v;
}
std::int32_t I4(const std::string& s, std::size_t at) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(LE(s, at, 4)));
}
double R8(const std::string& s, std::size_t at) { return std::bit_cast<double>(LE(s, at, 8)); }

// Splits a result file into its records; fails the test on any framing fault.
std::vector<std::string> RECORDS(const std::string& file) {
  std::vector<std::string> out;
  std::size_t p = 0;
  while (p < file.size()) {
    EXPECT_LE(p + 4, file.size());
    const std::int32_t len = I4(file, p);
    EXPECT_GE(len, 0);
    EXPECT_LE(p + 8 + len, file.size()) << "record " << out.size() << " runs past the end";
    if (len < 0 || p + 8 + len > file.size()) break;
    EXPECT_EQ(I4(file, p + 4 + len), len) << "trailing length of record " << out.size();
    out.push_back(file.substr(p + 4, len));
    p += 8 + len;
  }
  return out;
}

struct MESH {
  std::int32_t NUMNP = 0, NUMEL = 0;
  std::vector<double> X, Y;
  std::vector<std::int32_t> IX;  // five per element
};

MESH READ_MESH(const std::vector<std::string>& r) {
  MESH m;
  m.NUMNP = I4(r.at(1), 0);
  m.NUMEL = I4(r.at(3), 0);
  for (int i = 0; i < m.NUMNP; ++i) {
    m.X.push_back(R8(r.at(2), 36 * i));
    m.Y.push_back(R8(r.at(2), 36 * i + 8));
  }
  for (int e = 0; e < m.NUMEL; ++e)
    for (int j = 0; j < 5; ++j) m.IX.push_back(I4(r.at(4), 28 * e + 4 * j));
  return m;
}

TEST(Kovagen, WritesFramedRecordsAndWorkList) {
  TEMP_DIR d;
  ASSERT_EQ(RUN(d.PATH, "--nodes 400 --steps 3 --name theis.res"), 0);
  const std::string file = SLURP(d.PATH / "theis.res");
  // 20 x 20 nodes; 19 x 19 cells, of which the 37 on the two diagonals (the
  // centre cell is on both) are split into two triangles: 398 elements.
  // 88 + 12 + (14400 + 8) + 12 + (11144 + 8) + 3 * (20 + 8008 + 6376) bytes.
  EXPECT_EQ(file.size(), 68884u);
  const auto r = RECORDS(file);
  ASSERT_EQ(r.size(), 5u + 3 * 3);
  EXPECT_EQ(r[0], "THEIS PUMPING TEST  400 NODES 3 STEPS" + std::string(43, ' '));
  EXPECT_EQ(r[1].size(), 4u);
  EXPECT_EQ(I4(r[1], 0), 400);
  EXPECT_EQ(r[2].size(), 36u * 400);
  EXPECT_EQ(I4(r[3], 0), 398);
  EXPECT_EQ(r[4].size(), 28u * 398);
  // Steps 1..3 at 60 s, 60 * 1440^(1/2) s rounded, one day.
  const double times[3] = {60.0, 2277.0, 86400.0};
  for (int k = 0; k < 3; ++k) {
    ASSERT_EQ(r[5 + 3 * k].size(), 12u);
    EXPECT_EQ(I4(r[5 + 3 * k], 0), k + 1);
    EXPECT_EQ(R8(r[5 + 3 * k], 4), times[k]);
    EXPECT_EQ(r[6 + 3 * k].size(), 20u * 400);
    EXPECT_EQ(r[7 + 3 * k].size(), 16u * 398);
  }
  EXPECT_EQ(SLURP(d.PATH / "WORK.LST"), "theis.dat\r\ntheis.out\r\ntheis.rst\r\ntheis.res\r\n");

  // No steps: the model part alone. 3 x 3 nodes: all four cells split.
  TEMP_DIR z;
  ASSERT_EQ(RUN(z.PATH, "--nodes 10 --steps 0"), 0);
  const auto rz = RECORDS(SLURP(z.PATH / "result.bin"));
  ASSERT_EQ(rz.size(), 5u);
  EXPECT_EQ(I4(rz[1], 0), 9);
  EXPECT_EQ(I4(rz[3], 0), 8);
  EXPECT_EQ(SLURP(z.PATH / "WORK.LST").substr(33), "result.bin\r\n");
}

TEST(Kovagen, MeshHoldsBothTriangleFormsAndInactiveElements) {
  TEMP_DIR d;
  ASSERT_EQ(RUN(d.PATH, "--nodes 400 --steps 1"), 0);
  const MESH m = READ_MESH(RECORDS(SLURP(d.PATH / "result.bin")));
  int zero_fourth = 0, repeated_third = 0, quads = 0, inactive = 0;
  for (int e = 0; e < m.NUMEL; ++e) {
    const std::int32_t* ix = &m.IX[5 * e];
    for (int j = 0; j < 4; ++j) {
      if (j == 3 && ix[3] == 0) continue;
      ASSERT_GE(ix[j], 1);
      ASSERT_LE(ix[j], m.NUMNP);
    }
    if (ix[3] == 0) ++zero_fourth;
    else if (ix[3] == ix[2]) ++repeated_third;
    else ++quads;
    if (ix[4] <= 0) ++inactive;
    // Corners run counter-clockwise: positive signed area.
    const int n = ix[3] == 0 || ix[3] == ix[2] ? 3 : 4;
    double area2 = 0;
    for (int k = 0; k < n; ++k) {
      const int a = ix[k] - 1, b = ix[(k + 1) % n] - 1;
      area2 += m.X[a] * m.Y[b] - m.X[b] * m.Y[a];
    }
    EXPECT_GT(area2, 0.0) << "element " << e + 1;
  }
  EXPECT_EQ(zero_fourth, 37);
  EXPECT_EQ(repeated_third, 37);
  EXPECT_EQ(quads, 361 - 37);
  EXPECT_EQ(inactive, 4);  // three cells of the north-east corner, one of them split
}

TEST(Kovagen, HeadsFallAndFlowRunsTowardTheWell) {
  TEMP_DIR d;
  ASSERT_EQ(RUN(d.PATH, "--nodes 400 --steps 4"), 0);
  const auto r = RECORDS(SLURP(d.PATH / "result.bin"));
  ASSERT_EQ(r.size(), 17u);
  const MESH m = READ_MESH(r);
  // Node 190 (row 10, column 10 of 20) sits at the origin: the well.
  const int well = 189;
  EXPECT_EQ(m.X[well], 0.0);
  EXPECT_EQ(m.Y[well], 0.0);
  double last_well_head = 51.0;
  for (int k = 0; k < 4; ++k) {
    const std::string& nodes = r[6 + 3 * k];
    const std::string& vel = r[7 + 3 * k];
    auto H = [&](int i) { return R8(nodes, 20 * i + 4); };
    // The well head drops from step to step and is the lowest head.
    EXPECT_LT(H(well), last_well_head);
    last_well_head = H(well);
    for (int i = 0; i < m.NUMNP; ++i) {
      EXPECT_LE(H(well), H(i));
      EXPECT_LE(H(i), 50.0);
      EXPECT_EQ(R8(nodes, 20 * i + 12), i == well ? -0.01 : 0.0) << "Q of node " << i + 1;
      const std::int32_t flag = I4(nodes, 20 * i);
      EXPECT_TRUE(flag == 0 || flag == 1);
    }
    // Along the well's row the head falls toward the well from both sides.
    for (int i = 180; i < 189; ++i) EXPECT_GE(H(i), H(i + 1)) << "node " << i + 1;
    for (int i = 190; i < 200; ++i) EXPECT_GE(H(i), H(i - 1)) << "node " << i + 1;
    // Every active element's velocity points toward the well; inactive ones carry none.
    for (int e = 0; e < m.NUMEL; ++e) {
      const double vx = R8(vel, 16 * e), vy = R8(vel, 16 * e + 8);
      if (m.IX[5 * e + 4] <= 0) {
        EXPECT_EQ(vx, 0.0);
        EXPECT_EQ(vy, 0.0);
        continue;
      }
      double cx = 0, cy = 0;
      for (int j = 0; j < 3; ++j) cx += m.X[m.IX[5 * e + j] - 1], cy += m.Y[m.IX[5 * e + j] - 1];
      EXPECT_LE(vx * cx + vy * cy, 0.0) << "element " << e + 1 << " step " << k + 1;
    }
  }
  // By the last step the cone has spread well out from the well: over 1 m of
  // drawdown at the well and a flag on at least the well's neighbours.
  EXPECT_LT(last_well_head, 49.0);
  EXPECT_EQ(I4(r[15], 20 * well), 1);
  EXPECT_EQ(I4(r[15], 20 * (well + 1)), 1);
}

TEST(Kovagen, SameOptionsGiveSameBytes) {
  TEMP_DIR a, b;
  ASSERT_EQ(RUN(a.PATH, "--nodes 900 --steps 3"), 0);
  ASSERT_EQ(RUN(b.PATH, "--steps 3 --nodes 900"), 0);
  const std::string fa = SLURP(a.PATH / "result.bin");
  EXPECT_GT(fa.size(), 0u);
  EXPECT_TRUE(fa == SLURP(b.PATH / "result.bin"));
  EXPECT_EQ(SLURP(a.PATH / "WORK.LST"), SLURP(b.PATH / "WORK.LST"));
  // --dir writes there instead of the current directory.
  TEMP_DIR c;
  ASSERT_EQ(RUN(a.PATH, "--nodes 900 --steps 3 --name x.bin --dir '" + c.PATH.string() + "'"), 0);
  EXPECT_TRUE(fa == SLURP(c.PATH / "x.bin"));
  EXPECT_FALSE(fs::exists(a.PATH / "x.bin"));
}

TEST(Kovagen, BadOptionsGiveStatus2AndNoFiles) {
  TEMP_DIR d;
  EXPECT_EQ(RUN(d.PATH, "--frobnicate 1"), 2);
  EXPECT_EQ(RUN(d.PATH, "--nodes"), 2);
  EXPECT_EQ(RUN(d.PATH, "--nodes 3x"), 2);
  EXPECT_EQ(RUN(d.PATH, "--steps -1"), 2);
  // The converter reads only 20 characters of the work list's fourth line.
  EXPECT_EQ(RUN(d.PATH, "--name 123456789012345678901"), 2);
  EXPECT_TRUE(fs::is_empty(d.PATH));
  EXPECT_EQ(RUN(d.PATH, "--name 12345678901234567890 --nodes 4 --steps 1"), 0);
  EXPECT_TRUE(fs::exists(d.PATH / "12345678901234567890"));
}

}  // namespace
