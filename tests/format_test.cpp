// Formatted write statements: field editing by descriptor and the walk of a
// FORMAT (literals after the last item, record breaks, reversion).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "recordio/format.h"

namespace {

// Expected records are written with "·" for each blank that matters.
std::string B(std::string_view s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s.compare(i, 2, "\xC2\xB7") == 0) {
      out += ' ';
      ++i;
    } else {
      out += s[i];
    }
  }
  return out;
}

std::string RUN(const FORMAT& F, std::initializer_list<ITEM> items) {
  OUTPUT o;
  OUTPUT_ATTACH(o, 8, -1);
  FORMATTED_STATEMENT(o, F, std::span<const ITEM>(items.begin(), items.size()));
  return o.MEMORY;
}

// One record: the expected body plus the record ending.
std::string R(std::string_view body) { return B(body) + "\r\n"; }

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double INF = std::numeric_limits<double>::infinity();

}  // namespace

TEST(FormattedFields, Integers) {
  static constexpr FORMAT I5 = PARSE_FORMAT("(I5)");
  static constexpr FORMAT I2 = PARSE_FORMAT("(I2)");
  static constexpr FORMAT I6 = PARSE_FORMAT("(I6)");
  static constexpr FORMAT I11 = PARSE_FORMAT("(I11)");
  static constexpr FORMAT I10 = PARSE_FORMAT("(I10)");
  EXPECT_EQ(RUN(I5, {ITEM_I(-1)}), R("···-1"));
  EXPECT_EQ(RUN(I2, {ITEM_I(-1)}), R("-1"));
  EXPECT_EQ(RUN(I6, {ITEM_I(100)}), R("···100"));
  EXPECT_EQ(RUN(I5, {ITEM_I(0)}), R("····0"));
  EXPECT_EQ(RUN(I5, {ITEM_I(123456)}), R("*****"));
  EXPECT_EQ(RUN(I2, {ITEM_I(-10)}), R("**"));
  EXPECT_EQ(RUN(I11, {ITEM_I(INT32_MIN)}), R("-2147483648"));
  EXPECT_EQ(RUN(I10, {ITEM_I(INT32_MIN)}), R("**********"));
  EXPECT_EQ(RUN(I10, {ITEM_I(INT32_MAX)}), R("2147483647"));
}

TEST(FormattedFields, Text) {
  static constexpr FORMAT SECTION = PARSE_FORMAT("(A4,TR4,A11)");
  EXPECT_EQ(RUN(SECTION, {ITEM_T("GRID"), ITEM_T("(I6,3E12.0)")}), R("GRID····(I6,3E12.0)"));
  EXPECT_EQ(RUN(SECTION, {ITEM_T("CONC"), ITEM_T("(8I6)")}), R("CONC··········(8I6)"));
  static constexpr FORMAT A4 = PARSE_FORMAT("(A4)");
  EXPECT_EQ(RUN(A4, {ITEM_T("ABCDEFG")}), R("ABCD"));
  EXPECT_EQ(RUN(A4, {ITEM_T("\x93\xFA\x96\x7B")}), "\x93\xFA\x96\x7B\r\n");  // bytes as they are
  static constexpr FORMAT BARE = PARSE_FORMAT("(A,A3,A)");
  EXPECT_EQ(RUN(BARE, {ITEM_T("hello world"), ITEM_T("x"), ITEM_T("")}), R("hello world··x"));
}

TEST(FormattedFields, ExponentFormWithoutScaleFactor) {
  static constexpr FORMAT NODE = PARSE_FORMAT("(I6,3E12.6)");
  EXPECT_EQ(RUN(NODE, {ITEM_I(1), ITEM_R8(10.0), ITEM_R8(-2.5), ITEM_R8(0.0)}),
            R("·····10.100000E+02-.250000E+010.000000E+00"));
  static constexpr FORMAT E12 = PARSE_FORMAT("(E12.6)");
  EXPECT_EQ(RUN(E12, {ITEM_R8(1.0e100)}), R("0.100000+101"));
  EXPECT_EQ(RUN(E12, {ITEM_R8(-1.0e100)}), R("-.100000+101"));
  EXPECT_EQ(RUN(E12, {ITEM_R8(9.9999996e99)}), R("0.100000+101"));  // carry into 3 digits
  EXPECT_EQ(RUN(E12, {ITEM_R8(1.0e-100)}), R("0.100000E-99"));
  EXPECT_EQ(RUN(E12, {ITEM_R8(1.0e-101)}), R("0.100000-100"));
  EXPECT_EQ(RUN(E12, {ITEM_R8(-0.0)}), R("0.000000E+00"));
  EXPECT_EQ(RUN(E12, {ITEM_R8(0.1234565)}), R("0.123456E+00"));  // just below the half
  EXPECT_EQ(RUN(E12, {ITEM_R4(0.5F)}), R("0.500000E+00"));
  // The leading "0" goes first when room is short; then the whole field.
  static constexpr FORMAT E11 = PARSE_FORMAT("(E11.6)");
  EXPECT_EQ(RUN(E11, {ITEM_R8(1.0)}), R(".100000E+01"));
  EXPECT_EQ(RUN(E11, {ITEM_R8(0.0)}), R(".000000E+00"));
  EXPECT_EQ(RUN(E11, {ITEM_R8(-1.0)}), R("***********"));
  static constexpr FORMAT E10 = PARSE_FORMAT("(E10.6)");
  EXPECT_EQ(RUN(E10, {ITEM_R8(0.0)}), R("**********"));
}

