// The Windows console is set to code page 932 for the run (see the system
// layer), so it shows the console texts as they are: nothing is converted.
#include "recordio/buffers/console_utf8.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace KOVA {

bool CONSOLE_SHOWS_UTF8(SYS_FILE) { return false; }

std::size_t CP932_TO_UTF8(std::string_view& TEXT, std::span<char> TO) noexcept {
  const std::size_t N = TEXT.copy(TO.data(), TO.size());
  TEXT.remove_prefix(N);
  return N;
}

// One character at a time (a lead byte and its second byte, or one byte)
// through UTF-16, so that a byte that starts no character is replaced alone.
std::string CP932_TEXT_TO_UTF8(std::string_view TEXT) {
  constexpr UINT CP932 = 932;
  std::string UTF8_TEXT;
  while (!TEXT.empty()) {
    const int LENGTH = TEXT.size() > 1 && ::IsDBCSLeadByteEx(CP932, static_cast<BYTE>(TEXT[0])) ? 2 : 1;
    wchar_t WIDE[2];
    const int UNITS = ::MultiByteToWideChar(CP932, MB_ERR_INVALID_CHARS, TEXT.data(), LENGTH, WIDE, 2);
    char UTF8[8];
    const int BYTES = UNITS > 0 ? ::WideCharToMultiByte(CP_UTF8, 0, WIDE, UNITS, UTF8, sizeof UTF8, nullptr, nullptr) : 0;
    if (BYTES > 0) {
      UTF8_TEXT.append(UTF8, static_cast<std::size_t>(BYTES));
      TEXT.remove_prefix(static_cast<std::size_t>(LENGTH));
    } else {
      UTF8_TEXT += "\xEF\xBF\xBD";
      TEXT.remove_prefix(1);
    }
  }
  return UTF8_TEXT;
}

}  // namespace KOVA
