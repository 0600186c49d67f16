// kovagen: writes a sample NU-KOVA result file and its work list WORK.LST.
//
// The sample is a pumping test in a confined aquifer: one well at the origin
// pumps at a constant rate from t = 0, and the drawdown follows the Theis
// solution s = Q / (4 pi T) * W(u), u = r^2 S / (4 T t), W = E1. The mesh is a
// rectangular grid of quadrilaterals; the cells on the grid's two diagonals
// are split into two triangles, one stored with a 0 fourth corner and
// one with its third corner repeated, and a few cells in the north-east corner
// are inactive (attribute 0 or -1). Element velocities are seepage velocities
// from the head gradient of each element's corners (Darcy, v = -K grad h / n).
//
// Node record: X, Y, NPAR1 = initial head, NPAR2 = storage coefficient,
// NCODE = 1 on the fixed-head outer boundary. Element record: corners,
// attribute, EPAR = conductivity. Per step: NFLAG = 1 inside the cone of
// depression (drawdown of 1 mm or more), H = total head, Q = the withdrawal at
// the well node (negative), 0 elsewhere; times grow geometrically from one
// minute to one day.
//
// The output is the same on every run with the same options. Both files are
// written under temporary names and renamed when whole: a run that fails (a
// full disk, the file-size limit) says why, exits with status 1 and leaves
// no result file; lack of memory ends it with status 71.
//
// Usage: kovagen [--nodes N] [--steps S] [--dir DIR] [--name NAME] | --help | --version
#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <numbers>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "recordio/records/options.h"
#include "recordio/run_end/tools.h"

using namespace KOVA;

