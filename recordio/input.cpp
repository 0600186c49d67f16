#include "recordio/input.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <string_view>
#include <unistd.h>

#include "recordio/reports.h"
#include "recordio/unit_table.h"
#include "recordio/units.h"

namespace {

constexpr std::size_t INPUT_CHUNK = std::size_t{64} << 10;

// Read more bytes of the unit's file behind those not yet taken. The buffer
// grows only for a line longer than it.
void FILL(UNIT_SLOT& slot) {
  if (slot.IN_START > 0) {
    std::memmove(slot.IN.data(), slot.IN.data() + slot.IN_START, slot.IN_END - slot.IN_START);
    slot.IN_END -= slot.IN_START;
    slot.IN_START = 0;
  }
  if (slot.IN.size() - slot.IN_END < INPUT_CHUNK) {
    slot.IN.resize(std::max(slot.IN.size() * 2, slot.IN_END + INPUT_CHUNK));
  }
  for (;;) {
    const ssize_t got = ::read(slot.FD, slot.IN.data() + slot.IN_END, slot.IN.size() - slot.IN_END);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) FAIL_IO(39, slot.NUMBER, errno);
    if (got == 0) slot.IN_EOF = true;
    slot.IN_END += static_cast<std::size_t>(got);
    return;
  }
}

bool BLANK(char c) { return c == ' ' || c == '\t'; }
bool SEPARATOR(char c) { return BLANK(c) || c == ',' || c == '/'; }
bool DIGIT(char c) { return c >= '0' && c <= '9'; }
bool SIGN(char c) { return c == '+' || c == '-'; }
bool EXPONENT_LETTER(char c) {
  return c == 'E' || c == 'e' || c == 'D' || c == 'd' || c == 'Q' || c == 'q';
}
bool LOGICAL_LETTER(char c) { return c == 'T' || c == 't' || c == 'F' || c == 'f'; }

// A number of digit-string or real form, its integer part taken toward zero.
// The digits are scanned once; only the first ten significant ones can reach
// a 32-bit value, so no conversion through a floating type is needed and no
// long number loses its integer part to rounding.
std::int32_t NUMBER_VALUE(std::string_view token, int UNIT) {
  std::size_t k = 0;
  const bool negative = token[0] == '-';
  if (SIGN(token[0])) ++k;

  bool point = false;
  bool exponent = false;
  bool exponent_digit = false;
  bool misplaced_sign = false;
  bool any_digit = false;
  std::int64_t before_point = 0;   // significant digits before the point
  std::int64_t leading_zeros = 0;  // zeros after the point before the first significant digit
  std::int64_t significant = 0;
  std::array<int, 10> head{};      // the first significant digits
  std::int64_t exponent_value = 0;
  bool exponent_negative = false;

  for (; k < token.size(); ++k) {
    const char c = token[k];
    if (DIGIT(c)) {
      if (exponent) {
        exponent_digit = true;
        // Far beyond any 32-bit value either way; stop growing.
        exponent_value = std::min<std::int64_t>(exponent_value * 10 + (c - '0'), 1000000000);
        continue;
      }
      any_digit = true;
      if (significant == 0 && c == '0') {
        if (point) ++leading_zeros;
        continue;
      }
      if (significant < static_cast<std::int64_t>(head.size())) head[significant] = c - '0';
      ++significant;
      if (!point) ++before_point;
    } else if (c == '.') {
      if (point || exponent) FAIL_IO(59, UNIT, 0);
      point = true;
    } else if (EXPONENT_LETTER(c)) {
      if (exponent || !any_digit) FAIL_IO(59, UNIT, 0);
      exponent = true;
      if (k + 1 < token.size() && SIGN(token[k + 1])) {
        exponent_negative = token[k + 1] == '-';
        ++k;
        if (k + 1 < token.size() && SIGN(token[k + 1])) FAIL_IO(59, UNIT, 0);
      }
    } else if (SIGN(c)) {
      if (SIGN(token[k - 1])) FAIL_IO(59, UNIT, 0);
      misplaced_sign = true;
    } else {
      FAIL_IO(59, UNIT, 0);
    }
  }
  if (!any_digit) FAIL_IO(59, UNIT, 0);
  if (misplaced_sign || (exponent && !exponent_digit)) FAIL_IO(64, UNIT, 0);
  if (significant == 0) return 0;

  // The value is 0.d1d2d3... times ten to the power WIDTH, so its integer
  // part has WIDTH digits.
  const std::int64_t width =
      before_point - leading_zeros + (exponent_negative ? -exponent_value : exponent_value);
  if (width <= 0) return 0;
  if (width > static_cast<std::int64_t>(head.size())) FAIL_IO(64, UNIT, 0);
  std::int64_t value = 0;
  for (std::int64_t i = 0; i < width; ++i) value = value * 10 + (i < significant ? head[i] : 0);
  if (negative) value = -value;
  if (value < INT32_MIN || value > INT32_MAX) FAIL_IO(64, UNIT, 0);
  return static_cast<std::int32_t>(value);
}

