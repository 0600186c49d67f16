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

namespace KOVA {

// 10^N for 0 <= N <= 19.
inline constexpr std::array<std::uint64_t, 20> TENS_TABLE = [] {
  std::array<std::uint64_t, 20> t{};
  std::uint64_t v = 1;
  for (auto& e : t) {
    e = v;
    v *= 10;
  }
  return t;
}();

// N significant digits of a value: |V| rounded is D * 10^(X - N + 1), where
// 10^(N-1) <= D < 10^N and X is the decimal exponent of the leading digit.
struct DECIMAL {
  std::uint64_t D = 0;
  int X = 0;
};

// The tables behind the digits. A finite double is M * 2^E with M scaled to
// 55 bits; 10^p is (HI * 2^64 + LO) * 2^Q, truncated to 128 bits (EXACT when
// nothing was cut off); THRESHOLDS[E - E_MIN] is the least M for which
// M * 2^E reaches the one power of ten that lies between 2^(E+54) and 2^(E+55).
namespace decimal_tables {
inline constexpr int M_TOP = 54;                // 2^54 <= M < 2^55
inline constexpr int P_MIN = -323;              // 10^-323: among the smallest subnormals
inline constexpr int P_MAX = 341;               // smallest subnormal scaled to 17 digits
inline constexpr int E_MIN = -1074 - M_TOP;     // smallest subnormal
inline constexpr int E_MAX = 971 - 2;           // largest finite
struct POWER {
  std::uint64_t HI = 0;
  std::uint64_t LO = 0;
  int Q = 0;
  bool EXACT = false;
};
extern const std::array<POWER, P_MAX - P_MIN + 1> POWERS;
extern const std::array<std::uint64_t, E_MAX - E_MIN + 1> THRESHOLDS;

// floor(log10(2^x)) for |x| below 2600.
constexpr int FLOOR_LOG10_POW2(int x) { return (x * 78913) >> 18; }

// A normal double (exponent field FIELD, 1..2046) as M * 2^E.
struct NORMAL {
  std::uint64_t M;
  int E;
};
inline NORMAL NORMAL_OF(std::uint64_t bits, int field) {
  return {((bits & ((std::uint64_t{1} << 52) - 1)) | std::uint64_t{1} << 52) << 2, field - 1077};
}
// The exponent of its leading decimal digit.
inline int LEADING_OF(const NORMAL& n) {
  return FLOOR_LOG10_POW2(n.E + M_TOP) + (n.M >= THRESHOLDS[n.E - E_MIN] ? 1 : 0);
}
}  // namespace decimal_tables

// The full routines below, for every finite nonzero V, subnormals included.
DECIMAL SIGNIFICANT_DIGITS_SLOW(double V, int N);

// The exponent of the leading digit of |V| before any rounding, V finite and
// nonzero: 10^K <= |V| < 10^(K+1).
int DECIMAL_EXPONENT_SLOW(double V);

// TOP / 2^R rounded to the nearest integer into D, for 0 < R < 128, unless
// the fraction is one half or one unit of TOP's last bit below it: there the
// bits that the truncated power of ten lost, or the exact value, decide, and
// the answer is false. Adding one half rounds up at the shift; the fraction
// was half - 1 or half exactly when the bits below the shift come out all
// ones or zero.
inline bool ROUND_CLEAR_OF_HALF(unsigned __int128 TOP, int R, std::uint64_t& D) {
  using U128 = unsigned __int128;
  if (R > 64) {
    // Judged on the upper word first, which settles all but 2 in 2^(R-64).
    const int s = R - 64;
    const auto rounded = static_cast<std::uint64_t>(TOP >> 64) + (std::uint64_t{1} << (s - 1));
    if (((rounded + 1) & ((std::uint64_t{1} << s) - 1)) > 1) {
      D = rounded >> s;
      return true;
    }
  }
  const U128 rounded = TOP + (U128{1} << (R - 1));
  if (((rounded + 1) & ((U128{1} << R) - 1)) <= 1) return false;
  D = static_cast<std::uint64_t>(rounded >> R);
  return true;
}

// N significant digits of a normal V whose leading digit has exponent K:
// one 64x128-bit product by the truncated power of ten, rounded by the test
// above; the rare fractions next to one half take the full routine.
inline DECIMAL NORMAL_DIGITS(double V, const decimal_tables::NORMAL& n, int N, int K) {
  using namespace decimal_tables;
  const POWER& pw = POWERS[N - 1 - K - P_MIN];
  using U128 = unsigned __int128;
  const U128 top = U128{pw.HI} * n.M + ((U128{pw.LO} * n.M) >> 64);
  std::uint64_t d = 0;
  if (!ROUND_CLEAR_OF_HALF(top, -(n.E + pw.Q) - 64, d)) return SIGNIFICANT_DIGITS_SLOW(V, N);
  // A rounding carry into a new digit.
  if (d == TENS_TABLE[N]) return {TENS_TABLE[N - 1], K + 1};
  return {d, K};
}

// V finite and nonzero, 1 <= N <= 17. A rounding carry (9.99996 to 5 digits)
// comes out as D = 10000 with X one higher.
inline DECIMAL SIGNIFICANT_DIGITS(double V, int N) {
  const auto bits = std::bit_cast<std::uint64_t>(V);
  const int field = static_cast<int>((bits >> 52) & 0x7FF);
  if (field == 0) return SIGNIFICANT_DIGITS_SLOW(V, N);  // subnormal
  const decimal_tables::NORMAL n = decimal_tables::NORMAL_OF(bits, field);
  return NORMAL_DIGITS(V, n, N, decimal_tables::LEADING_OF(n));
}

// |V| * 10^D rounded to an integer into U, for V finite and 0 <= D <= 17.
// Returns false (U untouched) when that integer would be 10^16 or more: more
// digits than a fixed-point field of 17 columns can show besides its point.
bool ROUND_FIXED(double V, int D, std::uint64_t& U);

// "00" to "99": the digits are written two at a time.
inline constexpr char DIGIT_PAIRS[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// The N lowest decimal digits of U, leading zeros included, into TO[0..N).
// Inline: it runs for every field of every record. Once U fits 32 bits (at
// once for nearly every field) the divisions are the cheaper 32-bit ones.
inline void PUT_DIGITS(char* TO, std::uint64_t U, int N) {
  int i = N;
  for (; i >= 2 && U > 0xFFFFFFFFU; U /= 100) {
    i -= 2;
    const char* pair = DIGIT_PAIRS + 2 * (U % 100);
    TO[i] = pair[0];
    TO[i + 1] = pair[1];
  }
  // Below 2^32 now, unless at most one digit is left to write.
  auto u = static_cast<std::uint32_t>(i >= 2 ? U : U % 10);
  for (; i >= 2; u /= 100) {
    i -= 2;
    const char* pair = DIGIT_PAIRS + 2 * (u % 100);
    TO[i] = pair[0];
    TO[i + 1] = pair[1];
  }
  if (i == 1) TO[0] = static_cast<char>('0' + u % 10);
}

constexpr std::uint64_t POWER_OF_TEN(int N) { return TENS_TABLE[static_cast<std::size_t>(N)]; }

// Number of decimal digits of U (1 for 0). Inline, like PUT_DIGITS.
constexpr int DIGIT_COUNT(std::uint64_t U) {
  const std::uint64_t u = U | 1;  // 0 has one digit, like 1
  const int t = (std::bit_width(u) * 1233) >> 12;  // about floor(log10(2^bits))
  return t + 1 - (u < POWER_OF_TEN(t) ? 1 : 0);
}

// The digit words below are laid out for a little-endian machine: byte 0 of
// the word is the first character in memory.
static_assert(std::endian::native == std::endian::little);

// Four decimal digits of U < 10^4, leading zeros included, as the bytes of a
// 32-bit word in memory order (most significant digit first): one lookup in a
// table of all 10000 groups (40 KB), made when the program is built. A lookup
// is a few instructions and no chain of multiplications, which is what bounds
// the rate of a run that is mostly digits.
inline constexpr auto FOUR_DIGIT_WORDS = [] {
  std::array<std::uint32_t, 10000> t{};
  for (std::uint32_t u = 0; u < 10000; ++u) {
    t[u] = (u / 1000 + '0') | ((u / 100 % 10 + '0') << 8) | ((u / 10 % 10 + '0') << 16) |
           ((u % 10 + '0') << 24);
  }
  return t;
}();

constexpr std::uint32_t FOUR_DIGITS(std::uint32_t U) { return FOUR_DIGIT_WORDS[U]; }

// Eight decimal digits of U < 10^8 in the same way: two groups of four.
constexpr std::uint64_t EIGHT_DIGITS(std::uint32_t U) {
  const std::uint32_t hi = U / 10000;
  return FOUR_DIGITS(hi) | (std::uint64_t{FOUR_DIGITS(U - hi * 10000)} << 32);
}

// The N (1..16) lowest decimal digits of U < 10^16, leading zeros included, as
// the low N bytes of a word in memory order (the bytes above them are zero):
// for building a field in registers, with no store to read back.
template <int N>
inline auto DIGITS_WORD(std::uint64_t U) {
  static_assert(N >= 1 && N <= 16);
  if constexpr (N <= 8) {
    return EIGHT_DIGITS(static_cast<std::uint32_t>(U)) >> (8 * (8 - N));
  } else {
    using U128 = unsigned __int128;
    const auto hi = static_cast<std::uint32_t>(U / 100000000);
    const std::uint64_t lo = EIGHT_DIGITS(static_cast<std::uint32_t>(U - std::uint64_t{hi} * 100000000));
    return U128{EIGHT_DIGITS(hi) >> (8 * (16 - N))} | (U128{lo} << (8 * (N - 8)));
  }
}

// The low N (4..16) bytes of a word made in registers into TO[0..N), as one
// or two stores straight from the registers (overlapping where N is not 8 or
// 16): copying a part of a word through memory would read back its own store.
template <int N, typename WORD>
inline void STORE_LOW_BYTES(char* TO, WORD V) {
  static_assert(N >= 4 && N <= 16 && N <= static_cast<int>(sizeof(WORD)));
  if constexpr (N <= 8) {
    const auto lo = static_cast<std::uint32_t>(V);
    const auto hi = static_cast<std::uint32_t>(V >> (8 * (N - 4)));
    if constexpr (N == 8) {
      const auto w = static_cast<std::uint64_t>(V);
      __builtin_memcpy(TO, &w, 8);
    } else {
      __builtin_memcpy(TO, &lo, 4);
      __builtin_memcpy(TO + (N - 4), &hi, 4);
    }
  } else {
    const auto lo = static_cast<std::uint64_t>(V);
    const auto hi = static_cast<std::uint64_t>(V >> (8 * (N - 8)));
    __builtin_memcpy(TO, &lo, 8);
    __builtin_memcpy(TO + (N - 8), &hi, 8);
  }
}

// The N (1..16) lowest decimal digits of U < 10^16 into TO[0..N), leading
// zeros included. Writes 8 or 16 bytes from TO: the columns after the N
// digits hold rubbish for the caller to overwrite.
template <int N>
inline void PUT_DIGITS_WIDE(char* TO, std::uint64_t U) {
  static_assert(N >= 1 && N <= 16);
  if constexpr (N <= 8) {
    const std::uint64_t w = EIGHT_DIGITS(static_cast<std::uint32_t>(U)) >> (8 * (8 - N));
    __builtin_memcpy(TO, &w, 8);
  } else {
    const auto hi = static_cast<std::uint32_t>(U / 100000000);
    const std::uint64_t w = EIGHT_DIGITS(hi) >> (8 * (16 - N));
    const std::uint64_t lo = EIGHT_DIGITS(static_cast<std::uint32_t>(U - std::uint64_t{hi} * 100000000));
    __builtin_memcpy(TO, &w, 8);
    __builtin_memcpy(TO + (N - 8), &lo, 8);
  }
}

// Exponent parts as 4 bytes per exponent X in [EXPONENT_LOW, EXPONENT_HIGH]:
// "E+05" up to 99, "+100" (no letter) from 100 on, as formatted E fields show
// them; and the list-directed forms with E and exactly 2 or 3 digits.
inline constexpr int EXPONENT_LOW = -400;
inline constexpr int EXPONENT_HIGH = 400;
struct EXPONENT_TEXTS {
  std::array<char, 4 * (EXPONENT_HIGH - EXPONENT_LOW + 1)> FORMATTED{};
  std::array<char, 4 * (EXPONENT_HIGH - EXPONENT_LOW + 1)> LIST2{};  // "E+07"
  std::array<char, 8 * (EXPONENT_HIGH - EXPONENT_LOW + 1)> LIST3{};  // "E+020", 5 of 8 bytes
};
inline constexpr EXPONENT_TEXTS EXPONENTS = [] {
  EXPONENT_TEXTS t;
  for (int x = EXPONENT_LOW; x <= EXPONENT_HIGH; ++x) {
    const auto i = static_cast<std::size_t>(x - EXPONENT_LOW);
    const char sign = x < 0 ? '-' : '+';
    const int m = x < 0 ? -x : x;
    const char d3[3] = {static_cast<char>('0' + m / 100 % 10), static_cast<char>('0' + m / 10 % 10),
                        static_cast<char>('0' + m % 10)};
    char* f = t.FORMATTED.data() + 4 * i;
    if (m <= 99) {
      f[0] = 'E', f[1] = sign, f[2] = d3[1], f[3] = d3[2];
    } else {
      f[0] = sign, f[1] = d3[0], f[2] = d3[1], f[3] = d3[2];
    }
    char* l2 = t.LIST2.data() + 4 * i;
    l2[0] = 'E', l2[1] = sign, l2[2] = d3[1], l2[3] = d3[2];
    char* l3 = t.LIST3.data() + 8 * i;
    l3[0] = 'E', l3[1] = sign, l3[2] = d3[0], l3[3] = d3[1], l3[4] = d3[2];
  }
  return t;
}();

}  // namespace KOVA
