// Digit generation checked against the C library's correctly rounded "%.*e" on millions of values: significant
// digits (halfway to even, on the exact binary value) and fixed-point rounding.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <utility>

#include "recordio/edit/digits.h"

using namespace KOVA;

namespace {

int BAD = 0;  // mismatches; the first few are reported in full

// N significant digits and the exponent of |V| must be the reference's.
void CHECK(double v, int n) {
  const DECIMAL r = SIGNIFICANT_DIGITS(v, n);
  char digits[20] = {}, mine[48], ref[48];
  PUT_DIGITS(digits, r.D, n);
  std::snprintf(mine, sizeof mine, "%c%s%.*se%+03d", digits[0], n > 1 ? "." : "", n - 1, digits + 1, r.X);
  std::snprintf(ref, sizeof ref, "%.*e", n - 1, std::fabs(v));
  if (std::strcmp(mine, ref) != 0 && ++BAD <= 5) ADD_FAILURE() << std::hexfloat << v << ": " << mine << " != " << ref;
}

// Digits of 1PE12.4, E12.6, 1PE13.6, list-directed 4-byte (7 chosen, 8 shown) and 8-byte (15, 16).
constexpr int KINDS[] = {5, 6, 7, 8, 15, 16};

std::string FIXED(double v, int d) { std::uint64_t u = 0; return ROUND_FIXED(v, d, u) ? std::to_string(u) : "big"; }

}  // namespace

TEST(Digits, AgreeWithCorrectlyRoundedReferenceOnMillionsOfValues) {
  std::mt19937_64 gen(20261206);
  for (int i = 0; i < 1000000; ++i) {  // random bit patterns of finite nonzero 8-byte and 4-byte reals
    CHECK(std::bit_cast<double>(gen() % 0x7FEFFFFFFFFFFFFFULL + 1), KINDS[gen() % 6]);
    CHECK(std::bit_cast<float>(static_cast<std::uint32_t>(gen() % 0x7F7FFFFFU + 1)), KINDS[gen() % 6]);
    if (i % 10 == 0) CHECK(std::bit_cast<double>(gen() % 0x000FFFFFFFFFFFFFULL + 1), KINDS[gen() % 6]);  // subnormal
  }
  for (int e = -323; e <= 308; ++e) {  // powers of ten and their neighbours
    const double p = std::strtod(("1e" + std::to_string(e)).c_str(), nullptr);
    for (double q : {std::nextafter(p, 0.0), p, std::nextafter(p, HUGE_VAL)}) for (int n : KINDS) CHECK(q, n);
  }
  // Exact ties: odd multiples of 2^-s and integers ending in 5, rounded to one digit fewer than they have.
  for (int i = 0; i < 20000; ++i) {
    const double t = std::ldexp(static_cast<double>(2 * (gen() % 262144) + 1), -static_cast<int>(gen() % 16 + 1));
    const double m = static_cast<double>((gen() % 900000000000000ULL + 1) * 10 + 5);
    for (int n = 1; n <= 17; ++n) { CHECK(t, n); CHECK(m, n); }
  }
  for (int i = -2000; i < 2000; ++i)  // every value within 2000 units of 9.99995
    for (int n : KINDS) CHECK(9.99995 + i * 0x1p-49, n);
  for (std::uint32_t i = 0; i < 1000; ++i) {  // the largest finite values of both sizes
    for (int n : KINDS) CHECK(std::bit_cast<double>(0x7FEFFFFFFFFFFFFFULL - i), n);
    for (int n : KINDS) CHECK(std::bit_cast<float>(0x7F7FFFFFU - i), n);
  }
  EXPECT_EQ(std::exchange(BAD, 0), 0);
}

// v * 10^d rounded to an integer is v rounded to k + 1 + d significant digits, k its decimal exponent.
TEST(Digits, FixedPointRounding) {
  std::mt19937_64 gen(7);
  std::uniform_real_distribution<double> decades(-3.0, 15.0);
  for (int i = 0; i < 200000; ++i) {
    const double v = std::pow(10.0, decades(gen));
    char exact[64], ref[48];
    std::snprintf(exact, sizeof exact, "%.40e", v);
    const int d = static_cast<int>(gen() % 5), k = std::atoi(std::strchr(exact, 'e') + 1), n = k + 1 + d;
    if (n < 1 || n > 16) continue;
    std::snprintf(ref, sizeof ref, "%.*e", n - 1, v);
    std::string want = ref[0] + (n > 1 ? std::string(ref + 2, n - 1) : "");
    if (std::atoi(std::strchr(ref, 'e') + 1) > k) want += '0';  // the rounding carried into a new digit
    if (FIXED(v, d) != want && ++BAD <= 5) ADD_FAILURE() << v << " d=" << d << ": " << FIXED(v, d);
  }
  EXPECT_EQ(std::exchange(BAD, 0), 0);
  // Halves and near-halves, negatives, and 16 digits at most ("big"; 999999999999999.9 is stored as ...999.875).
  const struct { double V; int D; const char* WANT; } cases[] = {
      {0.5, 0, "0"}, {0.5000000001, 0, "1"}, {1.0e-300, 0, "0"}, {0.005, 2, "1"}, {-3.5, 0, "4"}, {-0.125, 2, "12"},
      {1.0e16, 0, "big"}, {9999999999999998.0, 0, "9999999999999998"}, {999999999999999.9, 1, "9999999999999999"}};
  for (const auto& c : cases) EXPECT_EQ(FIXED(c.V, c.D), c.WANT) << c.V << " d=" << c.D;
}

// Every four-digit group, and eight digits across the split into two groups,
// as the characters "%04u" and "%08u" write, byte 0 first.
TEST(Digits, DigitGroupsAsCharacters) {
  for (std::uint32_t u = 0; u < 10000; ++u) {
    char want[8];
    std::snprintf(want, sizeof want, "%04u", u);
    const std::uint32_t word = FOUR_DIGITS(u);
    ASSERT_EQ(std::memcmp(&word, want, 4), 0) << u;
  }
  for (std::uint32_t u : {0u, 9999u, 10000u, 10001u, 12345678u, 99990000u, 99999999u}) {
    char want[12];
    std::snprintf(want, sizeof want, "%08u", u);
    const std::uint64_t word = EIGHT_DIGITS(u);
    EXPECT_EQ(std::memcmp(&word, want, 8), 0) << u;
  }
  // The low digits of a wider value, and nothing above them.
  const auto fifteen = DIGITS_WORD<15>(123456789012345ULL);
  char got[16] = {};
  std::memcpy(got, &fifteen, 16);
  EXPECT_EQ(std::string(got, 16), std::string("123456789012345") + '\0');
  EXPECT_EQ(DIGITS_WORD<3>(42), std::uint64_t{'0'} | std::uint64_t{'4'} << 8 | std::uint64_t{'2'} << 16);
}
