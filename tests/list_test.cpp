// List-directed write statements: field forms by item kind, the blanks between
// items and the breaks at 80 columns.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "recordio/records/list.h"
#include "tests/record_notation.h"

using namespace KOVA;

namespace {

std::string RUN(std::span<const ITEM> items) {
  OUTPUT o;
  OUTPUT_ATTACH(o, 8, -1);
  LIST_STATEMENT(o, items);
  return o.MEMORY;
}

std::string RUN(std::initializer_list<ITEM> items) { return RUN(std::span<const ITEM>(items.begin(), items.size())); }

struct FIELD { ITEM V; std::string_view WANT; };

}  // namespace

TEST(ListFields, OneItemEach) {
  const FIELD fields[] = {
      {ITEM_R4(0.5F), "··0.5000000····"}, {ITEM_R4(-2.5F), "··-2.500000····"}, {ITEM_R4(-0.25F), "·-0.2500000····"},
      {ITEM_R4(1234567.0F), "···1234567.····"}, {ITEM_R4(9999999.0F), "···9999999.····"},
      {ITEM_R4(1.0e7F), "··1.0000000E+07"}, {ITEM_R4(-1.0e10F), "·-1.0000000E+10"}, {ITEM_R4(NAN), "············NaN"},
      {ITEM_R4(0.05F), "··5.0000001E-02"}, {ITEM_R4(0.0F), "··0.0000000E+00"}, {ITEM_R4(-0.0F), "··0.0000000E+00"},
      {ITEM_R8(1.0), "···1.00000000000000·····"}, {ITEM_R8(0.1), "··0.100000000000000·····"},
      {ITEM_R8(999999999999999.0), "···999999999999999.·····"}, {ITEM_R8(1.0e15), "··1.000000000000000E+015"},
      {ITEM_R8(1.0e20), "··1.000000000000000E+020"}, {ITEM_R8(-0.0), "··0.000000000000000E+000"},
      {ITEM_R8(0x1p-1074), "··4.940656458412465E-324"}, {ITEM_R8(-1.7976931348623157e308), "·-1.797693134862316E+308"},
      {ITEM_R8(-HUGE_VAL), "···············-Infinity"}, {ITEM_I(-2147483647 - 1), "·-2147483648"},
      {ITEM_R8(-0.25), "·-0.250000000000000·····"}, {ITEM_R8(-1.5e-7), "·-1.500000000000000E-007"},
      {ITEM_R8(-123.0), "··-123.000000000000·····"},
      // The form follows the value rounded to d digits: a carry can cross either limit of the fixed form.
      {ITEM_R4(0.099999994F), "··9.9999994E-02"}, {ITEM_R8(0.09999999999999999), "··0.100000000000000·····"},
      {ITEM_R8(999999999999999.9), "··9.999999999999999E+014"},
  };
  for (const FIELD& f : fields) EXPECT_EQ(RUN({f.V}), RECORDS(f.WANT));
}

TEST(ListStatement, BlanksBetweenItems) {
  EXPECT_EQ(RUN({}), RECORDS("·"));
  EXPECT_EQ(RUN({ITEM_T("4.5,")}), RECORDS("·4.5,"));
  EXPECT_EQ(RUN({ITEM_T(" ")}), RECORDS("··"));
  EXPECT_EQ(RUN({ITEM_I(1), ITEM_T(",10,1,")}), RECORDS("···········1·,10,1,"));
  EXPECT_EQ(RUN({ITEM_I(5), ITEM_T(","), ITEM_R4(1.5F)}), RECORDS("···········5·,···1.500000····"));
  EXPECT_EQ(RUN({ITEM_R4(1.0F), ITEM_R4(2.0F), ITEM_R4(3.0F)}),
            RECORDS("···1.000000·······2.000000·······3.000000····"));
  EXPECT_EQ(RUN({ITEM_T(" LA,TIME "), ITEM_I(5), ITEM_R8(3600.0)}),
            RECORDS("··LA,TIME············5···3600.00000000000·····"));
  EXPECT_EQ(RUN({ITEM_T("AB"), ITEM_T("CD"), ITEM_I(7)}), RECORDS("·ABCD···········7"));
}

TEST(ListStatement, BreaksAtEightyColumns) {
  // The title as twenty 4-character pieces: 77 columns, then the last piece.
  const std::string title = "0123456789ABCDEFGHIJ0123456789ABCDEFGHIJ0123456789ABCDEFGHIJ0123456789ABCDEFGHIJ";
  ITEM pieces[20];
  for (int k = 0; k < 20; ++k) pieces[k] = ITEM_T(std::string_view(title).substr(4 * k, 4));
  EXPECT_EQ(RUN(pieces), RECORDS("·" + title.substr(0, 76) + "\n·GHIJ"));
  // A text that does not fit behind two integers and their blank moves whole.
  EXPECT_EQ(RUN({ITEM_I(1), ITEM_I(2), ITEM_T(std::string(60, 'x'))}),
            RECORDS("···········1···········2·\n·" + std::string(60, 'x')));
  // A number that does not fit the room left starts a new record.
  EXPECT_EQ(RUN({ITEM_R4(1), ITEM_R4(2), ITEM_R4(3), ITEM_R4(4), ITEM_R4(5), ITEM_R4(6)}),
            RECORDS("···1.000000·······2.000000·······3.000000·······4.000000·······5.000000····\n···6.000000····"));
  // Items that fill exactly 80 columns stay one record.
  EXPECT_EQ(RUN({ITEM_R4(1), ITEM_R4(2), ITEM_R4(3), ITEM_R4(4), ITEM_R4(5), ITEM_T("abcd")}),
            RECORDS("···1.000000·······2.000000·······3.000000·······4.000000·······5.000000·····abcd"));
  EXPECT_EQ(RUN({ITEM_I(1), ITEM_T(std::string(67, 'z'))}), RECORDS("···········1·" + std::string(67, 'z')));
  // Text is split only when no record holds it: over 79 columns, or as long as the room left after its blank.
  EXPECT_EQ(RUN({ITEM_T(std::string(100, 'y'))}), RECORDS("·" + std::string(79, 'y') + "\n·" + std::string(21, 'y')));
  EXPECT_EQ(RUN({ITEM_I(1), ITEM_T(std::string(68, 'z'))}), RECORDS("···········1·" + std::string(67, 'z') + "\n·z"));
}
