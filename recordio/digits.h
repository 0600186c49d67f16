#pragma once
// Exact decimal digits of binary reals.
//
// Every real field shows the exact binary value of its item rounded to the
// digits shown, halfway cases to the even digit. A 4-byte item is converted to
// double first (exactly) and goes through the same routines.
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

// The N lowest decimal digits of U, leading zeros included, into OUT[0..N).
void PUT_DIGITS(char* OUT, std::uint64_t U, int N);

// Number of decimal digits of U (1 for 0).
int DIGIT_COUNT(std::uint64_t U);

// 10^N for 0 <= N <= 19.
std::uint64_t POWER_OF_TEN(int N);
