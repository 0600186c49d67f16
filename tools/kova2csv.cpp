// kova2csv: results over time at chosen places of a NU-KOVA result file, as
// one CSV table (RFC 4180: header row, CR LF line ends, "." decimal point,
// every number the shortest text that reads back to the same double).
//
// Usage: kova2csv [--nodes N[,N...]] [--at X,Y] [--at-file FILE] [--what Q[,Q...]]
//                 [--steps all|final|N[,N...]] [--nearest] [--output FILE] RESULT_FILE
//
// Columns: step, time, then one per quantity and place, quantity by
// quantity, places in the order given: "head@17" (node 17), "head@W1" (a well
// of the --at-file list), "head@120.5;80" (the point --at 120.5,80, as typed).
// Places and their values are those of model/places.h. The steps are walked
// first, then each step written is read where it starts.
//
// Exit status: 0 when every step asked for is written; 1 when the result file
// is damaged (every whole step before the damage is written, then one line on
// standard error says where) or is no result file, when a step list names no
// step of the file, or when the output cannot be written or is the result
// file itself; 2 for a usage error, a result file that
// cannot be opened, a node not in the model or a point in no counted element
// (without --nearest).
#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/places.h"
#include "model/result_reader.h"
#include "model/step_selection.h"
#include "recordio/records/options.h"
#include "model/mesh.h"

using namespace KOVA;

namespace {

constexpr std::string_view USAGE =
    "usage: kova2csv [--nodes N[,N...]] [--at X,Y] [--at-file FILE] [--what Q[,Q...]]\n"
    "                [--steps all|final|N[,N...]] [--nearest] [--output FILE] RESULT_FILE\n"
    "       kova2csv --help | --version\n"
    "Writes one CSV table of results over time: columns step and time, then one per\n"
    "quantity and place.\n"
    "  --nodes LIST   node numbers such as 17,210\n"
    "  --at X,Y       a point (repeatable), taken in the counted element that holds it\n"
    "  --at-file FILE named points, one name,x,y per line\n"
    "  --what LIST    head (default), flux, vx, vy, speed, such as head,speed\n"
    "  --steps SEL    all (default), final, or step numbers such as 3,7\n"
    "  --nearest      a point outside every counted element takes its nearest node\n"
    "  --output FILE  the table's file (default: standard output)\n";

enum OPTION : std::size_t { HELP, VERSION, NODES, AT, AT_FILE, WHAT, STEPS, NEAREST, OUTPUT };
constexpr std::array<OPTION_SPEC, 9> OPTIONS{{
    {"help", 'h', false},
    {"version", 0, false},
    {"nodes", 0, true},
    {"at", 0, true},
    {"at-file", 0, true},
    {"what", 0, true},
    {"steps", 's', true},
    {"nearest", 0, false},
    {"output", 'o', true},
}};

// A place as asked for: a node number, or a point with its column name.
struct ASKED {
  bool IS_NODE = false;
  std::int32_t NODE = 0;
  double X = 0.0, Y = 0.0;
  std::string NAME;  // what follows "@" in the column name
};

std::string_view TRIMMED(std::string_view T) {
  const std::size_t FIRST = T.find_first_not_of(" \t");
  if (FIRST == T.npos) return {};
  return T.substr(FIRST, T.find_last_not_of(" \t") - FIRST + 1);
}

bool PARSE_REAL(std::string_view T, double& V) {
  T = TRIMMED(T);
  const auto [END, EC] = std::from_chars(T.data(), T.data() + T.size(), V);
  return !T.empty() && EC == std::errc{} && END == T.data() + T.size() && std::isfinite(V);
}

// "X,Y" into a point named as typed, the comma turned into ";".
bool PARSE_POINT(std::string_view T, ASKED& A) {
  const std::size_t COMMA = T.find(',');
  if (COMMA == T.npos || !PARSE_REAL(T.substr(0, COMMA), A.X) || !PARSE_REAL(T.substr(COMMA + 1), A.Y)) {
    return false;
  }
  A.NAME = std::string(TRIMMED(T.substr(0, COMMA))) + ";" + std::string(TRIMMED(T.substr(COMMA + 1)));
  return true;
}

// The wells of an --at-file: one "name,x,y" per line, blank lines skipped.
// Empty on success, else the usage error.
std::string READ_WELLS(const std::string& PATH, std::vector<ASKED>& ASKS) {
  std::FILE* FROM = std::fopen(PATH.c_str(), "rb");
  if (FROM == nullptr) return PATH + ": " + std::strerror(errno);
  std::string TEXT;
  char BUF[4096];
  for (std::size_t GOT; (GOT = std::fread(BUF, 1, sizeof BUF, FROM)) > 0;) TEXT.append(BUF, GOT);
  const int FAILED = std::ferror(FROM) != 0 ? (errno != 0 ? errno : EIO) : 0;
  std::fclose(FROM);
  if (FAILED != 0) return PATH + ": " + std::strerror(FAILED);
  std::string_view REST = TEXT;
  for (int LINE = 1; !REST.empty(); ++LINE) {
    std::string_view L = REST.substr(0, REST.find('\n'));
    REST.remove_prefix(std::min(REST.size(), L.size() + 1));
    if (!L.empty() && L.back() == '\r') L.remove_suffix(1);
    if (TRIMMED(L).empty()) continue;
    const std::size_t COMMA = L.find(',');
    ASKED A;
    if (COMMA == L.npos || TRIMMED(L.substr(0, COMMA)).empty() || !PARSE_POINT(L.substr(COMMA + 1), A)) {
      return PATH + ":" + std::to_string(LINE) + ": expected name,x,y";
    }
    A.NAME = TRIMMED(L.substr(0, COMMA));
    ASKS.push_back(A);
  }
  return {};
}

// A CSV field: quoted, with its quotes doubled, when it holds a comma, a
// quote or a line end.
std::string CSV_FIELD(std::string_view T) {
  if (T.find_first_of(",\"\r\n") == T.npos) return std::string(T);
  std::string Q = "\"";
  for (const char C : T) {
    if (C == '"') Q += '"';
    Q += C;
  }
  return Q + "\"";
}

void APPEND_NUMBER(std::string& LINE, double V) {
  char BUF[32];
  const auto [END, EC] = std::to_chars(BUF, BUF + sizeof BUF, V);
  (void)EC;  // 32 bytes hold every double
  LINE.append(BUF, END);
}

}  // namespace

