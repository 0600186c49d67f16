#include "recordio/list.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "recordio/digits.h"
#include "recordio/format.h"
#include "recordio/units.h"

namespace {

constexpr std::size_t LINE = 80;  // columns of every list-directed record

// Field form of a real item: width, significant digits, exponent digits.
struct REAL_FORM {
  int W;
  int D;
  int E;
};
constexpr REAL_FORM FORM4{15, 7, 2};
constexpr REAL_FORM FORM8{24, 15, 3};

// A real in W columns: fixed form for values that round to [0.1, 10^D),
// otherwise exponent form with one digit before the point; zero always in
// exponent form without sign. The field is built in a blank local buffer,
// digits from the right, and copied out whole.
void EDIT_REAL(char* out, const REAL_FORM& f, double v) {
  if (EDIT_NONFINITE(out, f.W, v)) return;
  std::array<char, 32> field;
  std::memset(field.data(), ' ', field.size());
  if (v == 0.0) {
    char* at = field.data() + (f.W - (f.D + 4 + f.E));
    std::memcpy(at, "0.", 2);
    std::memset(at + 2, '0', static_cast<std::size_t>(f.D));
    at[f.D + 2] = 'E';
    at[f.D + 3] = '+';
    std::memset(at + f.D + 4, '0', static_cast<std::size_t>(f.E));
    std::memcpy(out, field.data(), static_cast<std::size_t>(f.W));
    return;
  }
  const bool neg = std::signbit(v);
  const DECIMAL r = SIGNIFICANT_DIGITS(v, f.D);
  char* end = nullptr;  // one behind the last character of the number
  std::uint64_t u = 0;
  int digits = 0;
  int point = 0;  // digits behind the point
  if (r.X >= -1 && r.X < f.D) {
    // Fixed: the D digits with N = X + 1 of them before the point, ending
    // E + 2 columns before the end of the field.
    end = field.data() + (f.W - f.E - 2);
    u = r.D;
    digits = f.D;
    point = f.D - (r.X + 1);
  } else {
    // Exponent: D + 1 digits, one before the point, then E and E digits.
    const DECIMAL s = SIGNIFICANT_DIGITS(v, f.D + 1);
    char* e = field.data() + f.W;
    std::uint64_t x = static_cast<std::uint64_t>(s.X < 0 ? -s.X : s.X);
    for (int k = 0; k < f.E; ++k) {
      *--e = static_cast<char>('0' + x % 10);
      x /= 10;
    }
    *--e = s.X < 0 ? '-' : '+';
    *--e = 'E';
    end = e;
    u = s.D;
    digits = f.D + 1;
    point = f.D;
  }
  char* at = end;
  for (int k = 0; k < digits; ++k) {
    if (k == point) *--at = '.';
    *--at = static_cast<char>('0' + u % 10);
    u /= 10;
  }
  if (point == digits) {  // below 1: "0." in front of the digits
    *--at = '.';
    *--at = '0';
  }
  if (neg) *--at = '-';
  std::memcpy(out, field.data(), static_cast<std::size_t>(f.W));
}

enum class PREVIOUS : std::uint8_t { NONE, NUMBER, TEXT };

struct LINE_STATE {
  explicit LINE_STATE(OUTPUT& o) : O(o) {}
  OUTPUT& O;
  std::array<char, LINE> BUF;  // columns [0, LEN) are the record so far
  std::size_t LEN = 0;  // columns written; the remaining space is LINE - LEN
  bool MARK = true;     // start-of-record mark
  PREVIOUS PREV = PREVIOUS::NONE;

  std::size_t ROOM() const { return LINE - LEN; }
  void PUT(char c) { BUF[LEN++] = c; }
  void NEW_RECORD() {
    PUT_RECORD(O, std::string_view(BUF.data(), LEN));
    LEN = 0;
    MARK = true;
    PREV = PREVIOUS::NONE;
  }
};

void NUMBER_ITEM(LINE_STATE& s, const ITEM& it) {
  const int w = it.K == KIND::INT ? 12 : it.K == KIND::REAL4 ? FORM4.W : FORM8.W;
  if (s.ROOM() < static_cast<std::size_t>(w)) s.NEW_RECORD();
  char* out = s.BUF.data() + s.LEN;
  if (it.K == KIND::INT) {
    EDIT_I(out, w, it.I);
  } else if (it.K == KIND::REAL4) {
    EDIT_REAL(out, FORM4, static_cast<double>(it.R4));
  } else {
    EDIT_REAL(out, FORM8, it.R8);
  }
  s.LEN += static_cast<std::size_t>(w);
  s.MARK = false;
  s.PREV = PREVIOUS::NUMBER;
}

void TEXT_ITEM(LINE_STATE& s, std::string_view t) {
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
    if (part == 1) {
      s.BUF[s.LEN] = t[done];  // the "," of the neutral file: no library call
    } else {
      std::memcpy(s.BUF.data() + s.LEN, t.data() + done, part);
    }
    s.LEN += part;
    done += part;
  }
  s.PREV = PREVIOUS::TEXT;
}

}  // namespace

void LIST_STATEMENT(OUTPUT& O, std::span<const ITEM> ITEMS) {
  LINE_STATE s(O);
  for (const ITEM& it : ITEMS) {
    if (it.K == KIND::TEXT) {
      TEXT_ITEM(s, it.T());
    } else {
      NUMBER_ITEM(s, it);
    }
  }
  if (s.LEN == 0 && s.MARK) s.PUT(' ');
  PUT_RECORD(O, std::string_view(s.BUF.data(), s.LEN));
}

void WRITE_LIST(int UNIT, std::span<const ITEM> ITEMS) { LIST_STATEMENT(OUTPUT_OF(UNIT), ITEMS); }

void WRITE_LIST(int UNIT, std::initializer_list<ITEM> ITEMS) {
  LIST_STATEMENT(OUTPUT_OF(UNIT), std::span<const ITEM>(ITEMS.begin(), ITEMS.size()));
}
