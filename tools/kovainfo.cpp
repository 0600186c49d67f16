// kovainfo: tells what a NU-KOVA result file holds. It reads the file with the
// tools' result reader and writes nothing but its report: the title, the
// counts, the element forms, the coordinate extent, one line per time step
// (head range, largest element speed) and how the file ends, as text or, with
// --json, as one JSON object.
//
// Exit status: 0 when the file ends cleanly, 1 when it is damaged (after
// everything before the damage is reported) or is not a result file at all
// (its first record is no title record: one line on standard error, no
// report), 2 for a usage error or a file that cannot be opened, 71 when
// memory runs out.
//
// The title is code page 932 text: it is shown converted to UTF-8, a byte
// that does not convert shown as U+FFFD, trailing blanks dropped. Control
// characters are shown as blanks in the text report and escaped in JSON.
// A range that holds a NaN is NaN; JSON has no NaN or infinity, so such a
// value, and a range over no value at all, is null there ("-" in the text).
#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "model/mesh.h"
#include "model/result_reader.h"
#include "recordio/buffers/console_utf8.h"
#include "recordio/records/options.h"
#include "recordio/run_end/tools.h"

using namespace KOVA;

namespace {

// Smallest and largest of a set of values; NaN as soon as one value is NaN,
// EMPTY while no value has been seen.
struct RANGE {
  double MIN = 0.0, MAX = 0.0;
  bool EMPTY = true;
  void ADD(double V) {
    if (EMPTY) {
      MIN = MAX = V;
      EMPTY = false;
    } else if (std::isnan(V)) {
      MIN = MAX = V;
    } else if (!std::isnan(MIN)) {
      MIN = std::min(MIN, V);
      MAX = std::max(MAX, V);
    }
  }
};

struct STEP_SUMMARY {
  std::int32_t INDEX = 0, STEP = 0;
  double TIME = 0.0;
  RANGE HEAD, SPEED;
};

struct MODEL_SUMMARY {
  std::int64_t QUADS = 0, TRIANGLES = 0, NOT_COUNTED = 0, STRAY = 0;
  RANGE XS, YS;
};

MODEL_SUMMARY SUMMARISE_MODEL(const MODEL_STORE& S) {
  MODEL_SUMMARY M;
  for (std::int32_t E = 0; E < S.NUMEL; ++E) {
    const auto e = static_cast<std::size_t>(E);
    if (IS_TRIANGLE(S.IX[IX_AT(S, e, 2)], S.IX[IX_AT(S, e, 3)])) {
      ++M.TRIANGLES;
    } else {
      ++M.QUADS;
    }
    if (S.IX[IX_AT(S, e, 4)] <= 0) ++M.NOT_COUNTED;
  }
  M.STRAY = COUNT_STRAY_CORNERS(S);
  for (std::int32_t I = 0; I < S.NUMNP; ++I) {
    M.XS.ADD(S.X[I]);
    M.YS.ADD(S.Y[I]);
  }
  return M;
}

STEP_SUMMARY SUMMARISE_STEP(const MODEL_STORE& S) {
  STEP_SUMMARY T{S.NREAD, S.ISTEP, S.TIME, {}, {}};
  for (std::int32_t I = 0; I < S.NUMNP; ++I) T.HEAD.ADD(S.H[I]);
  for (std::int32_t E = 0; E < S.NUMEL; ++E) T.SPEED.ADD(std::sqrt(S.VX[E] * S.VX[E] + S.VY[E] * S.VY[E]));
  return T;
}

// The title without its trailing blanks, converted from code page 932 to
// UTF-8; a byte that starts no valid character becomes U+FFFD.
std::string TITLE_UTF8(const MODEL_STORE& S) {
  std::string_view RAW(S.TITLE.data(), S.TITLE.size());
  RAW = RAW.substr(0, RAW.find_last_not_of(' ') + 1);
  return CP932_TEXT_TO_UTF8(RAW);
}

bool IS_CONTROL(unsigned char C) { return C < 0x20 || C == 0x7F; }

// A double as the shortest text that reads back to it.
std::string SHORTEST(double V) {
  char BUF[32];
  const auto [END, EC] = std::to_chars(BUF, BUF + sizeof BUF, V);
  (void)EC;
  return std::string(BUF, END);
}

// ---- JSON ----

std::string JSON_STRING(std::string_view TEXT) {
  std::string TO = "\"";
  for (const char C : TEXT) {
    const auto U = static_cast<unsigned char>(C);
    if (C == '"' || C == '\\') {
      TO += '\\';
      TO += C;
    } else if (IS_CONTROL(U)) {
      char ESC[8];
      std::snprintf(ESC, sizeof ESC, "\\u%04x", U);
      TO += ESC;
    } else {
      TO += C;
    }
  }
  return TO + "\"";
}

std::string JSON_NUMBER(double V) { return std::isfinite(V) ? SHORTEST(V) : "null"; }

std::string JSON_RANGE_END(const RANGE& R, bool LOW) {
  return R.EMPTY ? "null" : JSON_NUMBER(LOW ? R.MIN : R.MAX);
}

// Values known only once their record has been read whole are null before.
void PRINT_JSON(const MODEL_STORE& S, const MODEL_SUMMARY& M, std::int64_t MODEL_RECORDS,
                const std::vector<STEP_SUMMARY>& STEPS, const RESULT_FILE& F) {
  auto KNOWN = [&](std::int64_t RECORD, const std::string& VALUE) {
    return MODEL_RECORDS >= RECORD ? VALUE : std::string("null");
  };
  std::string TO = "{";
  TO += "\"title\": " + KNOWN(1, JSON_STRING(TITLE_UTF8(S)));
  TO += ", \"nodes\": " + KNOWN(2, std::to_string(S.NUMNP));
  TO += ", \"elements\": " + KNOWN(4, std::to_string(S.NUMEL));
  TO += ", \"quadrilaterals\": " + KNOWN(5, std::to_string(M.QUADS));
  TO += ", \"triangles\": " + KNOWN(5, std::to_string(M.TRIANGLES));
  TO += ", \"not_counted\": " + KNOWN(5, std::to_string(M.NOT_COUNTED));
  TO += ", \"stray_corners\": " + KNOWN(5, std::to_string(M.STRAY));
  TO += ", \"extent\": " + KNOWN(5, "[" + JSON_RANGE_END(M.XS, true) + ", " + JSON_RANGE_END(M.XS, false) +
                                         ", " + JSON_RANGE_END(M.YS, true) + ", " +
                                         JSON_RANGE_END(M.YS, false) + "]");
  TO += ", \"steps\": [";
  for (std::size_t K = 0; K < STEPS.size(); ++K) {
    const STEP_SUMMARY& T = STEPS[K];
    TO += K == 0 ? "" : ", ";
    TO += "{\"index\": " + std::to_string(T.INDEX) + ", \"step\": " + std::to_string(T.STEP) +
           ", \"time\": " + JSON_NUMBER(T.TIME) + ", \"head_min\": " + JSON_RANGE_END(T.HEAD, true) +
           ", \"head_max\": " + JSON_RANGE_END(T.HEAD, false) +
           ", \"speed_max\": " + JSON_RANGE_END(T.SPEED, false) + "}";
  }
  TO += "], \"end\": ";
  if (F.DAMAGE == RESULT_DAMAGE::NONE) {
    TO += "{\"clean\": true}";
  } else {
    TO += "{\"clean\": false, \"byte\": " + std::to_string(F.DAMAGE_AT) +
           ", \"reason\": " + JSON_STRING(DAMAGE_REASON(F)) + "}";
  }
  TO += "}\n";
  std::fputs(TO.c_str(), stdout);
}

// ---- Text ----

std::string TEXT_NUMBER(double V) {
  if (std::isnan(V)) return "NaN";
  if (std::isinf(V)) return V > 0 ? "Infinity" : "-Infinity";
  char BUF[32];
  std::snprintf(BUF, sizeof BUF, "%.7g", V);
  return BUF;
}

std::string TEXT_RANGE_END(const RANGE& R, bool LOW) {
  return R.EMPTY ? "-" : TEXT_NUMBER(LOW ? R.MIN : R.MAX);
}

void PRINT_TEXT(const MODEL_STORE& S, const MODEL_SUMMARY& M, std::int64_t MODEL_RECORDS,
                const std::vector<STEP_SUMMARY>& STEPS, const RESULT_FILE& F) {
  if (MODEL_RECORDS >= 1) {
    std::string TITLE = TITLE_UTF8(S);
    for (char& C : TITLE)
      if (IS_CONTROL(static_cast<unsigned char>(C))) C = ' ';
    std::printf("title           %s\n", TITLE.c_str());
  }
  if (MODEL_RECORDS >= 2) std::printf("nodes           %d\n", S.NUMNP);
  if (MODEL_RECORDS >= 4) std::printf("elements        %d\n", S.NUMEL);
  if (MODEL_RECORDS >= 5) {
    std::printf("quadrilaterals  %lld\n", static_cast<long long>(M.QUADS));
    std::printf("triangles       %lld (fourth corner 0 or repeating the third)\n",
                static_cast<long long>(M.TRIANGLES));
    std::printf("not counted     %lld (attribute 0 or below)\n", static_cast<long long>(M.NOT_COUNTED));
    std::printf("stray corners   %lld (corner numbers outside 1..NUMNP other than 0)\n",
                static_cast<long long>(M.STRAY));
    std::printf("extent          x %s .. %s, y %s .. %s\n", TEXT_RANGE_END(M.XS, true).c_str(),
                TEXT_RANGE_END(M.XS, false).c_str(), TEXT_RANGE_END(M.YS, true).c_str(),
                TEXT_RANGE_END(M.YS, false).c_str());
    std::printf("steps           %zu\n", STEPS.size());
    if (!STEPS.empty()) {
      std::printf("%8s %11s %15s %15s %15s %15s\n", "index", "step", "time", "head min", "head max",
                  "speed max");
    }
    for (const STEP_SUMMARY& T : STEPS) {
      std::printf("%8d %11d %15s %15s %15s %15s\n", T.INDEX, T.STEP, TEXT_NUMBER(T.TIME).c_str(),
                  TEXT_RANGE_END(T.HEAD, true).c_str(), TEXT_RANGE_END(T.HEAD, false).c_str(),
                  TEXT_RANGE_END(T.SPEED, false).c_str());
    }
  }
  if (F.DAMAGE == RESULT_DAMAGE::NONE) {
    std::printf("end             clean end after %zu steps\n", STEPS.size());
  } else {
    std::printf("end             damaged at byte %llu: %s\n",
                static_cast<unsigned long long>(F.DAMAGE_AT), DAMAGE_REASON(F).c_str());
  }
}

constexpr std::string_view USAGE =
    "usage: kovainfo [--json] RESULT_FILE\n"
    "       kovainfo --help | --version\n"
    "Tells what a NU-KOVA result file holds: title, counts, element forms, extent,\n"
    "one line per time step and how the file ends. --json writes one JSON object.\n";

enum OPTION : std::size_t { HELP, VERSION, AS_JSON };
constexpr std::array<OPTION_SPEC, 3> OPTIONS{{
    {"help", 'h', false},
    {"version", 0, false},
    {"json", 'j', false},
}};

}  // namespace

