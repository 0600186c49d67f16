// Fuzz target: the result-file reader and every writer. The first byte picks
// the transfer type 1..4, the second the time-step answer (-128..127); the
// rest is the result file. The dialogue is otherwise a plain run.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* DATA, std::size_t SIZE) {
  if (SIZE < 2) return 0;
  const int ITYPE = 1 + DATA[0] % 4;
  const int NSEL = static_cast<std::int8_t>(DATA[1]);
  const std::string ANSWERS = "0\n0\n" + std::to_string(ITYPE) + "\n" +
                              (ITYPE == 3 ? "" : "out.dat\n") + std::to_string(NSEL) + "\n";
  const std::string_view RESULT(reinterpret_cast<const char*>(DATA) + 2, SIZE - 2);
  RUN_CONVERTER("work\nlist\nlines\nresult.bin\n", RESULT, ANSWERS);
  return 0;
}
