// Formatted write statements: field editing by descriptor and the walk of a
// FORMAT (literals after the last item, record breaks, reversion).
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "recordio/format.h"
#include "tests/record_notation.h"

namespace {

std::string RUN(const FORMAT& F, std::initializer_list<ITEM> items) {
  OUTPUT o;
  OUTPUT_ATTACH(o, 8, -1);
  FORMATTED_STATEMENT(o, F, std::span<const ITEM>(items.begin(), items.size()));
  return o.MEMORY;
}

// One item under F per entry, each in a statement of its own.
struct FIELD { ITEM V; std::string_view WANT; };

void CHECK_FIELDS(const FORMAT& F, std::initializer_list<FIELD> fields) {
  for (const FIELD& f : fields) EXPECT_EQ(RUN(F, {f.V}), RECORDS(f.WANT));
}

constexpr double INF = std::numeric_limits<double>::infinity();

}  // namespace

TEST(FormattedFields, IntegersTextAndWrongKinds) {
  EXPECT_EQ(RUN(PARSE_FORMAT("(I5,I2,I6,I5,I5,I2)"),
                {ITEM_I(-1), ITEM_I(-1), ITEM_I(100), ITEM_I(0), ITEM_I(123456), ITEM_I(-10)}),
            RECORDS("···-1-1···100····0*******"));
  EXPECT_EQ(RUN(PARSE_FORMAT("(I11,I10)"), {ITEM_I(INT32_MIN), ITEM_I(INT32_MIN)}), RECORDS("-2147483648**********"));
  static constexpr FORMAT SECTION = PARSE_FORMAT("(A4,TR4,A11)");
  EXPECT_EQ(RUN(SECTION, {ITEM_T("GRID"), ITEM_T("(I6,3E12.0)")}), RECORDS("GRID····(I6,3E12.0)"));
  EXPECT_EQ(RUN(SECTION, {ITEM_T("CONC"), ITEM_T("(8I6)")}), RECORDS("CONC··········(8I6)"));
  EXPECT_EQ(RUN(PARSE_FORMAT("(A4,A,A3)"), {ITEM_T("ABCDEFG"), ITEM_T("\x93\xFA\x96\x7B"), ITEM_T("x")}),
            RECORDS("ABCD\x93\xFA\x96\x7B··x"));
  // An item of the wrong kind for its descriptor fills the field with asterisks.
  EXPECT_EQ(RUN(PARSE_FORMAT("(I5,E12.4,A3,F4.0)"), {ITEM_R8(1.0), ITEM_I(1), ITEM_I(2), ITEM_T("x")}),
            RECORDS("************************"));
}

