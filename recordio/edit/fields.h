#pragma once
// Field editors whose width and digit counts are compile-time constants, for
// statements whose layout is known when the program is built. Each writes
// exactly the W columns of its field at TO and gives the same bytes as the
// general editors (EDIT_I, EDIT_E, EDIT_NONFINITE), to which it hands
// whatever is not its plain case: asterisks, NaN and the infinities,
// subnormal values.
//
// Digits are made 4 or 8 at a time as the bytes of one word and stored whole;
// where such a store could reach past the field, the field is first built in
// a small local block, so nothing spills into the record around it.
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <type_traits>

#include "recordio/edit/digits.h"
#include "recordio/edit/format.h"

namespace KOVA {

// Iw.
template <int W>
inline void I_FIELD(char* TO, std::int32_t V) {
  // Up to 8 columns of sign and digits come from one word: digits with
  // leading zeros, the zeros turned into blanks, the sign put in front.
  if (V <= -10000000 || V >= 100000000) {
    EDIT_I(TO, W, V);
    return;
  }
  const bool neg = V < 0;
  const auto mag = static_cast<std::uint32_t>(neg ? -V : V);
  const int n = DIGIT_COUNT(mag);
  if constexpr (W >= 5) {
    // Up to 4 digits (most entity numbers): a 32-bit word, the sign beside it.
    if (n <= 4) {
      std::uint32_t w = FOUR_DIGITS(mag);
      const int lead = 4 - n;
      w -= 0x10101010U & ((std::uint32_t{1} << (8 * lead)) - 1);
      std::memset(TO, ' ', W - 4);
      std::memcpy(TO + (W - 4), &w, 4);
      if (neg) TO[W - 5 + lead] = '-';
      return;
    }
  }
  if constexpr (W < 8) {
    if (n + (neg ? 1 : 0) > W) {
      EDIT_I(TO, W, V);
      return;
    }
  }
  const int lead = 8 - n;  // 1..7 leading zeros, the sign's column among them
  std::uint64_t w = EIGHT_DIGITS(mag);
  w -= 0x1010101010101010ULL & ((std::uint64_t{1} << (8 * lead)) - 1);  // '0' - 0x10 = ' '
  if (neg) w += std::uint64_t{'-' - ' '} << (8 * (lead - 1));
  if constexpr (W >= 8) {
    std::memset(TO, ' ', W - 8);
    std::memcpy(TO + (W - 8), &w, 8);
  } else {
    w >>= 8 * (8 - W);
    std::memcpy(TO, &w, W);
  }
}

// Aw (W > 0): the first W characters, or the text right-justified.
template <int W>
inline void A_FIELD(char* TO, std::string_view T) {
  if (T.size() >= static_cast<std::size_t>(W)) {
    std::memcpy(TO, T.data(), W);
  } else {
    std::memset(TO, ' ', W - T.size());
    std::memcpy(TO + (W - T.size()), T.data(), T.size());
  }
}

// Ew.d with scale factor 0 or 1 (1PEw.d).
template <int W, int D, int SCALE>
inline void E_FIELD(char* TO, double V) {
  static_assert(SCALE == 0 || SCALE == 1);
  constexpr int N = D + SCALE;  // significant digits shown
  // Columns of a positive value: the digit before the point (1P), the point,
  // D digits and the exponent part; the 0P form adds a "0" where it fits.
  constexpr int NEED = SCALE + D + 5;
  constexpr bool LEAD_ZERO = SCALE == 0 && W > NEED;
  const bool neg = std::signbit(V);
  if constexpr (N > 16 || W < NEED) {
    EDIT_E(TO, W, D, SCALE, V);
    return;
  } else {
    const auto bits = std::bit_cast<std::uint64_t>(V);
    const int field = static_cast<int>((bits >> 52) & 0x7FF);
    // Zero, subnormals, NaN, the infinities, and a negative value too wide
    // for the field: all but zero go to the general editor.
    if (field == 0 || field == 0x7FF || (neg && W < NEED + 1)) {
      if (V != 0.0) {
        EDIT_E(TO, W, D, SCALE, V);
        return;
      }
      // Zero: no sign, no scale factor, "0." where it fits, D zeros, "E+00".
      static constexpr auto ZERO = [] {
        std::array<char, W> z{};
        for (char& c : z) c = ' ';
        for (int k = W - 4 - D; k < W - 4; ++k) z[k] = '0';
        z[W - 5 - D] = '.';
        if (W > D + 5) z[W - 6 - D] = '0';
        z[W - 4] = 'E', z[W - 3] = '+', z[W - 2] = '0', z[W - 1] = '0';
        return z;
      }();
      std::memcpy(TO, ZERO.data(), W);
      return;
    }
    const decimal_tables::NORMAL n = decimal_tables::NORMAL_OF(bits, field);
    const DECIMAL r = NORMAL_DIGITS(V, n, N, decimal_tables::LEADING_OF(n));
    const int x = r.X + 1 - SCALE;  // within the exponent table for every double
    const char* exponent = EXPONENTS.FORMATTED.data() + 4 * (x - EXPONENT_LOW);
    if constexpr (N <= 7 && W - 4 >= 8) {
      // The last 8 columns before the exponent part are one word: the digits
      // stay where EIGHT_DIGITS puts them (bytes 8 - N on), the point, the
      // digit before it or the "0", and the sign go in by masks fixed at
      // compile time; whatever lies left of the number becomes blanks.
      constexpr int BODY = W - 4;
      constexpr int FIRST = 8 - N;  // byte of the first digit
      constexpr auto BYTE = [](int at) { return std::uint64_t{0xFF} << (8 * at); };
      constexpr auto BELOW = [](int at) { return at <= 0 ? std::uint64_t{0} : (std::uint64_t{1} << (8 * at)) - 1; };
      std::uint64_t w = EIGHT_DIGITS(static_cast<std::uint32_t>(r.D));
      int start = 0;  // byte where the number begins; -1: its sign is left of the word
      if constexpr (SCALE == 1) {
        // d0 moves one byte left; the point takes its place.
        w = (w & ~BELOW(FIRST + 1)) | ((w >> 8) & BYTE(FIRST - 1)) | (std::uint64_t{'.'} << (8 * FIRST));
        start = FIRST - 1;
      } else {
        w = (w & ~BELOW(FIRST)) | (std::uint64_t{'.'} << (8 * (FIRST - 1)));
        start = FIRST - 1;
        // The "0" only where it fits together with a sign.
        if (LEAD_ZERO && !(neg && W == NEED + 1)) {
          --start;
          w |= std::uint64_t{'0'} << (8 * start);
        }
      }
      if (neg) --start;
      const int blanks = start < 0 ? 0 : start;
      w |= 0x2020202020202020ULL & BELOW(blanks);
      if (neg && start >= 0) w = (w & ~BYTE(start)) | (std::uint64_t{'-'} << (8 * start));
      if constexpr (BODY > 8) std::memset(TO, ' ', BODY - 8);
      std::memcpy(TO + (BODY - 8), &w, 8);
      if (neg && start < 0) TO[BODY - 9] = '-';
      std::memcpy(TO + BODY, exponent, 4);
      return;
    }
    std::array<char, W + 16> f;
    std::memset(f.data(), ' ', W);
    constexpr int DIGITS_AT = W - 4 - N;  // the digits end where the exponent begins
    PUT_DIGITS_WIDE<N>(f.data() + DIGITS_AT, r.D);
    std::memcpy(f.data() + (W - 4), exponent, 4);
    int start = DIGITS_AT - 1;  // the first column of the number so far
    if constexpr (SCALE == 1) {
      f[DIGITS_AT - 1] = f[DIGITS_AT];
      f[DIGITS_AT] = '.';
    } else {
      f[start] = '.';
      // The "0" only where it fits together with a sign.
      if (LEAD_ZERO && !(neg && W == NEED + 1)) f[--start] = '0';
    }
    if (neg) f[start - 1] = '-';
    std::memcpy(TO, f.data(), W);
  }
}

// A list-directed real in W columns with D significant digits in fixed form
// (D + 1 in exponent form) and E exponent digits. The form follows from the
// exponent of the unrounded value; only when the D-digit rounding could carry
// across a limit of the fixed form is it looked at before the digits are made
// a second time.
template <int W, int D, int E>
inline void LIST_REAL(char* TO, double V) {
  static_assert(D + 1 <= 16 && (E == 2 || E == 3));
  if (((std::bit_cast<std::uint64_t>(V) >> 52) & 0x7FF) == 0x7FF) {
    EDIT_NONFINITE(TO, W, V);
    return;
  }
  if (V == 0.0) {
    // "0.", D zeros, "E+", E zeros, right-justified, without a sign.
    static constexpr auto ZERO = [] {
      std::array<char, W> z{};
      for (char& c : z) c = ' ';
      char* at = z.data() + (W - (D + 4 + E));
      at[0] = '0', at[1] = '.';
      for (int k = 0; k < D; ++k) at[2 + k] = '0';
      at[D + 2] = 'E', at[D + 3] = '+';
      for (int k = 0; k < E; ++k) at[D + 4 + k] = '0';
      return z;
    }();
    std::memcpy(TO, ZERO.data(), W);
    return;
  }
  const bool neg = std::signbit(V);
  const auto bits = std::bit_cast<std::uint64_t>(V);
  const int field = static_cast<int>((bits >> 52) & 0x7FF);
  const decimal_tables::NORMAL n = decimal_tables::NORMAL_OF(bits, field);
  const int k = field == 0 ? DECIMAL_EXPONENT_SLOW(V) : decimal_tables::LEADING_OF(n);
  auto digits = [&](int count) {
    return field == 0 ? SIGNIFICANT_DIGITS_SLOW(V, count) : NORMAL_DIGITS(V, n, count, k);
  };
  DECIMAL r{};
  bool fixed = false;
  if (k >= -2 && k <= D - 1) {
    r = digits(D);
    fixed = r.X >= -1 && r.X <= D - 1;
  }
  if (!fixed) r = digits(D + 1);
  std::memset(TO, ' ', W);
  int start = 0;  // the first column of the number so far
  if (fixed) {
    // D digits ending E + 2 columns before the end of the field, the point
    // after the first X + 1 of them: the integer digits move one column left
    // within one block of D + 1 bytes, the fraction stays.
    using BLOCK = std::conditional_t<(D < 8), std::uint64_t, unsigned __int128>;
    constexpr int END = W - E - 2;
    constexpr int AT = END - D - 1;
    const int whole_digits = r.X + 1;
    BLOCK b = BLOCK{' '} | (BLOCK{DIGITS_WORD<D>(r.D)} << 8);
    const BLOCK whole = ((BLOCK{1} << (8 * whole_digits)) - 1) << 8;
    const BLOCK fraction = whole_digits < D ? ~BLOCK{0} << (8 * (whole_digits + 1)) : BLOCK{0};
    b = ((b & whole) >> 8) | (BLOCK{'.'} << (8 * whole_digits)) | (b & fraction);
    STORE_LOW_BYTES<D + 1>(TO + AT, b);
    start = AT;
    if (whole_digits == 0) TO[--start] = '0';
  } else {
    // One digit, the point, D digits, "E", the sign and E digits.
    // The first digit moves one column left; the point takes its place.
    constexpr int AT = W - E - 2 - (D + 1);
    const auto d = DIGITS_WORD<D + 1>(r.D);
    const auto lead = static_cast<std::uint16_t>((d & 0xFF) | ('.' << 8));
    const auto rest = d >> 8;
    std::memcpy(TO + (AT - 1), &lead, 2);
    STORE_LOW_BYTES<D>(TO + (AT + 1), rest);
    const auto x = static_cast<std::size_t>(r.X - EXPONENT_LOW);
    if constexpr (E == 2) {
      std::memcpy(TO + (W - 4), EXPONENTS.LIST2.data() + 4 * x, 4);
    } else {
      std::memcpy(TO + (W - 5), EXPONENTS.LIST3.data() + 8 * x, 5);
    }
    start = AT - 1;
  }
  if (neg) TO[start - 1] = '-';
}

}  // namespace KOVA
