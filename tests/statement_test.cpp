// Statements laid out at compile time: their fields by the editing rules, and
// the same records as the general statement walk for the same FORMAT and items,
// in memory and through a unit buffer that fills and is written out.
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <random>
#include <string>

#include "recordio/records/formatted.h"
#include "recordio/records/list.h"
#include "recordio/records/statement.h"
#include "tests/e2e_support.h"
#include "tests/record_notation.h"

using namespace KOVA;

namespace {

using namespace std::string_view_literals;

template <const FORMAT& F, typename... T>
std::string LAID_OUT(const T&... items) {
  OUTPUT o;
  OUTPUT_ATTACH(o, 8, -1);
  WRITE_STATEMENT<F>(o, items...);
  return o.MEMORY;
}

ITEM AS_ITEM(std::int32_t v) { return ITEM_I(v); }
ITEM AS_ITEM(float v) { return ITEM_R4(v); }
ITEM AS_ITEM(double v) { return ITEM_R8(v); }
ITEM AS_ITEM(std::string_view v) { return ITEM_T(v); }

template <typename... T>
std::string WALKED(const FORMAT& F, const T&... items) {
  OUTPUT o;
  OUTPUT_ATTACH(o, 8, -1);
  const ITEM list[] = {AS_ITEM(items)..., ITEM_I(0)};
  FORMATTED_STATEMENT(o, F, std::span<const ITEM>(list, sizeof...(T)));
  return o.MEMORY;
}

// The records of the statement laid out at compile time and of the general walk.
template <const FORMAT& F, typename... T>
std::array<std::string, 2> BOTH(const T&... items) { return {LAID_OUT<F>(items...), WALKED(F, items...)}; }

constexpr FORMAT P12_4 = PARSE_FORMAT("(1PE12.4)");
constexpr FORMAT E12_6 = PARSE_FORMAT("(E12.6)");
constexpr FORMAT P13_6 = PARSE_FORMAT("(1PE13.6)");
constexpr FORMAT E10_3 = PARSE_FORMAT("(E10.3)");
constexpr FORMAT E15_8 = PARSE_FORMAT("(E15.8)");
constexpr FORMAT P10_2 = PARSE_FORMAT("(1PE10.2)");
constexpr FORMAT F12_0 = PARSE_FORMAT("(F12.0)");
constexpr FORMAT I2 = PARSE_FORMAT("(I2)");
constexpr FORMAT I5 = PARSE_FORMAT("(I5)");
constexpr FORMAT I7 = PARSE_FORMAT("(I7)");
constexpr FORMAT I12 = PARSE_FORMAT("(I12)");
constexpr FORMAT SECTION = PARSE_FORMAT("(A4,TR4,A11)");
constexpr FORMAT POINT = PARSE_FORMAT("(1PE12.4,6(',',1PE12.4))");
constexpr FORMAT REVERTS = PARSE_FORMAT("(I3,2(',',I2))");
constexpr FORMAT BREAKS = PARSE_FORMAT("(/,/,'   <<<<<  OK! OK!  NORMAL TERMINATION  >>>>> ')");
constexpr FORMAT AFTER = PARSE_FORMAT("(I2,' end',TR3,I3,'x')");
constexpr FORMAT STEP = PARSE_FORMAT("(2(I8,TR2),F12.0)");

}  // namespace

