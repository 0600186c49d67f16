#include "recordio/records/input.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

#include "recordio/run_end/run_end.h"
#include "recordio/buffers/unit_table.h"
#include "recordio/records/units.h"

namespace KOVA {

namespace {

// The text buffer of a unit: lines of any length pass through it.
constexpr std::size_t TEXT_BUFFER = std::size_t{4} << 10;
// Of a typed file name this much is kept; any longer name is too long anyway.
constexpr std::size_t NAME_KEEP = std::size_t{4} << 10;
constexpr int LINE_END = -1;

// Make a byte available once all read before are taken; false at the end of
// the input.
bool FILL(UNIT_SLOT& slot) {
  if (slot.IN_START < slot.IN_END) return true;
  if (slot.IN_EOF) return false;
  if (slot.INCOMING.size() < TEXT_BUFFER) slot.INCOMING.resize(TEXT_BUFFER);
  slot.IN_START = slot.IN_END = 0;
  std::size_t got = 0;
  if (const SYS_ERROR err = SYS_READ(slot.FD, slot.INCOMING.data(), slot.INCOMING.size(), got); err != 0) {
    FAIL_IO(REPORT::READ_FAILURE, slot.NUMBER, err);
  }
  slot.IN_EOF = got == 0;
  slot.IN_END = got;
  return got > 0;
}

// Start the next record; end of input ends the run with report 24.
void BEGIN_LINE(UNIT_SLOT& slot) {
  if (!FILL(slot)) FAIL_IO(REPORT::END_OF_FILE, slot.NUMBER, 0);
}

// The next byte of the record begun, or LINE_END after its last one. The line
// feed and a carriage return right before it are taken, not given; a last
// line without a line feed ends with the input.
int NEXT_BYTE(UNIT_SLOT& slot) {
  if (!FILL(slot)) return LINE_END;
  const char c = slot.INCOMING[slot.IN_START++];
  if (c == '\n') return LINE_END;
  if (c == '\r' && FILL(slot) && slot.INCOMING[slot.IN_START] == '\n') {
    ++slot.IN_START;
    return LINE_END;
  }
  return static_cast<unsigned char>(c);
}

// Drop the rest of the record begun (called only before its LINE_END was
// given). True when a byte other than a blank was dropped.
bool SKIP_REST(UNIT_SLOT& slot) {
  bool nonblank = false;
  bool held_cr = false;  // the last chunk ended in a carriage return
  while (FILL(slot)) {
    const char* begin = slot.INCOMING.data() + slot.IN_START;
    const std::size_t n = slot.IN_END - slot.IN_START;
    const auto* lf = static_cast<const char*>(std::memchr(begin, '\n', n));
    if (held_cr && !(lf == begin)) nonblank = true;  // that carriage return was text
    const char* stop = lf != nullptr ? lf : begin + n;
    held_cr = lf == nullptr && stop > begin && stop[-1] == '\r';
    const char* text_end = stop > begin && stop[-1] == '\r' ? stop - 1 : stop;
    nonblank = nonblank || std::any_of(begin, text_end, [](char c) { return c != ' '; });
    slot.IN_START += static_cast<std::size_t>(stop - begin) + (lf != nullptr ? 1 : 0);
    if (lf != nullptr) return nonblank;
  }
  return nonblank || held_cr;
}

bool BLANK(char c) { return c == ' ' || c == '\t'; }
bool SEPARATOR(char c) { return BLANK(c) || c == ',' || c == '/'; }
bool DIGIT(char c) { return c >= '0' && c <= '9'; }
bool SIGN(char c) { return c == '+' || c == '-'; }
bool EXPONENT_LETTER(char c) {
  return c == 'E' || c == 'e' || c == 'D' || c == 'd' || c == 'Q' || c == 'q';
}
bool LOGICAL_LETTER(char c) { return c == 'T' || c == 't' || c == 'F' || c == 'f'; }

// A number of digit-string or real form, its integer part taken toward zero,
// judged one character at a time so that a number of any length needs no
// more than this. Only the first ten significant digits can reach a 32-bit
// value, so no conversion through a floating type is needed and no long
// number loses its integer part to rounding.
struct NUMBER_SCAN {
  int UNIT = 0;
  std::size_t COUNT = 0;  // characters seen
  char PREV = 0;
  bool NEGATIVE = false;
  bool POINT = false;
  bool EXPONENT = false;
  bool EXPONENT_SIGN_DUE = false;  // right after the exponent letter
  bool EXPONENT_DIGIT = false;
  bool EXPONENT_NEGATIVE = false;
  bool MISPLACED_SIGN = false;
  bool ANY_DIGIT = false;
  std::int64_t BEFORE_POINT = 0;   // significant digits before the point
  std::int64_t LEADING_ZEROS = 0;  // zeros after the point before the first significant digit
  std::int64_t SIGNIFICANT = 0;
  std::array<int, 10> HEAD{};      // the first significant digits
  std::int64_t EXPONENT_VALUE = 0;
};

// Malformed shapes end the run at once (report 59); a sign inside the digits
// is found wrong only at the end (report 64).
void ADD_TO_NUMBER(NUMBER_SCAN& n, char c) {
  const bool first = n.COUNT++ == 0;
  const char prev = std::exchange(n.PREV, c);
  if (first && SIGN(c)) {
    n.NEGATIVE = c == '-';
    return;
  }
  if (std::exchange(n.EXPONENT_SIGN_DUE, false) && SIGN(c)) {
    n.EXPONENT_NEGATIVE = c == '-';
    return;
  }
  if (DIGIT(c)) {
    if (n.EXPONENT) {
      n.EXPONENT_DIGIT = true;
      // Far beyond any 32-bit value either way; stop growing.
      n.EXPONENT_VALUE = std::min<std::int64_t>(n.EXPONENT_VALUE * 10 + (c - '0'), 1000000000);
      return;
    }
    n.ANY_DIGIT = true;
    if (n.SIGNIFICANT == 0 && c == '0') {
      if (n.POINT) ++n.LEADING_ZEROS;
      return;
    }
    if (n.SIGNIFICANT < static_cast<std::int64_t>(n.HEAD.size())) n.HEAD[n.SIGNIFICANT] = c - '0';
    ++n.SIGNIFICANT;
    if (!n.POINT) ++n.BEFORE_POINT;
  } else if (c == '.') {
    if (n.POINT || n.EXPONENT) FAIL_IO(REPORT::LIST_SYNTAX, n.UNIT, 0);
    n.POINT = true;
  } else if (EXPONENT_LETTER(c)) {
    if (n.EXPONENT || !n.ANY_DIGIT) FAIL_IO(REPORT::LIST_SYNTAX, n.UNIT, 0);
    n.EXPONENT = true;
    n.EXPONENT_SIGN_DUE = true;
  } else if (SIGN(c)) {
    if (SIGN(prev)) FAIL_IO(REPORT::LIST_SYNTAX, n.UNIT, 0);
    n.MISPLACED_SIGN = true;
  } else {
    FAIL_IO(REPORT::LIST_SYNTAX, n.UNIT, 0);
  }
}

std::int32_t NUMBER_VALUE(const NUMBER_SCAN& n) {
  if (!n.ANY_DIGIT) FAIL_IO(REPORT::LIST_SYNTAX, n.UNIT, 0);
  if (n.MISPLACED_SIGN || (n.EXPONENT && !n.EXPONENT_DIGIT)) FAIL_IO(REPORT::INPUT_CONVERSION, n.UNIT, 0);
  if (n.SIGNIFICANT == 0) return 0;

  // The value is 0.d1d2d3... times ten to the power WIDTH, so its integer
  // part has WIDTH digits.
  const std::int64_t width = n.BEFORE_POINT - n.LEADING_ZEROS +
                             (n.EXPONENT_NEGATIVE ? -n.EXPONENT_VALUE : n.EXPONENT_VALUE);
  if (width <= 0) return 0;
  if (width > static_cast<std::int64_t>(n.HEAD.size())) FAIL_IO(REPORT::INPUT_CONVERSION, n.UNIT, 0);
  std::int64_t value = 0;
  for (std::int64_t i = 0; i < width; ++i) value = value * 10 + (i < n.SIGNIFICANT ? n.HEAD[i] : 0);
  if (n.NEGATIVE) value = -value;
  if (value < INT32_MIN || value > INT32_MAX) FAIL_IO(REPORT::INPUT_CONVERSION, n.UNIT, 0);
  return static_cast<std::int32_t>(value);
}

// One list-directed value (no separators inside), a character at a time:
// an optional repeat factor "r*", then a logical value (decided by its first
// letter, the rest ignored) or a number.
struct ITEM_SCAN {
  enum class SHAPE { UNDECIDED, POINT_FIRST, LOGICAL, NUMBER };
  SHAPE KIND = SHAPE::UNDECIDED;
  bool REPEATED = false;      // the repeat factor has been taken
  bool ONLY_DIGITS = true;    // so far: the repeat factor's digits
  bool NONZERO_DIGIT = false;
  bool LOGICAL_SEEN = false;  // the letter that decides a logical value
  bool LOGICAL_TRUE = false;
  NUMBER_SCAN NUMBER;
};

void ADD_TO_ITEM(ITEM_SCAN& item, char c) {
  using SHAPE = ITEM_SCAN::SHAPE;
  if (c == '*' && !item.REPEATED) {
    // Only the first repetition is used: the statement has one item.
    if (!item.ONLY_DIGITS || !item.NONZERO_DIGIT) FAIL_IO(REPORT::LIST_SYNTAX, item.NUMBER.UNIT, 0);
    const int unit = item.NUMBER.UNIT;
    item = ITEM_SCAN{};
    item.REPEATED = true;
    item.NUMBER.UNIT = unit;
    return;
  }
  if (!item.REPEATED) {
    item.ONLY_DIGITS = item.ONLY_DIGITS && DIGIT(c);
    item.NONZERO_DIGIT = item.NONZERO_DIGIT || (DIGIT(c) && c != '0');
  }
  switch (item.KIND) {
    case SHAPE::UNDECIDED:
      if (c == '.') {
        item.KIND = SHAPE::POINT_FIRST;
        return;
      }
      item.KIND = LOGICAL_LETTER(c) ? SHAPE::LOGICAL : SHAPE::NUMBER;
      break;
    case SHAPE::POINT_FIRST:
      item.KIND = LOGICAL_LETTER(c) ? SHAPE::LOGICAL : SHAPE::NUMBER;
      if (item.KIND == SHAPE::NUMBER) ADD_TO_NUMBER(item.NUMBER, '.');
      break;
    default:
      break;
  }
  if (item.KIND == SHAPE::LOGICAL) {
    if (!std::exchange(item.LOGICAL_SEEN, true)) item.LOGICAL_TRUE = c == 'T' || c == 't';
    return;
  }
  ADD_TO_NUMBER(item.NUMBER, c);
}

// The value of the item scanned; false for a null value ("r*" alone).
bool ITEM_VALUE(ITEM_SCAN& item, std::int32_t& value) {
  using SHAPE = ITEM_SCAN::SHAPE;
  switch (item.KIND) {
    case SHAPE::UNDECIDED: return false;  // nothing after the repeat factor
    case SHAPE::POINT_FIRST: ADD_TO_NUMBER(item.NUMBER, '.'); break;
    case SHAPE::LOGICAL: value = item.LOGICAL_TRUE ? -1 : 0; return true;
    case SHAPE::NUMBER: break;
  }
  value = NUMBER_VALUE(item.NUMBER);
  return true;
}

UNIT_SLOT& INPUT_UNIT(int UNIT) {
  // The prompt must be on the screen before the process waits for an answer.
  if (UNIT == CONSOLE_IN) FLUSH_CONSOLE();
  return CONNECTED_UNIT(UNIT, REPORT::READ_FAILURE);
}

}  // namespace

std::string NEXT_NAME_RECORD(int UNIT) {
  UNIT_SLOT& slot = INPUT_UNIT(UNIT);
  BEGIN_LINE(slot);
  std::string name;
  int c = NEXT_BYTE(slot);
  while (c == ' ') c = NEXT_BYTE(slot);
  for (; c != LINE_END && name.size() < NAME_KEEP; c = NEXT_BYTE(slot)) name += static_cast<char>(c);
  bool longer = false;
  if (c != LINE_END) {
    const bool rest = SKIP_REST(slot);
    longer = c != ' ' || rest;
  }
  // A name cut at the limit keeps its blanks: it stays longer than any name.
  if (!longer) name.erase(name.find_last_not_of(' ') + 1);
  return name;
}

void READ_INTEGER(int UNIT, std::int32_t& VALUE) {
  UNIT_SLOT& slot = INPUT_UNIT(UNIT);
  int c = LINE_END;
  // A blank record supplies no value: the read goes on with the next one.
  while (c == LINE_END) {
    BEGIN_LINE(slot);
    do c = NEXT_BYTE(slot);
    while (c != LINE_END && BLANK(static_cast<char>(c)));
  }
  // A leading comma is a null value and a slash ends the read: VALUE stays.
  if (c == ',' || c == '/') {
    SKIP_REST(slot);
    return;
  }
  ITEM_SCAN item;
  item.NUMBER.UNIT = UNIT;
  for (; c != LINE_END && !SEPARATOR(static_cast<char>(c)); c = NEXT_BYTE(slot)) {
    ADD_TO_ITEM(item, static_cast<char>(c));
  }
  if (c != LINE_END) SKIP_REST(slot);
  std::int32_t value = VALUE;
  if (ITEM_VALUE(item, value)) VALUE = value;
}

bool READ_CHARACTERS(int UNIT, std::span<char> VALUE) {
  UNIT_SLOT& slot = INPUT_UNIT(UNIT);
  BEGIN_LINE(slot);
  std::size_t taken = 0;
  for (int c; taken < VALUE.size() && (c = NEXT_BYTE(slot)) != LINE_END; ++taken) {
    VALUE[taken] = static_cast<char>(c);
  }
  std::fill(VALUE.begin() + static_cast<std::ptrdiff_t>(taken), VALUE.end(), ' ');
  return taken == VALUE.size() && SKIP_REST(slot);
}

}  // namespace KOVA
