// exactness_check: every real field kind edited for millions of values and
// compared with the field built, by the editing rules, from the C library's
// correctly rounded digits (snprintf "%.*e"). Values: random bit patterns
// (subnormals included), exact halfway cases (short binary fractions),
// powers of ten and their neighbours, and values next to a rounding carry
// (9.99995 and the like at every decimal exponent).
//
// Usage: exactness_check [VALUES_PER_KIND]   (default 10000000). Prints one
// line per field kind and exits 1 on the first few mismatches.
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "recordio/edit/fields.h"

using namespace KOVA;

namespace {

// The digits of |v| rounded to n significant digits, and the exponent of the first.
struct REFERENCE {
  std::string DIGITS;
  int X = 0;
};

REFERENCE DIGITS_OF(double v, int n) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*e", n - 1, std::fabs(v));
  REFERENCE r;
  for (const char* p = text; *p != 'e'; ++p)
    if (*p != '.') r.DIGITS += *p;
  r.X = std::atoi(std::strchr(text, 'e') + 1);
  return r;
}

std::string RIGHT(const std::string& s, int w) {
  if (static_cast<int>(s.size()) > w) return std::string(w, '*');
  return std::string(w - s.size(), ' ') + s;
}

std::string EXPONENT_PART(int x, int digits, bool letter_always) {
  char text[16];
  const int m = std::abs(x);
  if (!letter_always && m > 99) {
    std::snprintf(text, sizeof text, "%c%03d", x < 0 ? '-' : '+', m);
  } else {
    std::snprintf(text, sizeof text, "E%c%0*d", x < 0 ? '-' : '+', digits, m);
  }
  return text;
}

// Ew.d with scale factor 0 or 1, by the written rules.
std::string E_RULE(double v, int w, int d, int scale) {
  if (v == 0.0) return RIGHT((w > d + 5 ? "0." : ".") + std::string(d, '0') + "E+00", w);
  const bool neg = std::signbit(v);
  const REFERENCE r = DIGITS_OF(v, d + scale);
  std::string body;
  if (scale == 1) {
    body = r.DIGITS.substr(0, 1) + "." + r.DIGITS.substr(1) + EXPONENT_PART(r.X, 2, false);
  } else {
    const bool zero_fits = w > d + 5 + (neg ? 1 : 0);
    body = std::string(zero_fits ? "0." : ".") + r.DIGITS + EXPONENT_PART(r.X + 1, 2, false);
  }
  return RIGHT((neg ? "-" : "") + body, w);
}

// A list-directed real with D significant digits and E exponent digits.
std::string LIST_RULE(double v, int w, int d, int e) {
  if (v == 0.0) return RIGHT("0." + std::string(d, '0') + "E+" + std::string(e, '0'), w);
  const bool neg = std::signbit(v);
  const REFERENCE r = DIGITS_OF(v, d);
  std::string body;
  if (r.X >= -1 && r.X < d) {
    const int whole = r.X + 1;
    body = (whole == 0 ? "0" : r.DIGITS.substr(0, whole)) + "." + r.DIGITS.substr(whole);
    return RIGHT((neg ? "-" : "") + body, w - e - 2) + std::string(e + 2, ' ');
  }
  const REFERENCE x = DIGITS_OF(v, d + 1);
  body = x.DIGITS.substr(0, 1) + "." + x.DIGITS.substr(1) + EXPONENT_PART(x.X, e, true);
  return RIGHT((neg ? "-" : "") + body, w);
}

using EDITOR = void (*)(char*, double);
using RULE = std::string (*)(double);

struct FIELD_KIND {
  const char* NAME;
  int W;
  bool REAL4;
  EDITOR EDIT;
  RULE WANT;
};

const FIELD_KIND KINDS[] = {
    {"1PE12.4", 12, false, E_FIELD<12, 4, 1>, [](double v) { return E_RULE(v, 12, 4, 1); }},
    {"E12.6", 12, false, E_FIELD<12, 6, 0>, [](double v) { return E_RULE(v, 12, 6, 0); }},
    {"1PE13.6 (4-byte)", 13, true, E_FIELD<13, 6, 1>, [](double v) { return E_RULE(v, 13, 6, 1); }},
    {"list 4-byte", 15, true, LIST_REAL<15, 7, 2>, [](double v) { return LIST_RULE(v, 15, 7, 2); }},
    {"list 8-byte", 24, false, LIST_REAL<24, 15, 3>, [](double v) { return LIST_RULE(v, 24, 15, 3); }},
};

// The i-th test value: a mix of the value families named at the top.
double VALUE(std::mt19937_64& gen, std::uint64_t i) {
  const std::uint64_t bits = gen();
  switch (i % 5) {
    case 0:  // any finite bit pattern
      return std::isfinite(std::bit_cast<double>(bits)) ? std::bit_cast<double>(bits) : 1.5;
    case 1:  // short binary fractions: exact halfway cases
      return std::ldexp(static_cast<double>(static_cast<std::int64_t>(bits % 4000001) - 2000000),
                        -static_cast<int>((bits >> 32) % 40));
    case 2: {  // powers of ten and their neighbours
      const double p = std::pow(10.0, static_cast<int>(bits % 600) - 300);
      const int step = static_cast<int>((bits >> 20) % 5) - 2;
      double v = p;
      for (int k = 0; k < std::abs(step); ++k) v = std::nextafter(v, step < 0 ? 0.0 : HUGE_VAL);
      return (bits >> 63) ? -v : v;
    }
    case 3: {  // next to a carry: 9.99...95 at every exponent and digit count
      const int digits = 4 + static_cast<int>(bits % 14);
      const double base = 10.0 - 5.0 * std::pow(10.0, -digits);
      const double v = base * std::pow(10.0, static_cast<int>((bits >> 8) % 80) - 40);
      const int step = static_cast<int>((bits >> 40) % 3) - 1;
      return step == 0 ? v : std::nextafter(v, step < 0 ? 0.0 : HUGE_VAL);
    }
    default:  // subnormals
      return std::bit_cast<double>(bits & 0x800FFFFFFFFFFFFFULL);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const std::uint64_t count = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 10000000;
  int bad = 0;
  for (const FIELD_KIND& k : KINDS) {
    std::mt19937_64 gen(20261207);
    std::uint64_t checked = 0;
    for (std::uint64_t i = 0; i < count; ++i) {
      double v = VALUE(gen, i);
      if (k.REAL4) v = static_cast<float>(v);
      if (!std::isfinite(v)) continue;
      char field[32];
      k.EDIT(field, v);
      const std::string got(field, static_cast<std::size_t>(k.W));
      const std::string want = k.WANT(v);
      ++checked;
      if (got != want && ++bad <= 10)
        std::printf("%s of %a: \"%s\", rules give \"%s\"\n", k.NAME, v, got.c_str(), want.c_str());
    }
    std::printf("%-18s %llu values checked\n", k.NAME, static_cast<unsigned long long>(checked));
  }
  std::printf(bad == 0 ? "all fields as the rules give them\n" : "%d mismatches\n", bad);
  return bad == 0 ? 0 : 1;
}