TEST(FormattedFields, ExponentFormWithScaleFactor) {
  static constexpr FORMAT E = PARSE_FORMAT("(1PE12.4)");
  static constexpr FORMAT E13 = PARSE_FORMAT("(1PE13.6)");
  EXPECT_EQ(RUN(E, {ITEM_R8(12.5)}), R("··1.2500E+01"));
  EXPECT_EQ(RUN(E, {ITEM_R8(-12.5)}), R("·-1.2500E+01"));
  EXPECT_EQ(RUN(E13, {ITEM_R8(12.5)}), R("·1.250000E+01"));
  EXPECT_EQ(RUN(E13, {ITEM_R8(-0.001)}), R("-1.000000E-03"));
  EXPECT_EQ(RUN(E, {ITEM_R8(1.0e-100)}), R("··1.0000-100"));
  EXPECT_EQ(RUN(E, {ITEM_R8(0.0)}), R("··0.0000E+00"));
  EXPECT_EQ(RUN(E13, {ITEM_R8(-0.0)}), R("·0.000000E+00"));
  // Exact halfway values go to the even digit; the carry raises the exponent.
  EXPECT_EQ(RUN(E, {ITEM_R8(1.03125)}), R("··1.0312E+00"));
  EXPECT_EQ(RUN(E, {ITEM_R8(1.09375)}), R("··1.0938E+00"));
  EXPECT_EQ(RUN(E, {ITEM_R8(9.99994)}), R("··9.9999E+00"));
  EXPECT_EQ(RUN(E, {ITEM_R8(9.99996)}), R("··1.0000E+01"));
  EXPECT_EQ(RUN(E, {ITEM_R8(9.99995)}), R("··1.0000E+01"));
  EXPECT_EQ(RUN(E, {ITEM_R8(123455.0)}), R("··1.2346E+05"));
  EXPECT_EQ(RUN(E, {ITEM_R8(123465.0)}), R("··1.2346E+05"));
  // A 4-byte item shows its own exact value: 4-byte 0.001 lies below 0.001.
  EXPECT_EQ(RUN(E13, {ITEM_R4(0.001F)}), R("·1.000000E-03"));
  EXPECT_EQ(RUN(E, {ITEM_R4(1.00005F)}), R("··1.0000E+00"));
  EXPECT_EQ(RUN(E, {ITEM_R8(1.00005)}), R("··1.0001E+00"));
  EXPECT_EQ(RUN(E, {ITEM_R8(1.7976931348623157e308)}), R("··1.7977+308"));
  EXPECT_EQ(RUN(E, {ITEM_R8(4.9406564584124654e-324)}), R("··4.9407-324"));
  static constexpr FORMAT E10 = PARSE_FORMAT("(1PE10.4)");
  EXPECT_EQ(RUN(E10, {ITEM_R8(1.0)}), R("1.0000E+00"));
  EXPECT_EQ(RUN(E10, {ITEM_R8(-1.0)}), R("**********"));
}

