// kova2vtk: turns a NU-KOVA result file into VTK files that ParaView opens:
// one VTK XML unstructured grid (.vtu) per time step written, and a ParaView
// data collection (.pvd) that lists them at their times.
//
// Usage: kova2vtk [--steps all|final|N[,N...]] [--out DIR] [--name BASE] RESULT_FILE
//
// Files: DIR/BASE.pvd and DIR/BASE_KKKK.vtu, KKKK the step's read index (its
// position in the file, from 1), at least four digits. Every file is written
// under a unique temporary name and renamed when whole, so a failure never
// leaves a cut file under a listed name, a link planted in DIR is never
// written through, and two runs into one folder leave whole files. A step
// whose time is NaN or infinite is written but left out of the collection,
// with a warning: ParaView cannot place it on its time axis, and a made-up
// time would show a wrong one.
//
// BASE must be UTF-8 text without control characters: the collection is XML,
// which cannot hold other bytes even escaped, and an escaped name would name
// another file. Such a name is refused (status 1) before anything is read or
// written; --name gives another. An output that is the result file itself
// (BASE.pvd, or a step file, naming it) is refused too.
//
// Grid: the nodes at (X, Y, 0); one cell per element whose corners name nodes
// of the model, a triangle when its fourth corner is 0 or repeats the third,
// else a quadrilateral. Point data: head, flux, flag, code, velocity (the
// element velocities averaged to the nodes as in the TECPLOT point data) and
// speed; cell data: velocity, speed, attribute, EPAR; field data TIME, STEP.
// Arrays are appended raw, little-endian, with 64-bit block sizes: the bytes
// are the model store's, so writing a step is mostly copying.
//
// Exit status: 0 when every step asked for is written; 1 when the result file
// is damaged (every whole step before the damage is written and listed) or is
// not a result file, when a step list names no step of the file, when the
// base name cannot be listed or an output is the result file, or when a file
// cannot be written; 2 for a usage error or a result file that cannot be
// opened; 71 when memory runs out.
#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "model/mesh.h"
#include "model/result_reader.h"
#include "model/step_selection.h"
#include "recordio/records/options.h"
#include "recordio/run_end/tools.h"

using namespace KOVA;

static_assert(std::endian::native == std::endian::little, "the arrays are written as they are in memory");

