// Units: opening, output reaching its file, stops, failure reports and console
// events, each watched as a whole run of the probe.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <linux/fs.h>
#include <sys/ioctl.h>
#endif

#include <cstdio>

#include "recordio/run_end/report_numbers.h"
#include "tests/probe/probe_support.h"

using namespace KOVA;

namespace {

// The first report line of a refused write, an unconnected unit and a file
// that another program holds open without sharing it.
#ifdef _WIN32
const std::string REFUSED_WRITE = "forrtl: " + e2e::SYSTEM_TEXT(232) + "\n";  // the pipe is being closed
const std::string BAD_FILE = "forrtl: " + e2e::SYSTEM_TEXT(6) + "\n";         // invalid handle
const std::string SHARING_VIOLATION = "forrtl: " + e2e::SYSTEM_TEXT(32) + "\n";
#else
const std::string REFUSED_WRITE = "forrtl: No space left on device\n";
const std::string BAD_FILE = "forrtl: Bad file descriptor\n";

// Mark a file immutable (or not): even root may then open it only for reading.
bool SET_IMMUTABLE(const e2e::SCRATCH& S, const char* name, bool on) {
  const int fd = ::open((S.DIR / name).c_str(), O_RDONLY);
  int flags = 0;
  const bool got = fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
  flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
  const bool done = got && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
  return ::close(fd) == 0 && done;  // closing -1 just fails
}
#endif

// The reports the program names are the written ones, each with its written
// text: a report added, dropped or misspelt in one place shows here.
TEST(Reports, NamedReportsAreTheWrittenOnes) {
  std::map<int, std::string_view> named;
  for (const REPORT_TEXT& R : REPORT_TEXTS) named.emplace(REPORT_NUMBER(R.WHICH), R.TEXT);
  EXPECT_EQ(named, e2e::REPORT_LINES());
}

TEST(Opening, FailuresEndTheRunWithTheirReport) {
  e2e::SCRATCH S;
  std::filesystem::create_directory(S.DIR / "sub");
  S.WRITE("res.bin", "precious");
#ifdef _WIN32
  std::filesystem::create_hard_link(S.DIR / "res.bin", S.DIR / "alias");
  S.WRITE("held.dat", "held");
  const probe::HELD_FILE held(S.DIR / "held.dat", false);
  ASSERT_TRUE(held.HELD());
#else
  std::filesystem::create_symlink("loop", S.DIR / "loop");
  std::filesystem::create_symlink("res.bin", S.DIR / "alias");
#endif
  std::string deep;  // 255 characters: with one more the name is the longest one tried
  for (int i = 0; i < 85; ++i) deep += "dd/";
  // The report's last line names the file by its full path; the status is the report number.
  const struct { std::string SCRIPT, NAME; int UNIT, REPORT; std::string FIRST = ""; } cases[] = {
      {"open 98 WORK.LST old f", "WORK.LST", 98, 29},
      {"open 10 ./sub/../sub/./../none.bin old u", "none.bin", 10, 29},
      {"open 10 " + deep + "x old u", deep + "x", 10, 29},
      {"open 10 " + deep + "xy old u", deep + "xy", 10, 43},
      {"open 8 sub old f", "sub", 8, 9},
      {"open 8 sub unknown f", "sub", 8, 9},
#ifdef _WIN32
      {"open 8 held.dat unknown f", "held.dat", 8, 30, SHARING_VIOLATION},
      {"open 8 a<b unknown f", "a<b", 8, 43},
#else
      {"open 8 loop unknown f", "loop", 8, 30, "forrtl: Too many levels of symbolic links\n"},
#endif
      {"open 10 res.bin old u;open 8 alias unknown f;put 8 x", "alias", 8, 30,
       "forrtl: file already open on unit 10\n"},
      {"open 21 out unknown f;put 21 a;open 22 out unknown f", "out", 22, 30,
       "forrtl: file already open on unit 21\n"},
      {"fetch 12", "", 12, 39, BAD_FILE},
      {"put 12 x", "", 12, 38, BAD_FILE},
#ifndef _WIN32  // no full device on Windows: the console's refused write stands for it
      {"open 8 /dev/full unknown f;put 8 x", "/dev/full", 8, 38, REFUSED_WRITE},
      {"open 8 /dev/stdout unknown f", "/dev/stdout", 8, 30, "forrtl: file already open on unit -1 (the console output)\n"},
#endif
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.SCRIPT);
    const e2e::RUN r = probe::RUN(S, "put -1 before;" + c.SCRIPT);
    const std::string name = c.NAME.empty() ? "" : e2e::REPORTED_PATH(S, c.NAME);
    EXPECT_EQ(r.STDOUT, "before\r\n");  // the console is written out before the report
    EXPECT_EQ(r.ERR, c.FIRST + e2e::SEVERE(c.REPORT, c.UNIT, name));
    EXPECT_EQ(r.STATUS, e2e::REPORT_STATUS(c.REPORT));
  }
  EXPECT_FALSE(S.EXISTS("WORK.LST"));
  EXPECT_EQ(S.READ("res.bin"), "precious");
  EXPECT_EQ(S.READ("out"), "a\r\n");
}

