// Digit generation: correctly rounded significant digits (halfway to even, on
// the exact binary value) and fixed-point rounding, checked by hand on the hard
// cases and against the C library's correctly rounded "%.*e" on millions of values.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include "recordio/digits.h"

namespace {

// "d.ddddde+xx" as the C library writes it, built from our digits.
std::string AS_E(DECIMAL r, int n) {
  char digits[20] = {};
  PUT_DIGITS(digits, r.D, n);
  std::string s(1, digits[0]);
  if (n > 1) s += '.' + std::string(digits + 1, static_cast<std::size_t>(n - 1));
  char exp[8];
  std::snprintf(exp, sizeof exp, "e%+03d", r.X);
  return s + exp;
}

std::string REFERENCE(double v, int n) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "%.*e", n - 1, std::fabs(v));
  return buf;
}

// Counts mismatches, reporting the first few.
struct CHECKER {
  int BAD = 0;
  void CHECK(double v, int n) {
    const DECIMAL r = SIGNIFICANT_DIGITS(v, n);
    const std::string mine = AS_E(r, n);
    const std::string ref = REFERENCE(v, n);
    const bool in_range = r.D >= POWER_OF_TEN(n - 1) && r.D < POWER_OF_TEN(n);
    if ((mine != ref || !in_range) && ++BAD <= 5) {
      ADD_FAILURE() << std::hexfloat << v << " to " << n << " digits: " << mine << " expected " << ref;
    }
  }
};

// Digit counts of the fields in use: 1PE12.4, E12.6, 1PE13.6, list-directed
// 4-byte (7 to choose, 8 shown) and 8-byte (15 to choose, 16 shown).
constexpr int KINDS[] = {5, 6, 7, 7, 8, 15, 16};

}  // namespace

TEST(Digits, HardCasesByHand) {
  auto digits = [](double v, int n) {
    const DECIMAL r = SIGNIFICANT_DIGITS(v, n);
    return std::to_string(r.D) + "e" + std::to_string(r.X);
  };
  EXPECT_EQ(digits(1.03125, 5), "10312e0");  // exactly halfway: even
  EXPECT_EQ(digits(1.09375, 5), "10938e0");
  EXPECT_EQ(digits(9.99996, 5), "10000e1");  // carry
  EXPECT_EQ(digits(9.99995, 5), "10000e1");  // stored just above the half
  EXPECT_EQ(digits(9.99994, 5), "99999e0");
  EXPECT_EQ(digits(123455.0, 5), "12346e5");  // halfway above the units
  EXPECT_EQ(digits(123465.0, 5), "12346e5");
  EXPECT_EQ(digits(-2.5, 1), "2e0");
  EXPECT_EQ(digits(0.1, 17), "10000000000000001e-1");
  EXPECT_EQ(digits(4.9406564584124654e-324, 1), "5e-324");
  EXPECT_EQ(digits(1.7976931348623157e308, 17), "17976931348623157e308");
  EXPECT_EQ(digits(1.0e23, 17), "99999999999999992e22");
  EXPECT_EQ(digits(static_cast<double>(0.05F), 8), "50000001e-2");
}

TEST(Digits, FixedPointRounding) {
  auto fixed = [](double v, int d) {
    std::uint64_t u = 99;
    return ROUND_FIXED(v, d, u) ? std::to_string(u) : std::string("too big");
  };
  EXPECT_EQ(fixed(2.5, 0), "2");
  EXPECT_EQ(fixed(3.5, 0), "4");
  EXPECT_EQ(fixed(-3.5, 0), "4");
  EXPECT_EQ(fixed(0.5, 0), "0");
  EXPECT_EQ(fixed(0.5000000001, 0), "1");
  EXPECT_EQ(fixed(0.125, 2), "12");
  EXPECT_EQ(fixed(0.0, 3), "0");
  EXPECT_EQ(fixed(0.004, 2), "0");
  EXPECT_EQ(fixed(0.005, 2), "1");  // stored just above the half
  EXPECT_EQ(fixed(1.0e-300, 0), "0");
  EXPECT_EQ(fixed(3600.0, 0), "3600");
  EXPECT_EQ(fixed(999999999999999.0, 0), "999999999999999");
  EXPECT_EQ(fixed(9999999999999998.0, 0), "9999999999999998");
  EXPECT_EQ(fixed(999999999999999.9, 1), "9999999999999999");  // stored as ...999.875
  EXPECT_EQ(fixed(999999999999999.95, 1), "too big");           // stored as 10^15
  EXPECT_EQ(fixed(1.0e16, 0), "too big");
  EXPECT_EQ(fixed(1.0e300, 0), "too big");
}

