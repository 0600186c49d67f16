// Formatted write statements: field editing by descriptor and the walk of a
// FORMAT (literals after the last item, record breaks, reversion). Single fields
// of the descriptors the writers use are in statement_test.cpp, both ways.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "recordio/edit/format.h"
#include "recordio/records/formatted.h"
#include "tests/record_notation.h"

using namespace KOVA;

namespace {

std::string RUN(const FORMAT& F, std::initializer_list<ITEM> items) {
  OUTPUT o;
  OUTPUT_ATTACH(o, 8, -1);
  FORMATTED_STATEMENT(o, F, std::span<const ITEM>(items.begin(), items.size()));
  return o.MEMORY;
}

constexpr double INF = std::numeric_limits<double>::infinity();

}  // namespace

TEST(FormattedFields, IntegersTextAndWrongKinds) {
  EXPECT_EQ(RUN(PARSE_FORMAT("(I5,I2,I6,I5,I5,I2)"),
                {ITEM_I(-1), ITEM_I(-1), ITEM_I(100), ITEM_I(0), ITEM_I(123456), ITEM_I(-10)}),
            RECORDS("···-1-1···100····0*******"));
  EXPECT_EQ(RUN(PARSE_FORMAT("(I11,I10)"), {ITEM_I(INT32_MIN), ITEM_I(INT32_MIN)}), RECORDS("-2147483648**********"));
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
}

TEST(FormattedFields, FixedPointAndNonFinite) {
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
  EXPECT_EQ(RUN(PARSE_FORMAT("(8(I8,TR2))"),
                {ITEM_I(0), ITEM_I(1), ITEM_I(3), ITEM_I(0), ITEM_I(0), ITEM_I(0), ITEM_I(0), ITEM_I(0)}),
            RECORDS("·······0·········1·········3·········0·········0·········0·········0·········0"));
  EXPECT_EQ(RUN(PARSE_FORMAT("(6(E12.6,TR1))"), {ITEM_R8(0.5)}), RECORDS("0.500000E+00"));
  // Literals with no item to edit are written up to the first data descriptor.
  EXPECT_EQ(RUN(PARSE_FORMAT("('ELEM-GROUP 0 ')"), {}), RECORDS("ELEM-GROUP·0·"));
  EXPECT_EQ(RUN(PARSE_FORMAT("('*it''s')"), {}), RECORDS("*it's"));
  EXPECT_EQ(RUN(PARSE_FORMAT("(I5)"), {}), RECORDS(""));
  // Reversion: back to the rightmost top-level group with its full count, or
  // to the start without a group; the scale factor keeps its value.
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