namespace {

constexpr std::uint8_t VTK_TRIANGLE = 5;
constexpr std::uint8_t VTK_QUAD = 9;

// One array of the appended data: its XML element and its bytes.
struct ARRAY {
  std::string XML;  // the DataArray element up to its offset attribute
  const void* DATA = nullptr;
  std::uint64_t BYTES = 0;
};

// Everything a step file is made of. The buffers are sized once, for the
// model; a step refills the per-step ones in place, so the XML text, the
// block sizes and the list of pieces stay the same for every step.
struct GRID {
  std::int32_t POINTS = 0, CELLS = 0;
  std::vector<std::int32_t> KEPT;  // element index (from 0) of every cell
  std::vector<double> XYZ;
  std::vector<std::int32_t> CONNECTIVITY, OFFSETS, ATTRIBUTE;
  std::vector<std::uint8_t> TYPES;
  std::vector<double> EPAR;
  // Per step.
  double TIME = 0.0;
  std::int32_t STEP = 0;
  std::vector<double> POINT_VELOCITY, POINT_SPEED, CELL_VELOCITY, CELL_SPEED;
  // The file as pieces: XML text, then per array its block size and bytes.
  std::string HEAD;
  std::vector<std::uint64_t> SIZES;
  std::vector<std::string_view> PIECES;
};

std::string TYPE_ATTRIBUTES(std::string_view TYPE, std::string_view NAME, int COMPONENTS) {
  std::string A = "<DataArray type=\"" + std::string(TYPE) + "\"";
  if (!NAME.empty()) A += " Name=\"" + std::string(NAME) + "\"";
  if (COMPONENTS > 1) A += " NumberOfComponents=\"" + std::to_string(COMPONENTS) + "\"";
  return A;
}

template <class T>
ARRAY MAKE_ARRAY(std::string_view TYPE, std::string_view NAME, int COMPONENTS, const T* DATA,
                 std::size_t COUNT) {
  return {TYPE_ATTRIBUTES(TYPE, NAME, COMPONENTS), DATA, COUNT * sizeof(T)};
}

// The grid of the model: points, the elements that can be cells, and the
// static cell values. Elements with a corner outside 1..NUMNP are counted in
// LEFT_OUT.
void BUILD_GRID(const MODEL_STORE& S, GRID& G, std::int64_t& LEFT_OUT) {
  G.POINTS = std::max(S.NUMNP, 0);
  const auto NP = static_cast<std::size_t>(G.POINTS);
  G.XYZ.assign(3 * NP, 0.0);
  for (std::size_t I = 0; I < NP; ++I) {
    G.XYZ[3 * I] = S.X[I];
    G.XYZ[3 * I + 1] = S.Y[I];
  }
  LEFT_OUT = 0;
  for (std::int32_t E = 0; E < S.NUMEL; ++E) {
    const auto e = static_cast<std::size_t>(E);
    const std::int32_t N[4] = {S.IX[IX_AT(S, e, 0)], S.IX[IX_AT(S, e, 1)], S.IX[IX_AT(S, e, 2)],
                               S.IX[IX_AT(S, e, 3)]};
    const bool TRIANGLE = IS_TRIANGLE(N[2], N[3]);
    const int CORNERS = TRIANGLE ? 3 : 4;
    bool WHOLE = true;
    for (int K = 0; K < CORNERS; ++K) WHOLE = WHOLE && NAMES_NODE(N[K], S.NUMNP);
    if (!WHOLE) {
      ++LEFT_OUT;
      continue;
    }
    G.KEPT.push_back(E);
    for (int K = 0; K < CORNERS; ++K) G.CONNECTIVITY.push_back(N[K] - 1);
    G.OFFSETS.push_back(static_cast<std::int32_t>(G.CONNECTIVITY.size()));
    G.TYPES.push_back(TRIANGLE ? VTK_TRIANGLE : VTK_QUAD);
    G.ATTRIBUTE.push_back(S.IX[IX_AT(S, e, 4)]);
    G.EPAR.push_back(S.EPAR[e]);
  }
  G.CELLS = static_cast<std::int32_t>(G.KEPT.size());
  G.POINT_VELOCITY.assign(3 * NP, 0.0);
  G.POINT_SPEED.assign(NP, 0.0);
  G.CELL_VELOCITY.assign(3 * G.KEPT.size(), 0.0);
  G.CELL_SPEED.assign(G.KEPT.size(), 0.0);
}

// The XML text and the list of pieces for the grid's arrays. The pieces point
// into S and G, which keep their buffers from here on.
void LAY_OUT(const MODEL_STORE& S, GRID& G) {
  const auto NP = static_cast<std::size_t>(G.POINTS);
  const auto NC = static_cast<std::size_t>(G.CELLS);
  const std::vector<ARRAY> FIELD = {MAKE_ARRAY("Float64", "TIME", 1, &G.TIME, 1),
                                    MAKE_ARRAY("Int32", "STEP", 1, &G.STEP, 1)};
  const std::vector<ARRAY> POINT = {
      MAKE_ARRAY("Float64", "head", 1, S.H.data(), NP),
      MAKE_ARRAY("Float64", "flux", 1, S.Q.data(), NP),
      MAKE_ARRAY("Int32", "flag", 1, S.NFLAG.data(), NP),
      MAKE_ARRAY("Int32", "code", 1, S.NCODE.data(), NP),
      MAKE_ARRAY("Float64", "velocity", 3, G.POINT_VELOCITY.data(), 3 * NP),
      MAKE_ARRAY("Float64", "speed", 1, G.POINT_SPEED.data(), NP)};
  const std::vector<ARRAY> CELL = {
      MAKE_ARRAY("Float64", "velocity", 3, G.CELL_VELOCITY.data(), 3 * NC),
      MAKE_ARRAY("Float64", "speed", 1, G.CELL_SPEED.data(), NC),
      MAKE_ARRAY("Int32", "attribute", 1, G.ATTRIBUTE.data(), NC),
      MAKE_ARRAY("Float64", "EPAR", 1, G.EPAR.data(), NC)};
  const std::vector<ARRAY> POINTS = {MAKE_ARRAY("Float64", "", 3, G.XYZ.data(), 3 * NP)};
  const std::vector<ARRAY> CELLS = {
      MAKE_ARRAY("Int32", "connectivity", 1, G.CONNECTIVITY.data(), G.CONNECTIVITY.size()),
      MAKE_ARRAY("Int32", "offsets", 1, G.OFFSETS.data(), NC),
      MAKE_ARRAY("UInt8", "types", 1, G.TYPES.data(), NC)};

  std::vector<const ARRAY*> ORDER;
  std::uint64_t OFFSET = 0;
  std::string& X = G.HEAD;
  // One section: its opening tag with ATTRIBUTES, a DataArray per array, the
  // closing tag. Field data arrays hold one tuple.
  auto SECTION = [&](std::string_view INDENT, std::string_view TAG, std::string_view ATTRIBUTES,
                     const std::vector<ARRAY>& ARRAYS) {
    X += std::string(INDENT) + "<" + std::string(TAG) + std::string(ATTRIBUTES) + ">\n";
    for (const ARRAY& A : ARRAYS) {
      X += std::string(INDENT) + "  " + A.XML;
      if (TAG == "FieldData") X += " NumberOfTuples=\"1\"";
      X += " format=\"appended\" offset=\"" + std::to_string(OFFSET) + "\"/>\n";
      OFFSET += sizeof(std::uint64_t) + A.BYTES;
      ORDER.push_back(&A);
    }
    X += std::string(INDENT) + "</" + std::string(TAG) + ">\n";
  };
  X = "<?xml version=\"1.0\"?>\n"
      "<VTKFile type=\"UnstructuredGrid\" version=\"1.0\" byte_order=\"LittleEndian\" "
      "header_type=\"UInt64\">\n  <UnstructuredGrid>\n";
  SECTION("    ", "FieldData", "", FIELD);
  X += "    <Piece NumberOfPoints=\"" + std::to_string(NP) + "\" NumberOfCells=\"" +
       std::to_string(NC) + "\">\n";
  SECTION("      ", "PointData", " Scalars=\"head\" Vectors=\"velocity\"", POINT);
  SECTION("      ", "CellData", " Scalars=\"attribute\" Vectors=\"velocity\"", CELL);
  SECTION("      ", "Points", "", POINTS);
  SECTION("      ", "Cells", "", CELLS);
  X += "    </Piece>\n  </UnstructuredGrid>\n  <AppendedData encoding=\"raw\">\n   _";

  static const std::string TAIL = "\n  </AppendedData>\n</VTKFile>\n";
  G.SIZES.clear();
  for (const ARRAY* A : ORDER) G.SIZES.push_back(A->BYTES);
  G.PIECES.clear();
  G.PIECES.push_back(G.HEAD);
  for (std::size_t K = 0; K < ORDER.size(); ++K) {
    G.PIECES.push_back({reinterpret_cast<const char*>(&G.SIZES[K]), sizeof(std::uint64_t)});
    G.PIECES.push_back({static_cast<const char*>(ORDER[K]->DATA), ORDER[K]->BYTES});
  }
  G.PIECES.push_back(TAIL);
}

// The per-step arrays from the step held in S.
void FILL_STEP(MODEL_STORE& S, GRID& G) {
  G.TIME = S.TIME;
  G.STEP = S.ISTEP;
  AVERAGE_TO_NODES(S.VX, S.VY, S.IX, S.VXN, S.VYN, S.NCNT, S.NUMNP, S.NUMEL, S.MAXN);
  for (std::size_t I = 0; I < static_cast<std::size_t>(G.POINTS); ++I) {
    G.POINT_VELOCITY[3 * I] = S.VXN[I];
    G.POINT_VELOCITY[3 * I + 1] = S.VYN[I];
    G.POINT_SPEED[I] = std::sqrt(S.VXN[I] * S.VXN[I] + S.VYN[I] * S.VYN[I]);
  }
  for (std::size_t C = 0; C < G.KEPT.size(); ++C) {
    const auto E = static_cast<std::size_t>(G.KEPT[C]);
    G.CELL_VELOCITY[3 * C] = S.VX[E];
    G.CELL_VELOCITY[3 * C + 1] = S.VY[E];
    G.CELL_SPEED[C] = std::sqrt(S.VX[E] * S.VX[E] + S.VY[E] * S.VY[E]);
  }
}

// Write the pieces to PATH whole or not at all. The error code of a failure.
std::error_code WRITE_WHOLE(const std::filesystem::path& PATH, const std::vector<std::string_view>& PIECES) {
  WHOLE_FILE W;
  if (const std::error_code FAILURE = BEGIN_WHOLE_FILE(PATH, W)) return FAILURE;
  for (const std::string_view PIECE : PIECES) WRITE_WHOLE_FILE(W, PIECE);
  return FINISH_WHOLE_FILE(W);
}

std::string SHORTEST(double V) {
  char BUF[32];
  const auto [END, EC] = std::to_chars(BUF, BUF + sizeof BUF, V);
  (void)EC;
  return std::string(BUF, END);
}

std::string XML_ESCAPED(std::string_view TEXT) {
  std::string TO;
  for (const char C : TEXT) {
    switch (C) {
      case '&': TO += "&amp;"; break;
      case '<': TO += "&lt;"; break;
      case '>': TO += "&gt;"; break;
      case '"': TO += "&quot;"; break;
      default: TO += C;
    }
  }
  return TO;
}

struct WRITTEN {
  double TIME;
  std::string FILE;
};

std::error_code WRITE_COLLECTION(const std::filesystem::path& PATH, const std::vector<WRITTEN>& STEPS) {
  std::string X = "<?xml version=\"1.0\"?>\n"
                  "<VTKFile type=\"Collection\" version=\"0.1\" byte_order=\"LittleEndian\">\n"
                  "  <Collection>\n";
  for (const WRITTEN& W : STEPS) {
    if (!std::isfinite(W.TIME)) continue;  // a viewer cannot place it on the time axis
    X += "    <DataSet timestep=\"" + SHORTEST(W.TIME) + "\" group=\"\" part=\"0\" file=\"" +
         XML_ESCAPED(W.FILE) + "\"/>\n";
  }
  X += "  </Collection>\n</VTKFile>\n";
  return WRITE_WHOLE(PATH, {X});
}

// The name as the collection lists it: its UTF-8 form (on POSIX systems the
// bytes as they are).
std::string LISTED_NAME(const std::string& FILE) {
#if defined(_WIN32)
  const std::u8string U = std::filesystem::path(FILE).u8string();
  return std::string(U.begin(), U.end());
#else
  return FILE;
#endif
}

// Whether TEXT is UTF-8 without control characters: XML holds no other text,
// not even escaped (a character reference names a character, not a byte).
bool XML_TEXT(std::string_view TEXT) {
  for (std::size_t K = 0; K < TEXT.size();) {
    const auto B = static_cast<unsigned char>(TEXT[K]);
    if (B < 0x20 || B == 0x7F) return false;
    if (B < 0x80) {
      ++K;
      continue;
    }
    // Lead byte: the sequence length and the least code point it may encode.
    const std::size_t N = B >= 0xC2 && B <= 0xDF ? 2 : B >= 0xE0 && B <= 0xEF ? 3 : B >= 0xF0 && B <= 0xF4 ? 4 : 0;
    if (N == 0 || K + N > TEXT.size()) return false;
    std::uint32_t CP = B & (0x7F >> N);
    for (std::size_t J = 1; J < N; ++J) {
      const auto C = static_cast<unsigned char>(TEXT[K + J]);
      if ((C & 0xC0) != 0x80) return false;
      CP = CP << 6 | (C & 0x3F);
    }
    const std::uint32_t LEAST[] = {0, 0, 0x80, 0x800, 0x10000};
    if (CP < LEAST[N] || CP > 0x10FFFF || (CP >= 0xD800 && CP <= 0xDFFF)) return false;
    K += N;
  }
  return true;
}

// TEXT for a message line: bytes outside printable ASCII as \xHH.
std::string SHOWN(std::string_view TEXT) {
  std::string TO;
  for (const char C : TEXT) {
    const auto B = static_cast<unsigned char>(C);
    if (B >= 0x20 && B < 0x7F) {
      TO += C;
    } else {
      char HEX[8];
      std::snprintf(HEX, sizeof HEX, "\\x%02X", B);
      TO += HEX;
    }
  }
  return TO;
}

// Whether NAME is one of the files a run with BASE writes: BASE.pvd or
// BASE_KKKK.vtu, KKKK four digits or more.
bool OUTPUT_NAME(std::string_view NAME, std::string_view BASE) {
  if (!NAME.starts_with(BASE)) return false;
  NAME.remove_prefix(BASE.size());
  if (NAME == ".pvd") return true;
  if (!NAME.starts_with('_') || !NAME.ends_with(".vtu")) return false;
  const std::string_view DIGITS = NAME.substr(1, NAME.size() - 5);
  return DIGITS.size() >= 4 && DIGITS.find_first_not_of("0123456789") == std::string_view::npos;
}

// The file in DIR that the run would write over and that is the result file
// itself (another name of it, or a link to it); empty if there is none.
std::filesystem::path OUTPUT_THAT_IS_INPUT(const std::filesystem::path& DIR, const std::string& BASE, const char* PATH) {
  std::error_code EC;
  for (std::filesystem::directory_iterator IT(DIR, EC), END; !EC && IT != END; IT.increment(EC)) {
    std::error_code SAME_EC;
    if (OUTPUT_NAME(IT->path().filename().string(), BASE) && std::filesystem::equivalent(IT->path(), PATH, SAME_EC)) {
      return IT->path();
    }
  }
  return {};
}

constexpr std::string_view USAGE =
    "usage: kova2vtk [--steps all|final|N[,N...]] [--out DIR] [--name BASE] RESULT_FILE\n"
    "       kova2vtk --help | --version\n"
    "Writes DIR/BASE.pvd and one DIR/BASE_KKKK.vtu per time step for ParaView.\n"
    "  --steps SEL  all (default), final, or step numbers such as 3,7\n"
    "  --out DIR    the folder of the files, made when missing (default .)\n"
    "  --name BASE  the files' base name (default: RESULT_FILE's, without extension)\n";

enum OPTION : std::size_t { HELP, VERSION, STEPS, TO, NAME };
constexpr std::array<OPTION_SPEC, 5> OPTIONS{{
    {"help", 'h', false},
    {"version", 0, false},
    {"steps", 's', true},
    {"out", 'o', true},
    {"name", 'n', true},
}};

}  // namespace

