// Unformatted sequential records: framing, item taking, end of file, short records.
#include <gtest/gtest.h>

#include "tests/probe/probe_support.h"

namespace {

using e2e::FRAME, e2e::INT4;

TEST(UnformattedRecords, ItemsSkippingAndTheEndQuestion) {
  e2e::SCRATCH S;
  S.WRITE("res.bin", FRAME(INT4(7) + e2e::REAL8(2.5)) +
                         FRAME(INT4(-5) + e2e::REAL8(0.5)) +           // only one item taken
                         FRAME("") + INT4(4) + INT4(42) + INT4(999) +  // trailing length differs
                         FRAME(std::string(720000, 'z')) + FRAME("ABCDEFGH"));  // big, then small
  const e2e::RUN r = probe::RUN(S, "open 10 res.bin old u;end 10;fetch 10;ints 1;reals 1;end 10;"
                                   "fetch 10;ints 1;fetch 10;fetch 10;ints 1;end 10;fetch 10;"
                                   "text 5;fetch 10;text 8;end 10;end 10;fetchbranch 10;end 10");
  EXPECT_EQ(r.STDOUT, "END F\r\nLEN 12\r\nINT 7\r\nREAL 2.500000\r\nEND F\r\nLEN 12\r\nINT -5\r\n"
                   "LEN 0\r\nLEN 4\r\nINT 42\r\nEND F\r\nLEN 720000\r\nTEXT zzzzz\r\n"
                   "LEN 8\r\nTEXT ABCDEFGH\r\nEND T\r\nEND T\r\nEOF\r\nEND T\r\n");
  EXPECT_EQ(r.STATUS, 0);
  S.WRITE("empty.bin", "");
  EXPECT_EQ(probe::RUN(S, "open 10 empty.bin old u;end 10;fetchbranch 10").STDOUT, "END T\r\nEOF\r\n");
}

TEST(UnformattedRecords, CutOrLyingTailsAreTheEndOfFileWithOrWithoutTheBranch) {
  // One good record, then a tail that makes no record: cut in a length, the data or the
  // trailing length, or a negative or too large length (nothing is allocated for it).
  for (const std::string& tail : {INT4(4).substr(0, 2), INT4(12) + "abcdef", INT4(4) + INT4(1),
                                  INT4(4) + INT4(1) + INT4(4).substr(0, 2), INT4(-1) + "12345678",
                                  INT4(2147483647) + "12345678"}) {
    SCOPED_TRACE(tail.size());
    e2e::SCRATCH S;
    S.WRITE("res.bin", FRAME(INT4(5)) + tail);
    // Bytes follow, so the end question answers false; only an end exactly where a
    // record would start takes the branch, so the run ends here with or without it.
    for (const char* fetch : {"fetch 10", "fetchbranch 10"}) {
      const e2e::RUN r =
          probe::RUN(S, std::string("open 10 res.bin old u;fetch 10;ints 1;end 10;") + fetch);
      EXPECT_EQ(r.STDOUT, "LEN 4\r\nINT 5\r\nEND F\r\n");
      EXPECT_EQ(r.ERR, e2e::SEVERE(24, 10, e2e::REPORTED_PATH(S, "res.bin")));
      EXPECT_EQ(r.STATUS, e2e::REPORT_STATUS(24));
    }
  }
}

TEST(UnformattedRecords, RecordsTooShortForTheirItemsAreReport67) {
  e2e::SCRATCH S;
  S.WRITE("res.bin", FRAME(INT4(3)) + FRAME("") + FRAME("abc"));
  const struct { const char *TAKE, *STDOUT; } takes[] = {
      {"ints 1;reals 1", "LEN 4\r\nINT 3\r\n"}, {"fetch 10;ints 1", "LEN 4\r\nLEN 0\r\n"},
      {"fetch 10;fetch 10;text 4", "LEN 4\r\nLEN 0\r\nLEN 3\r\n"}};
  for (const auto& t : takes) {
    SCOPED_TRACE(t.TAKE);
    const e2e::RUN r = probe::RUN(S, std::string("open 10 res.bin old u;fetch 10;") + t.TAKE);
    EXPECT_EQ(r.STDOUT, t.STDOUT);
    EXPECT_EQ(r.ERR, e2e::SEVERE(67, 10, e2e::REPORTED_PATH(S, "res.bin")));
    EXPECT_EQ(r.STATUS, e2e::REPORT_STATUS(67));
  }
}

}  // namespace
