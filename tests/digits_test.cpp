// Digit generation: correctly rounded significant digits (halfway to even, on
// the exact binary value) checked against the C library's correctly rounded
// "%.*e" on millions of values, and fixed-point rounding by hand.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "recordio/digits.h"

namespace {

struct CHECKER {
  int BAD = 0;
  void CHECK(double v, int n) {
    const DECIMAL r = SIGNIFICANT_DIGITS(v, n);
    char digits[20] = {};
    PUT_DIGITS(digits, r.D, n);
    char mine[48];
    std::snprintf(mine, sizeof mine, "%c%s%.*se%+03d", digits[0], n > 1 ? "." : "", n - 1, digits + 1, r.X);
    char ref[48];
    std::snprintf(ref, sizeof ref, "%.*e", n - 1, std::fabs(v));
    const bool in_range = r.D >= POWER_OF_TEN(n - 1) && r.D < POWER_OF_TEN(n);
    if ((std::string(mine) != ref || !in_range) && ++BAD <= 5) {
      ADD_FAILURE() << std::hexfloat << v << " to " << n << " digits: " << mine << " expected " << ref;
    }
  }
};

// Digit counts of the fields in use: 1PE12.4, E12.6, 1PE13.6, list-directed
// 4-byte (7 to choose, 8 shown) and 8-byte (15 to choose, 16 shown).
constexpr int KINDS[] = {5, 6, 7, 8, 15, 16};

}  // namespace

TEST(Digits, AgreeWithCorrectlyRoundedReferenceOnMillionsOfValues) {
  CHECKER c;
  std::mt19937_64 gen(20261206);
  std::size_t kind = 0;
  auto next_kind = [&] { return KINDS[kind++ % std::size(KINDS)]; };
  for (int i = 0; i < 1000000; ++i) {  // random 8-byte and 4-byte bit patterns
    const double v = std::bit_cast<double>(gen() & 0x7FFFFFFFFFFFFFFFULL);
    if (std::isfinite(v) && v != 0.0) c.CHECK(v, next_kind());
    const float f = std::bit_cast<float>(static_cast<std::uint32_t>(gen()) & 0x7FFFFFFFU);
    if (std::isfinite(f) && f != 0.0F) c.CHECK(static_cast<double>(f), next_kind());
  }
  for (int e = -323; e <= 308; ++e) {  // powers of ten and their neighbours
    const double p = std::strtod(("1e" + std::to_string(e)).c_str(), nullptr);
    for (int n = 1; n <= 17; ++n) {
      c.CHECK(p, n);
      c.CHECK(std::nextafter(p, 0.0), n);
      c.CHECK(std::nextafter(p, HUGE_VAL), n);
    }
  }
  // Exact halfway cases: t / 2^s has s decimals, the last a 5; rounded to one
  // digit fewer than it has, it is a tie.
  for (int i = 0; i < 200000; ++i) {
    const double v = std::ldexp(static_cast<double>(gen() % 2000000 + 1), -static_cast<int>(gen() % 24 + 1));
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.40e", v);
    std::string mant(1, buf[0]);
    mant.append(buf + 2, 40);
    const int n = static_cast<int>(mant.find_last_not_of('0'));
    if (n >= 1 && n <= 17) c.CHECK(v, n);
    const std::uint64_t m = (gen() % 900000000000000ULL + 1) * 10 + 5;  // integers ending in 5
    c.CHECK(static_cast<double>(m), DIGIT_COUNT(m) - 1);
  }
  double near = 9.99995 - 2000 * 0x1p-49;  // steps of one unit around 9.99995
  for (int i = 0; i < 4000; ++i, near += 0x1p-49) {
    for (int n : KINDS) c.CHECK(near, n);
  }
  for (int i = 0; i < 100000; ++i) {  // subnormals
    c.CHECK(std::bit_cast<double>(gen() % 0x0010000000000000ULL + 1), next_kind());
  }
  double top = 1.7976931348623157e308;
  for (int i = 0; i < 1000; ++i, top = std::nextafter(top, 0.0)) {
    for (int n = 1; n <= 17; ++n) c.CHECK(top, n);
  }
  EXPECT_EQ(c.BAD, 0);
}

// Rounding |v| * 10^d to an integer is rounding v to k + 1 + d significant
// digits, k the exponent of its leading digit: the reference gives both.
TEST(Digits, FixedPointAgreesWithSignificantRounding) {
  std::mt19937_64 gen(7);
  std::uniform_real_distribution<double> decades(-3.0, 15.0);
  int bad = 0;
  for (int i = 0; i < 200000; ++i) {
    const double v = std::pow(10.0, decades(gen)) * ((gen() & 1) != 0 ? -1 : 1);
    const int d = static_cast<int>(gen() % 5);
    char exact[64];
    std::snprintf(exact, sizeof exact, "%.40e", std::fabs(v));
    const int n = std::atoi(std::strchr(exact, 'e') + 1) + 1 + d;
    if (n < 1 || n > 16) continue;
    char ref[48];
    std::snprintf(ref, sizeof ref, "%.*e", n - 1, std::fabs(v));
    std::string digits(1, ref[0]);
    if (n > 1) digits.append(ref + 2, static_cast<std::size_t>(n - 1));
    if (std::atoi(std::strchr(ref, 'e') + 1) > std::atoi(std::strchr(exact, 'e') + 1)) digits += '0';  // carry
    std::uint64_t u = 0;
    const bool fits = ROUND_FIXED(v, d, u);
    if ((!fits || std::to_string(u) != digits) && ++bad <= 5) ADD_FAILURE() << v << " d=" << d << ": " << u;
  }
  EXPECT_EQ(bad, 0);
}

TEST(Digits, FixedPointRoundingAndDigitCounts) {
  auto fixed = [](double v, int d) {
    std::uint64_t u = 99;
    return ROUND_FIXED(v, d, u) ? std::to_string(u) : std::string("too big");
  };
  EXPECT_EQ(fixed(2.5, 0), "2");
  EXPECT_EQ(fixed(-3.5, 0), "4");
  EXPECT_EQ(fixed(0.5, 0), "0");
  EXPECT_EQ(fixed(0.5000000001, 0), "1");
  EXPECT_EQ(fixed(0.125, 2), "12");
  EXPECT_EQ(fixed(0.005, 2), "1");  // stored just above the half
  EXPECT_EQ(fixed(0.004, 2), "0");
  EXPECT_EQ(fixed(1.0e-300, 0), "0");
  EXPECT_EQ(fixed(9999999999999998.0, 0), "9999999999999998");
  EXPECT_EQ(fixed(999999999999999.9, 1), "9999999999999999");  // stored as ...999.875
  EXPECT_EQ(fixed(1.0e16, 0), "too big");
  EXPECT_EQ(fixed(1.0e300, 0), "too big");
  EXPECT_EQ(DIGIT_COUNT(0), 1);
  EXPECT_EQ(DIGIT_COUNT(9), 1);
  EXPECT_EQ(DIGIT_COUNT(10), 2);
  EXPECT_EQ(DIGIT_COUNT(18446744073709551615ULL), 20);
}