int main(int argc, char** argv) {
  SYS_PLAIN_NEWLINES();
  PREPARE_TOOL_ENDS("kova2vtk");
  const PARSED_ARGS ARGS =
      PARSE_ARGS(OPTIONS, std::span<char* const>(argv, static_cast<std::size_t>(argc)).subspan(1));
  if (!ARGS.PROBLEM.empty()) return USAGE_ERROR("kova2vtk", ARGS.PROBLEM);
  STEP_SELECTION SEL;
  SEL.EVERY = true;
  std::filesystem::path DIR = ".";
  std::string BASE;
  for (const OPTION_FOUND& O : ARGS.OPTIONS) {
    if (O.WHICH == HELP) return SHOW_TEXT(USAGE);
  }
  for (const OPTION_FOUND& O : ARGS.OPTIONS) {
    switch (O.WHICH) {
      case VERSION:
        return SHOW_TEXT("kova2vtk " KOVA_VERSION "\n");
      case STEPS:
        if (const std::optional<STEP_SELECTION> PARSED = PARSE_STEPS(O.VALUE)) {
          SEL = *PARSED;
        } else {
          return USAGE_ERROR("kova2vtk", "bad --steps '" + std::string(O.VALUE) + "'");
        }
        break;
      case TO:
        DIR = O.VALUE;
        break;
      case NAME:
        if (O.VALUE.empty() || O.VALUE.find('/') != std::string_view::npos)
          return USAGE_ERROR("kova2vtk", "bad --name '" + std::string(O.VALUE) + "'");
        BASE = O.VALUE;
        break;
      default:
        break;
    }
  }
  if (ARGS.OPERANDS.size() != 1)
    return USAGE_ERROR("kova2vtk", ARGS.OPERANDS.empty() ? "no result file named"
                                                         : "more than one result file");
  const std::string PATH_TEXT(ARGS.OPERANDS[0]);
  const char* PATH = PATH_TEXT.c_str();
  if (BASE.empty()) BASE = std::filesystem::path(PATH).stem().string();

  if (!XML_TEXT(LISTED_NAME(BASE))) {
    std::fprintf(stderr,
                 "kova2vtk: %s: the name is not UTF-8 text or holds control characters, which the .pvd "
                 "(XML) cannot list; give a name with --name\n",
                 SHOWN(BASE).c_str());
    return 1;
  }

  RESULT_FILE F;
  if (const int REASON = OPEN_RESULT(PATH, F); REASON != 0) {
    std::fprintf(stderr, "kova2vtk: %s: %s\n", PATH, OPEN_FAILURE_TEXT(REASON).c_str());
    return 2;
  }
  auto DAMAGE_LINE = [&](std::size_t WHOLE_STEPS) {
    std::fprintf(stderr, "kova2vtk: %s: damaged at byte %llu: %s; %zu whole steps before it\n", PATH,
                 static_cast<unsigned long long>(F.DAMAGE_AT), DAMAGE_REASON(F).c_str(), WHOLE_STEPS);
  };
  MODEL_STORE S;
  if (!READ_RESULT_MODEL(F, S)) {
    if (const std::string WHAT = NOT_A_RESULT_FILE(F); !WHAT.empty()) {
      std::fprintf(stderr, "kova2vtk: %s: not a result file: %s\n", PATH, WHAT.c_str());
    } else {
      DAMAGE_LINE(0);
    }
    return 1;
  }
  // The run would replace the result file it reads with one of its outputs.
  if (const std::filesystem::path SAME = OUTPUT_THAT_IS_INPUT(DIR, BASE, PATH); !SAME.empty()) {
    std::fprintf(stderr, "kova2vtk: %s: is the result file itself; nothing written\n", SAME.string().c_str());
    return 1;
  }
  std::error_code MADE;
  std::filesystem::create_directories(DIR, MADE);
  if (MADE) {
    // A link to a folder that is not there: say so, not just "File exists".
    std::error_code EC;
    if (std::filesystem::is_symlink(std::filesystem::symlink_status(DIR, EC)) && !std::filesystem::exists(DIR, EC)) {
      std::fprintf(stderr, "kova2vtk: %s: a link to %s, which does not exist\n", DIR.string().c_str(),
                   std::filesystem::read_symlink(DIR, EC).string().c_str());
    } else {
      std::fprintf(stderr, "kova2vtk: %s: %s\n", DIR.string().c_str(), MADE.message().c_str());
    }
    return 1;
  }
  GRID G;
  std::int64_t LEFT_OUT = 0;
  BUILD_GRID(S, G, LEFT_OUT);
  if (LEFT_OUT > 0) {
    std::fprintf(stderr,
                 "kova2vtk: warning: %lld elements left out: a corner names no node of the model\n",
                 static_cast<long long>(LEFT_OUT));
  }
  LAY_OUT(S, G);

  std::vector<WRITTEN> DONE;
  bool WRITE_FAILED = false;
  auto WRITE_STEP = [&] {
    char NAME[64];
    std::snprintf(NAME, sizeof NAME, "_%04d.vtu", S.NREAD);
    const std::string FILE = BASE + NAME;
    FILL_STEP(S, G);
    if (const std::error_code FAILURE = WRITE_WHOLE(DIR / FILE, G.PIECES)) {
      std::fprintf(stderr, "kova2vtk: %s: %s\n", (DIR / FILE).string().c_str(), FAILURE.message().c_str());
      WRITE_FAILED = true;
      return;
    }
    if (!std::isfinite(S.TIME)) {
      std::fprintf(stderr, "kova2vtk: warning: time step %d has time %s; %s is left out of the collection\n",
                   S.ISTEP, SHORTEST(S.TIME).c_str(), FILE.c_str());
    }
    DONE.push_back({S.TIME, LISTED_NAME(FILE)});
  };

  // The final step is known only when the file ends: remember where the last
  // step began, and read it again should damage have spoilt the store.
  std::uint64_t LAST_AT = 0;
  std::int32_t LAST_INDEX = 0;
  std::vector<bool> FOUND(SEL.NUMBERS.size(), false);
  while (!WRITE_FAILED) {
    const std::uint64_t AT = F.POS;
    if (!READ_RESULT_STEP(F, S)) break;
    LAST_AT = AT;
    LAST_INDEX = S.NREAD;
    if (TAKES_STEP(SEL, S.ISTEP, FOUND)) WRITE_STEP();
  }
  if (SEL.FINAL && LAST_INDEX > 0 && !WRITE_FAILED) {
    if (F.DAMAGE != RESULT_DAMAGE::NONE) {
      RESULT_FILE AGAIN = F;
      AGAIN.POS = LAST_AT;
      S.NREAD = LAST_INDEX - 1;
      READ_RESULT_STEP(AGAIN, S);
    }
    WRITE_STEP();
  }
  CLOSE_RESULT(F);

  if (!SEL.NUMBERS.empty() && DONE.empty() && !WRITE_FAILED) {
    if (F.DAMAGE != RESULT_DAMAGE::NONE) DAMAGE_LINE(static_cast<std::size_t>(LAST_INDEX));
    std::fprintf(stderr, "kova2vtk: %s: no step of the list is in the file; nothing written\n", PATH);
    return 1;
  }
  const std::filesystem::path COLLECTION = DIR / (BASE + ".pvd");
  if (const std::error_code FAILURE = WRITE_COLLECTION(COLLECTION, DONE)) {
    std::fprintf(stderr, "kova2vtk: %s: %s\n", COLLECTION.string().c_str(), FAILURE.message().c_str());
    WRITE_FAILED = true;
  }
  for (std::size_t K = 0; K < SEL.NUMBERS.size(); ++K) {
    if (!FOUND[K] && !WRITE_FAILED && F.DAMAGE == RESULT_DAMAGE::NONE) {
      std::fprintf(stderr, "kova2vtk: warning: time step %d is not in the result file\n", SEL.NUMBERS[K]);
    }
  }
  if (LAST_INDEX == 0 && F.DAMAGE == RESULT_DAMAGE::NONE) {
    std::fprintf(stderr, "kova2vtk: warning: the result file holds no time step\n");
  }
  if (F.DAMAGE != RESULT_DAMAGE::NONE) DAMAGE_LINE(static_cast<std::size_t>(LAST_INDEX));
  return WRITE_FAILED || F.DAMAGE != RESULT_DAMAGE::NONE ? 1 : 0;
}
