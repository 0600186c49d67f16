// Runs a fuzz target once on each file named on the command line, without
// libFuzzer: the regression inputs are replayed by every build this way. All
// files are read first, since the first run changes the current directory.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* DATA, std::size_t SIZE);

int main(int argc, char** argv) {
  std::vector<std::string> INPUTS;
  for (int A = 1; A < argc; ++A) {
    std::ifstream FROM(argv[A], std::ios::binary);
    if (!FROM) {
      std::fprintf(stderr, "cannot read %s\n", argv[A]);
      return 1;
    }
    INPUTS.emplace_back(std::istreambuf_iterator<char>(FROM), std::istreambuf_iterator<char>());
  }
  for (const std::string& BYTES : INPUTS)
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(BYTES.data()), BYTES.size());
  std::fprintf(stderr, "%zu inputs replayed\n", INPUTS.size());
  return 0;
}
