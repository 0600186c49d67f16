// The kova Python module: a NU-KOVA result file as numpy arrays, read by the
// sibling tools' result reader. Opening reads the model and walks the steps
// (their headers only); a step's arrays are read when asked for, where the
// step starts, and one step is held at a time, so a series over every step of
// a large file holds the model, the result and one step.
//
// Steps are counted 0.. in file order (negative counts from the end, as
// Python indexes); nodes and elements are numbered from 1 as in every other
// output, and corner number 0 is an absent corner.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "model/places.h"
#include "model/result_layout.h"
#include "model/result_reader.h"
#include "recordio/buffers/console_utf8.h"
#include "model/mesh.h"

using namespace KOVA;

namespace py = pybind11;

namespace {

// Raised as kova.Error, a subclass of OSError, with the tools' text.
struct KOVA_FAILURE : std::runtime_error {
  using std::runtime_error::runtime_error;
};

using REAL_ARRAY = py::array_t<double>;
using INT_ARRAY = py::array_t<std::int32_t>;

struct RESULT {
  std::string PATH;
  RESULT_FILE F;
  MODEL_STORE S;
  std::vector<STEP_AT> STEPS;
  std::optional<std::pair<std::uint64_t, std::string>> DAMAGE;
  std::ptrdiff_t HELD = -1;  // the step whose values S holds
  bool AVERAGED = false;     // whether S.VXN, S.VYN are the held step's

  RESULT() = default;
  RESULT(const RESULT&) = delete;
  RESULT& operator=(const RESULT&) = delete;
  ~RESULT() { CLOSE_RESULT(F); }

