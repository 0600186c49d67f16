// stdio_converter: the yardstick for the whole-run benchmark. It converts every
// step of the result file named in WORK.LST, as kovaconv does, but writes the
// records with fprintf through a stdio stream with a 1 MiB buffer: the plain
// way to write such a converter in C.
//
// It reads the result file with the converter's own reader and computes the
// same averages and extremes, so the comparison is one of record output. The
// records have the same lines and fields as kovaconv's, as near as the C
// formats allow; they differ in what C cannot express:
//   - E fields in the 0P form (0.123457E+01) come out as 1.23457E+00, the
//     same six digits with one before the point;
//   - exponents of three digits keep the "E" (1.0000E+100, one column wider);
//   - list-directed reals are always in exponent form (%15.7E, %24.15E), never
//     in the fixed form, and a negative zero keeps its sign;
//   - records are never broken at 80 columns (none of these needs it);
//   - the neutral file's fixed-text blocks (material, property, groups), a
//     few hundred bytes written once, are left out.
//
// Usage: stdio_converter TYPE OUTPUT   (TYPE 1 restart, 2 TECPLOT, 3 ATLAS,
// 4 FEMAP; ATLAS writes atlas.msh and atlas.pst and ignores OUTPUT), run in
// the directory that holds WORK.LST.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "driver/driver.h"

using namespace KOVA;