namespace {

// Aquifer and well. SI units: metres, seconds.
constexpr double COND = 1.0e-4;      // hydraulic conductivity K
constexpr double THICK = 20.0;       // aquifer thickness
constexpr double TRANS = COND * THICK;
constexpr double STORE = 1.0e-4;     // storage coefficient S
constexpr double POROS = 0.25;       // effective porosity
constexpr double PUMP = 0.01;        // pumping rate, m3/s (36 m3/h)
constexpr double WELL_RADIUS = 0.1;  // drawdown at the well node is taken here
constexpr double HEAD0 = 50.0;       // initial head, everywhere
constexpr double EXTENT = 4000.0;    // grid width and height
constexpr double FIRST_TIME = 60.0;  // first output time (1 minute)
constexpr double LAST_TIME = 86400.0;  // last output time (1 day)
constexpr double CONE_LIMIT = 0.001;   // drawdown that sets a node's flag

constexpr int MIN_NODES = 4;
// Large enough for models whose node numbers outgrow every fixed field of
// the converter's outputs; the node record (36 bytes a node) keeps its length
// within the 32-bit length field.
constexpr int MAX_NODES = 20000000;
static_assert(36LL * MAX_NODES <= INT32_MAX);
constexpr int MAX_STEPS = 10000;
constexpr std::size_t MAX_NAME = 20;  // the converter reads 20 characters of WORK.LST line 4

// Exponential integral E1(x) for x > 0: power series up to 1, continued
// fraction (modified Lentz) beyond.
double E1(double x) {
  constexpr double EPS = 1.0e-16;
  if (x > 700.0) return 0.0;  // below the smallest double
  if (x <= 1.0) {
    double sum = -std::log(x) - std::numbers::egamma;
    double term = 1.0;
    for (int k = 1; k < 200; ++k) {
      term *= -x / k;
      const double add = -term / k;
      sum += add;
      if (std::fabs(add) < std::fabs(sum) * EPS) break;
    }
    return sum;
  }
  double b = x + 1.0;
  double c = 1.0 / 1.0e-300;
  double d = 1.0 / b;
  double h = d;
  for (int i = 1; i < 200; ++i) {
    const double a = -static_cast<double>(i) * i;
    b += 2.0;
    d = 1.0 / (a * d + b);
    c = b + a / c;
    const double del = c * d;
    h *= del;
    if (std::fabs(del - 1.0) < EPS) break;
  }
  return h * std::exp(-x);
}

struct ELEMENT {
  std::int32_t IX[5];  // corners 1..4 (node numbers from 1, 0 = absent), attribute
};

struct MODEL {
  int NX = 0, NY = 0;  // nodes per row and per column
  std::vector<double> X, Y;
  std::vector<std::int32_t> NCODE;
  std::vector<ELEMENT> ELEMS;
  int WELL = 0;  // node index (from 0) of the pumped well
};

// Grid of about `nodes` nodes over EXTENT x EXTENT, the well on the node
// nearest the centre, placed at the origin.
MODEL BUILD_MESH(int nodes) {
  MODEL m;
  m.NX = std::max(2, static_cast<int>(std::lround(std::sqrt(static_cast<double>(nodes)))));
  m.NY = std::max(2, nodes / m.NX);
  const double dx = EXTENT / (m.NX - 1), dy = EXTENT / (m.NY - 1);
  const int iw = (m.NX - 1) / 2, jw = (m.NY - 1) / 2;
  m.WELL = jw * m.NX + iw;
  // Sized once: memory stays a fixed number of bytes a node, with no
  // doubling of an array as it grows.
  const auto count = static_cast<std::size_t>(m.NX) * static_cast<std::size_t>(m.NY);
  m.X.reserve(count);
  m.Y.reserve(count);
  m.NCODE.reserve(count);
  const int cx = m.NX - 1, cy = m.NY - 1;  // cells per row and per column
  // Every cell is one element, the cells on the two diagonals two.
  m.ELEMS.reserve(static_cast<std::size_t>(cx) * static_cast<std::size_t>(cy) +
                  2 * static_cast<std::size_t>(std::min(cx, cy)));
  for (int j = 0; j < m.NY; ++j) {
    for (int i = 0; i < m.NX; ++i) {
      m.X.push_back((i - iw) * dx);
      m.Y.push_back((j - jw) * dy);
      const bool edge = i == 0 || j == 0 || i == m.NX - 1 || j == m.NY - 1;
      m.NCODE.push_back(edge ? 1 : 0);  // fixed head on the outer boundary
    }
  }
  for (int j = 0; j < cy; ++j) {
    for (int i = 0; i < cx; ++i) {
      // Corners counter-clockwise from the south-west one.
      const std::int32_t n1 = j * m.NX + i + 1, n2 = n1 + 1, n3 = n2 + m.NX, n4 = n1 + m.NX;
      // Zone 2 is the western strip of cells; the north-east corner cell and
      // its west and south neighbours are inactive (0, -1, 0).
      std::int32_t attr = i == 0 ? 2 : 1;
      if (cx >= 3 && cy >= 3 && j == cy - 1 && i >= cx - 2) attr = i == cx - 1 ? 0 : -1;
      if (cx >= 3 && cy >= 3 && j == cy - 2 && i == cx - 1) attr = 0;
      if (i == j || i + j == cx - 1) {
        m.ELEMS.push_back({{n1, n2, n3, 0, attr}});
        m.ELEMS.push_back({{n1, n3, n4, n4, attr}});
      } else {
        m.ELEMS.push_back({{n1, n2, n3, n4, attr}});
      }
    }
  }
  return m;
}

// Head gradient of an element from its corner heads: the exact gradient of a
// triangle, the centre gradient of the bilinear quadrilateral.
void GRADIENT(const MODEL& m, const ELEMENT& e, std::span<const double> H, double& gx,
              double& gy) {
  const bool tri = e.IX[3] == 0 || e.IX[3] == e.IX[2];
  const int a = e.IX[0] - 1, b = e.IX[1] - 1, c = e.IX[2] - 1;
  if (tri) {
    const double x21 = m.X[b] - m.X[a], y21 = m.Y[b] - m.Y[a];
    const double x31 = m.X[c] - m.X[a], y31 = m.Y[c] - m.Y[a];
    const double h21 = H[b] - H[a], h31 = H[c] - H[a];
    const double det = x21 * y31 - x31 * y21;
    gx = (h21 * y31 - h31 * y21) / det;
    gy = (x21 * h31 - x31 * h21) / det;
    return;
  }
  const int n[4] = {a, b, c, e.IX[3] - 1};
  constexpr double DXI[4] = {-0.25, 0.25, 0.25, -0.25};
  constexpr double DETA[4] = {-0.25, -0.25, 0.25, 0.25};
  double j11 = 0, j12 = 0, j21 = 0, j22 = 0, hxi = 0, heta = 0;
  for (int k = 0; k < 4; ++k) {
    j11 += DXI[k] * m.X[n[k]];
    j12 += DXI[k] * m.Y[n[k]];
    j21 += DETA[k] * m.X[n[k]];
    j22 += DETA[k] * m.Y[n[k]];
    hxi += DXI[k] * H[n[k]];
    heta += DETA[k] * H[n[k]];
  }
  const double det = j11 * j22 - j12 * j21;
  gx = (j22 * hxi - j12 * heta) / det;
  gy = (j11 * heta - j21 * hxi) / det;
}

// Little-endian record writer: values are gathered in a 1 MiB buffer that
// goes to the file in one write whenever it fills.
struct SINK {
  WHOLE_FILE& F;
  std::vector<unsigned char> BUF = std::vector<unsigned char>(1 << 20);
  std::size_t USED = 0;
  void FLUSH() {
    WRITE_WHOLE_FILE(F, std::string_view(reinterpret_cast<const char*>(BUF.data()), USED));
    USED = 0;
  }
  void BYTES(const void* p, std::size_t n) {
    const auto* b = static_cast<const unsigned char*>(p);
    while (n > 0) {
      if (USED == BUF.size()) FLUSH();
      const std::size_t k = std::min(n, BUF.size() - USED);
      std::copy(b, b + k, BUF.data() + USED);
      USED += k, b += k, n -= k;
    }
  }
  void U32(std::uint32_t v) {
    const unsigned char b[4] = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
                                static_cast<unsigned char>(v >> 16),
                                static_cast<unsigned char>(v >> 24)};
    BYTES(b, 4);
  }
  void I32(std::int32_t v) { U32(static_cast<std::uint32_t>(v)); }
  void R8(double v) {
    const auto u = std::bit_cast<std::uint64_t>(v);
    U32(static_cast<std::uint32_t>(u));
    U32(static_cast<std::uint32_t>(u >> 32));
  }
  // A record is its data length, the data, and the length again; the caller
  // writes exactly `length` data bytes between BEGIN and END.
  void BEGIN(std::size_t length) { I32(static_cast<std::int32_t>(length)); }
  void END(std::size_t length) { I32(static_cast<std::int32_t>(length)); }
};