  std::size_t NODES() const { return static_cast<std::size_t>(std::max(S.NUMNP, 0)); }
  std::size_t ELEMENTS() const { return static_cast<std::size_t>(std::max(S.NUMEL, 0)); }
  std::string DAMAGE_TEXT() const {
    return PATH + ": damaged at byte " + std::to_string(F.DAMAGE_AT) + ": " + DAMAGE_REASON(F);
  }
};

std::unique_ptr<RESULT> OPEN(const py::object& PATH_LIKE) {
  auto R = std::make_unique<RESULT>();
  R->PATH = py::str(py::module_::import("os").attr("fsdecode")(PATH_LIKE));
  const py::bytes ENCODED = py::module_::import("os").attr("fsencode")(PATH_LIKE);
  const std::string SYSTEM_PATH = ENCODED;
  if (const int REASON = OPEN_RESULT(SYSTEM_PATH.c_str(), R->F); REASON != 0) {
    throw KOVA_FAILURE(R->PATH + ": " + OPEN_FAILURE_TEXT(REASON));
  }
  if (!READ_RESULT_MODEL(R->F, R->S)) {
    const std::string NOT_RESULT = NOT_A_RESULT_FILE(R->F);
    throw KOVA_FAILURE(NOT_RESULT.empty() ? R->DAMAGE_TEXT() : R->PATH + ": not a result file: " + NOT_RESULT);
  }
  R->STEPS = SCAN_RESULT_STEPS(R->F, R->S);
  if (R->F.DAMAGE != RESULT_DAMAGE::NONE) R->DAMAGE.emplace(R->F.DAMAGE_AT, DAMAGE_REASON(R->F));
  return R;
}

// Step K (negative from the end) into the store, unless it is held already.
void HOLD(RESULT& R, std::ptrdiff_t K) {
  const auto T = static_cast<std::ptrdiff_t>(R.STEPS.size());
  if (K < -T || K >= T) {
    throw py::index_error("step " + std::to_string(K) + " out of range: the file holds " + std::to_string(T) +
                          " whole steps");
  }
  if (K < 0) K += T;
  if (R.HELD == K) return;
  R.HELD = -1;
  if (!READ_RESULT_STEP_AT(R.F, R.S, R.STEPS[static_cast<std::size_t>(K)].AT)) {
    throw KOVA_FAILURE(R.DAMAGE_TEXT() + " (the file changed after it was opened)");
  }
  R.HELD = K;
  R.AVERAGED = false;
}

void AVERAGE(RESULT& R) {
  if (R.AVERAGED) return;
  MODEL_STORE& S = R.S;
  AVERAGE_TO_NODES(S.VX, S.VY, S.IX, S.VXN, S.VYN, S.NCNT, S.NUMNP, S.NUMEL, S.MAXN);
  R.AVERAGED = true;
}

template <class T, class ARRAY>
py::array_t<T> COPY(const ARRAY& FROM, std::size_t N) {
  py::array_t<T> A(static_cast<py::ssize_t>(N));
  if (N > 0) std::memcpy(A.mutable_data(), FROM.data(), N * sizeof(T));
  return A;
}

// Two arrays side by side as an (N, 2) array.
REAL_ARRAY PAIRS(const STORE_ARRAY<double>& A, const STORE_ARRAY<double>& B, std::size_t N) {
  REAL_ARRAY TO({static_cast<py::ssize_t>(N), py::ssize_t{2}});
  double* P = TO.mutable_data();
  for (std::size_t I = 0; I < N; ++I) P[2 * I] = A[I], P[2 * I + 1] = B[I];
  return TO;
}

std::string POINT_TEXT(double X, double Y) {
  return "point (" + py::repr(py::float_(X)).cast<std::string>() + ", " +
         py::repr(py::float_(Y)).cast<std::string>() + ")";
}

PLACE POINT_PLACE(const RESULT& R, double X, double Y, bool NEAREST) {
  PLACE P;
  if (LOCATE(R.S, X, Y, P) || (NEAREST && NEAREST_NODE(R.S, X, Y, P))) return P;
  throw KOVA_FAILURE(R.PATH + ": " + POINT_TEXT(X, Y) + " lies in no counted element");
}

py::tuple LOCATE_POINT(const RESULT& R, double X, double Y) {
  const PLACE P = POINT_PLACE(R, X, Y, false);
  INT_ARRAY CORNERS(P.CORNERS);
  REAL_ARRAY WEIGHTS(P.CORNERS);
  for (int K = 0; K < P.CORNERS; ++K) {
    CORNERS.mutable_at(K) = P.NODES[K] + 1;
    WEIGHTS.mutable_at(K) = P.WEIGHTS[K];
  }
  return py::make_tuple(P.ELEMENT + 1, CORNERS, WEIGHTS);
}

py::tuple SERIES(RESULT& R, std::optional<std::vector<std::int64_t>> NODES,
                 std::optional<std::vector<std::pair<double, double>>> AT, const std::string& WHAT, bool NEAREST) {
  QUANTITY Q;
  if (!PARSE_QUANTITY(WHAT, Q)) throw py::value_error("what must be one of head, flux, vx, vy, speed, not " + WHAT);
  std::vector<PLACE> PLACES;
  for (const std::int64_t N : NODES.value_or(std::vector<std::int64_t>{})) {
    if (!NAMES_NODE(N, R.S.NUMNP)) {
      throw KOVA_FAILURE(R.PATH + ": node " + std::to_string(N) + " is not in the model (" +
                         std::to_string(R.NODES()) + " nodes)");
    }
    PLACES.push_back(NODE_PLACE(static_cast<std::int32_t>(N - 1)));
  }
  for (const auto& [X, Y] : AT.value_or(std::vector<std::pair<double, double>>{})) {
    PLACES.push_back(POINT_PLACE(R, X, Y, NEAREST));
  }
  if (PLACES.empty()) throw py::value_error("series needs nodes=[...] or at=[(x, y), ...]");
  const bool NODE_VELOCITY = Q != QUANTITY::HEAD && Q != QUANTITY::FLUX;
  const std::size_t T = R.STEPS.size(), PN = PLACES.size();
  REAL_ARRAY TIMES(static_cast<py::ssize_t>(T));
  REAL_ARRAY VALUES({static_cast<py::ssize_t>(T), static_cast<py::ssize_t>(PN)});
  double* V = VALUES.mutable_data();
  for (std::size_t K = 0; K < T; ++K) {
    HOLD(R, static_cast<std::ptrdiff_t>(K));
    if (NODE_VELOCITY) AVERAGE(R);
    TIMES.mutable_at(K) = R.S.TIME;
    for (std::size_t J = 0; J < PN; ++J) V[K * PN + J] = VALUE_AT(R.S, PLACES[J], Q);
  }
  return py::make_tuple(TIMES, VALUES);
}

REAL_ARRAY HEADS(RESULT& R) {
  const std::size_t T = R.STEPS.size(), N = R.NODES();
  REAL_ARRAY ALL({static_cast<py::ssize_t>(T), static_cast<py::ssize_t>(N)});
  for (std::size_t K = 0; K < T; ++K) {
    HOLD(R, static_cast<std::ptrdiff_t>(K));
    if (N > 0) std::memcpy(ALL.mutable_data() + K * N, R.S.H.data(), N * sizeof(double));
  }
  return ALL;
}

// Step K as a meshio mesh, made as kova2vtk makes its grid: one cell per
// element whose corners all name nodes, a triangle or a quadrilateral.
py::object TO_MESHIO(RESULT& R, std::ptrdiff_t K) {
  py::module_ MESHIO = py::module_::import("meshio");
  HOLD(R, K);
  AVERAGE(R);
  const MODEL_STORE& S = R.S;
  const std::size_t N = R.NODES();
  REAL_ARRAY POINTS({static_cast<py::ssize_t>(N), py::ssize_t{3}});
  for (std::size_t I = 0; I < N; ++I) {
    POINTS.mutable_at(I, 0) = S.X[I];
    POINTS.mutable_at(I, 1) = S.Y[I];
    POINTS.mutable_at(I, 2) = 0.0;
  }
  struct BLOCK {
    const char* TYPE;
    std::vector<std::int32_t> CORNERS, ATTRIBUTE;
    std::vector<double> VELOCITY;
  } TRI{"triangle", {}, {}, {}}, QUAD{"quad", {}, {}, {}};
  for (std::size_t E = 0; E < R.ELEMENTS(); ++E) {
    const std::int32_t C[4] = {S.IX[IX_AT(S, E, 0)], S.IX[IX_AT(S, E, 1)], S.IX[IX_AT(S, E, 2)], S.IX[IX_AT(S, E, 3)]};
    BLOCK& B = IS_TRIANGLE(C[2], C[3]) ? TRI : QUAD;
    const int COUNT = &B == &TRI ? 3 : 4;
    if (!std::all_of(C, C + COUNT, [&](std::int32_t J) { return NAMES_NODE(J, S.NUMNP); })) continue;
    for (int J = 0; J < COUNT; ++J) B.CORNERS.push_back(C[J] - 1);
    B.ATTRIBUTE.push_back(S.IX[IX_AT(S, E, 4)]);
    B.VELOCITY.insert(B.VELOCITY.end(), {S.VX[E], S.VY[E]});
  }
  py::list CELLS, ATTRIBUTES, VELOCITIES;
  for (const BLOCK* B : {&TRI, &QUAD}) {
    const auto COUNT = static_cast<py::ssize_t>(B->ATTRIBUTE.size());
    if (COUNT == 0) continue;
    const py::ssize_t WIDTH = B == &TRI ? 3 : 4;
    CELLS.append(py::make_tuple(B->TYPE, INT_ARRAY({COUNT, WIDTH}, B->CORNERS.data())));
    ATTRIBUTES.append(INT_ARRAY(COUNT, B->ATTRIBUTE.data()));
    VELOCITIES.append(REAL_ARRAY({COUNT, py::ssize_t{2}}, B->VELOCITY.data()));
  }
  py::dict POINT_DATA, CELL_DATA, FIELD_DATA;
  POINT_DATA["head"] = COPY<double>(S.H, N);
  POINT_DATA["flux"] = COPY<double>(S.Q, N);
  POINT_DATA["flag"] = COPY<std::int32_t>(S.NFLAG, N);
  POINT_DATA["code"] = COPY<std::int32_t>(S.NCODE, N);
  POINT_DATA["velocity"] = PAIRS(S.VXN, S.VYN, N);
  CELL_DATA["velocity"] = VELOCITIES;
  CELL_DATA["attribute"] = ATTRIBUTES;
  FIELD_DATA["TIME"] = S.TIME;
  FIELD_DATA["STEP"] = S.ISTEP;
  return MESHIO.attr("Mesh")(POINTS, CELLS, py::arg("point_data") = POINT_DATA, py::arg("cell_data") = CELL_DATA,
                             py::arg("field_data") = FIELD_DATA);
}

}  // namespace

