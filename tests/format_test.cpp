// Formatted write statements: field editing by descriptor and the walk of a
// FORMAT (literals after the last item, record breaks, reversion).
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "recordio/format.h"

namespace {

// Expected records are written with "·" for each blank that matters; R() adds
// the record ending.
std::string R(std::string_view s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    const bool dot = s.compare(i, 2, "\xC2\xB7") == 0;
    out += dot ? ' ' : s[i];
    i += dot ? 1 : 0;
  }
  return out + "\r\n";
}

std::string RUN(const FORMAT& F, std::initializer_list<ITEM> items) {
  OUTPUT o;
  OUTPUT_ATTACH(o, 8, -1);
  FORMATTED_STATEMENT(o, F, std::span<const ITEM>(items.begin(), items.size()));
  return o.MEMORY;
}

constexpr double INF = std::numeric_limits<double>::infinity();

}  // namespace

TEST(FormattedFields, IntegersAndText) {
  static constexpr FORMAT I = PARSE_FORMAT("(I5,I2,I6,I5,I5,I2)");
  EXPECT_EQ(RUN(I, {ITEM_I(-1), ITEM_I(-1), ITEM_I(100), ITEM_I(0), ITEM_I(123456), ITEM_I(-10)}),
            R("···-1-1···100····0*******"));
  static constexpr FORMAT LIMITS = PARSE_FORMAT("(I11,I10)");
  EXPECT_EQ(RUN(LIMITS, {ITEM_I(INT32_MIN), ITEM_I(INT32_MIN)}), R("-2147483648**********"));
  static constexpr FORMAT SECTION = PARSE_FORMAT("(A4,TR4,A11)");
  EXPECT_EQ(RUN(SECTION, {ITEM_T("GRID"), ITEM_T("(I6,3E12.0)")}), R("GRID····(I6,3E12.0)"));
  EXPECT_EQ(RUN(SECTION, {ITEM_T("CONC"), ITEM_T("(8I6)")}), R("CONC··········(8I6)"));
  static constexpr FORMAT TEXT = PARSE_FORMAT("(A4,A,A3)");
  EXPECT_EQ(RUN(TEXT, {ITEM_T("ABCDEFG"), ITEM_T("\x93\xFA\x96\x7B"), ITEM_T("x")}),
            R("ABCD\x93\xFA\x96\x7B··x"));
}

TEST(FormattedFields, ExponentForm) {
  static constexpr FORMAT NODE = PARSE_FORMAT("(I6,3E12.6)");
  EXPECT_EQ(RUN(NODE, {ITEM_I(1), ITEM_R8(10.0), ITEM_R8(-2.5), ITEM_R8(0.0)}),
            R("·····10.100000E+02-.250000E+010.000000E+00"));
  // Three-digit exponents drop the letter; 9.9999996E+99 carries into one.
  static constexpr FORMAT E = PARSE_FORMAT("(E12.6)");
  EXPECT_EQ(RUN(E, {ITEM_R8(1.0e100)}), R("0.100000+101"));
  EXPECT_EQ(RUN(E, {ITEM_R8(9.9999996e99)}), R("0.100000+101"));
  EXPECT_EQ(RUN(E, {ITEM_R8(1.0e-100)}), R("0.100000E-99"));
  EXPECT_EQ(RUN(E, {ITEM_R8(-1.0e-101)}), R("-.100000-100"));
  EXPECT_EQ(RUN(E, {ITEM_R8(-0.0)}), R("0.000000E+00"));
  // The leading "0" goes first when room is short, then the whole field.
  static constexpr FORMAT NARROW = PARSE_FORMAT("(E11.6,E11.6,E11.6,E10.6)");
  EXPECT_EQ(RUN(NARROW, {ITEM_R8(1.0), ITEM_R8(0.0), ITEM_R8(-1.0), ITEM_R8(0.0)}),
            R(".100000E+01.000000E+00*********************"));
  static constexpr FORMAT P = PARSE_FORMAT("(1PE12.4)");
  static constexpr FORMAT P13 = PARSE_FORMAT("(1PE13.6)");
  EXPECT_EQ(RUN(P, {ITEM_R8(12.5)}), R("··1.2500E+01"));
  EXPECT_EQ(RUN(P, {ITEM_R8(-12.5)}), R("·-1.2500E+01"));
  EXPECT_EQ(RUN(P13, {ITEM_R8(12.5)}), R("·1.250000E+01"));
  EXPECT_EQ(RUN(P13, {ITEM_R8(-0.001)}), R("-1.000000E-03"));
  EXPECT_EQ(RUN(P, {ITEM_R8(1.0e-100)}), R("··1.0000-100"));
  EXPECT_EQ(RUN(P, {ITEM_R8(0.0)}), R("··0.0000E+00"));
  EXPECT_EQ(RUN(P13, {ITEM_R8(-0.0)}), R("·0.000000E+00"));
  // Halfway cases go to the even digit; a carry raises the exponent.
  EXPECT_EQ(RUN(P, {ITEM_R8(1.03125)}), R("··1.0312E+00"));
  EXPECT_EQ(RUN(P, {ITEM_R8(1.09375)}), R("··1.0938E+00"));
  EXPECT_EQ(RUN(P, {ITEM_R8(123465.0)}), R("··1.2346E+05"));
  EXPECT_EQ(RUN(P, {ITEM_R8(9.99994)}), R("··9.9999E+00"));
  EXPECT_EQ(RUN(P, {ITEM_R8(9.99996)}), R("··1.0000E+01"));
  EXPECT_EQ(RUN(P, {ITEM_R8(9.99995)}), R("··1.0000E+01"));
  // A 4-byte item is edited from its own exact value: 4-byte 1.00005 lies below it.
  EXPECT_EQ(RUN(P, {ITEM_R4(1.00005F)}), R("··1.0000E+00"));
  EXPECT_EQ(RUN(P, {ITEM_R8(1.00005)}), R("··1.0001E+00"));
  EXPECT_EQ(RUN(P, {ITEM_R8(4.9406564584124654e-324)}), R("··4.9407-324"));
  static constexpr FORMAT P10 = PARSE_FORMAT("(1PE10.4,1PE10.4)");
  EXPECT_EQ(RUN(P10, {ITEM_R8(1.0), ITEM_R8(-1.0)}), R("1.0000E+00**********"));
}