int main(int argc, char** argv) {
  SYS_PLAIN_NEWLINES();
  PREPARE_TOOL_ENDS("kovainfo");
  const PARSED_ARGS ARGS =
      PARSE_ARGS(OPTIONS, std::span<char* const>(argv, static_cast<std::size_t>(argc)).subspan(1));
  if (!ARGS.PROBLEM.empty()) return USAGE_ERROR("kovainfo", ARGS.PROBLEM);
  bool JSON = false;
  for (const OPTION_FOUND& O : ARGS.OPTIONS) {
    if (O.WHICH == HELP) return SHOW_TEXT(USAGE);
  }
  for (const OPTION_FOUND& O : ARGS.OPTIONS) {
    if (O.WHICH == VERSION) return SHOW_TEXT("kovainfo " KOVA_VERSION "\n");
    JSON = JSON || O.WHICH == AS_JSON;
  }
  if (ARGS.OPERANDS.size() != 1)
    return USAGE_ERROR("kovainfo", ARGS.OPERANDS.empty() ? "no result file named"
                                                         : "more than one result file");
  const std::string PATH_TEXT(ARGS.OPERANDS[0]);
  const char* PATH = PATH_TEXT.c_str();

  RESULT_FILE F;
  if (const int REASON = OPEN_RESULT(PATH, F); REASON != 0) {
    std::fprintf(stderr, "kovainfo: %s: %s\n", PATH, OPEN_FAILURE_TEXT(REASON).c_str());
    return 2;
  }
  MODEL_STORE S;
  std::vector<STEP_SUMMARY> STEPS;
  MODEL_SUMMARY M;
  std::int64_t MODEL_RECORDS = 5;
  if (READ_RESULT_MODEL(F, S)) {
    M = SUMMARISE_MODEL(S);
    while (READ_RESULT_STEP(F, S)) STEPS.push_back(SUMMARISE_STEP(S));
  } else {
    MODEL_RECORDS = F.RECORDS;
  }
  CLOSE_RESULT(F);
  // A file that is not a result file at all has no report.
  if (const std::string WHAT = NOT_A_RESULT_FILE(F); !WHAT.empty()) {
    std::fprintf(stderr, "kovainfo: %s: not a result file: %s\n", PATH, WHAT.c_str());
    return 1;
  }

  if (JSON) {
    PRINT_JSON(S, M, MODEL_RECORDS, STEPS, F);
  } else {
    PRINT_TEXT(S, M, MODEL_RECORDS, STEPS, F);
  }
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    std::perror("kovainfo: standard output");
    return 2;
  }
  return F.DAMAGE == RESULT_DAMAGE::NONE ? 0 : 1;
}