// Fields edited by descriptor, both ways. Halfway cases go to the even digit, a carry
// raises the exponent, three-digit exponents drop the letter, a 4-byte item is edited
// from its own exact value (4-byte 1.00005 lies below it), a rounded zero has no sign.
// Literals behind the last item are written up to the next data descriptor, TRn adds
// nothing unless something follows; reversion goes back to the rightmost group.
TEST(LaidOutStatement, FieldsFollowTheEditingRules) {
  const struct { std::array<std::string, 2> GOT; std::string_view WANT; } cases[] = {
      {BOTH<P12_4>(12.5), "··1.2500E+01"}, {BOTH<P12_4>(-12.5), "·-1.2500E+01"},
      {BOTH<P12_4>(1.0e-100), "··1.0000-100"}, {BOTH<P12_4>(0.0), "··0.0000E+00"},
      {BOTH<P12_4>(-0.0), "··0.0000E+00"}, {BOTH<P12_4>(0x1p-1074), "··4.9407-324"},
      {BOTH<P12_4>(1.03125), "··1.0312E+00"}, {BOTH<P12_4>(1.09375), "··1.0938E+00"},
      {BOTH<P12_4>(9.99994), "··9.9999E+00"}, {BOTH<P12_4>(9.99996), "··1.0000E+01"},
      {BOTH<P12_4>(9.99995), "··1.0000E+01"}, {BOTH<P12_4>(1.00005F), "··1.0000E+00"},
      {BOTH<P12_4>(1.00005), "··1.0001E+00"},
      {BOTH<E12_6>(10.0), "0.100000E+02"}, {BOTH<E12_6>(-2.5), "-.250000E+01"},
      {BOTH<E12_6>(1.0e100), "0.100000+101"}, {BOTH<E12_6>(9.9999996e99), "0.100000+101"},
      {BOTH<E12_6>(1.0e-100), "0.100000E-99"}, {BOTH<E12_6>(-1.0e-101), "-.100000-100"},
      {BOTH<E12_6>(0.0), "0.000000E+00"}, {BOTH<E12_6>(-0.0), "0.000000E+00"},
      {BOTH<P13_6>(12.5), "·1.250000E+01"}, {BOTH<P13_6>(-0.001), "-1.000000E-03"},
      {BOTH<P13_6>(-0.0), "·0.000000E+00"}, {BOTH<P13_6>(-0.0F), "·0.000000E+00"},
      {BOTH<P13_6>(-std::numeric_limits<double>::infinity()), "····-Infinity"},
      {BOTH<F12_0>(3600.0), "·······3600."}, {BOTH<F12_0>(2.5), "··········2."},
      {BOTH<F12_0>(3.5), "··········4."}, {BOTH<F12_0>(-3.5), "·········-4."},
      {BOTH<F12_0>(0.0), "··········0."}, {BOTH<F12_0>(-0.4), "··········0."},
      {BOTH<F12_0>(99999999999.0), "99999999999."}, {BOTH<F12_0>(99999999999.5), "************"},
      {BOTH<F12_0>(1.0e300), "************"},
      {BOTH<I5>(-1), "···-1"}, {BOTH<I5>(0), "····0"}, {BOTH<I5>(123456), "*****"},
      {BOTH<I5>(-9999), "-9999"}, {BOTH<I5>(-10000), "*****"}, {BOTH<I2>(-1), "-1"},
      {BOTH<I2>(-10), "**"}, {BOTH<I7>(-1234), "··-1234"}, {BOTH<I7>(-123456), "-123456"},
      {BOTH<I12>(99999999), "····99999999"}, {BOTH<I12>(-2147483647 - 1), "·-2147483648"},
      {BOTH<SECTION>("GRID"sv, "(I6,3E12.0)"sv), "GRID····(I6,3E12.0)"},
      {BOTH<SECTION>("CONCRETE"sv, "(8I6)"sv), "CONC··········(8I6)"},
      {BOTH<STEP>(3, 1, 3600.0), "·······3·········1·········3600."},
      {BOTH<POINT>(10.0, -2.5, 12.3456, 0.0, 0.0, 0.0),
       "··1.0000E+01,·-2.5000E+00,··1.2346E+01,··0.0000E+00,··0.0000E+00,··0.0000E+00,"},
      {BOTH<REVERTS>(1, 2, 3, 4, 5, 6, 7), "··1,·2,·3\n,·4,·5\n,·6,·7"},
      {BOTH<BREAKS>(), "\n\n···<<<<<··OK!·OK!··NORMAL·TERMINATION··>>>>>·"},
      {BOTH<AFTER>(1), "·1·end"}, {BOTH<AFTER>(1, 2), "·1·end·····2x"},
  };
  for (const auto& c : cases)
    for (int way : {0, 1}) EXPECT_EQ(c.GOT[way], RECORDS(c.WANT)) << (way == 0 ? "laid out" : "walked");
}

