#pragma once
// Console output shown on a UTF-8 terminal. The console texts are code page
// 932 (Shift-JIS) bytes; a terminal that expects UTF-8 shows them converted.
// Output to a file or a pipe is never converted.
#include <cstddef>
#include <span>
#include <string>
#include <string_view>

#include "recordio/system/platform.h"

namespace KOVA {

// True when F is a terminal and the user's locale (LC_CTYPE from the
// environment) uses UTF-8, and the conversion is available.
bool CONSOLE_SHOWS_UTF8(SYS_FILE F);

// Convert the front of TEXT from code page 932 to UTF-8 into SINK, as much as
// fits (SINK should hold at least 4 bytes); return the bytes put in SINK and
// drop the bytes used from TEXT. A byte that is no character passes unchanged.
// A lead byte at the very end of TEXT is kept back and converted together with
// the first byte of the next call, so a character split between two writes
// still comes out whole.
std::size_t CP932_TO_UTF8(std::string_view& TEXT, std::span<char> SINK) noexcept;

// TEXT converted from code page 932 to UTF-8 whole (a title shown as UTF-8
// text); a byte that starts no valid character becomes U+FFFD.
std::string CP932_TEXT_TO_UTF8(std::string_view TEXT);

}  // namespace KOVA