TEST(FormattedFields, FixedPoint) {
  static constexpr FORMAT F = PARSE_FORMAT("(F12.0)");
  EXPECT_EQ(RUN(F, {ITEM_R8(3600.0)}), R("·······3600."));
  EXPECT_EQ(RUN(F, {ITEM_R8(2.5)}), R("··········2."));
  EXPECT_EQ(RUN(F, {ITEM_R8(3.5)}), R("··········4."));
  EXPECT_EQ(RUN(F, {ITEM_R8(0.0)}), R("··········0."));
  EXPECT_EQ(RUN(F, {ITEM_R8(-0.4)}), R("··········0."));
  EXPECT_EQ(RUN(F, {ITEM_R8(-3.5)}), R("·········-4."));
  EXPECT_EQ(RUN(F, {ITEM_R8(0.5000000001)}), R("··········1."));
  EXPECT_EQ(RUN(F, {ITEM_R8(99999999999.0)}), R("99999999999."));
  EXPECT_EQ(RUN(F, {ITEM_R8(99999999999.5)}), R("************"));
  EXPECT_EQ(RUN(F, {ITEM_R8(1.0e300)}), R("************"));
  EXPECT_EQ(RUN(F, {ITEM_R8(1.0e-300)}), R("··········0."));
  static constexpr FORMAT F52 = PARSE_FORMAT("(F5.2)");
  EXPECT_EQ(RUN(F52, {ITEM_R8(0.125)}), R("·0.12"));
  EXPECT_EQ(RUN(F52, {ITEM_R8(0.375)}), R("·0.38"));
  EXPECT_EQ(RUN(F52, {ITEM_R8(-0.5)}), R("-0.50"));
  EXPECT_EQ(RUN(F52, {ITEM_R8(12.345)}), R("12.35"));  // 12.345 is stored above the half
  static constexpr FORMAT F42 = PARSE_FORMAT("(F4.2)");
  EXPECT_EQ(RUN(F42, {ITEM_R8(-0.5)}), R("-.50"));
  EXPECT_EQ(RUN(F42, {ITEM_R8(-0.001)}), R("0.00"));
  static constexpr FORMAT F51 = PARSE_FORMAT("(F5.1)");
  EXPECT_EQ(RUN(F51, {ITEM_R8(0.05)}), R("··0.1"));  // stored just above 0.05
  EXPECT_EQ(RUN(F51, {ITEM_R8(0.25)}), R("··0.2"));
  EXPECT_EQ(RUN(F51, {ITEM_R8(0.04)}), R("··0.0"));
  static constexpr FORMAT STEP = PARSE_FORMAT("(2(I8,TR2),F12.0)");
  EXPECT_EQ(RUN(STEP, {ITEM_I(3), ITEM_I(1), ITEM_R8(3600.0)}),
            R("·······3·········1·········3600."));
}

TEST(FormattedFields, NonFiniteAndMismatchedItems) {
  static constexpr FORMAT E = PARSE_FORMAT("(1PE12.4)");
  static constexpr FORMAT E6 = PARSE_FORMAT("(E12.6)");
  static constexpr FORMAT E8 = PARSE_FORMAT("(E8.1)");
  static constexpr FORMAT F = PARSE_FORMAT("(F12.0)");
  EXPECT_EQ(RUN(E, {ITEM_R8(NaN)}), R("·········NaN"));
  EXPECT_EQ(RUN(E, {ITEM_R8(INF)}), R("····Infinity"));
  EXPECT_EQ(RUN(E6, {ITEM_R8(-INF)}), R("···-Infinity"));
  EXPECT_EQ(RUN(E6, {ITEM_R4(-std::numeric_limits<float>::infinity())}), R("···-Infinity"));
  EXPECT_EQ(RUN(F, {ITEM_R8(NaN)}), R("·········NaN"));
  EXPECT_EQ(RUN(E8, {ITEM_R8(INF)}), R("Infinity"));
  EXPECT_EQ(RUN(E8, {ITEM_R8(-INF)}), R("********"));
  // An item of the wrong kind for its descriptor fills the field with asterisks.
  static constexpr FORMAT MIXED = PARSE_FORMAT("(I5,E12.4,A3,F4.0)");
  EXPECT_EQ(RUN(MIXED, {ITEM_R8(1.0), ITEM_I(1), ITEM_I(2), ITEM_T("x")}),
            R("************************"));
}