// Random bit patterns (subnormals, NaN and the infinities among them),
// decimal values with few digits (carries among them) and short binary
// fractions (exact halfway cases among them).
TEST(LaidOutStatement, SameFieldsAsTheGeneralWalk) {
  std::mt19937_64 gen(7);
  int bad = 0;
  auto same = [&](const std::string& a, const std::string& b, double v) {
    if (a != b && ++bad <= 5) ADD_FAILURE() << std::hexfloat << v << ": " << a << " != " << b;
  };
  for (int i = 0; i < 200000; ++i) {
    const std::uint64_t bits = gen();
    const double mantissa = static_cast<double>(static_cast<std::int64_t>(bits % 2000001) - 1000000);
    const double v = i % 3 == 0   ? std::bit_cast<double>(bits)
                     : i % 3 == 1 ? mantissa * std::pow(10.0, static_cast<int>(bits >> 40) % 16 - 12)
                                  : std::ldexp(mantissa, -static_cast<int>(bits >> 59));
    const auto f = static_cast<float>(v);
    same(LAID_OUT<P12_4>(v), WALKED(P12_4, v), v);
    same(LAID_OUT<E12_6>(v), WALKED(E12_6, v), v);
    same(LAID_OUT<P13_6>(f), WALKED(P13_6, f), v);
    // Other widths, where the optional zero and the sign compete for room.
    same(LAID_OUT<E10_3>(-std::fabs(v)), WALKED(E10_3, -std::fabs(v)), v);
    same(LAID_OUT<E15_8>(-std::fabs(v)), WALKED(E15_8, -std::fabs(v)), v);
    same(LAID_OUT<P10_2>(-std::fabs(f)), WALKED(P10_2, -std::fabs(f)), v);
    const auto n = static_cast<std::int32_t>(bits >> (bits % 40));
    same(LAID_OUT<I5>(n % 200000), WALKED(I5, n % 200000), n);
    same(LAID_OUT<I7>(n), WALKED(I7, n), n);
  }
}

namespace {

// A file unit beside a memory unit, to be given the same statements.
struct FILE_AND_MEMORY {
  const e2e::SCRATCH S;
  const OPENED OPENED_FILE = SYS_OPEN_FILE((S.DIR / "unit").string(), true);
  OUTPUT FILE, MEMORY;
  FILE_AND_MEMORY() {
    OUTPUT_ATTACH(FILE, 8, OPENED_FILE.FD);
    OUTPUT_ATTACH(MEMORY, 8, NO_FILE);
  }
  ~FILE_AND_MEMORY() { SYS_CLOSE(OPENED_FILE.FD); }
  // What the file holds once its buffer is written out.
  std::string WRITTEN() {
    OUTPUT_FLUSH(FILE);
    return S.READ("unit");
  }
};

}  // namespace

// Value lines through one cursor, then laid-out statements: the file unit's former,
// longer contents are cut at the first record, the buffer fills and is written out
// (records cross no flush, none is lost), and the file ends up with the records a
// memory unit (no room: every record the general way) gets from the same statements.
TEST(LaidOutStatement, RecordsGoThroughAFillingBufferWhole) {
  FILE_AND_MEMORY units;
  ASSERT_EQ(units.OPENED_FILE.FAULT, OPEN_FAULT::NONE);
  ASSERT_EQ(SYS_WRITE(units.OPENED_FILE.FD, std::string(3 << 20, 'x')), 0);
  units.FILE.CUT_PENDING = true;
  for (OUTPUT* o : {&units.FILE, &units.MEMORY}) {
    RECORD_CURSOR cursor = CURSOR_ON(*o);
    for (std::int32_t i = 1; i <= 60000; ++i) {  // 1.86 MB: more than one buffer
      WRITE_LIST_ITEMS(cursor, i, ","sv, static_cast<float>(i) * 0.5F);
    }
    WRITE_LIST_ITEMS(*o, -1, ","sv, 0.0F);
    for (int i = 0; i < 20000; ++i) {  // 1.7 MB more
      const double v = i * 0.37 - 1000.0;
      WRITE_STATEMENT<POINT>(*o, v, -v, v * 1e-9, 0.0, v * v, 1.0 / (i + 1));
      WRITE_LIST_ITEMS(*o, i, ","sv, static_cast<float>(v));
    }
  }
  const std::string written = units.WRITTEN();
  EXPECT_TRUE(written == units.MEMORY.MEMORY);
  EXPECT_EQ(written.substr(0, 31), RECORDS("···········1·,··0.5000000····"));
  EXPECT_EQ(written.substr(59999 * 31, 62),
            RECORDS("·······60000·,···30000.00····\n··········-1·,··0.0000000E+00"));
}