TEST(FormattedFields, ExponentForms) {
  EXPECT_EQ(RUN(PARSE_FORMAT("(I6,3E12.6)"), {ITEM_I(1), ITEM_R8(10.0), ITEM_R8(-2.5), ITEM_R8(0.0)}),
            RECORDS("·····10.100000E+02-.250000E+010.000000E+00"));
  // The leading "0" goes first when room is short, then the whole field.
  EXPECT_EQ(RUN(PARSE_FORMAT("(E11.6,E11.6,E11.6,E10.6)"), {ITEM_R8(1.0), ITEM_R8(0.0), ITEM_R8(-1.0), ITEM_R8(0.0)}),
            RECORDS(".100000E+01.000000E+00*********************"));
  EXPECT_EQ(RUN(PARSE_FORMAT("(1PE10.4,1PE10.4)"), {ITEM_R8(1.0), ITEM_R8(-1.0)}), RECORDS("1.0000E+00**********"));
  // Three-digit exponents drop the letter; 9.9999996E+99 carries into one.
  CHECK_FIELDS(PARSE_FORMAT("(E12.6)"), {{ITEM_R8(1.0e100), "0.100000+101"}, {ITEM_R8(9.9999996e99), "0.100000+101"},
                                          {ITEM_R8(1.0e-100), "0.100000E-99"}, {ITEM_R8(-1.0e-101), "-.100000-100"},
                                          {ITEM_R8(-0.0), "0.000000E+00"}});
  CHECK_FIELDS(PARSE_FORMAT("(1PE13.6)"), {{ITEM_R8(12.5), "·1.250000E+01"}, {ITEM_R8(-0.001), "-1.000000E-03"},
                                            {ITEM_R8(-0.0), "·0.000000E+00"}});
  CHECK_FIELDS(PARSE_FORMAT("(1PE12.4)"),
               {{ITEM_R8(12.5), "··1.2500E+01"}, {ITEM_R8(-12.5), "·-1.2500E+01"},
                {ITEM_R8(1.0e-100), "··1.0000-100"}, {ITEM_R8(0.0), "··0.0000E+00"},
                {ITEM_R8(4.9406564584124654e-324), "··4.9407-324"},
                // Halfway cases go to the even digit; a carry raises the exponent.
                {ITEM_R8(1.03125), "··1.0312E+00"}, {ITEM_R8(1.09375), "··1.0938E+00"},
                {ITEM_R8(9.99994), "··9.9999E+00"}, {ITEM_R8(9.99996), "··1.0000E+01"},
                {ITEM_R8(9.99995), "··1.0000E+01"},
                // A 4-byte item is edited from its own exact value: 4-byte 1.00005 lies below it.
                {ITEM_R4(1.00005F), "··1.0000E+00"}, {ITEM_R8(1.00005), "··1.0001E+00"}});
}

TEST(FormattedFields, FixedPointAndNonFinite) {
  CHECK_FIELDS(PARSE_FORMAT("(F12.0)"),
               {{ITEM_R8(3600.0), "·······3600."}, {ITEM_R8(2.5), "··········2."}, {ITEM_R8(3.5), "··········4."},
                {ITEM_R8(-3.5), "·········-4."}, {ITEM_R8(0.0), "··········0."},
                {ITEM_R8(-0.4), "··········0."},  // no sign on a rounded zero
                {ITEM_R8(99999999999.0), "99999999999."}, {ITEM_R8(99999999999.5), "************"},
                {ITEM_R8(1.0e300), "************"}});
  EXPECT_EQ(RUN(PARSE_FORMAT("(F5.2,F5.2,F5.2,F4.2,F4.2,F5.1,F5.1)"),
                {ITEM_R8(0.125), ITEM_R8(0.375), ITEM_R8(-0.5), ITEM_R8(-0.5), ITEM_R8(-0.001), ITEM_R8(0.05),
                 ITEM_R8(0.25)}),
            RECORDS("·0.12·0.38-0.50-.500.00··0.1··0.2"));
  EXPECT_EQ(RUN(PARSE_FORMAT("(1PE12.4,E12.6,F12.0,E8.1,E8.1)"),
                {ITEM_R8(INF), ITEM_R4(-std::numeric_limits<float>::infinity()),
                 ITEM_R8(std::numeric_limits<double>::quiet_NaN()), ITEM_R8(INF), ITEM_R8(-INF)}),
            RECORDS("····Infinity···-Infinity·········NaNInfinity********"));
}