namespace {

struct STREAM {
  std::FILE* F = nullptr;
  std::unique_ptr<char[]> BUF = std::make_unique<char[]>(1 << 20);
  explicit STREAM(const char* name) : F(std::fopen(name, "wb")) {
    if (!F) std::exit(2);
    std::setvbuf(F, BUF.get(), _IOFBF, 1 << 20);
  }
  ~STREAM() { std::fclose(F); }
};

// Velocities of the counted elements averaged to the nodes (TECPLOT: positive
// attribute, three corners for a repeated third corner; FEMAP: every corner slot).
void AVERAGE(MODEL_STORE& S, bool tecplot) {
  const auto rows = static_cast<std::size_t>(S.MAXN);
  for (int i = 0; i < S.NUMNP; ++i) S.NCNT[i] = 0, S.VXN[i] = 0.0, S.VYN[i] = 0.0;
  for (int e = 0; e < S.NUMEL; ++e) {
    if (tecplot && S.IX[4 * rows + e] <= 0) continue;
    const int corners = tecplot && S.IX[2 * rows + e] == S.IX[3 * rows + e] ? 3 : 4;
    for (int k = 0; k < corners; ++k) {
      const int n = S.IX[k * rows + e];
      if (n < 1 || n > S.NUMNP) continue;
      S.NCNT[n - 1] += 1, S.VXN[n - 1] += S.VX[e], S.VYN[n - 1] += S.VY[e];
    }
  }
  for (int i = 0; i < S.NUMNP; ++i)
    if (S.NCNT[i] > 0) S.VXN[i] /= S.NCNT[i], S.VYN[i] /= S.NCNT[i];
}

void TECPLOT(std::FILE* f, MODEL_STORE& S) {
  const auto rows = static_cast<std::size_t>(S.MAXN);
  int ne = 0;
  for (int e = 0; e < S.NUMEL; ++e) ne += S.IX[4 * rows + e] > 0;
  std::fprintf(f, "TITLE = \"TIME=%12.4E %.80s\"\r\nVARIABLES = \"X\",\"Y\",\"H\",\"VX\",\"VY\",\"V\"\r\n", S.TIME,
               S.TITLE.data());
  std::fprintf(f, "ZONE N= %5d, E= %5d, F=FEPOINT\r\n", S.NUMNP, ne);
  AVERAGE(S, true);
  for (int i = 0; i < S.NUMNP; ++i)
    std::fprintf(f, "%12.4E,%12.4E,%12.4E,%12.4E,%12.4E,%12.4E,\r\n", S.X[i], S.Y[i], S.H[i], S.VXN[i], S.VYN[i],
                 std::sqrt(S.VXN[i] * S.VXN[i] + S.VYN[i] * S.VYN[i]));
  for (int e = 0; e < S.NUMEL; ++e)
    if (S.IX[4 * rows + e] > 0)
      std::fprintf(f, "%5d,%5d,%5d,%5d\r\n", S.IX[e], S.IX[rows + e], S.IX[2 * rows + e], S.IX[3 * rows + e]);
}

void RESTART(std::FILE* f, const MODEL_STORE& S) {
  std::fprintf(f, "  LA,TIME %12d%24.15E\r\n", S.ISTEP, S.TIME);
  for (int i = 0; i < S.NUMNP; ++i)
    std::fprintf(f, "%5d,%5d,%5d,%12.4E,%12.4E,%12.4E,%12.4E,%12.4E,%12.4E\r\n", i + 1, S.NFLAG[i], S.NCODE[i],
                 S.X[i], S.Y[i], S.H[i], S.Q[i], S.NPAR1[i], S.NPAR2[i]);
}

void ATLAS_MESH(std::FILE* f, const MODEL_STORE& S) {
  const auto rows = static_cast<std::size_t>(S.MAXN);
  std::fprintf(f, "TITLE\r\nFEM ANALISYS\r\nSTITLE\r\n%.80s\r\nGRID    (I6,3E12.0)\r\n", S.TITLE.data());
  for (int i = 0; i < S.NUMNP; ++i) std::fprintf(f, "%6d%12.5E%12.5E%12.5E\r\n", i + 1, S.X[i], S.Y[i], 0.0);
  std::fprintf(f, "-1\r\nCONC          (8I6)\r\n");
  for (int e = 0; e < S.NUMEL; ++e) {
    const int n3 = S.IX[2 * rows + e], n4 = S.IX[3 * rows + e], a = S.IX[4 * rows + e];
    const int m = a >= 0 ? a : 100;
    if (n4 == 0 || n3 == n4)
      std::fprintf(f, "%6d%6d%6d%6d%6d%6d%6d\r\n", e + 1, 203, m, S.IX[e], S.IX[rows + e], n3, m);
    else
      std::fprintf(f, "%6d%6d%6d%6d%6d%6d%6d%6d\r\n", e + 1, 204, m, S.IX[e], S.IX[rows + e], n3, n4, m);
  }
  std::fprintf(f, "-1\r\n");
}

void ATLAS_STEP(std::FILE* f, const MODEL_STORE& S) {
  std::fprintf(f, "VERSION\r\n950400\r\nPSIZ\r\n");
  std::fprintf(f, "%8d  %8d  %8d  %8d  %8d  %8d  %8d  %8d\r\n", 0, 1, 3, 0, 0, 0, 0, 0);
  std::fprintf(f, "%8d  %8d  %8d  %8d  %8d  %8d  %8d  %8d\r\n", 0, 0, 0, 0, 0, 0, 0, 0);
  std::fprintf(f, "STEP\r\n%8d  %8d  %12.0f.\r\nGVAL\r\n", S.NREAD, 1, S.TIME);
  for (int i = 0; i < S.NUMNP; ++i) std::fprintf(f, "%8d\r\n%12.5E\r\n", i + 1, S.H[i]);
  std::fprintf(f, "-1\r\nEVAL\r\n");
  for (int e = 0; e < S.NUMEL; ++e) std::fprintf(f, "%8d\r\n%12.5E %12.5E\r\n", e + 1, S.VX[e], S.VY[e]);
  std::fprintf(f, "-1\r\n");
}

void FEMAP_MODEL(std::FILE* f, const MODEL_STORE& S) {
  const auto rows = static_cast<std::size_t>(S.MAXN);
  std::fprintf(f, "   -1\r\n   100\r\n  \r\n 4.5,\r\n   -1\r\n");
  std::fprintf(f, "   -1\r\n   403\r\n");
  for (int i = 0; i < S.NUMNP; ++i)
    std::fprintf(f, "%7d,0,0,1,46,0,0,0,0,0,0,%13.6E,%13.6E,%13.6E\r\n", i + 1, static_cast<float>(S.X[i]),
                 static_cast<float>(S.Y[i]), 0.0);
  std::fprintf(f, "   -1\r\n   -1\r\n   404\r\n");
  for (int e = 0; e < S.NUMEL; ++e) {
    const int n3 = S.IX[2 * rows + e], n4 = S.IX[3 * rows + e];
    const int k = (n4 != 0 && n3 != n4) ? 4 : 2;
    std::fprintf(f, "%12d ,124,%12d ,19,%12d ,1,0,0,\r\n", e + 1, 1, k);
    std::fprintf(f, "%7d,%7d,%7d,%7d,%7d,%7d,%7d,%7d,%7d,%7d,\r\n", S.IX[e], S.IX[rows + e], n3, k == 4 ? n4 : 0,
                 0, 0, 0, 0, 0, 0);
    std::fprintf(f, " 0,0,0,0,0,0,0,0,0,0,\r\n 0.,0.,0.,\r\n 0.,0.,0.,\r\n 0.,0.,0.,\r\n 0,0,0,0,0,0,0,0,0,0,0,0,\r\n");
  }
  std::fprintf(f, "   -1\r\n");
}

struct EXTREMES {
  double MIN, MAX;
  int IMIN = 1, IMAX = 1;
};

template <typename VALUE>
EXTREMES RANGE(int count, VALUE value) {
  EXTREMES x{value(0), value(0)};
  for (int i = 0; i < count; ++i) {
    const double v = value(i);
    if (v > x.MAX) x.MAX = v, x.IMAX = i + 1;
    if (v < x.MIN) x.MIN = v, x.IMIN = i + 1;
  }
  return x;
}

template <typename VALUE>
void VECTOR(std::FILE* f, int set, const char* id, const char* title, int count, bool real4, VALUE value) {
  const EXTREMES x = RANGE(count, value);
  std::fprintf(f, "%12d %s\r\n %s\r\n%15.7E%15.7E%15.7E\r\n 0,0,0,0,0,0,0,0,0,0,\r\n 0,0,0,0,0,0,0,0,0,0,\r\n", set, id,
               title, static_cast<float>(x.MIN), static_cast<float>(x.MAX),
               static_cast<float>(std::fmax(std::fabs(x.MIN), std::fabs(x.MAX))));
  std::fprintf(f, "%12d ,%12d ,1,7,\r\n 0,1,1,\r\n", x.IMIN, x.IMAX);
  for (int i = 0; i < count; ++i) {
    if (real4) {
      std::fprintf(f, "%12d ,%15.7E\r\n", i + 1, static_cast<float>(value(i)));
    } else {
      std::fprintf(f, "%12d ,%24.15E\r\n", i + 1, value(i));
    }
  }
  std::fprintf(f, "%12d ,%15.7E\r\n", -1, 0.0);
}

void FEMAP_STEP(std::FILE* f, MODEL_STORE& S, int set) {
  AVERAGE(S, false);
  std::fprintf(f, "   -1\r\n   450\r\n%12d\r\n T=%12.4E\r\n 0,0,\r\n%15.7E\r\n 1,\r\n   \r\n   -1\r\n", set,
               static_cast<float>(S.TIME), static_cast<float>(S.TIME));
  std::fprintf(f, "   -1\r\n   451\r\n");
  VECTOR(f, set, ",10,1,", "Total Head", S.NUMNP, true, [&](int i) { return S.H[i]; });
  VECTOR(f, set, ",12,1,", "Q", S.NUMNP, true, [&](int i) { return S.Q[i]; });
  VECTOR(f, set, ",13,1,", "Velocity(Node)", S.NUMNP, false,
         [&](int i) { return std::sqrt(S.VXN[i] * S.VXN[i] + S.VYN[i] * S.VYN[i]); });
  VECTOR(f, set, ",14,1,", "X Velocity(Node)", S.NUMNP, false, [&](int i) { return S.VXN[i]; });
  VECTOR(f, set, ",15,1,", "Y Velocity(Node)", S.NUMNP, false, [&](int i) { return S.VYN[i]; });
  VECTOR(f, set, ",70010,1,", "Velocity", S.NUMEL, true, [&](int e) {
    const double x = static_cast<float>(S.VX[e]), y = static_cast<float>(S.VY[e]);
    return std::sqrt(x * x + y * y);
  });
  VECTOR(f, set, ",70011,1,", "X Velocity", S.NUMEL, true, [&](int e) { return S.VX[e]; });
  VECTOR(f, set, ",70012,1,", "Y Velocity", S.NUMEL, true, [&](int e) { return S.VY[e]; });
  std::fprintf(f, "   -1\r\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: stdio_converter TYPE OUTPUT\n");
    return 2;
  }
  const int type = std::atoi(argv[1]);
  static MODEL_STORE S;
  NAME_TEXT name;
  READ_WORK_LIST(name);
  READ_MODEL(name, S);
  STREAM out(type == 3 ? "atlas.pst" : argv[2]);
  if (type == 3) {
    STREAM mesh("atlas.msh");
    ATLAS_MESH(mesh.F, S);
  }
  if (type == 4) FEMAP_MODEL(out.F, S);
  int set = 0;
  while (READ_STEP(S)) {
    ++S.NREAD;
    switch (type) {
      case 1: RESTART(out.F, S); break;
      case 2: TECPLOT(out.F, S); break;
      case 3: ATLAS_STEP(out.F, S); break;
      default: FEMAP_STEP(out.F, S, ++set); break;
    }
  }
  return 0;
}
