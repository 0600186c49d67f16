// The Windows console is set to code page 932 for the run (see the system
// layer), so it shows the console texts as they are: nothing is converted.
#include "recordio/console_utf8.h"

bool CONSOLE_SHOWS_UTF8(SYS_FILE) { return false; }

std::size_t CP932_TO_UTF8(std::string_view& TEXT, std::span<char> OUT) noexcept {
  const std::size_t N = TEXT.copy(OUT.data(), OUT.size());
  TEXT.remove_prefix(N);
  return N;
}