// Step times: a geometric series from FIRST_TIME to LAST_TIME, whole seconds.
double STEP_TIME(int k, int steps) {
  if (steps == 1) return LAST_TIME;
  const double f = static_cast<double>(k - 1) / (steps - 1);
  return std::round(FIRST_TIME * std::pow(LAST_TIME / FIRST_TIME, f));
}

// The result file, written whole or not at all; the failure, if any.
std::error_code WRITE_RESULT(const std::filesystem::path& path, const MODEL& m, int steps) {
  WHOLE_FILE f;
  if (const std::error_code failure = BEGIN_WHOLE_FILE(path, f)) return failure;
  SINK s{f};
  const auto numnp = static_cast<std::int32_t>(m.X.size());
  const auto numel = static_cast<std::int32_t>(m.ELEMS.size());

  char title[81];
  std::snprintf(title, sizeof title, "%-80s",
                ("THEIS PUMPING TEST  " + std::to_string(numnp) + " NODES " +
                 std::to_string(steps) + " STEPS")
                    .c_str());
  s.BEGIN(80), s.BYTES(title, 80), s.END(80);
  s.BEGIN(4), s.I32(numnp), s.END(4);
  s.BEGIN(36 * m.X.size());
  for (std::size_t i = 0; i < m.X.size(); ++i) {
    s.R8(m.X[i]), s.R8(m.Y[i]), s.R8(HEAD0), s.R8(STORE), s.I32(m.NCODE[i]);
  }
  s.END(36 * m.X.size());
  s.BEGIN(4), s.I32(numel), s.END(4);
  s.BEGIN(28 * m.ELEMS.size());
  for (const ELEMENT& e : m.ELEMS) {
    for (std::int32_t v : e.IX) s.I32(v);
    s.R8(COND);  // EPAR: the element's conductivity
  }
  s.END(28 * m.ELEMS.size());

  std::vector<double> H(m.X.size()), DRAW(m.X.size());
  const double x0 = m.X[m.WELL], y0 = m.Y[m.WELL];
  for (int k = 1; k <= steps; ++k) {
    const double t = STEP_TIME(k, steps);
    for (std::size_t i = 0; i < m.X.size(); ++i) {
      const double r = std::max(WELL_RADIUS, std::hypot(m.X[i] - x0, m.Y[i] - y0));
      const double u = r * r * STORE / (4.0 * TRANS * t);
      DRAW[i] = m.NCODE[i] == 1 ? 0.0 : PUMP / (4.0 * std::numbers::pi * TRANS) * E1(u);
      H[i] = HEAD0 - DRAW[i];
    }
    s.BEGIN(12), s.I32(k), s.R8(t), s.END(12);
    s.BEGIN(20 * m.X.size());
    for (std::size_t i = 0; i < m.X.size(); ++i) {
      s.I32(DRAW[i] >= CONE_LIMIT ? 1 : 0);  // NFLAG: inside the cone of depression
      s.R8(H[i]);
      s.R8(static_cast<int>(i) == m.WELL ? -PUMP : 0.0);  // Q: withdrawal at the well
    }
    s.END(20 * m.X.size());
    s.BEGIN(16 * m.ELEMS.size());
    for (const ELEMENT& e : m.ELEMS) {
      double gx = 0.0, gy = 0.0;
      if (e.IX[4] > 0) GRADIENT(m, e, H, gx, gy);  // inactive elements carry no flow
      s.R8(gx == 0.0 ? 0.0 : -COND * gx / POROS);
      s.R8(gy == 0.0 ? 0.0 : -COND * gy / POROS);
    }
    s.END(16 * m.ELEMS.size());
  }
  s.FLUSH();
  return FINISH_WHOLE_FILE(f);
}

