#pragma once
// List-directed write statements: each item kind has a fixed field form, blanks
// go between items where the layout rules ask for them, and records break at
// 80 columns.
//
// WRITE_LIST_ITEMS(O, items...) takes typed items (std::int32_t, float,
// double, std::string_view) and builds each record in the unit's buffer;
// LIST_STATEMENT takes a list of tagged ITEMs and gives the same records.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <initializer_list>
#include <span>
#include <string_view>

#include "recordio/edit/fields.h"
#include "recordio/edit/items.h"
#include "recordio/records/output.h"

namespace KOVA {

namespace list_layout {

inline constexpr std::size_t LINE = 80;  // columns of every list-directed record

enum class PREVIOUS : std::uint8_t { NONE, NUMBER, TEXT };

// The record being built, in place in the unit's buffer.
struct LINE_STATE {
  explicit LINE_STATE(RECORD_CURSOR& c) : C(c), BUF(CURSOR_SPACE(c, LINE)) {}
  RECORD_CURSOR& C;
  char* BUF;            // columns [0, LEN) are the record so far
  std::size_t LEN = 0;  // columns written; the remaining space is LINE - LEN
  bool MARK = true;     // start-of-record mark
  PREVIOUS PREV = PREVIOUS::NONE;

  std::size_t ROOM() const { return LINE - LEN; }
  void PUT(char c) { BUF[LEN++] = c; }
  void NEW_RECORD() {
    CURSOR_COMMIT(C, LEN);
    BUF = CURSOR_SPACE(C, LINE);
    LEN = 0;
    MARK = true;
    PREV = PREVIOUS::NONE;
  }
  // The statement's last record: never empty.
  void END() {
    if (LEN == 0 && MARK) PUT(' ');
    CURSOR_COMMIT(C, LEN);
  }
};

// A number in its field of W columns, on a new record when it does not fit.
template <std::size_t W>
inline char* NUMBER_FIELD(LINE_STATE& s) {
  if (s.ROOM() < W) s.NEW_RECORD();
  char* out = s.BUF + s.LEN;
  s.LEN += W;
  s.MARK = false;
  s.PREV = PREVIOUS::NUMBER;
  return out;
}

inline void PUT_LIST_ITEM(LINE_STATE& s, std::int32_t v) { I_FIELD<12>(NUMBER_FIELD<12>(s), v); }
inline void PUT_LIST_ITEM(LINE_STATE& s, float v) { LIST_REAL<15, 7, 2>(NUMBER_FIELD<15>(s), v); }
inline void PUT_LIST_ITEM(LINE_STATE& s, double v) { LIST_REAL<24, 15, 3>(NUMBER_FIELD<24>(s), v); }

inline void PUT_LIST_ITEM(LINE_STATE& s, std::string_view t) {
  const std::size_t r0 = s.ROOM();
  // At most one blank ahead of the text: at the start of a record when the
  // text fits, or behind a number.
  if (s.MARK && t.size() <= r0) {
    s.PUT(' ');
    s.MARK = false;
  } else if (s.PREV == PREVIOUS::NUMBER && r0 > 0) {
    s.PUT(' ');
  }
  // A text that does not fit behind what the record holds moves to a new one.
  if (r0 < t.size() && s.LEN > 0) s.NEW_RECORD();
  if (s.MARK) {
    s.PUT(' ');
    s.MARK = false;
  }
  std::size_t done = 0;
  while (done < t.size()) {
    if (s.ROOM() == 0) {  // longer than a record: go on after one blank
      s.NEW_RECORD();
      s.PUT(' ');
      s.MARK = false;
    }
    const std::size_t part = std::min(t.size() - done, s.ROOM());
    std::memcpy(s.BUF + s.LEN, t.data() + done, part);
    s.LEN += part;
    done += part;
  }
  s.PREV = PREVIOUS::TEXT;
}

}  // namespace list_layout

template <typename... T>
inline void WRITE_LIST_ITEMS(RECORD_CURSOR& C, const T&... ITEMS) {
  list_layout::LINE_STATE s(C);
  (list_layout::PUT_LIST_ITEM(s, ITEMS), ...);
  s.END();
}

// A statement of one record built at AT, with room for a whole record and
// its CR LF there, away from any unit (a block's records are built in place,
// each on its own thread): the length of its body.
template <typename... T>
inline std::size_t FILL_LIST_RECORD(char* AT, const T&... ITEMS) {
  // The cursor's unit only counts; a record that broke in two would go on
  // in its memory, away from AT, and show in the length.
  thread_local OUTPUT counted;
  RECORD_CURSOR c{&counted, AT, list_layout::LINE + 2, 0};
  WRITE_LIST_ITEMS(c, ITEMS...);
  return c.LEN - 2;
}

template <typename... T>
inline void WRITE_LIST_ITEMS(OUTPUT& O, const T&... ITEMS) {
  RECORD_CURSOR c = CURSOR_ON(O);
  WRITE_LIST_ITEMS(c, ITEMS...);
}

// A text known when the program is built, as a template argument.
template <std::size_t N>
struct TEXT_LITERAL {
  char C[N]{};
  consteval TEXT_LITERAL(const char (&s)[N]) {
    for (std::size_t i = 0; i < N; ++i) C[i] = s[i];
  }
  static constexpr std::size_t LEN = N - 1;  // without the closing null
};

// List-directed statements of one text item each, known when the program is
// built: each record is a blank and the text (none longer than 79 columns, so
// none breaks), all of them written as one block of prepared bytes.
template <TEXT_LITERAL... T>
inline void WRITE_TEXT_RECORDS(OUTPUT& O) {
  static_assert(sizeof...(T) > 0 && ((decltype(T)::LEN < list_layout::LINE) && ...));
  static constexpr std::size_t BYTES = ((decltype(T)::LEN + 3) + ...) - 2;  // the last CR LF at commit
  static constexpr auto BLOCK = [] {
    std::array<char, BYTES + 2> b{};
    std::size_t at = 0;
    auto put = [&](const auto& t) {
      b[at++] = ' ';
      for (std::size_t i = 0; i < t.LEN; ++i) b[at++] = t.C[i];
      b[at++] = '\r';
      b[at++] = '\n';
    };
    (put(T), ...);
    return b;
  }();
  char* at = RECORD_SPACE(O, BYTES);
  std::memcpy(at, BLOCK.data(), BYTES);
  COMMIT_RECORD(O, at, BYTES);
}

// One list-directed write statement on the output O.
void LIST_STATEMENT(OUTPUT& O, std::span<const ITEM> ITEMS);

// The same statement on an open unit.
void WRITE_LIST(int UNIT, std::span<const ITEM> ITEMS);
void WRITE_LIST(int UNIT, std::initializer_list<ITEM> ITEMS);

}  // namespace KOVA