TEST(Digits, PutAndCountDigits) {
  char out[20] = {};
  PUT_DIGITS(out, 1234567, 9);
  EXPECT_EQ(std::string(out, 9), "001234567");
  PUT_DIGITS(out, 98765, 3);
  EXPECT_EQ(std::string(out, 3), "765");
  EXPECT_EQ(DIGIT_COUNT(0), 1);
  EXPECT_EQ(DIGIT_COUNT(9), 1);
  EXPECT_EQ(DIGIT_COUNT(10), 2);
  EXPECT_EQ(DIGIT_COUNT(18446744073709551615ULL), 20);
}

TEST(Digits, AgreeWithCorrectlyRoundedReferenceOnMillionsOfValues) {
  CHECKER c;
  std::mt19937_64 gen(20261206);
  int kind = 0;
  auto next_kind = [&] { return KINDS[kind++ % 7]; };
  // Random bit patterns, 8-byte and 4-byte.
  for (int i = 0; i < 1000000; ++i) {
    const double v = std::bit_cast<double>(gen() & 0x7FFFFFFFFFFFFFFFULL);
    if (std::isfinite(v) && v != 0.0) c.CHECK(v, next_kind());
  }
  for (int i = 0; i < 1000000; ++i) {
    const float f = std::bit_cast<float>(static_cast<std::uint32_t>(gen()) & 0x7FFFFFFFU);
    if (std::isfinite(f) && f != 0.0F) c.CHECK(static_cast<double>(f), next_kind());
  }
  // Powers of ten and their neighbours, at every digit count.
  for (int e = -323; e <= 308; ++e) {
    const double p = std::strtod(("1e" + std::to_string(e)).c_str(), nullptr);
    for (int n = 1; n <= 17; ++n) {
      c.CHECK(p, n);
      c.CHECK(std::nextafter(p, 0.0), n);
      c.CHECK(std::nextafter(p, HUGE_VAL), n);
    }
  }
  // Exact halfway cases: t / 2^s has s decimals ending in 5; rounding it to one
  // digit fewer than it has is a tie.
  for (int i = 0; i < 200000; ++i) {
    const auto t = static_cast<double>(gen() % 2000000 + 1);
    const double v = std::ldexp(t, -static_cast<int>(gen() % 24 + 1));
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.40e", v);
    std::string mant(buf, std::strchr(buf, 'e'));
    mant.erase(1, 1);
    const std::size_t last = mant.find_last_not_of('0');
    const int n = static_cast<int>(last);  // one digit fewer than the exact value has
    if (n >= 1 && n <= 17) c.CHECK(v, n);
  }
  // Integers ending in 5, rounded above the units digit.
  for (int i = 0; i < 100000; ++i) {
    const std::uint64_t m = gen() % 9000000000000000ULL / 10 * 10 + 5;
    const int n = DIGIT_COUNT(m) - 1;
    if (n >= 1) c.CHECK(static_cast<double>(m), n);
  }
  // Near 9.99995 and 0.999995, subnormals, the largest finite values.
  double near = 9.99995;
  double small = 0.999995;
  for (int i = 0; i < 2000; ++i) {
    near = std::nextafter(near, 0.0);
    small = std::nextafter(small, 0.0);
  }
  for (int i = 0; i < 4000; ++i) {
    for (int n : KINDS) {
      c.CHECK(near, n);
      c.CHECK(small, n);
    }
    near = std::nextafter(near, 10.0);
    small = std::nextafter(small, 1.0);
  }
  for (int i = 0; i < 100000; ++i) {
    c.CHECK(std::bit_cast<double>(gen() % 0x0010000000000000ULL + 1), next_kind());
  }
  double top = 1.7976931348623157e308;
  for (int i = 0; i < 1000; ++i) {
    for (int n = 1; n <= 17; ++n) c.CHECK(top, n);
    top = std::nextafter(top, 0.0);
  }
  EXPECT_EQ(c.BAD, 0);
}
