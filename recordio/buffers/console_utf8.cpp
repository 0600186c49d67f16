#include "recordio/buffers/console_utf8.h"

#include <cerrno>
#include <clocale>
#include <cstring>
#include <iconv.h>
#include <langinfo.h>
#include <string>
#include <unistd.h>

namespace KOVA {

namespace {

const iconv_t NO_CONVERTER = reinterpret_cast<iconv_t>(-1);
iconv_t CONVERTER = NO_CONVERTER;  // opened once; code page 932 is stateless

char HELD_LEAD = 0;       // a lead byte whose second byte has not come yet
bool HOLDING_LEAD = false;

bool OPEN_CONVERTER() {
  if (CONVERTER == NO_CONVERTER) CONVERTER = ::iconv_open("UTF-8", "CP932");
  return CONVERTER != NO_CONVERTER;
}

// One iconv step; false with errno set when it stopped short.
bool CONVERT_STEP(char*& SOURCE, std::size_t& LEFT, char*& SINK, std::size_t& ROOM) noexcept {
  return ::iconv(CONVERTER, &SOURCE, &LEFT, &SINK, &ROOM) != static_cast<std::size_t>(-1);
}

}  // namespace

bool CONSOLE_SHOWS_UTF8(SYS_FILE F) {
  if (!SYS_IS_TERMINAL(F)) return false;
  // The character set of the user's locale; the program itself keeps the
  // "C" locale, so nothing else changes with it.
  const std::string BEFORE = std::setlocale(LC_CTYPE, nullptr);
  const bool UTF8 = std::setlocale(LC_CTYPE, "") != nullptr &&
                    std::strcmp(::nl_langinfo(CODESET), "UTF-8") == 0;
  std::setlocale(LC_CTYPE, BEFORE.c_str());
  return UTF8 && OPEN_CONVERTER();
}

std::string CP932_TEXT_TO_UTF8(std::string_view TEXT) {
  constexpr std::string_view REPLACEMENT = "\xEF\xBF\xBD";
  std::string SINK;
  if (!OPEN_CONVERTER()) {
    for (const char C : TEXT) SINK += static_cast<unsigned char>(C) < 0x80 ? std::string_view(&C, 1) : REPLACEMENT;
    return SINK;
  }
  std::string SOURCE(TEXT);
  char* FROM = SOURCE.data();
  std::size_t FROM_LEFT = SOURCE.size();
  char BUF[256];
  while (FROM_LEFT > 0) {
    char* TO = BUF;
    std::size_t TO_LEFT = sizeof BUF;
    const bool WHOLE = CONVERT_STEP(FROM, FROM_LEFT, TO, TO_LEFT);
    SINK.append(BUF, static_cast<std::size_t>(TO - BUF));
    if (!WHOLE && errno != E2BIG) {  // an invalid or cut-off sequence: skip one byte
      SINK += REPLACEMENT;
      ++FROM;
      --FROM_LEFT;
    }
  }
  return SINK;
}

std::size_t CP932_TO_UTF8(std::string_view& TEXT, std::span<char> SINK) noexcept {
  char* TO = SINK.data();
  std::size_t ROOM = SINK.size();
  if (!OPEN_CONVERTER() || ROOM < 4) {
    const std::size_t N = TEXT.copy(TO, ROOM);
    TEXT.remove_prefix(N);
    return N;
  }
  if (HOLDING_LEAD && !TEXT.empty()) {
    HOLDING_LEAD = false;
    char PAIR[2] = {HELD_LEAD, TEXT.front()};
    char* SOURCE = PAIR;
    std::size_t LEFT = 2;
    if (CONVERT_STEP(SOURCE, LEFT, TO, ROOM)) {
      TEXT.remove_prefix(1);
    } else {  // no character after all: the lead byte passes as it is
      *TO++ = HELD_LEAD;
      --ROOM;
    }
  }
  char* SOURCE = const_cast<char*>(TEXT.data());  // iconv only reads its input
  std::size_t LEFT = TEXT.size();
  while (LEFT > 0 && ROOM > 0 && !CONVERT_STEP(SOURCE, LEFT, TO, ROOM)) {
    if (errno == EILSEQ && ROOM > 0) {
      *TO++ = *SOURCE++;
      --LEFT;
      --ROOM;
    } else if (errno == EINVAL) {  // a lead byte at the end of TEXT
      HELD_LEAD = *SOURCE++;
      --LEFT;
      HOLDING_LEAD = true;
    } else {
      break;  // SINK is full
    }
  }
  TEXT = std::string_view(SOURCE, LEFT);
  return static_cast<std::size_t>(TO - SINK.data());
}

}  // namespace KOVA