TEST(FormattedFields, FixedPoint) {
  static constexpr FORMAT F = PARSE_FORMAT("(F12.0)");
  EXPECT_EQ(RUN(F, {ITEM_R8(3600.0)}), R("·······3600."));
  EXPECT_EQ(RUN(F, {ITEM_R8(2.5)}), R("··········2."));
  EXPECT_EQ(RUN(F, {ITEM_R8(3.5)}), R("··········4."));
  EXPECT_EQ(RUN(F, {ITEM_R8(-3.5)}), R("·········-4."));
  EXPECT_EQ(RUN(F, {ITEM_R8(0.0)}), R("··········0."));
  EXPECT_EQ(RUN(F, {ITEM_R8(-0.4)}), R("··········0."));  // no sign on a rounded zero
  EXPECT_EQ(RUN(F, {ITEM_R8(99999999999.0)}), R("99999999999."));
  EXPECT_EQ(RUN(F, {ITEM_R8(99999999999.5)}), R("************"));
  EXPECT_EQ(RUN(F, {ITEM_R8(1.0e300)}), R("************"));
  static constexpr FORMAT FRACTIONS = PARSE_FORMAT("(F5.2,F5.2,F5.2,F4.2,F4.2,F5.1,F5.1)");
  EXPECT_EQ(RUN(FRACTIONS, {ITEM_R8(0.125), ITEM_R8(0.375), ITEM_R8(-0.5), ITEM_R8(-0.5),
                            ITEM_R8(-0.001), ITEM_R8(0.05), ITEM_R8(0.25)}),
            R("·0.12·0.38-0.50-.500.00··0.1··0.2"));
}

TEST(FormattedFields, NonFiniteAndMismatchedItems) {
  static constexpr FORMAT F = PARSE_FORMAT("(1PE12.4,E12.6,F12.0,E8.1,E8.1)");
  EXPECT_EQ(RUN(F, {ITEM_R8(INF), ITEM_R4(-std::numeric_limits<float>::infinity()),
                    ITEM_R8(std::numeric_limits<double>::quiet_NaN()), ITEM_R8(INF), ITEM_R8(-INF)}),
            R("····Infinity···-Infinity·········NaNInfinity********"));
  // An item of the wrong kind for its descriptor fills the field with asterisks.
  static constexpr FORMAT MIXED = PARSE_FORMAT("(I5,E12.4,A3,F4.0)");
  EXPECT_EQ(RUN(MIXED, {ITEM_R8(1.0), ITEM_I(1), ITEM_I(2), ITEM_T("x")}), R("************************"));
}