std::error_code WRITE_WORK_LIST(const std::filesystem::path& path, std::string_view name) {
  WHOLE_FILE f;
  if (const std::error_code failure = BEGIN_WHOLE_FILE(path, f)) return failure;
  WRITE_WHOLE_FILE(f, "theis.dat\r\ntheis.out\r\ntheis.rst\r\n" + std::string(name) + "\r\n");
  return FINISH_WHOLE_FILE(f);
}

std::string USAGE_TEXT() {
  char text[640];
  std::snprintf(text, sizeof text,
                "usage: kovagen [--nodes N] [--steps S] [--dir DIR] [--name NAME]\n"
                "       kovagen --help | --version\n"
                "Writes a sample NU-KOVA result file and a WORK.LST that names it.\n"
                "  --nodes N   about N nodes, %d to %d (default 400)\n"
                "  --steps S   time steps, 0 to %d (default 5)\n"
                "  --dir DIR   directory for the files, made when missing (default .)\n"
                "  --name NAME result file name, 1 to %zu characters, no blanks or '/'"
                " (default result.bin)\n",
                MIN_NODES, MAX_NODES, MAX_STEPS, MAX_NAME);
  return text;
}

enum OPTION : std::size_t { HELP, VERSION, NODES, STEPS, DIR, NAME };
constexpr std::array<OPTION_SPEC, 6> OPTIONS{{
    {"help", 'h', false},
    {"version", 0, false},
    {"nodes", 0, true},
    {"steps", 0, true},
    {"dir", 0, true},
    {"name", 0, true},
}};

bool PARSE_INT(std::string_view text, int lo, int hi, int& out) {
  int v = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc{} || end != text.data() + text.size() || v < lo || v > hi) return false;
  out = v;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  PREPARE_TOOL_ENDS("kovagen");
  int nodes = 400, steps = 5;
  std::string dir = ".", name = "result.bin";
  const PARSED_ARGS args =
      PARSE_ARGS(OPTIONS, std::span<char* const>(argv, static_cast<std::size_t>(argc)).subspan(1));
  if (!args.PROBLEM.empty()) return USAGE_ERROR("kovagen", args.PROBLEM);
  for (const OPTION_FOUND& o : args.OPTIONS) {
    if (o.WHICH == HELP) return SHOW_TEXT(USAGE_TEXT());
  }
  for (const OPTION_FOUND& o : args.OPTIONS) {
    const std::string bad = "bad --" + std::string(OPTIONS[o.WHICH].LONG) + " '" + std::string(o.VALUE) + "'";
    switch (o.WHICH) {
      case VERSION:
        return SHOW_TEXT("kovagen " KOVA_VERSION "\n");
      case NODES:
        if (!PARSE_INT(o.VALUE, MIN_NODES, MAX_NODES, nodes)) return USAGE_ERROR("kovagen", bad);
        break;
      case STEPS:
        if (!PARSE_INT(o.VALUE, 0, MAX_STEPS, steps)) return USAGE_ERROR("kovagen", bad);
        break;
      case DIR:
        dir = o.VALUE;
        break;
      case NAME:
        if (o.VALUE.empty() || o.VALUE.size() > MAX_NAME ||
            o.VALUE.find_first_of(" \t/") != std::string_view::npos)
          return USAGE_ERROR("kovagen", bad);
        name = o.VALUE;
        break;
      default:
        break;
    }
  }
  if (!args.OPERANDS.empty())
    return USAGE_ERROR("kovagen", "unexpected argument '" + std::string(args.OPERANDS[0]) + "'");

  const MODEL m = BUILD_MESH(nodes);
  const std::filesystem::path base(dir);
  std::error_code made;
  std::filesystem::create_directories(base, made);
  if (made) {
    std::fprintf(stderr, "kovagen: %s: %s\n", base.string().c_str(), made.message().c_str());
    return 1;
  }
  if (const std::error_code failure = WRITE_RESULT(base / name, m, steps)) {
    std::fprintf(stderr, "kovagen: %s: %s\n", (base / name).string().c_str(), failure.message().c_str());
    return 1;
  }
  // A work list that cannot be written leaves no result file either.
  if (const std::error_code failure = WRITE_WORK_LIST(base / "WORK.LST", name)) {
    std::fprintf(stderr, "kovagen: %s: %s\n", (base / "WORK.LST").string().c_str(), failure.message().c_str());
    std::error_code ignored;
    std::filesystem::remove(base / name, ignored);
    return 1;
  }
  std::printf("kovagen: %s: %zu nodes, %zu elements, %d steps; WORK.LST names it\n",
              (base / name).string().c_str(), m.X.size(), m.ELEMS.size(), steps);
  return 0;
}