// One list-directed value (no separators inside). Returns false for a null value.
bool ITEM_VALUE(std::string_view token, int UNIT, std::int32_t& value) {
  if (const std::size_t star = token.find('*'); star != std::string_view::npos) {
    const std::string_view repeat = token.substr(0, star);
    const bool digits = !repeat.empty() && std::all_of(repeat.begin(), repeat.end(), DIGIT);
    if (!digits || repeat.find_first_not_of('0') == std::string_view::npos) FAIL_IO(59, UNIT, 0);
    // Only the first repetition is used: the statement has one item.
    token.remove_prefix(star + 1);
    if (token.empty()) return false;
  }
  const std::size_t logical = token[0] == '.' ? 1 : 0;
  if (logical < token.size() && LOGICAL_LETTER(token[logical])) {
    value = token[logical] == 'T' || token[logical] == 't' ? -1 : 0;
    return true;
  }
  value = NUMBER_VALUE(token, UNIT);
  return true;
}

UNIT_SLOT& INPUT_UNIT(int UNIT) {
  // The prompt must be on the screen before the process waits for an answer.
  if (UNIT == CONSOLE_IN) FLUSH_CONSOLE();
  return CONNECTED_UNIT(UNIT, 39);
}

}  // namespace

std::string_view NEXT_TEXT_RECORD(int UNIT) {
  UNIT_SLOT& slot = INPUT_UNIT(UNIT);
  for (;;) {
    char* begin = slot.IN.data() + slot.IN_START;
    const std::size_t available = slot.IN_END - slot.IN_START;
    const void* lf = available > slot.IN_SCANNED
                         ? std::memchr(begin + slot.IN_SCANNED, '\n', available - slot.IN_SCANNED)
                         : nullptr;
    if (lf != nullptr) {
      std::size_t length = static_cast<std::size_t>(static_cast<const char*>(lf) - begin);
      slot.IN_START += length + 1;
      slot.IN_SCANNED = 0;
      if (length > 0 && begin[length - 1] == '\r') --length;
      return {begin, length};
    }
    slot.IN_SCANNED = available;
    if (slot.IN_EOF) {
      // A last line without a line feed is still a record.
      if (available == 0) FAIL_IO(24, UNIT, 0);
      slot.IN_START = slot.IN_END;
      slot.IN_SCANNED = 0;
      return {begin, available};
    }
    FILL(slot);
  }
}

void READ_INTEGER(int UNIT, std::int32_t& VALUE) {
  for (;;) {
    const std::string_view record = NEXT_TEXT_RECORD(UNIT);
    std::size_t at = 0;
    while (at < record.size() && BLANK(record[at])) ++at;
    // A blank record supplies no value: the read goes on with the next one.
    if (at == record.size()) continue;
    // A leading comma is a null value and a slash ends the read: VALUE stays.
    if (record[at] == ',' || record[at] == '/') return;
    std::size_t end = at;
    while (end < record.size() && !SEPARATOR(record[end])) ++end;
    std::int32_t value = VALUE;
    if (ITEM_VALUE(record.substr(at, end - at), UNIT, value)) VALUE = value;
    return;
  }
}

void READ_CHARACTERS(int UNIT, std::span<char> VALUE) {
  const std::string_view record = NEXT_TEXT_RECORD(UNIT);
  const std::size_t take = std::min(record.size(), VALUE.size());
  std::copy_n(record.begin(), take, VALUE.begin());
  std::fill(VALUE.begin() + static_cast<std::ptrdiff_t>(take), VALUE.end(), ' ');
}
