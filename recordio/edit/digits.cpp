#include "recordio/edit/digits.h"

#include <array>
#include <bit>

namespace KOVA {

// Method: a finite double is M * 2^E with M scaled to 55 bits. Its value times
// 10^p is M times a 128-bit truncated mantissa of 10^p, shifted. The integer
// part of that product is the digit string; the fraction decides the rounding.
// The truncation of 10^p makes the computed fraction fall short of the true one
// by less than M units of the product's lowest 64-bit word, so only a fraction
// a hair below one half is in doubt; that case is settled exactly with integer
// arithmetic on a fixed-size big number.

namespace {

using U128 = unsigned __int128;

using namespace decimal_tables;

// ---- fixed-size big numbers (unsigned, 32-bit limbs, least significant first)

constexpr int BIG_LIMBS = 48;  // 1536 bits: the largest operand needs under 900

struct BIG {
  std::array<std::uint32_t, BIG_LIMBS> L{};
  int N = 0;  // limbs in use
};

constexpr BIG BIG_FROM(U128 v) {
  BIG b;
  while (v != 0) {
    b.L[b.N++] = static_cast<std::uint32_t>(v);
    v >>= 32;
  }
  return b;
}

constexpr void BIG_MUL(BIG& b, std::uint32_t f) {
  std::uint64_t carry = 0;
  for (int i = 0; i < b.N; ++i) {
    const std::uint64_t t = std::uint64_t{b.L[i]} * f + carry;
    b.L[i] = static_cast<std::uint32_t>(t);
    carry = t >> 32;
  }
  if (carry != 0) b.L[b.N++] = static_cast<std::uint32_t>(carry);
}

constexpr void BIG_DIV10(BIG& b) {
  std::uint64_t rem = 0;
  for (int i = b.N - 1; i >= 0; --i) {
    const std::uint64_t t = (rem << 32) | b.L[i];
    b.L[i] = static_cast<std::uint32_t>(t / 10);
    rem = t % 10;
  }
  while (b.N > 0 && b.L[b.N - 1] == 0) --b.N;
}

constexpr void BIG_SHIFT_LEFT(BIG& b, int bits) {
  if (b.N == 0) return;
  const int limbs = bits / 32;
  const int rest = bits % 32;
  int n = b.N + limbs + 1;
  for (int i = n - 1; i >= 0; --i) {
    const int src = i - limbs;
    std::uint64_t v = 0;
    if (src >= 0 && src < b.N) v = std::uint64_t{b.L[src]} << rest;
    if (rest != 0 && src - 1 >= 0 && src - 1 < b.N) v |= std::uint64_t{b.L[src - 1]} >> (32 - rest);
    b.L[i] = static_cast<std::uint32_t>(v);
  }
  while (n > 0 && b.L[n - 1] == 0) --n;
  b.N = n;
}

constexpr int BIG_BITS(const BIG& b) {
  return b.N == 0 ? 0 : 32 * (b.N - 1) + std::bit_width(b.L[b.N - 1]);
}

constexpr int BIG_COMPARE(const BIG& a, const BIG& b) {
  if (a.N != b.N) return a.N < b.N ? -1 : 1;
  for (int i = a.N - 1; i >= 0; --i) {
    if (a.L[i] != b.L[i]) return a.L[i] < b.L[i] ? -1 : 1;
  }
  return 0;
}

// Bits [from, from + 128) of b.
constexpr U128 BIG_BITS_AT(const BIG& b, int from) {
  U128 v = 0;
  for (int k = 127; k >= 0; --k) {
    const int bit = from + k;
    v <<= 1;
    if (bit >= 0 && bit / 32 < b.N) v |= (b.L[bit / 32] >> (bit % 32)) & 1U;
  }
  return v;
}

constexpr bool BIG_LOW_BITS_ZERO(const BIG& b, int count) {
  for (int bit = 0; bit < count; ++bit) {
    if (bit / 32 < b.N && ((b.L[bit / 32] >> (bit % 32)) & 1U) != 0) return false;
  }
  return true;
}

// ---- the table of powers of ten: 10^p = (HI * 2^64 + LO) * 2^Q, truncated

constexpr std::array<POWER, P_MAX - P_MIN + 1> MAKE_POWERS() {
  std::array<POWER, P_MAX - P_MIN + 1> t{};
  auto keep = [&](const BIG& x, int p, int scale) {
    const int bits = BIG_BITS(x);
    const U128 top = BIG_BITS_AT(x, bits - 128);
    POWER& e = t[p - P_MIN];
    e.HI = static_cast<std::uint64_t>(top >> 64);
    e.LO = static_cast<std::uint64_t>(top);
    e.Q = bits - 128 - scale;
    e.EXACT = scale == 0 && (bits <= 128 || BIG_LOW_BITS_ZERO(x, bits - 128));
  };
  BIG x = BIG_FROM(1);
  for (int p = 0; p <= P_MAX; ++p) {
    keep(x, p, 0);
    BIG_MUL(x, 10);
  }
  // floor(2^1400 / 10^j): dividing the floor again by 10 gives the next floor.
  constexpr int SCALE = 1400;
  BIG y = BIG_FROM(1);
  BIG_SHIFT_LEFT(y, SCALE);
  for (int j = 1; j <= -P_MIN; ++j) {
    BIG_DIV10(y);
    keep(y, -j, SCALE);
  }
  return t;
}

}  // namespace

constexpr std::array<POWER, P_MAX - P_MIN + 1> decimal_tables::POWERS = MAKE_POWERS();

namespace {

// With M normalised, |V| = M * 2^E lies in [2^(E+54), 2^(E+55)), which holds at
// most one power of ten, 10^(k+1) with k = FLOOR_LOG10_POW2(E + 54). Its
// threshold is the least M reaching it, so the exponent of the leading digit
// is k plus (M >= threshold), found without any trial.
constexpr std::array<std::uint64_t, E_MAX - E_MIN + 1> MAKE_THRESHOLDS() {
  std::array<std::uint64_t, E_MAX - E_MIN + 1> t{};
  for (int e = E_MIN; e <= E_MAX; ++e) {
    const int j = FLOOR_LOG10_POW2(e + M_TOP) + 1;
    const POWER& pw = POWERS[j - P_MIN];
    const U128 p = (U128{pw.HI} << 64) | pw.LO;
    // ceil(10^j / 2^e) from p * 2^(Q - e); a truncated mantissa lies below 10^j.
    const int shift = e - pw.Q;  // well above 64 in the range used
    std::uint64_t m = ~std::uint64_t{0};
    if (shift < 128 && (p >> shift) < (U128{1} << (M_TOP + 1))) {
      m = static_cast<std::uint64_t>(p >> shift);
      const U128 rest = p & ((U128{1} << shift) - 1);
      if (rest != 0 || !pw.EXACT) ++m;
    }
    t[e - E_MIN] = m;
  }
  return t;
}

}  // namespace

constexpr std::array<std::uint64_t, E_MAX - E_MIN + 1> decimal_tables::THRESHOLDS = MAKE_THRESHOLDS();

namespace {

struct BINARY {
  std::uint64_t M;  // 2^54 <= M < 2^55
  int E;            // |V| = M * 2^E
};

BINARY SPLIT(double v) {
  const auto bits = std::bit_cast<std::uint64_t>(v);
  const int field = static_cast<int>((bits >> 52) & 0x7FF);
  std::uint64_t m = bits & ((std::uint64_t{1} << 52) - 1);
  if (field != 0) return {(m | std::uint64_t{1} << 52) << 2, field - 1077};  // normal: 53 bits
  const int e = -1074;
  const int shift = M_TOP + 1 - std::bit_width(m);
  return {m << shift, e - shift};
}

// The exponent of the leading decimal digit: 10^k <= M * 2^E < 10^(k+1).
int LEADING_EXPONENT(const BINARY& b) {
  return FLOOR_LOG10_POW2(b.E + M_TOP) + (b.M >= THRESHOLDS[b.E - E_MIN] ? 1 : 0);
}

// Sign of 2 * M * 2^E * 10^p - (2 * I + 1), exactly.
int COMPARE_WITH_HALF(std::uint64_t M, int E, int p, std::uint64_t I) {
  BIG a = BIG_FROM(M);
  BIG b = BIG_FROM(U128{I} * 2 + 1);
  for (int j = 0; j < p; ++j) BIG_MUL(a, 5);
  for (int j = 0; j < -p; ++j) BIG_MUL(b, 5);
  const int shift = E + 1 + p;
  if (shift >= 0) {
    BIG_SHIFT_LEFT(a, shift);
  } else {
    BIG_SHIFT_LEFT(b, -shift);
  }
  return BIG_COMPARE(a, b);
}

// Where the fraction of a scaled value stands against one half. JUST_BELOW:
// one unit of its last computed bit below one half.
enum class FRACTION : std::uint8_t { BELOW, JUST_BELOW, HALF, ABOVE };

// TOP / 2^r, 0 < r < 128, split into its integer part and its fraction.
FRACTION SPLIT_AT(U128 top, int r, std::uint64_t& integer) {
  if (r > 64) {
    // The usual case: the integer lies within the upper word, so the work
    // stays on 64-bit words.
    const int s = r - 64;
    const auto upper = static_cast<std::uint64_t>(top >> 64);
    const auto lower = static_cast<std::uint64_t>(top);
    integer = upper >> s;
    const std::uint64_t frac = upper & ((std::uint64_t{1} << s) - 1);
    const std::uint64_t half = std::uint64_t{1} << (s - 1);
    if (frac == half) return lower == 0 ? FRACTION::HALF : FRACTION::ABOVE;
    if (frac > half) return FRACTION::ABOVE;
    return frac == half - 1 && lower == ~std::uint64_t{0} ? FRACTION::JUST_BELOW : FRACTION::BELOW;
  }
  integer = static_cast<std::uint64_t>(top >> r);
  const U128 frac = top & ((U128{1} << r) - 1);
  const U128 half = U128{1} << (r - 1);
  if (frac == half) return FRACTION::HALF;
  if (frac > half) return FRACTION::ABOVE;
  return frac == half - 1 ? FRACTION::JUST_BELOW : FRACTION::BELOW;
}

// M * 2^E * 10^p rounded to an integer, halfway to even. The caller keeps the
// scaled value within [2^-7, 2^60), so the shift below lies in (0, 128).
std::uint64_t SCALE_ROUND_EXACTLY(std::uint64_t M, int E, int p) {
  const POWER& pw = POWERS[p - P_MIN];
  const U128 lo = U128{pw.LO} * M;
  const U128 hi = U128{pw.HI} * M;
  const U128 top = hi + (lo >> 64);  // the product is top * 2^64 + low
  const auto low = static_cast<std::uint64_t>(lo);
  std::uint64_t integer = 0;
  bool up = false;
  switch (SPLIT_AT(top, -(E + pw.Q) - 64, integer)) {
    case FRACTION::ABOVE:
      up = true;
      break;
    case FRACTION::HALF:
      // Exactly one half only when nothing was truncated; otherwise just above.
      up = low != 0 || !pw.EXACT || (integer & 1) != 0;
      break;
    case FRACTION::JUST_BELOW:
      if (!pw.EXACT && low >= ~std::uint64_t{0} - M) {
        const int c = COMPARE_WITH_HALF(M, E, p, integer);
        up = c > 0 || (c == 0 && (integer & 1) != 0);
      }
      break;
    case FRACTION::BELOW:
      break;
  }
  return integer + (up ? 1 : 0);
}

// The same, quicker for the usual case: a fraction clearly away from one
// half, where the truncated bits cannot change the rounding. Everything else
// takes the path above.
std::uint64_t SCALE_ROUND(std::uint64_t M, int E, int p) {
  const POWER& pw = POWERS[p - P_MIN];
  const U128 top = U128{pw.HI} * M + ((U128{pw.LO} * M) >> 64);
  std::uint64_t d = 0;
  return ROUND_CLEAR_OF_HALF(top, -(E + pw.Q) - 64, d) ? d : SCALE_ROUND_EXACTLY(M, E, p);
}

}  // namespace

int DECIMAL_EXPONENT_SLOW(double V) { return LEADING_EXPONENT(SPLIT(V)); }

DECIMAL SIGNIFICANT_DIGITS_SLOW(double V, int N) {
  const BINARY b = SPLIT(V);
  int k = LEADING_EXPONENT(b);
  std::uint64_t d = SCALE_ROUND(b.M, b.E, N - 1 - k);
  if (d == POWER_OF_TEN(N)) {  // rounding carried into a new digit
    d = POWER_OF_TEN(N - 1);
    ++k;
  }
  return {d, k};
}

bool ROUND_FIXED(double V, int D, std::uint64_t& U) {
  if (V == 0.0) {
    U = 0;
    return true;
  }
  const BINARY b = SPLIT(V);
  const int k = LEADING_EXPONENT(b);  // 10^k <= |V| < 10^(k+1)
  if (k + D >= 16) return false;
  if (k + D <= -2) {  // below 0.1 after scaling: rounds to 0
    U = 0;
    return true;
  }
  const std::uint64_t u = SCALE_ROUND(b.M, b.E, D);
  if (u >= POWER_OF_TEN(16)) return false;
  U = u;
  return true;
}

}  // namespace KOVA