TEST(FormattedStatement, WriterRecords) {
  static constexpr FORMAT POINT = PARSE_FORMAT("(1PE12.4,6(',',1PE12.4))");
  EXPECT_EQ(RUN(POINT, {ITEM_R8(1.0), ITEM_R8(-2.5), ITEM_R8(0.0), ITEM_R8(12.5), ITEM_R8(1.03125),
                        ITEM_R8(9.99996)}),
            R("··1.0000E+00,·-2.5000E+00,··0.0000E+00,··1.2500E+01,··1.0312E+00,··1.0000E+01,"));
  static constexpr FORMAT RESTART = PARSE_FORMAT("(I5,2(',',I5),6(',',1PE12.4))");
  EXPECT_EQ(RUN(RESTART, {ITEM_I(1), ITEM_I(0), ITEM_I(2), ITEM_R8(100.0), ITEM_R8(50.0), ITEM_R8(12.5),
                          ITEM_R8(-0.001), ITEM_R8(0.0), ITEM_R8(0.0)}),
            R("····1,····0,····2,··1.0000E+02,··5.0000E+01,··1.2500E+01,·-1.0000E-03,··0.0000E+00,"
              "··0.0000E+00"));
  static constexpr FORMAT SIZES = PARSE_FORMAT("(8(I8,TR2))");
  EXPECT_EQ(RUN(SIZES, {ITEM_I(0), ITEM_I(1), ITEM_I(3), ITEM_I(0), ITEM_I(0), ITEM_I(0), ITEM_I(0), ITEM_I(0)}),
            R("·······0·········1·········3·········0·········0·········0·········0·········0"));
  static constexpr FORMAT STEP = PARSE_FORMAT("(2(I8,TR2),F12.0)");
  EXPECT_EQ(RUN(STEP, {ITEM_I(3), ITEM_I(1), ITEM_R8(3600.0)}), R("·······3·········1·········3600."));
  static constexpr FORMAT HEAD = PARSE_FORMAT("(6(E12.6,TR1))");
  EXPECT_EQ(RUN(HEAD, {ITEM_R8(0.5)}), R("0.500000E+00"));
  static constexpr FORMAT VELOCITY = PARSE_FORMAT("(2(E12.6,TR1))");
  EXPECT_EQ(RUN(VELOCITY, {ITEM_R8(1.5), ITEM_R8(-0.25)}), R("0.150000E+01·-.250000E+00"));
  static constexpr FORMAT TEN = PARSE_FORMAT("(10(I7,','))");
  EXPECT_EQ(RUN(TEN, {ITEM_I(1), ITEM_I(2), ITEM_I(3), ITEM_I(4), ITEM_I(5), ITEM_I(6), ITEM_I(7), ITEM_I(8),
                      ITEM_I(9), ITEM_I(10)}),
            R("······1,······2,······3,······4,······5,······6,······7,······8,······9,·····10,"));
  static constexpr FORMAT NODE = PARSE_FORMAT("(I7,A22,1PE13.6,A1,1PE13.6,A1,1PE13.6)");
  EXPECT_EQ(RUN(NODE, {ITEM_I(7), ITEM_T("ABC"), ITEM_R4(12.5F), ITEM_T(","), ITEM_R4(-0.001F), ITEM_T(","),
                       ITEM_R4(0.0F)}),
            R("······7···················ABC·1.250000E+01,-1.000000E-03,·0.000000E+00"));
  // Three records from one statement, the title as twenty 4-character pieces.
  static constexpr FORMAT HEADER = PARSE_FORMAT(
      "('TITLE = \"TIME=',1PE12.4,' ',20A4,'\"',/,'VARIABLES = \"X\",\"Y\",\"H\",\"VX\",\"VY\",\"V\"',/,"
      "'ZONE N= ',I5,', E= ',I5,', F=FEPOINT')");
  const std::string title = "THEIS PUMPING TEST" + std::string(62, ' ');
  std::array<ITEM, 23> items;
  items[0] = ITEM_R8(3600.0);
  for (int k = 0; k < 20; ++k) items[1 + k] = ITEM_T(std::string_view(title).substr(4 * k, 4));
  items[21] = ITEM_I(121);
  items[22] = ITEM_I(200);
  OUTPUT o;
  OUTPUT_ATTACH(o, 8, -1);
  FORMATTED_STATEMENT(o, HEADER, items);
  EXPECT_EQ(o.MEMORY, "TITLE = \"TIME=  3.6000E+03 " + title + "\"\r\n" +
                          "VARIABLES = \"X\",\"Y\",\"H\",\"VX\",\"VY\",\"V\"\r\n" + R("ZONE·N=···121,·E=···200,·F=FEPOINT"));
}