TEST(Opening, BlankNamesAndUnknownStatus) {
  e2e::SCRATCH S;
  S.WRITE("first.txt", "a much longer former content\r\nsecond line\r\n");
  S.WRITE("kept.dat", "former\r\n");
  // Blank names take the arguments; status unknown cuts a file at its first
  // record only (none written: the file stays), and creates a missing one.
  const e2e::RUN args = probe::RUN(S, "open 8 - unknown f;open 21 - unknown f;put 8 new;"
                                      "put 8 two_words;put 21 two;open 9 kept.dat unknown f",
                                   "", {"first.txt", "second.txt"});
  EXPECT_EQ(args.ERR, "");
  EXPECT_EQ(args.STATUS, 0);
  EXPECT_EQ(S.READ("first.txt"), "new\r\ntwo words\r\n");
  EXPECT_EQ(S.READ("second.txt"), "two\r\n");
  EXPECT_EQ(S.READ("kept.dat"), "former\r\n");
  // The argument used up, a blank name asks; blank answers ask again, and the
  // end of the console input ends the run (with the finished records written).
  const e2e::RUN asked = probe::RUN(
      S, "open 21 - unknown f;open 8 - unknown f;put 8 typed;open 9 - unknown f",
      "\n   \n  typed.txt  \n", {"kept.dat"});
  const std::string missing = "File name missing or blank - please enter file name\r\n";
  EXPECT_EQ(asked.STDOUT, missing + "UNIT 8? UNIT 8? UNIT 8? " + missing + "UNIT 9? ");
  EXPECT_EQ(asked.ERR, e2e::SEVERE(24, -4, "CONIN$"));
  EXPECT_EQ(asked.STATUS, e2e::REPORT_STATUS(24));
  EXPECT_EQ(S.READ("typed.txt"), "typed\r\n");
}

// A file that may only be read (on Windows: another program holds it open, letting
// others only read it; elsewhere: it is immutable, which binds root too) is opened
// for reading only, and a write to it is report 47.
TEST(Opening, ReadOnlyFallbackThenAWriteIsReport47) {
  e2e::SCRATCH S;
  S.WRITE("locked.dat", "line\n");
#ifdef _WIN32
  const probe::HELD_FILE held(S.DIR / "locked.dat", true);
  ASSERT_TRUE(held.HELD());
#else
  std::filesystem::create_directory(S.DIR / "frozen");
  const bool frozen = SET_IMMUTABLE(S, "locked.dat", true) && SET_IMMUTABLE(S, "frozen", true);
  const e2e::RUN create = probe::RUN(S, "open 8 frozen/new.dat unknown f");
#endif
  const e2e::RUN write = probe::RUN(S, "open 8 locked.dat unknown f;put -1 opened;put 8 x");
#ifndef _WIN32
  for (const char* name : {"locked.dat", "frozen"}) SET_IMMUTABLE(S, name, false);
  if (!frozen) GTEST_SKIP() << "the file system cannot mark files immutable (needed against root)";
  // A file that cannot be created reports why, not that it is missing.
  EXPECT_EQ(create.ERR, e2e::SEVERE(9, 8, e2e::REPORTED_PATH(S, "frozen/new.dat")));
  EXPECT_EQ(create.STATUS, e2e::REPORT_STATUS(9));
#endif
  EXPECT_EQ(write.STDOUT, "opened\r\n");
  EXPECT_EQ(write.ERR, e2e::SEVERE(47, 8, e2e::REPORTED_PATH(S, "locked.dat")));
  EXPECT_EQ(write.STATUS, e2e::REPORT_STATUS(47));
  EXPECT_EQ(S.READ("locked.dat"), "line\n");
}

#ifdef _WIN32
// Windows: a drive the system does not have.
TEST(Opening, MissingDriveIsReport42) {
  e2e::SCRATCH S;
  const e2e::RUN r = probe::RUN(S, "open 10 " + e2e::MISSING_DRIVE() + ":\\data\\res.bin old u");
  EXPECT_EQ(r.ERR, e2e::SEVERE(42, 10, e2e::MISSING_DRIVE() + ":\\data\\res.bin"));
  EXPECT_EQ(r.STATUS, e2e::REPORT_STATUS(42));
}
#endif

