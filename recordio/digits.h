#pragma once
// Exact decimal digits of binary reals.
//
// Every real field shows the exact binary value of its item rounded to the
// digits shown, halfway cases to the even digit. A 4-byte item is converted to
// double first (exactly) and goes through the same routines.
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>

// N significant digits of a value: |V| rounded is D * 10^(X - N + 1), where
// 10^(N-1) <= D < 10^N and X is the decimal exponent of the leading digit.
struct DECIMAL {
  std::uint64_t D = 0;
  int X = 0;
};

// V finite and nonzero, 1 <= N <= 17. A rounding carry (9.99996 to 5 digits)
// comes out as D = 10000 with X one higher.
DECIMAL SIGNIFICANT_DIGITS(double V, int N);

// |V| * 10^D rounded to an integer into U, for V finite and 0 <= D <= 17.
// Returns false (U untouched) when that integer would be 10^16 or more: more
// digits than a fixed-point field of 17 columns can show besides its point.
bool ROUND_FIXED(double V, int D, std::uint64_t& U);

// "00" to "99": the digits are written two at a time.
inline constexpr char DIGIT_PAIRS[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// The N lowest decimal digits of U, leading zeros included, into OUT[0..N).
// Inline: it runs for every field of every record. Once U fits 32 bits (at
// once for nearly every field) the divisions are the cheaper 32-bit ones.
inline void PUT_DIGITS(char* OUT, std::uint64_t U, int N) {
  int i = N;
  for (; i >= 2 && U > 0xFFFFFFFFU; U /= 100) {
    i -= 2;
    const char* pair = DIGIT_PAIRS + 2 * (U % 100);
    OUT[i] = pair[0];
    OUT[i + 1] = pair[1];
  }
  // Below 2^32 now, unless at most one digit is left to write.
  auto u = static_cast<std::uint32_t>(i >= 2 ? U : U % 10);
  for (; i >= 2; u /= 100) {
    i -= 2;
    const char* pair = DIGIT_PAIRS + 2 * (u % 100);
    OUT[i] = pair[0];
    OUT[i + 1] = pair[1];
  }
  if (i == 1) OUT[0] = static_cast<char>('0' + u % 10);
}

// 10^N for 0 <= N <= 19.
inline constexpr std::array<std::uint64_t, 20> TENS = [] {
  std::array<std::uint64_t, 20> t{};
  std::uint64_t v = 1;
  for (auto& e : t) {
    e = v;
    v *= 10;
  }
  return t;
}();

constexpr std::uint64_t POWER_OF_TEN(int N) { return TENS[static_cast<std::size_t>(N)]; }

// Number of decimal digits of U (1 for 0). Inline, like PUT_DIGITS.
constexpr int DIGIT_COUNT(std::uint64_t U) {
  const std::uint64_t u = U | 1;  // 0 has one digit, like 1
  const int t = (std::bit_width(u) * 1233) >> 12;  // about floor(log10(2^bits))
  return t + 1 - (u < POWER_OF_TEN(t) ? 1 : 0);
}
