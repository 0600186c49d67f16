// Unformatted sequential records: framing, item taking, end of file, short records.
#include <gtest/gtest.h>

#include <string>

#include "tests/probe/probe_support.h"

namespace {

using e2e::FRAME;
using e2e::INT4;
using e2e::REAL8;

TEST(UnformattedRecords, ItemsSkippingAndTheEndQuestion) {
  e2e::SCRATCH S;
  S.WRITE("res.bin", FRAME(INT4(7) + REAL8(2.5)) +      // taken whole
                         FRAME(INT4(-5) + REAL8(0.5)) +  // only its first item taken
                         FRAME("") +                     // L = 0, no items
                         INT4(4) + INT4(42) + INT4(999) +  // trailing length differs
                         FRAME("ABCDEFGH"));
  const e2e::RUN r = probe::RUN(S,
                                "open 10 res.bin old u;end 10;fetch 10;ints 1;reals 1;end 10;"
                                "fetch 10;ints 1;fetch 10;fetch 10;ints 1;end 10;fetch 10;text 8;"
                                "end 10;end 10;fetchbranch 10;end 10");
  EXPECT_EQ(r.OUT,
            "END F\r\n"
            "LEN 12\r\nINT 7\r\nREAL 2.500000\r\nEND F\r\n"
            "LEN 12\r\nINT -5\r\n"
            "LEN 0\r\n"
            "LEN 4\r\nINT 42\r\nEND F\r\n"
            "LEN 8\r\nTEXT ABCDEFGH\r\n"
            "END T\r\nEND T\r\nEOF\r\nEND T\r\n");
  EXPECT_EQ(r.ERR, "");
  EXPECT_EQ(r.STATUS, 0);

  S.WRITE("empty.bin", "");
  const e2e::RUN empty = probe::RUN(S, "open 10 empty.bin old u;end 10;fetchbranch 10");
  EXPECT_EQ(empty.OUT, "END T\r\nEOF\r\n");
  EXPECT_EQ(empty.STATUS, 0);
}

TEST(UnformattedRecords, LargeRecordsReuseOneBuffer) {
  e2e::SCRATCH S;
  S.WRITE("big.bin", FRAME(std::string(720000, 'z')) + FRAME("abc") +
                         FRAME(std::string(500000, 'y') + "END"));
  const e2e::RUN r = probe::RUN(S, "open 10 big.bin old u;fetch 10;text 5;fetch 10;text 3;"
                                   "fetch 10;text 2;end 10");
  EXPECT_EQ(r.OUT, "LEN 720000\r\nTEXT zzzzz\r\nLEN 3\r\nTEXT abc\r\nLEN 500003\r\nTEXT yy\r\n"
                   "END T\r\n");
  EXPECT_EQ(r.STATUS, 0);
}

TEST(UnformattedRecords, CutOrLyingTailsAreTheEndOfFile) {
  // One good record, then a tail that does not make a record.
  const std::string tails[] = {
      std::string("\x04\x00", 2),           // two bytes into a length field
      INT4(12) + "abcdef",                  // cut inside the data
      INT4(4) + INT4(1),                    // trailing length missing
      INT4(4) + INT4(1) + std::string("\x04\x00", 2),  // trailing length cut
      INT4(-1) + "12345678",                // negative length
      INT4(2147483647) + "12345678",        // length beyond the file
  };
  e2e::SCRATCH S;
  for (const std::string& tail : tails) {
    SCOPED_TRACE(tail.size());
    S.WRITE("res.bin", FRAME(INT4(5)) + tail);
    const e2e::RUN r =
        probe::RUN(S, "open 10 res.bin old u;fetch 10;ints 1;end 10;fetchbranch 10;end 10");
    // Bytes follow the good record, so the end question answers false.
    EXPECT_EQ(r.OUT, "LEN 4\r\nINT 5\r\nEND F\r\nEOF\r\nEND F\r\n");
    EXPECT_EQ(r.ERR, "");
    EXPECT_EQ(r.STATUS, 0);
  }
  // The same condition in a read without an end-of-file branch ends the run.
  const e2e::RUN r = probe::RUN(S, "open 10 res.bin old u;fetch 10;fetch 10");
  EXPECT_EQ(r.OUT, "LEN 4\r\n");
  EXPECT_EQ(r.ERR, "forrtl: severe (24): end-of-file during read, unit 10, file " +
                       e2e::REPORTED_PATH(S, "res.bin") + "\n");
  EXPECT_EQ(r.STATUS, 24);
}

TEST(UnformattedRecords, RecordsTooShortForTheirItems) {
  e2e::SCRATCH S;
  S.WRITE("res.bin", FRAME(INT4(3)) + FRAME("") + FRAME("abc"));
  const std::string report = "forrtl: severe (67): input statement requires too much data, "
                             "unit 10, file " + e2e::REPORTED_PATH(S, "res.bin") + "\n";

  const e2e::RUN four = probe::RUN(S, "open 10 res.bin old u;fetch 10;ints 1;reals 1");
  EXPECT_EQ(four.OUT, "LEN 4\r\nINT 3\r\n");
  EXPECT_EQ(four.ERR, report);
  EXPECT_EQ(four.STATUS, 67);

  const e2e::RUN empty = probe::RUN(S, "open 10 res.bin old u;fetch 10;fetch 10;ints 1");
  EXPECT_EQ(empty.OUT, "LEN 4\r\nLEN 0\r\n");
  EXPECT_EQ(empty.ERR, report);
  EXPECT_EQ(empty.STATUS, 67);

  const e2e::RUN text = probe::RUN(S, "open 10 res.bin old u;fetch 10;fetch 10;fetch 10;text 4");
  EXPECT_EQ(text.OUT, "LEN 4\r\nLEN 0\r\nLEN 3\r\n");
  EXPECT_EQ(text.ERR, report);
  EXPECT_EQ(text.STATUS, 67);
}

}  // namespace