TEST(Stops, StatusesAndStandardError) {
  e2e::SCRATCH S;
  const e2e::RUN code = probe::RUN(S, "put -1 asked;code");
  EXPECT_EQ(code.STDOUT, "asked\r\n");
  EXPECT_EQ(code.ERR, "1111\n");
  EXPECT_EQ(code.STATUS, e2e::EXIT_STATUS(1111));  // on POSIX systems 87: 1111 = 4 * 256 + 87
  // The console itself refusing: the report still comes, once.
  probe::LIVE console(S, "put -1 x", probe::REFUSING_OUTPUT);
  EXPECT_EQ(console.FINISH(), e2e::REPORT_STATUS(38));
  EXPECT_EQ(e2e::READ_PATH(console.ERR_PATH),
            REFUSED_WRITE + e2e::SEVERE(38, -1, "CONOUT$"));
}

TEST(ConsoleEvents, EachEventLeavesWholeRecordsItsLineAndStatus) {
  // Control-C comes while records are being written (6 MB of them: with four
  // threads allowed, they have started at 4 MB), the others at a console read.
  const struct { probe::EVENT EVENT; const char* NAME; std::int64_t STATUS; int RECORDS; } events[] = {
      {probe::EVENT::CONTROL_C, "control-C", e2e::INTERRUPTED, 1000000},
      {probe::EVENT::CONTROL_BREAK, "control-BREAK", 1, 10},
      {probe::EVENT::WINDOW_CLOSE, "window-CLOSE", 2, 10}};
  for (const int threads : {1, 4}) {
    for (const auto& e : events) {
      SCOPED_TRACE(std::string(e.NAME) + ", threads " + std::to_string(threads));
      e2e::SCRATCH S;
      probe::LIVE run(S, "threads " + std::to_string(threads) + ";open 8 out unknown f;put -1 started;many 8 " +
                             std::to_string(e.RECORDS) + ";int -4");
      // A console read writes out the console first.
      ASSERT_TRUE(e.RECORDS > 10 ? probe::WAIT_FOR_SIZE(S.DIR / "out", 6 << 20)
                                 : probe::WAIT_FOR_SIZE(run.OUT_PATH, 9));
      ASSERT_TRUE(probe::SEND_EVENT(run, e.EVENT));
      EXPECT_EQ(run.FINISH(), e.STATUS);
      EXPECT_EQ(e2e::READ_PATH(run.OUT_PATH), "started\r\n");
      EXPECT_EQ(e2e::READ_PATH(run.ERR_PATH),
                std::string("forrtl: error (200): program aborting due to ") + e.NAME + " event\n");
      const std::string all = S.READ("out");
      ASSERT_EQ(all.size() % 16, 0U);
      ASSERT_GE(all.size(), e.RECORDS > 10 ? 6U << 20 : 160U);
      char last[32];
      std::snprintf(last, sizeof last, "RECORD%08zu\r\n", all.size() / 16);
      EXPECT_EQ(all.substr(all.size() - 16), last);
    }
  }
}

#ifdef _WIN32
// Windows: an event while a console write is blocked (the console is a pipe
// that nobody reads) ends the run at once, with its line and status, and the
// other units written out.
TEST(ConsoleEvents, EndTheRunWhileAWriteIsBlocked) {
  e2e::SCRATCH S;
  probe::LIVE run(S, "open 8 out unknown f;put 8 before;many -1 1000000", probe::UNREAD_OUTPUT);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));  // the pipe is full long before
  const auto sent = std::chrono::steady_clock::now();
  ASSERT_TRUE(probe::SEND_EVENT(run, probe::EVENT::CONTROL_BREAK));
  EXPECT_EQ(run.FINISH(), 1);
  EXPECT_LT(std::chrono::steady_clock::now() - sent, std::chrono::seconds(3));
  EXPECT_EQ(e2e::READ_PATH(run.ERR_PATH), "forrtl: error (200): program aborting due to control-BREAK event\n");
  EXPECT_EQ(S.READ("out"), "before\r\n");
}

// Windows: console records are code page 932 bytes, so a console shows them in
// that code page while the run lasts, and has its own back when it ends.
TEST(Console, CodePage932ForTheRun) {
  if (probe::CONSOLE_CODE_PAGE() == 0) GTEST_SKIP() << "no console (run the test under a terminal)";
  probe::SET_CONSOLE_CODE_PAGE(437);
  e2e::SCRATCH S;
  probe::LIVE run(S, "put -1 waiting;int -4", "CONOUT$");
  bool shown_as_932 = false;
  for (int ms = 0; ms < 20000 && !shown_as_932; ms += 10, std::this_thread::sleep_for(std::chrono::milliseconds(10)))
    shown_as_932 = probe::CONSOLE_CODE_PAGE() == 932;
  run.END_INPUT();
  EXPECT_EQ(run.FINISH(), e2e::REPORT_STATUS(24));
  EXPECT_TRUE(shown_as_932);
  EXPECT_EQ(probe::CONSOLE_CODE_PAGE(), 437U);
}
#endif

}  // namespace
