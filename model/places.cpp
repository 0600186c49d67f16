#include "model/places.h"

#include <algorithm>
#include <cmath>

#include "model/mesh.h"
#include "model/result_layout.h"

namespace KOVA {

namespace {

constexpr std::string_view NAMES[] = {"head", "flux", "vx", "vy", "speed"};

// How far outside an element, in units of its own coordinates (barycentric
// or isoparametric), a point still counts as on its edge: rounding of a point
// that lies on an edge shared by two elements must not let it fall between them.
constexpr double EDGE_SLACK = 1e-10;

// Corners of element E, when it is counted and every corner names a node.
bool COUNTED_CORNERS(const MODEL_STORE& S, std::int32_t E, std::int32_t (&N)[4], int& COUNT) {
  const auto e = static_cast<std::size_t>(E);
  if (S.IX[IX_AT(S, e, 4)] <= 0) return false;
  for (std::size_t K = 0; K < 4; ++K) N[K] = S.IX[IX_AT(S, e, K)];
  COUNT = IS_TRIANGLE(N[2], N[3]) ? 3 : 4;
  for (int K = 0; K < COUNT; ++K) {
    if (!NAMES_NODE(N[K], S.NUMNP)) return false;
    --N[K];  // node index from 0
  }
  return true;
}

bool IN_TRIANGLE(const double (&X)[4], const double (&Y)[4], double PX, double PY, double (&W)[4]) {
  const double X21 = X[1] - X[0], Y21 = Y[1] - Y[0], X31 = X[2] - X[0], Y31 = Y[2] - Y[0];
  const double DET = X21 * Y31 - X31 * Y21;
  if (DET == 0.0 || !std::isfinite(DET)) return false;
  const double DX = PX - X[0], DY = PY - Y[0];
  W[1] = (DX * Y31 - X31 * DY) / DET;
  W[2] = (X21 * DY - DX * Y21) / DET;
  W[0] = 1.0 - W[1] - W[2];
  return W[0] >= -EDGE_SLACK && W[1] >= -EDGE_SLACK && W[2] >= -EDGE_SLACK;
}

// Bilinear shape functions of the corners (xi, eta) = (-1,-1), (1,-1), (1,1),
// (-1,1), in corner order, and their derivatives.
constexpr double XI_AT[4] = {-1.0, 1.0, 1.0, -1.0};
constexpr double ETA_AT[4] = {-1.0, -1.0, 1.0, 1.0};

// The inverse isoparametric map by Newton's method from the centre. A
// convex quadrilateral's map is one to one, so the iteration converges in a
// few steps; one that does not converge (a folded element) contains nothing.
bool IN_QUADRILATERAL(const double (&X)[4], const double (&Y)[4], double PX, double PY, double (&W)[4]) {
  double XI = 0.0, ETA = 0.0;
  bool CONVERGED = false;
  for (int IT = 0; IT < 30 && !CONVERGED; ++IT) {
    double FX = -PX, FY = -PY, XXI = 0.0, XETA = 0.0, YXI = 0.0, YETA = 0.0;
    for (int K = 0; K < 4; ++K) {
      const double A = 1.0 + XI_AT[K] * XI, B = 1.0 + ETA_AT[K] * ETA;
      FX += 0.25 * A * B * X[K];
      FY += 0.25 * A * B * Y[K];
      XXI += 0.25 * XI_AT[K] * B * X[K];
      YXI += 0.25 * XI_AT[K] * B * Y[K];
      XETA += 0.25 * A * ETA_AT[K] * X[K];
      YETA += 0.25 * A * ETA_AT[K] * Y[K];
    }
    const double DET = XXI * YETA - XETA * YXI;
    if (DET == 0.0 || !std::isfinite(DET)) return false;
    const double DXI = (YETA * FX - XETA * FY) / DET;
    const double DETA = (XXI * FY - YXI * FX) / DET;
    XI -= DXI;
    ETA -= DETA;
    if (!std::isfinite(XI) || !std::isfinite(ETA) || std::fabs(XI) > 4.0 || std::fabs(ETA) > 4.0) return false;
    CONVERGED = std::fabs(DXI) + std::fabs(DETA) <= 1e-14;
  }
  if (!CONVERGED || std::fabs(XI) > 1.0 + EDGE_SLACK || std::fabs(ETA) > 1.0 + EDGE_SLACK) return false;
  for (int K = 0; K < 4; ++K) W[K] = 0.25 * (1.0 + XI_AT[K] * XI) * (1.0 + ETA_AT[K] * ETA);
  return true;
}

}  // namespace

bool PARSE_QUANTITY(std::string_view NAME, QUANTITY& Q) {
  for (std::size_t K = 0; K < std::size(NAMES); ++K) {
    if (NAME == NAMES[K]) {
      Q = static_cast<QUANTITY>(K);
      return true;
    }
  }
  return false;
}

std::string_view QUANTITY_NAME(QUANTITY Q) { return NAMES[static_cast<std::size_t>(Q)]; }

PLACE NODE_PLACE(std::int32_t I) {
  PLACE P;
  P.CORNERS = 1;
  P.NODES[0] = I;
  P.WEIGHTS[0] = 1.0;
  return P;
}

bool LOCATE(const MODEL_STORE& S, double PX, double PY, PLACE& P) {
  for (std::int32_t E = 0; E < S.NUMEL; ++E) {
    std::int32_t N[4];
    int COUNT = 0;
    if (!COUNTED_CORNERS(S, E, N, COUNT)) continue;
    double X[4] = {}, Y[4] = {};
    double LOW_X = INFINITY, HIGH_X = -INFINITY, LOW_Y = INFINITY, HIGH_Y = -INFINITY;
    for (int K = 0; K < COUNT; ++K) {
      X[K] = S.X[static_cast<std::size_t>(N[K])];
      Y[K] = S.Y[static_cast<std::size_t>(N[K])];
      LOW_X = std::min(LOW_X, X[K]), HIGH_X = std::max(HIGH_X, X[K]);
      LOW_Y = std::min(LOW_Y, Y[K]), HIGH_Y = std::max(HIGH_Y, Y[K]);
    }
    // The bounding box, widened by the edge slack, rules most elements out.
    const double SLACK_X = (HIGH_X - LOW_X) * EDGE_SLACK, SLACK_Y = (HIGH_Y - LOW_Y) * EDGE_SLACK;
    if (!(PX >= LOW_X - SLACK_X && PX <= HIGH_X + SLACK_X && PY >= LOW_Y - SLACK_Y && PY <= HIGH_Y + SLACK_Y)) {
      continue;
    }
    double W[4] = {};
    if (!(COUNT == 3 ? IN_TRIANGLE(X, Y, PX, PY, W) : IN_QUADRILATERAL(X, Y, PX, PY, W))) continue;
    // A corner gives its node's value as it is, not one rounded through the map.
    for (int K = 0; K < COUNT; ++K) {
      if (X[K] == PX && Y[K] == PY) {
        std::fill(std::begin(W), std::end(W), 0.0);
        W[K] = 1.0;
        break;
      }
    }
    P = PLACE{};
    P.ELEMENT = E;
    P.CORNERS = COUNT;
    std::copy(std::begin(N), std::end(N), std::begin(P.NODES));
    std::copy(std::begin(W), std::end(W), std::begin(P.WEIGHTS));
    return true;
  }
  return false;
}

bool NEAREST_NODE(const MODEL_STORE& S, double PX, double PY, PLACE& P) {
  std::int32_t BEST = -1;
  double BEST_D = INFINITY;
  for (std::int32_t E = 0; E < S.NUMEL; ++E) {
    std::int32_t N[4];
    int COUNT = 0;
    if (!COUNTED_CORNERS(S, E, N, COUNT)) continue;
    for (int K = 0; K < COUNT; ++K) {
      const auto I = static_cast<std::size_t>(N[K]);
      const double D = (S.X[I] - PX) * (S.X[I] - PX) + (S.Y[I] - PY) * (S.Y[I] - PY);
      if (BEST < 0 || D < BEST_D || (D == BEST_D && N[K] < BEST)) BEST = N[K], BEST_D = D;
    }
  }
  if (BEST < 0) return false;
  P = NODE_PLACE(BEST);
  return true;
}

double VALUE_AT(const MODEL_STORE& S, const PLACE& P, QUANTITY Q) {
  // Corners of weight 0 are left out, so a node's value comes out as it is
  // and an infinite value at another corner does not make it NaN.
  auto MIXED = [&](const STORE_ARRAY<double>& NODAL) {
    double V = 0.0;
    bool FIRST = true;
    for (int K = 0; K < P.CORNERS; ++K) {
      if (P.WEIGHTS[K] == 0.0) continue;
      const double TERM = P.WEIGHTS[K] * NODAL[static_cast<std::size_t>(P.NODES[K])];
      V = FIRST ? TERM : V + TERM;
      FIRST = false;
    }
    return V;
  };
  auto VELOCITY = [&](bool Y_PART) {
    const std::size_t I = static_cast<std::size_t>(P.ELEMENT < 0 ? P.NODES[0] : P.ELEMENT);
    if (P.ELEMENT < 0) return Y_PART ? S.VYN[I] : S.VXN[I];
    return Y_PART ? S.VY[I] : S.VX[I];
  };
  switch (Q) {
    case QUANTITY::HEAD: return MIXED(S.H);
    case QUANTITY::FLUX: return MIXED(S.Q);
    case QUANTITY::VX: return VELOCITY(false);
    case QUANTITY::VY: return VELOCITY(true);
    case QUANTITY::SPEED: {
      // As the other outputs compute the speed, to the last digit.
      const double VX = VELOCITY(false), VY = VELOCITY(true);
      return std::sqrt(VX * VX + VY * VY);
    }
  }
  return 0.0;
}

}  // namespace KOVA