int main(int argc, char** argv) {
  SYS_PLAIN_NEWLINES();
  const PARSED_ARGS ARGS =
      PARSE_ARGS(OPTIONS, std::span<char* const>(argv, static_cast<std::size_t>(argc)).subspan(1));
  if (!ARGS.PROBLEM.empty()) return USAGE_ERROR("kova2csv", ARGS.PROBLEM);
  std::vector<ASKED> ASKS;
  std::vector<QUANTITY> QUANTITIES;
  STEP_SELECTION SEL;
  SEL.EVERY = true;
  bool NEAREST_WANTED = false;
  std::string OUT_PATH;
  for (const OPTION_FOUND& O : ARGS.OPTIONS) {
    if (O.WHICH == HELP) return SHOW_TEXT(USAGE);
  }
  for (const OPTION_FOUND& O : ARGS.OPTIONS) {
    const std::string_view V = O.VALUE;
    switch (O.WHICH) {
      case VERSION:
        return SHOW_TEXT("kova2csv " KOVA_VERSION "\n");
      case NODES: {
        // A list of numbers as a step list is one; duplicates are dropped.
        const std::optional<STEP_SELECTION> LIST = PARSE_STEPS(V);
        if (!LIST || LIST->EVERY || LIST->FINAL) {
          return USAGE_ERROR("kova2csv", "bad --nodes '" + std::string(V) + "'");
        }
        for (const std::int32_t N : LIST->NUMBERS) ASKS.push_back({true, N, 0.0, 0.0, std::to_string(N)});
        break;
      }
      case AT: {
        ASKED A;
        if (!PARSE_POINT(V, A)) return USAGE_ERROR("kova2csv", "bad --at '" + std::string(V) + "' (expected X,Y)");
        ASKS.push_back(A);
        break;
      }
      case AT_FILE:
        if (const std::string WHY = READ_WELLS(std::string(V), ASKS); !WHY.empty()) {
          return USAGE_ERROR("kova2csv", WHY);
        }
        break;
      case WHAT:
        for (std::string_view REST = V;;) {
          const std::string_view NAME = REST.substr(0, REST.find(','));
          QUANTITY Q;
          if (!PARSE_QUANTITY(NAME, Q)) {
            return USAGE_ERROR("kova2csv", "bad --what '" + std::string(V) + "' (head, flux, vx, vy, speed)");
          }
          QUANTITIES.push_back(Q);
          if (NAME.size() == REST.size()) break;
          REST.remove_prefix(NAME.size() + 1);
        }
        break;
      case STEPS:
        if (const std::optional<STEP_SELECTION> PARSED = PARSE_STEPS(V)) {
          SEL = *PARSED;
        } else {
          return USAGE_ERROR("kova2csv", "bad --steps '" + std::string(V) + "'");
        }
        break;
      case NEAREST:
        NEAREST_WANTED = true;
        break;
      case OUTPUT:
        OUT_PATH = V;
        break;
      default:
        break;
    }
  }
  if (ARGS.OPERANDS.size() != 1) {
    return USAGE_ERROR("kova2csv", ARGS.OPERANDS.empty() ? "no result file named" : "more than one result file");
  }
  if (ASKS.empty()) return USAGE_ERROR("kova2csv", "no place given (--nodes, --at or --at-file)");
  if (QUANTITIES.empty()) QUANTITIES.push_back(QUANTITY::HEAD);
  const std::string PATH(ARGS.OPERANDS[0]);

  RESULT_FILE F;
  if (const int REASON = OPEN_RESULT(PATH.c_str(), F); REASON != 0) {
    std::fprintf(stderr, "kova2csv: %s: %s\n", PATH.c_str(), OPEN_FAILURE_TEXT(REASON).c_str());
    return 2;
  }
  RESULT_DAMAGE DAMAGE = RESULT_DAMAGE::NONE;
  std::string DAMAGE_LINE;
  auto NOTE_DAMAGE = [&](std::size_t WHOLE_STEPS) {
    DAMAGE = F.DAMAGE;
    DAMAGE_LINE = "kova2csv: " + PATH + ": damaged at byte " + std::to_string(F.DAMAGE_AT) + ": " +
                  DAMAGE_REASON(F) + "; " + std::to_string(WHOLE_STEPS) + " whole steps before it\n";
  };
  MODEL_STORE S;
  if (!READ_RESULT_MODEL(F, S)) {
    if (const std::string NOT_RESULT = NOT_A_RESULT_FILE(F); !NOT_RESULT.empty()) {
      std::fprintf(stderr, "kova2csv: %s: not a result file: %s\n", PATH.c_str(), NOT_RESULT.c_str());
    } else {
      NOTE_DAMAGE(0);
      std::fputs(DAMAGE_LINE.c_str(), stderr);
    }
    return 1;
  }
  // The table would replace the result file it is read from.
  if (std::error_code SAME_EC; !OUT_PATH.empty() && std::filesystem::equivalent(OUT_PATH, PATH, SAME_EC)) {
    std::fprintf(stderr, "kova2csv: %s: is the result file itself; nothing written\n", OUT_PATH.c_str());
    return 1;
  }

  std::vector<PLACE> PLACES;
  for (const ASKED& A : ASKS) {
    PLACE P;
    if (A.IS_NODE) {
      if (!NAMES_NODE(A.NODE, S.NUMNP)) {
        std::fprintf(stderr, "kova2csv: node %d is not in the model (%d nodes)\n", A.NODE, std::max(S.NUMNP, 0));
        return 2;
      }
      P = NODE_PLACE(A.NODE - 1);
    } else if (!LOCATE(S, A.X, A.Y, P) && !(NEAREST_WANTED && NEAREST_NODE(S, A.X, A.Y, P))) {
      const char* HINT = NEAREST_WANTED ? "; the model has none" : " (--nearest takes the nearest node)";
      std::fprintf(stderr, "kova2csv: point %s lies in no counted element%s\n", A.NAME.c_str(), HINT);
      return 2;
    }
    PLACES.push_back(P);
  }
  // Velocities at nodes are averaged once per step, and only when asked for.
  bool NODE_VELOCITY = false;
  for (const PLACE& P : PLACES) {
    for (const QUANTITY Q : QUANTITIES) NODE_VELOCITY |= P.ELEMENT < 0 && Q != QUANTITY::HEAD && Q != QUANTITY::FLUX;
  }

  const std::vector<STEP_AT> STEPS = SCAN_RESULT_STEPS(F, S);
  if (F.DAMAGE != RESULT_DAMAGE::NONE) NOTE_DAMAGE(STEPS.size());
  std::vector<const STEP_AT*> CHOSEN;
  std::vector<bool> FOUND(SEL.NUMBERS.size(), false);
  for (const STEP_AT& T : STEPS) {
    if (TAKES_STEP(SEL, T.ISTEP, FOUND)) CHOSEN.push_back(&T);
  }
  if (SEL.FINAL && !STEPS.empty()) CHOSEN.push_back(&STEPS.back());
  if (!SEL.NUMBERS.empty() && CHOSEN.empty()) {
    std::fputs(DAMAGE_LINE.c_str(), stderr);
    std::fprintf(stderr, "kova2csv: %s: no step of the list is in the file; nothing written\n", PATH.c_str());
    return 1;
  }

  std::FILE* TO = stdout;
  const std::string OUT_NAME = OUT_PATH.empty() ? "standard output" : OUT_PATH;
  if (!OUT_PATH.empty() && (TO = std::fopen(OUT_PATH.c_str(), "wb")) == nullptr) {
    std::perror(("kova2csv: " + OUT_PATH).c_str());
    return 1;
  }
  std::string LINE = "step,time";
  for (const QUANTITY Q : QUANTITIES) {
    for (const ASKED& A : ASKS) LINE += "," + CSV_FIELD(std::string(QUANTITY_NAME(Q)) + "@" + A.NAME);
  }
  LINE += "\r\n";
  // The C library sets errno for a refused write; EIO where it did not.
  int WRITE_ERROR = 0;
  auto PUT = [&](std::string_view BYTES) {
    if (WRITE_ERROR == 0 && std::fwrite(BYTES.data(), 1, BYTES.size(), TO) != BYTES.size()) {
      WRITE_ERROR = errno != 0 ? errno : EIO;
    }
  };
  PUT(LINE);
  for (const STEP_AT* T : CHOSEN) {
    if (WRITE_ERROR != 0) break;
    if (!READ_RESULT_STEP_AT(F, S, T->AT)) {  // the file changed since it was walked
      NOTE_DAMAGE(static_cast<std::size_t>(T - STEPS.data()));
      break;
    }
    if (NODE_VELOCITY) AVERAGE_TO_NODES(S.VX, S.VY, S.IX, S.VXN, S.VYN, S.NCNT, S.NUMNP, S.NUMEL, S.MAXN);
    LINE.clear();
    LINE += std::to_string(S.ISTEP);
    LINE += ',';
    APPEND_NUMBER(LINE, S.TIME);
    for (const QUANTITY Q : QUANTITIES) {
      for (const PLACE& P : PLACES) {
        LINE += ',';
        APPEND_NUMBER(LINE, VALUE_AT(S, P, Q));
      }
    }
    LINE += "\r\n";
    PUT(LINE);
  }
  CLOSE_RESULT(F);
  if (std::fflush(TO) != 0 && WRITE_ERROR == 0) WRITE_ERROR = errno != 0 ? errno : EIO;
  if (TO != stdout && std::fclose(TO) != 0 && WRITE_ERROR == 0) WRITE_ERROR = errno != 0 ? errno : EIO;
  if (WRITE_ERROR != 0) {
    std::fprintf(stderr, "kova2csv: %s: %s\n", OUT_NAME.c_str(), std::strerror(WRITE_ERROR));
    return 1;
  }
  if (DAMAGE == RESULT_DAMAGE::NONE) {
    for (std::size_t K = 0; K < SEL.NUMBERS.size(); ++K) {
      if (FOUND[K]) continue;
      std::fprintf(stderr, "kova2csv: warning: time step %d is not in the result file\n", SEL.NUMBERS[K]);
    }
  }
  if (STEPS.empty() && DAMAGE == RESULT_DAMAGE::NONE) {
    std::fprintf(stderr, "kova2csv: warning: the result file holds no time step\n");
  }
  std::fputs(DAMAGE_LINE.c_str(), stderr);
  return DAMAGE == RESULT_DAMAGE::NONE ? 0 : 1;
}
