// Fuzz target: the console answers and the work list, on a small valid result
// file (four nodes, a quadrilateral and a triangle, three steps). The input is
// the answers (standard input), optionally followed by a byte 0 and the text
// of WORK.LST; without that byte the work list names the result file plainly.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "fuzz/harness.h"

namespace {

void PUT_INT(std::string& TO, std::int32_t V) {
  for (int K = 0; K < 4; ++K) TO += static_cast<char>(static_cast<std::uint32_t>(V) >> (8 * K));
}

void PUT_REAL(std::string& TO, double V) {
  std::uint64_t BITS = 0;
  std::memcpy(&BITS, &V, sizeof BITS);
  PUT_INT(TO, static_cast<std::int32_t>(BITS));
  PUT_INT(TO, static_cast<std::int32_t>(BITS >> 32));
}

void PUT_RECORD(std::string& TO, const std::string& DATA) {
  PUT_INT(TO, static_cast<std::int32_t>(DATA.size()));
  TO += DATA;
  PUT_INT(TO, static_cast<std::int32_t>(DATA.size()));
}

std::string SMALL_RESULT_FILE() {
  std::string FILE, R;
  PUT_RECORD(FILE, std::string("SMALL SQUARE") + std::string(68, ' '));
  R.clear(), PUT_INT(R, 5), PUT_RECORD(FILE, R);
  R.clear();
  const double XY[5][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}, {2, 0}};
  for (const auto& P : XY) PUT_REAL(R, P[0]), PUT_REAL(R, P[1]), PUT_REAL(R, 10), PUT_REAL(R, 1e-4), PUT_INT(R, 0);
  PUT_RECORD(FILE, R);
  R.clear(), PUT_INT(R, 2), PUT_RECORD(FILE, R);
  R.clear();
  for (const auto& E : {std::array<std::int32_t, 5>{1, 2, 3, 4, 1}, {2, 5, 3, 0, 2}}) {
    for (std::int32_t V : E) PUT_INT(R, V);
    PUT_REAL(R, 1e-4);
  }
  PUT_RECORD(FILE, R);
  for (int STEP = 1; STEP <= 3; ++STEP) {
    R.clear(), PUT_INT(R, STEP), PUT_REAL(R, 60.0 * STEP), PUT_RECORD(FILE, R);
    R.clear();
    for (int I = 0; I < 5; ++I) PUT_INT(R, I % 2), PUT_REAL(R, 10.0 - 0.1 * I * STEP), PUT_REAL(R, I == 0 ? -0.01 : 0.0);
    PUT_RECORD(FILE, R);
    R.clear();
    for (int E = 0; E < 2; ++E) PUT_REAL(R, 1e-5 * STEP), PUT_REAL(R, -2e-5 * E);
    PUT_RECORD(FILE, R);
  }
  return FILE;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* DATA, std::size_t SIZE) {
  static const std::string RESULT = SMALL_RESULT_FILE();
  const std::string_view INPUT(reinterpret_cast<const char*>(DATA), SIZE);
  const std::size_t SPLIT = INPUT.find('\0');
  const std::string_view ANSWERS = INPUT.substr(0, SPLIT);
  const std::string_view WORK_LIST =
      SPLIT == std::string_view::npos ? "work\nlist\nlines\nresult.bin\n" : INPUT.substr(SPLIT + 1);
  RUN_CONVERTER(WORK_LIST, RESULT, ANSWERS);
  return 0;
}