TEST(FormattedStatement, WriterRecords) {
  static constexpr FORMAT POINT = PARSE_FORMAT("(1PE12.4,6(',',1PE12.4))");
  EXPECT_EQ(RUN(POINT, {ITEM_R8(1.0), ITEM_R8(-2.5), ITEM_R8(0.0), ITEM_R8(12.5), ITEM_R8(1.03125),
                        ITEM_R8(9.99996)}),
            R("··1.0000E+00,·-2.5000E+00,··0.0000E+00,··1.2500E+01,··1.0312E+00,··1.0000E+01,"));
  static constexpr FORMAT RESTART = PARSE_FORMAT("(I5,2(',',I5),6(',',1PE12.4))");
  EXPECT_EQ(RUN(RESTART, {ITEM_I(1), ITEM_I(0), ITEM_I(2), ITEM_R8(100.0), ITEM_R8(50.0),
                          ITEM_R8(12.5), ITEM_R8(-0.001), ITEM_R8(0.0), ITEM_R8(0.0)}),
            R("····1,····0,····2,··1.0000E+02,··5.0000E+01,··1.2500E+01,·-1.0000E-03,··0.0000E+00,"
              "··0.0000E+00"));
  static constexpr FORMAT SIZES = PARSE_FORMAT("(8(I8,TR2))");
  EXPECT_EQ(RUN(SIZES, {ITEM_I(0), ITEM_I(1), ITEM_I(3), ITEM_I(0), ITEM_I(0), ITEM_I(0), ITEM_I(0),
                        ITEM_I(0)}),
            R("·······0·········1·········3·········0·········0·········0·········0·········0"));
  static constexpr FORMAT HEAD = PARSE_FORMAT("(6(E12.6,TR1))");
  EXPECT_EQ(RUN(HEAD, {ITEM_R8(0.5)}), R("0.500000E+00"));
  static constexpr FORMAT VELOCITY = PARSE_FORMAT("(2(E12.6,TR1))");
  EXPECT_EQ(RUN(VELOCITY, {ITEM_R8(1.5), ITEM_R8(-0.25)}), R("0.150000E+01·-.250000E+00"));
  static constexpr FORMAT TEN = PARSE_FORMAT("(10(I7,','))");
  EXPECT_EQ(RUN(TEN, {ITEM_I(1), ITEM_I(2), ITEM_I(3), ITEM_I(4), ITEM_I(5), ITEM_I(6), ITEM_I(7),
                      ITEM_I(8), ITEM_I(9), ITEM_I(10)}),
            R("······1,······2,······3,······4,······5,······6,······7,······8,······9,·····10,"));
  static constexpr FORMAT NODE = PARSE_FORMAT("(I7,A22,1PE13.6,A1,1PE13.6,A1,1PE13.6)");
  EXPECT_EQ(RUN(NODE, {ITEM_I(7), ITEM_T("ABC"), ITEM_R4(12.5F), ITEM_T(","), ITEM_R4(-0.001F),
                       ITEM_T(","), ITEM_R4(0.0F)}),
            R("······7···················ABC·1.250000E+01,-1.000000E-03,·0.000000E+00"));
  static constexpr FORMAT TIME = PARSE_FORMAT("(' T=',1PE12.4)");
  EXPECT_EQ(RUN(TIME, {ITEM_R8(3600.0)}), R("·T=··3.6000E+03"));
}

TEST(FormattedStatement, HeaderWithTitlePiecesAndRecordBreaks) {
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
                          "VARIABLES = \"X\",\"Y\",\"H\",\"VX\",\"VY\",\"V\"\r\n" +
                          R("ZONE·N=···121,·E=···200,·F=FEPOINT"));
}

TEST(FormattedStatement, LiteralsBreaksAndEmptyStatements) {
  static constexpr FORMAT END = PARSE_FORMAT("(/,/,'   <<<<<  OK! OK!  NORMAL TERMINATION  >>>>> ')");
  EXPECT_EQ(RUN(END, {}), "\r\n\r\n" + R("···<<<<<··OK!·OK!··NORMAL·TERMINATION··>>>>>·"));
  static constexpr FORMAT GROUP0 = PARSE_FORMAT("('ELEM-GROUP 0 ')");
  EXPECT_EQ(RUN(GROUP0, {}), R("ELEM-GROUP·0·"));
  static constexpr FORMAT I5 = PARSE_FORMAT("(I5)");
  EXPECT_EQ(RUN(I5, {}), "\r\n");
  static constexpr FORMAT QUOTE = PARSE_FORMAT("('*it''s')");
  EXPECT_EQ(RUN(QUOTE, {}), "*it's\r\n");
  // Literals behind the last item are written up to the next data descriptor.
  static constexpr FORMAT AFTER = PARSE_FORMAT("(I2,' end',I3,'x')");
  EXPECT_EQ(RUN(AFTER, {ITEM_I(1)}), R("·1·end"));
  // TRn moves the position but adds nothing unless something follows.
  static constexpr FORMAT TR = PARSE_FORMAT("(I2,TR3,I2,3X)");
  EXPECT_EQ(RUN(TR, {ITEM_I(1), ITEM_I(2)}), R("·1····2"));
  // Nine 46-column banner lines in one FORMAT.
#define L46 "'----+----1----+----2----+----3----+----4-----'"
  static constexpr FORMAT BANNER =
      PARSE_FORMAT("(" L46 ",/," L46 ",/," L46 ",/," L46 ",/," L46 ",/," L46 ",/," L46 ",/," L46 ",/," L46 ")");
#undef L46
  std::string nine;
  for (int k = 0; k < 9; ++k) nine += "----+----1----+----2----+----3----+----4-----\r\n";
  EXPECT_EQ(RUN(BANNER, {}), nine);
}