PYBIND11_MODULE(kova, m) {
  m.doc() = "NU-KOVA result files as numpy arrays: the model, every time step on demand, "
            "series at nodes and points.";
  py::register_exception<KOVA_FAILURE>(m, "Error", PyExc_OSError);

  py::class_<RESULT>(m, "Result", "An open result file (kova.open).")
      .def_property_readonly(
          "title",
          [](const RESULT& R) {
            std::string_view RAW(R.S.TITLE.data(), R.S.TITLE.size());
            return CP932_TEXT_TO_UTF8(RAW.substr(0, RAW.find_last_not_of(' ') + 1));
          },
          "The title, code page 932 decoded, trailing blanks dropped.")
      .def_property_readonly(
          "nodes", [](const RESULT& R) { return PAIRS(R.S.X, R.S.Y, R.NODES()); }, "X, Y of every node, (N, 2).")
      .def_property_readonly(
          "codes", [](const RESULT& R) { return COPY<std::int32_t>(R.S.NCODE, R.NODES()); }, "NCODE per node, (N,).")
      .def_property_readonly(
          "elements",
          [](const RESULT& R) {
            const std::size_t E = R.ELEMENTS();
            INT_ARRAY A({static_cast<py::ssize_t>(E), py::ssize_t{4}});
            for (std::size_t I = 0; I < E; ++I)
              for (std::size_t J = 0; J < 4; ++J) A.mutable_at(I, J) = R.S.IX[IX_AT(R.S, I, J)];
            return A;
          },
          "Corner node numbers of every element, (E, 4); 0 is no corner.")
      .def_property_readonly(
          "attributes",
          [](const RESULT& R) {
            const std::size_t E = R.ELEMENTS();
            INT_ARRAY A(static_cast<py::ssize_t>(E));
            for (std::size_t I = 0; I < E; ++I) A.mutable_at(I) = R.S.IX[IX_AT(R.S, I, 4)];
            return A;
          },
          "Attribute per element, (E,); elements above 0 are counted.")
      .def_property_readonly(
          "steps",
          [](const RESULT& R) {
            py::list L;
            for (const STEP_AT& T : R.STEPS) L.append(py::make_tuple(T.ISTEP, T.TIME));
            return L;
          },
          "(step number, time) of every whole step, in file order.")
      .def_property_readonly(
          "times",
          [](const RESULT& R) {
            REAL_ARRAY A(static_cast<py::ssize_t>(R.STEPS.size()));
            for (std::size_t K = 0; K < R.STEPS.size(); ++K) A.mutable_at(K) = R.STEPS[K].TIME;
            return A;
          },
          "Time of every whole step, (T,).")
      .def_property_readonly(
          "damage", [](const RESULT& R) { return R.DAMAGE; },
          "None, or (byte offset, reason) of the damage that ends the file's whole steps.")
      .def(
          "head", [](RESULT& R, std::ptrdiff_t K) { HOLD(R, K); return COPY<double>(R.S.H, R.NODES()); },
          py::arg("k"), "Head per node of step k, (N,).")
      .def(
          "flux", [](RESULT& R, std::ptrdiff_t K) { HOLD(R, K); return COPY<double>(R.S.Q, R.NODES()); },
          py::arg("k"), "Flux per node of step k, (N,).")
      .def(
          "flags", [](RESULT& R, std::ptrdiff_t K) { HOLD(R, K); return COPY<std::int32_t>(R.S.NFLAG, R.NODES()); },
          py::arg("k"), "NFLAG per node of step k, (N,).")
      .def(
          "velocity", [](RESULT& R, std::ptrdiff_t K) { HOLD(R, K); return PAIRS(R.S.VX, R.S.VY, R.ELEMENTS()); },
          py::arg("k"), "VX, VY per element of step k as stored, (E, 2).")
      .def(
          "node_velocity",
          [](RESULT& R, std::ptrdiff_t K) {
            HOLD(R, K);
            AVERAGE(R);
            return PAIRS(R.S.VXN, R.S.VYN, R.NODES());
          },
          py::arg("k"), "Velocities of step k averaged to the nodes as the TECPLOT output averages them, (N, 2).")
      .def("heads", &HEADS, "Head per node of every step, (T, N).")
      .def("series", &SERIES, py::kw_only(), py::arg("nodes") = py::none(), py::arg("at") = py::none(),
           py::arg("what") = "head", py::arg("nearest") = false,
           "(times (T,), values (T, P)) of one quantity (head, flux, vx, vy, speed) at nodes (numbers from 1) "
           "and then at points (x, y); nearest=True takes the nearest node for a point in no counted element.")
      .def("locate", &LOCATE_POINT, py::arg("x"), py::arg("y"),
           "(element number, its corner numbers, their weights) of the counted element containing (x, y).")
      .def("to_meshio", &TO_MESHIO, py::arg("k"), "Step k as a meshio.Mesh (needs meshio).");

  m.def("open", &OPEN, py::arg("path"), "Open a result file: its model and the list of its whole steps.");
}
