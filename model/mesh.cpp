#include "model/mesh.h"

namespace KOVA {

std::int64_t COUNT_STRAY_CORNERS(const MODEL_STORE& S) {
  std::int64_t N = 0;
  for (std::int32_t E = 0; E < S.NUMEL; ++E)
    for (std::size_t J = 0; J < 4; ++J) {
      // 0 is an absent corner, never a stray one, even when NUMNP is negative.
      const std::int32_t C = S.IX[IX_AT(S, E, J)];
      if (C != 0 && !NAMES_NODE(C, S.NUMNP)) ++N;
    }
  return N;
}

void AVERAGE_TO_NODES(REALS VX, REALS VY, INTS IX, std::span<double> VXN, std::span<double> VYN,
                      std::span<std::int32_t> NCNT, std::int32_t NUMNP, std::int32_t NUMEL,
                      std::int32_t MAXN) {
  auto AT = [&](std::int32_t E, std::size_t J) { return CORNER(IX, MAXN, E, J); };
  for (std::int32_t I = 0; I < NUMNP; ++I) {
    NCNT[I] = 0;
    VXN[I] = 0.0;
    VYN[I] = 0.0;
  }
  // Plain mean over the corners of the counted elements, summed in element
  // order. A triangle stored with its third corner repeated has three corners,
  // so that node is not counted twice. Corners that name no node take no share.
  for (std::int32_t E = 0; E < NUMEL; ++E) {
    if (AT(E, 4) <= 0) continue;
    const std::size_t CORNERS = IS_TRIANGLE(AT(E, 2), AT(E, 3)) ? 3 : 4;
    for (std::size_t K = 0; K < CORNERS; ++K) {
      const std::int32_t N = AT(E, K);
      if (!NAMES_NODE(N, NUMNP)) continue;
      NCNT[N - 1] += 1;
      VXN[N - 1] += VX[E];
      VYN[N - 1] += VY[E];
    }
  }
  for (std::int32_t I = 0; I < NUMNP; ++I) {
    if (NCNT[I] > 0) {
      VXN[I] = VXN[I] / NCNT[I];
      VYN[I] = VYN[I] / NCNT[I];
    }
  }
}

}  // namespace KOVA