TEST(FormattedStatement, Reversion) {
  // Back to the rightmost top-level group, with its full repeat count.
  static constexpr FORMAT GROUPED = PARSE_FORMAT("(I3,2(',',I2))");
  EXPECT_EQ(RUN(GROUPED, {ITEM_I(1), ITEM_I(2), ITEM_I(3), ITEM_I(4), ITEM_I(5), ITEM_I(6), ITEM_I(7)}),
            R("··1,·2,·3") + R(",·4,·5") + R(",·6,·7"));
  // No group: back to the start of the FORMAT.
  static constexpr FORMAT PAIR = PARSE_FORMAT("(2I3)");
  EXPECT_EQ(RUN(PAIR, {ITEM_I(1), ITEM_I(2), ITEM_I(3)}), R("··1··2") + R("··3"));
  // The scale factor keeps its value across the reversion.
  static constexpr FORMAT SCALED = PARSE_FORMAT("(1PE10.3,2(E10.3))");
  EXPECT_EQ(RUN(SCALED, {ITEM_R8(1), ITEM_R8(2), ITEM_R8(3), ITEM_R8(4), ITEM_R8(5)}),
            R("·1.000E+00·2.000E+00·3.000E+00") + R("·4.000E+00·5.000E+00"));
  // Nested groups run their counts inside each outer pass.
  static constexpr FORMAT NESTED = PARSE_FORMAT("(2(I1,2(':',I1)),';')");
  EXPECT_EQ(RUN(NESTED, {ITEM_I(1), ITEM_I(2), ITEM_I(3), ITEM_I(4), ITEM_I(5), ITEM_I(6)}),
            R("1:2:34:5:6;"));
  // A FORMAT that cannot take the items left ends the statement instead of looping.
  static constexpr FORMAT NO_DATA = PARSE_FORMAT("('abc')");
  EXPECT_EQ(RUN(NO_DATA, {ITEM_I(1)}), R("abc"));
  static constexpr FORMAT DATALESS_GROUP = PARSE_FORMAT("(I2,2('x'))");
  EXPECT_EQ(RUN(DATALESS_GROUP, {ITEM_I(1), ITEM_I(2)}).substr(0, 6), R("·1xx"));
}

TEST(FormattedStatement, OverlongRecordIsCutSafely) {
  static constexpr FORMAT BARE = PARSE_FORMAT("(A,TR10,A5)");
  const std::string huge(5000, 'x');
  const std::string out = RUN(BARE, {ITEM_T(huge), ITEM_T("tail")});
  EXPECT_EQ(out, std::string(4096, 'x') + "\r\n");
}

TEST(FormatParsing, DescriptorsAndGroups) {
  static constexpr FORMAT F = PARSE_FORMAT("(I5,2(',',I5),6(',',1PE12.4))");
  static_assert(F.COUNT == 10);
  static_assert(F.LIST[1].KIND == EDIT::GROUP && F.LIST[1].REPEAT == 2 && F.LIST[1].AT == 4);
  static_assert(F.LIST[4].KIND == EDIT::END && F.LIST[4].AT == 1);
  static_assert(F.LIST[7].KIND == EDIT::SCALE && F.LIST[7].W == 1);
  static_assert(F.LIST[8].KIND == EDIT::E && F.LIST[8].W == 12 && F.LIST[8].D == 4);
  static constexpr FORMAT G = PARSE_FORMAT(" ( 20a4 , tr2 , 3x , 'a''b' ) ");
  static_assert(G.COUNT == 4 && G.LIST[0].REPEAT == 20 && G.LIST[0].W == 4);
  static_assert(G.LIST[1].KIND == EDIT::TR && G.LIST[1].W == 2 && G.LIST[2].W == 3);
  static_assert(G.LIST[3].LEN == 3 && G.TEXT[1] == '\'');
  SUCCEED();
}
