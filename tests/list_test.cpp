// List-directed write statements: field forms by item kind, the blanks between
// items and the breaks at 80 columns.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "recordio/list.h"

namespace {

// Expected records are written with "·" for each blank that matters; R() adds
// the record ending.
std::string B(std::string_view s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    const bool dot = s.compare(i, 2, "\xC2\xB7") == 0;
    out += dot ? ' ' : s[i];
    i += dot ? 1 : 0;
  }
  return out;
}

std::string R(std::string_view s) { return B(s) + "\r\n"; }

std::string RUN(std::span<const ITEM> items) {
  OUTPUT o;
  OUTPUT_ATTACH(o, 8, -1);
  LIST_STATEMENT(o, items);
  return o.MEMORY;
}

std::string RUN(std::initializer_list<ITEM> items) { return RUN(std::span<const ITEM>(items.begin(), items.size())); }

}  // namespace

TEST(ListFields, FourByteReals) {
  EXPECT_EQ(RUN({ITEM_R4(0.5F)}), R("··0.5000000····"));
  EXPECT_EQ(RUN({ITEM_R4(-2.5F)}), R("··-2.500000····"));
  EXPECT_EQ(RUN({ITEM_R4(1234567.0F)}), R("···1234567.····"));
  EXPECT_EQ(RUN({ITEM_R4(0.05F)}), R("··5.0000001E-02"));  // its exact value is just above 0.05
  EXPECT_EQ(RUN({ITEM_R4(0.0F)}), R("··0.0000000E+00"));
  EXPECT_EQ(RUN({ITEM_R4(-0.0F)}), R("··0.0000000E+00"));
  EXPECT_EQ(RUN({ITEM_R4(1.0e7F)}), R("··1.0000000E+07"));
  EXPECT_EQ(RUN({ITEM_R4(9999999.0F)}), R("···9999999.····"));
  EXPECT_EQ(RUN({ITEM_R4(-0.25F)}), R("·-0.2500000····"));
  EXPECT_EQ(RUN({ITEM_R4(-1.0e10F)}), R("·-1.0000000E+10"));
  EXPECT_EQ(RUN({ITEM_R4(0.1F)}), R("··0.1000000····"));
  EXPECT_EQ(RUN({ITEM_R4(std::numeric_limits<float>::quiet_NaN())}), R("············NaN"));
}

TEST(ListFields, EightByteReals) {
  EXPECT_EQ(RUN({ITEM_R8(1.0)}), R("···1.00000000000000·····"));
  EXPECT_EQ(RUN({ITEM_R8(1.0e20)}), R("··1.000000000000000E+020"));
  EXPECT_EQ(RUN({ITEM_R8(1.0e15)}), R("··1.000000000000000E+015"));
  EXPECT_EQ(RUN({ITEM_R8(999999999999999.0)}), R("···999999999999999.·····"));
  EXPECT_EQ(RUN({ITEM_R8(0.1)}), R("··0.100000000000000·····"));
  EXPECT_EQ(RUN({ITEM_R8(-0.0)}), R("··0.000000000000000E+000"));
  EXPECT_EQ(RUN({ITEM_R8(4.9406564584124654e-324)}), R("··4.940656458412465E-324"));
  EXPECT_EQ(RUN({ITEM_R8(-1.7976931348623157e308)}), R("·-1.797693134862316E+308"));
  EXPECT_EQ(RUN({ITEM_R8(-std::numeric_limits<double>::infinity())}), R("···············-Infinity"));
  EXPECT_EQ(RUN({ITEM_I(-2147483647 - 1)}), R("·-2147483648"));
}

TEST(ListStatement, BlanksBetweenItems) {
  EXPECT_EQ(RUN({}), R("·"));
  EXPECT_EQ(RUN({ITEM_T("4.5,")}), R("·4.5,"));
  EXPECT_EQ(RUN({ITEM_T(" ")}), R("··"));
  EXPECT_EQ(RUN({ITEM_I(1), ITEM_T(",10,1,")}), R("···········1·,10,1,"));
  EXPECT_EQ(RUN({ITEM_I(5), ITEM_T(","), ITEM_R4(1.5F)}), R("···········5·,···1.500000····"));
  EXPECT_EQ(RUN({ITEM_R4(1.0F), ITEM_R4(2.0F), ITEM_R4(3.0F)}),
            R("···1.000000·······2.000000·······3.000000····"));
  EXPECT_EQ(RUN({ITEM_T(" LA,TIME "), ITEM_I(5), ITEM_R8(3600.0)}),
            R("··LA,TIME············5···3600.00000000000·····"));
  EXPECT_EQ(RUN({ITEM_T("AB"), ITEM_T("CD"), ITEM_I(7)}), R("·ABCD···········7"));
}

TEST(ListStatement, BreaksAtEightyColumns) {
  // The title as twenty 4-character pieces: 77 columns, then the last piece.
  const std::string title = "0123456789ABCDEFGHIJ0123456789ABCDEFGHIJ0123456789ABCDEFGHIJ0123456789ABCDEFGHIJ";
  std::array<ITEM, 20> pieces;
  for (int k = 0; k < 20; ++k) pieces[k] = ITEM_T(std::string_view(title).substr(4 * k, 4));
  EXPECT_EQ(RUN(pieces), " " + title.substr(0, 76) + "\r\n" + " GHIJ\r\n");
  // A text that does not fit behind two integers and their blank moves whole.
  const std::string sixty(60, 'x');
  EXPECT_EQ(RUN({ITEM_I(1), ITEM_I(2), ITEM_T(sixty)}),
            R("···········1···········2·") + " " + sixty + "\r\n");
  // Numbers: a field that does not fit the room left starts a new record.
  EXPECT_EQ(RUN({ITEM_R4(1), ITEM_R4(2), ITEM_R4(3), ITEM_R4(4), ITEM_R4(5), ITEM_R4(6)}),
            R("···1.000000·······2.000000·······3.000000·······4.000000·······5.000000····") +
                R("···6.000000····"));
  // Text is split only when it cannot fit a record: longer than 79 columns, or
  // exactly as long as the room left once a blank had to go in front of it.
  const std::string hundred(100, 'y');
  EXPECT_EQ(RUN({ITEM_T(hundred)}), " " + std::string(79, 'y') + "\r\n" + " " + std::string(21, 'y') + "\r\n");
  const std::string sixty_eight(68, 'z');
  EXPECT_EQ(RUN({ITEM_I(1), ITEM_T(sixty_eight)}),
            B("···········1·") + std::string(67, 'z') + "\r\n" + " z\r\n");
}