TEST(FormattedStatement, LiteralsBreaksAndReversion) {
  static constexpr FORMAT END = PARSE_FORMAT("(/,/,'   <<<<<  OK! OK!  NORMAL TERMINATION  >>>>> ')");
  EXPECT_EQ(RUN(END, {}), "\r\n\r\n" + R("···<<<<<··OK!·OK!··NORMAL·TERMINATION··>>>>>·"));
  static constexpr FORMAT GROUP0 = PARSE_FORMAT("('ELEM-GROUP 0 ')");
  EXPECT_EQ(RUN(GROUP0, {}), R("ELEM-GROUP·0·"));
  static constexpr FORMAT I5 = PARSE_FORMAT("(I5)");
  EXPECT_EQ(RUN(I5, {}), "\r\n");
  // Nine 46-column banner lines in one FORMAT.
#define L46 "'----+----1----+----2----+----3----+----4-----'"
  static constexpr FORMAT BANNER =
      PARSE_FORMAT("(" L46 ",/," L46 ",/," L46 ",/," L46 ",/," L46 ",/," L46 ",/," L46 ",/," L46 ",/," L46 ")");
#undef L46
  std::string nine;
  for (int k = 0; k < 9; ++k) nine += "----+----1----+----2----+----3----+----4-----\r\n";
  EXPECT_EQ(RUN(BANNER, {}), nine);
  static constexpr FORMAT QUOTE = PARSE_FORMAT("('*it''s')");
  EXPECT_EQ(RUN(QUOTE, {}), "*it's\r\n");
  // Literals behind the last item are written up to the next data descriptor;
  // TRn moves the position but adds nothing unless something follows.
  static constexpr FORMAT AFTER = PARSE_FORMAT("(I2,' end',TR3,I3,'x')");
  EXPECT_EQ(RUN(AFTER, {ITEM_I(1)}), R("·1·end"));
  EXPECT_EQ(RUN(AFTER, {ITEM_I(1), ITEM_I(2)}), R("·1·end·····2x"));
  // Reversion: back to the rightmost top-level group with its full count, or
  // to the start without a group; the scale factor keeps its value.
  static constexpr FORMAT GROUPED = PARSE_FORMAT("(I3,2(',',I2))");
  EXPECT_EQ(RUN(GROUPED, {ITEM_I(1), ITEM_I(2), ITEM_I(3), ITEM_I(4), ITEM_I(5), ITEM_I(6), ITEM_I(7)}),
            R("··1,·2,·3") + R(",·4,·5") + R(",·6,·7"));
  static constexpr FORMAT PAIR = PARSE_FORMAT("(2I3)");
  EXPECT_EQ(RUN(PAIR, {ITEM_I(1), ITEM_I(2), ITEM_I(3)}), R("··1··2") + R("··3"));
  static constexpr FORMAT SCALED = PARSE_FORMAT("(1PE10.3,2(E10.3))");
  EXPECT_EQ(RUN(SCALED, {ITEM_R8(1), ITEM_R8(2), ITEM_R8(3), ITEM_R8(4), ITEM_R8(5)}),
            R("·1.000E+00·2.000E+00·3.000E+00") + R("·4.000E+00·5.000E+00"));
  static constexpr FORMAT NESTED = PARSE_FORMAT("(2(I1,2(':',I1)),';')");
  EXPECT_EQ(RUN(NESTED, {ITEM_I(1), ITEM_I(2), ITEM_I(3), ITEM_I(4), ITEM_I(5), ITEM_I(6)}), R("1:2:34:5:6;"));
  // A FORMAT that cannot take the items left ends the statement instead of looping.
  static constexpr FORMAT NO_DATA = PARSE_FORMAT("('abc')");
  EXPECT_EQ(RUN(NO_DATA, {ITEM_I(1)}), R("abc"));
  // A record longer than the record buffer is cut, not overrun.
  static constexpr FORMAT BARE = PARSE_FORMAT("(A,TR10,A5)");
  EXPECT_EQ(RUN(BARE, {ITEM_T(std::string(5000, 'x')), ITEM_T("tail")}), std::string(4096, 'x') + "\r\n");
}