TEST(FormattedStatement, RecordsLiteralsAndReversion) {
  EXPECT_EQ(RUN(PARSE_FORMAT("(1PE12.4,6(',',1PE12.4))"),
                {ITEM_R8(10.0), ITEM_R8(-2.5), ITEM_R8(12.3456), ITEM_R8(0.0), ITEM_R8(0.0), ITEM_R8(0.0)}),
            RECORDS("··1.0000E+01,·-2.5000E+00,··1.2346E+01,··0.0000E+00,··0.0000E+00,··0.0000E+00,"));
  EXPECT_EQ(RUN(PARSE_FORMAT("(8(I8,TR2))"),
                {ITEM_I(0), ITEM_I(1), ITEM_I(3), ITEM_I(0), ITEM_I(0), ITEM_I(0), ITEM_I(0), ITEM_I(0)}),
            RECORDS("·······0·········1·········3·········0·········0·········0·········0·········0"));
  EXPECT_EQ(RUN(PARSE_FORMAT("(2(I8,TR2),F12.0)"), {ITEM_I(3), ITEM_I(1), ITEM_R8(3600.0)}),
            RECORDS("·······3·········1·········3600."));
  EXPECT_EQ(RUN(PARSE_FORMAT("(6(E12.6,TR1))"), {ITEM_R8(0.5)}), RECORDS("0.500000E+00"));
  // '/' ends a record; literals behind the last item are written up to the
  // next data descriptor, and TRn adds nothing unless something follows.
  EXPECT_EQ(RUN(PARSE_FORMAT("(/,/,'   <<<<<  OK! OK!  NORMAL TERMINATION  >>>>> ')"), {}),
            RECORDS("\n\n···<<<<<··OK!·OK!··NORMAL·TERMINATION··>>>>>·"));
  EXPECT_EQ(RUN(PARSE_FORMAT("('ELEM-GROUP 0 ')"), {}), RECORDS("ELEM-GROUP·0·"));
  EXPECT_EQ(RUN(PARSE_FORMAT("('*it''s')"), {}), RECORDS("*it's"));
  EXPECT_EQ(RUN(PARSE_FORMAT("(I5)"), {}), RECORDS(""));
  static constexpr FORMAT AFTER = PARSE_FORMAT("(I2,' end',TR3,I3,'x')");
  EXPECT_EQ(RUN(AFTER, {ITEM_I(1)}), RECORDS("·1·end"));
  EXPECT_EQ(RUN(AFTER, {ITEM_I(1), ITEM_I(2)}), RECORDS("·1·end·····2x"));
  // Reversion: back to the rightmost top-level group with its full count, or
  // to the start without a group; the scale factor keeps its value.
  EXPECT_EQ(RUN(PARSE_FORMAT("(I3,2(',',I2))"),
                {ITEM_I(1), ITEM_I(2), ITEM_I(3), ITEM_I(4), ITEM_I(5), ITEM_I(6), ITEM_I(7)}),
            RECORDS("··1,·2,·3\n,·4,·5\n,·6,·7"));
  EXPECT_EQ(RUN(PARSE_FORMAT("(2I3)"), {ITEM_I(1), ITEM_I(2), ITEM_I(3)}), RECORDS("··1··2\n··3"));
  EXPECT_EQ(RUN(PARSE_FORMAT("(1PE10.3,2(E10.3))"), {ITEM_R8(1), ITEM_R8(2), ITEM_R8(3), ITEM_R8(4), ITEM_R8(5)}),
            RECORDS("·1.000E+00·2.000E+00·3.000E+00\n·4.000E+00·5.000E+00"));
  EXPECT_EQ(RUN(PARSE_FORMAT("(2(I1,2(':',I1)),';')"),
                {ITEM_I(1), ITEM_I(2), ITEM_I(3), ITEM_I(4), ITEM_I(5), ITEM_I(6)}),
            RECORDS("1:2:34:5:6;"));
  // A FORMAT that cannot take the items left ends the statement instead of looping.
  EXPECT_EQ(RUN(PARSE_FORMAT("('abc')"), {ITEM_I(1)}), RECORDS("abc"));
  // A record longer than the record buffer is cut, not overrun.
  EXPECT_EQ(RUN(PARSE_FORMAT("(A,TR10,A5)"), {ITEM_T(std::string(5000, 'x')), ITEM_T("tail")}),
            std::string(4096, 'x') + "\r\n");
  // Columns skipped past the buffer's end by TR are blanks, never stale bytes.
  EXPECT_EQ(RUN(PARSE_FORMAT("(A2,TR5000,A1)"), {ITEM_T("ab"), ITEM_T("c")}),
            "ab" + std::string(4094, ' ') + "\r\n");
}
