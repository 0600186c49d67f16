#include "recordio/edit/format.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "recordio/edit/digits.h"

namespace KOVA {


namespace {

// TEXT right-justified in W columns, or W asterisks when it is longer.
void RIGHT(char* out, int w, const char* text, int len) {
  if (len > w) {
    FILL_COLUMNS(out, w, '*');
    return;
  }
  FILL_COLUMNS(out, w - len, ' ');
  std::memcpy(out + (w - len), text, static_cast<std::size_t>(len));
}

// The 4-column exponent part: "E+05" up to 99, "+100" from 100 on.
void PUT_EXPONENT(char* at, int x) {
  const char sign = x < 0 ? '-' : '+';
  const int mag = x < 0 ? -x : x;
  if (mag <= 99) {
    *at++ = 'E';
    *at++ = sign;
    PUT_DIGITS(at, static_cast<std::uint64_t>(mag), 2);
  } else {
    *at++ = sign;
    PUT_DIGITS(at, static_cast<std::uint64_t>(mag), 3);
  }
}

}  // namespace

bool EDIT_NONFINITE(char* TO, int W, double V) {
  if (std::isfinite(V)) return false;
  if (std::isnan(V)) {
    RIGHT(TO, W, "NaN", 3);
  } else if (V < 0) {
    RIGHT(TO, W, "-Infinity", 9);
  } else {
    RIGHT(TO, W, "Infinity", 8);
  }
  return true;
}

void EDIT_I(char* TO, int W, std::int32_t V) {
  const bool neg = V < 0;
  const auto mag = static_cast<std::uint64_t>(neg ? -std::int64_t{V} : std::int64_t{V});
  const int n = DIGIT_COUNT(mag);
  const int len = n + (neg ? 1 : 0);
  if (len > W) {
    FILL_COLUMNS(TO, W, '*');
    return;
  }
  FILL_COLUMNS(TO, W - len, ' ');
  if (neg) TO[W - len] = '-';
  PUT_DIGITS(TO + (W - n), mag, n);
}

// The field is built in place, right-justified: its length is known from the
// sign, D and the layout before any digit is made.
void EDIT_E(char* TO, int W, int D, int SCALE, double V) {
  if (EDIT_NONFINITE(TO, W, V)) return;
  // Zero has no sign and ignores the scale factor.
  const bool zero = V == 0.0;
  const bool neg = !zero && std::signbit(V);
  const bool scaled = SCALE == 1 && !zero;
  // Sign, the digit before the point (1P only), point, D digits, exponent.
  const int need = (neg ? 1 : 0) + (scaled ? 1 : 0) + D + 5;
  if (W < need) {
    FILL_COLUMNS(TO, W, '*');
    return;
  }
  const bool lead_zero = !scaled && W > need;  // the "0" only where there is room
  const int len = need + (lead_zero ? 1 : 0);
  FILL_COLUMNS(TO, W - len, ' ');
  char* at = TO + (W - len);
  if (neg) *at++ = '-';
  int x = 0;
  if (scaled) {
    const DECIMAL r = SIGNIFICANT_DIGITS(V, D + 1);
    PUT_DIGITS(at + 1, r.D, D + 1);
    at[0] = at[1];
    at[1] = '.';
    at += D + 2;
    x = r.X;
  } else {
    if (lead_zero) *at++ = '0';
    *at++ = '.';
    if (zero) {
      FILL_COLUMNS(at, D, '0');
    } else {
      const DECIMAL r = SIGNIFICANT_DIGITS(V, D);
      PUT_DIGITS(at, r.D, D);
      x = r.X + 1;
    }
    at += D;
  }
  PUT_EXPONENT(at, x);
}

void EDIT_F(char* TO, int W, int D, double V) {
  if (EDIT_NONFINITE(TO, W, V)) return;
  std::uint64_t u = 0;
  if (!ROUND_FIXED(V, D, u)) {
    FILL_COLUMNS(TO, W, '*');
    return;
  }
  std::array<char, 24> text;
  char* at = text.data();
  // A value that rounds to zero shows no sign, whatever its own sign.
  if (u != 0 && std::signbit(V)) *at++ = '-';
  const std::uint64_t whole = u / POWER_OF_TEN(D);
  if (whole != 0) {
    const int n = DIGIT_COUNT(whole);
    PUT_DIGITS(at, whole, n);
    at += n;
  } else if (W >= (at - text.data()) + D + 2) {
    *at++ = '0';
  }
  *at++ = '.';
  PUT_DIGITS(at, u, D);  // the D lowest digits are the fraction
  at += D;
  RIGHT(TO, W, text.data(), static_cast<int>(at - text.data()));
}

}  // namespace KOVA
