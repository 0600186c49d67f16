// Units: opening by status and name, output reaching its file, stops, failure
// reports and console events, each watched as a whole run of the probe.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "tests/probe/probe_support.h"

namespace {

std::string SEVERE(int report, std::string_view message, int unit, std::string_view file) {
  return "forrtl: severe (" + std::to_string(report) + "): " + std::string(message) + ", unit " +
         std::to_string(unit) + ", file " + std::string(file) + "\n";
}

// Mark a file immutable (or not): even root may then open it only for reading.
bool SET_IMMUTABLE(const std::string& path, bool on) {
  const int fd = ::open(path.c_str(), O_RDONLY);
  if (fd < 0) return false;
  int flags = 0;
  bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
  if (done) {
    flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
    done = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
  }
  ::close(fd);
  return done;
}

TEST(Opening, FailureReportsNameTheFullPath) {
  e2e::SCRATCH S;
  const e2e::RUN missing = probe::RUN(S, "put -1 before;open 98 WORK.LST old f");
  EXPECT_EQ(missing.OUT, "before\r\n");
  EXPECT_EQ(missing.ERR, SEVERE(29, "file not found", 98, e2e::REPORTED_PATH(S, "WORK.LST")));
  EXPECT_EQ(missing.STATUS, 29);
  EXPECT_FALSE(S.EXISTS("WORK.LST"));

  // Blanks around the name go; "." and ".." are resolved in the reported path.
  std::filesystem::create_directory(S.DIR / "sub");
  const e2e::RUN dotted = probe::RUN(S, "open 10 ./sub/../sub/./../none.bin old u");
  EXPECT_EQ(dotted.ERR, SEVERE(29, "file not found", 10, e2e::REPORTED_PATH(S, "none.bin")));
  EXPECT_EQ(dotted.STATUS, 29);
  const e2e::RUN path = probe::RUN(S, "open 10 no/such/dir.bin old u");
  EXPECT_EQ(path.ERR, SEVERE(29, "file not found", 10, e2e::REPORTED_PATH(S, "no/such/dir.bin")));

  for (const char* status : {"old", "unknown"}) {
    const e2e::RUN dir = probe::RUN(S, std::string("open 8 sub ") + status + " f");
    EXPECT_EQ(dir.ERR, SEVERE(9, "permission to access file denied", 8,
                              e2e::REPORTED_PATH(S, "sub")));
    EXPECT_EQ(dir.STATUS, 9);
  }

  // Names up to 256 characters are tried; a longer one is refused as such.
  std::string deep;
  for (int i = 0; i < 85; ++i) deep += "dd/";
  const e2e::RUN longest = probe::RUN(S, "open 10 " + deep + "x old u");
  EXPECT_EQ(longest.ERR, SEVERE(29, "file not found", 10, e2e::REPORTED_PATH(S, deep + "x")));
  const e2e::RUN too_long = probe::RUN(S, "open 10 " + deep + "xy old u");
  EXPECT_EQ(too_long.ERR, SEVERE(43, "file name specification error", 10,
                                 e2e::REPORTED_PATH(S, deep + "xy")));
  EXPECT_EQ(too_long.STATUS, 43);

  // Any other reason is report 30 with the system's text first.
  std::filesystem::create_symlink("loop", S.DIR / "loop");
  const e2e::RUN loop = probe::RUN(S, "open 8 loop unknown f");
  EXPECT_EQ(loop.ERR, "forrtl: Too many levels of symbolic links\n" +
                          SEVERE(30, "open failure", 8, e2e::REPORTED_PATH(S, "loop")));
  EXPECT_EQ(loop.STATUS, 30);
}

TEST(Opening, AnOutputFileAlreadyOpenIsLeftAlone) {
  e2e::SCRATCH S;
  S.WRITE("res.bin", "precious");
  std::filesystem::create_symlink("res.bin", S.DIR / "alias");
  for (const char* name : {"res.bin", "alias"}) {
    const e2e::RUN r =
        probe::RUN(S, std::string("open 10 res.bin old u;open 8 ") + name + " unknown f;put 8 x");
    EXPECT_EQ(r.ERR, "forrtl: file already open on unit 10\n" +
                         SEVERE(30, "open failure", 8, e2e::REPORTED_PATH(S, name)));
    EXPECT_EQ(r.STATUS, 30);
    EXPECT_EQ(S.READ("res.bin"), "precious");
  }
  // The two ATLAS-style outputs may not be one file either.
  const e2e::RUN twice = probe::RUN(S, "open 21 out unknown f;put 21 a;open 22 out unknown f");
  EXPECT_EQ(twice.ERR, "forrtl: file already open on unit 21\n" +
                           SEVERE(30, "open failure", 22, e2e::REPORTED_PATH(S, "out")));
  EXPECT_EQ(S.READ("out"), "a\r\n");
}

TEST(Opening, UnknownStatusCutsAtTheFirstRecordOnly) {
  e2e::SCRATCH S;
  S.WRITE("out.dat", "a much longer former content\r\nsecond line\r\n");
  const e2e::RUN written = probe::RUN(S, "open 8 out.dat unknown f;put 8 new;put 8 two_words");
  EXPECT_EQ(written.STATUS, 0);
  EXPECT_EQ(S.READ("out.dat"), "new\r\ntwo words\r\n");

  S.WRITE("kept.dat", "former\r\n");
  const e2e::RUN untouched = probe::RUN(S, "open 8 kept.dat unknown f;put -1 done");
  EXPECT_EQ(untouched.OUT, "done\r\n");
  EXPECT_EQ(S.READ("kept.dat"), "former\r\n");

  const e2e::RUN created = probe::RUN(S, "open 8 fresh.dat unknown f");
  EXPECT_EQ(created.STATUS, 0);
  EXPECT_TRUE(S.EXISTS("fresh.dat"));
  EXPECT_EQ(S.READ("fresh.dat"), "");

  // Records beyond one buffer's worth all arrive, in order.
  const e2e::RUN many = probe::RUN(S, "open 8 many.dat unknown f;many 8 100000");
  EXPECT_EQ(many.STATUS, 0);
  const std::string all = S.READ("many.dat");
  ASSERT_EQ(all.size(), 100000U * 16U);
  EXPECT_EQ(all.substr(0, 32), "RECORD00000001\r\nRECORD00000002\r\n");
  EXPECT_EQ(all.substr(all.size() - 16), "RECORD00100000\r\n");
}

TEST(Opening, ReadOnlyFallbackThenAWriteIsReport47) {
  e2e::SCRATCH S;
  S.WRITE("locked.dat", "line\n");
  const std::string path = (S.DIR / "locked.dat").string();
  if (!SET_IMMUTABLE(path, true)) GTEST_SKIP() << "the file system cannot mark a file immutable";
  const e2e::RUN read = probe::RUN(S, "open 98 locked.dat old f;chars 98");
  const e2e::RUN write = probe::RUN(S, "open 8 locked.dat unknown f;put -1 opened;put 8 x");
  SET_IMMUTABLE(path, false);
  EXPECT_EQ(read.OUT, "[line                ]\r\n");
  EXPECT_EQ(read.STATUS, 0);
  EXPECT_EQ(write.OUT, "opened\r\n");
  EXPECT_EQ(write.ERR, SEVERE(47, "write to READONLY file", 8, e2e::REPORTED_PATH(S, "locked.dat")));
  EXPECT_EQ(write.STATUS, 47);
  EXPECT_EQ(S.READ("locked.dat"), "line\n");

  // A file that cannot be created reports why, not that it is missing.
  std::filesystem::create_directory(S.DIR / "frozen");
  const std::string frozen = (S.DIR / "frozen").string();
  ASSERT_TRUE(SET_IMMUTABLE(frozen, true));
  const e2e::RUN create = probe::RUN(S, "open 8 frozen/new.dat unknown f");
  SET_IMMUTABLE(frozen, false);
  EXPECT_EQ(create.ERR, SEVERE(9, "permission to access file denied", 8,
                               e2e::REPORTED_PATH(S, "frozen/new.dat")));
  EXPECT_EQ(create.STATUS, 9);
}

TEST(Opening, UnitsNeverOpenedAreRefused) {
  e2e::SCRATCH S;
  const e2e::RUN read = probe::RUN(S, "fetch 12");
  EXPECT_EQ(read.ERR, "forrtl: Bad file descriptor\n" + SEVERE(39, "error during read", 12, ""));
  EXPECT_EQ(read.STATUS, 39);
  const e2e::RUN write = probe::RUN(S, "put 12 x");
  EXPECT_EQ(write.ERR, "forrtl: Bad file descriptor\n" + SEVERE(38, "error during write", 12, ""));
  EXPECT_EQ(write.STATUS, 38);
}

TEST(Opening, BlankNamesTakeArgumentsThenAsk) {
  e2e::SCRATCH S;
  const e2e::RUN args = probe::RUN(S, "open 8 - unknown f;open 21 - unknown f;put 8 one;put 21 two;"
                                      "name 8;name 21", "", {"first.txt", "second.txt"});
  EXPECT_EQ(args.OUT, e2e::REPORTED_PATH(S, "first.txt") + "\r\n" +
                          e2e::REPORTED_PATH(S, "second.txt") + "\r\n");
  EXPECT_EQ(S.READ("first.txt"), "one\r\n");
  EXPECT_EQ(S.READ("second.txt"), "two\r\n");

  // The argument is used up: the next blank name asks at the console, and
  // blank answers repeat the prompt.
  const e2e::RUN asked = probe::RUN(S, "open 8 - unknown f;open 22 - unknown f;name 22",
                                    "\n   \n  typed.txt  \n", {"first.txt"});
  EXPECT_EQ(asked.OUT, "File name missing or blank - please enter file name\r\n"
                       "UNIT 22? UNIT 22? UNIT 22? " + e2e::REPORTED_PATH(S, "typed.txt") + "\r\n");
  EXPECT_EQ(asked.ERR, "");
  EXPECT_TRUE(S.EXISTS("typed.txt"));

  const e2e::RUN closed = probe::RUN(S, "open 8 - unknown f", "  \n");
  EXPECT_EQ(closed.OUT, "File name missing or blank - please enter file name\r\nUNIT 8? UNIT 8? ");
  EXPECT_EQ(closed.ERR, SEVERE(24, "end-of-file during read", -4, "CONIN$"));
  EXPECT_EQ(closed.STATUS, 24);
}

TEST(Stops, StatusesAndStandardError) {
  e2e::SCRATCH S;
  const e2e::RUN normal = probe::RUN(S, "open 8 out unknown f;put 8 r;put -1 bye;stop");
  EXPECT_EQ(normal.OUT, "bye\r\n");
  EXPECT_EQ(normal.ERR, "");
  EXPECT_EQ(normal.STATUS, 0);
  EXPECT_EQ(S.READ("out"), "r\r\n");

  const e2e::RUN code = probe::RUN(S, "put -1 asked;code");
  EXPECT_EQ(code.OUT, "asked\r\n");
  EXPECT_EQ(code.ERR, "1111\n");
  EXPECT_EQ(code.STATUS, 87);  // 1111 = 4 * 256 + 87

  const e2e::RUN warned = probe::RUN(S, "put -1 a;warn 3_corners;put -1 b");
  EXPECT_EQ(warned.OUT, "a\r\nb\r\n");
  EXPECT_EQ(warned.ERR, "kovaconv: warning: 3_corners\n");
  EXPECT_EQ(warned.STATUS, 0);

  // A failure report writes out the records every unit completed.
  const e2e::RUN failed = probe::RUN(S, "open 8 out unknown f;put 8 r1;put 8 r2;put -1 q;int -4", "x\n");
  EXPECT_EQ(failed.OUT, "q\r\n");
  EXPECT_EQ(failed.STATUS, 59);
  EXPECT_EQ(S.READ("out"), "r1\r\nr2\r\n");
}

TEST(Stops, RefusedWritesAreReport38) {
  e2e::SCRATCH S;
  const e2e::RUN full = probe::RUN(S, "open 8 /dev/full unknown f;put 8 x;stop");
  EXPECT_EQ(full.ERR, "forrtl: No space left on device\n" +
                          SEVERE(38, "error during write", 8, "/dev/full"));
  EXPECT_EQ(full.STATUS, 38);

  // The console itself refusing: the report still comes, once.
  probe::LIVE console(S, "put -1 x;stop", "/dev/full");
  EXPECT_EQ(console.FINISH(), 38);
  EXPECT_EQ(e2e::READ_PATH(console.ERR_PATH),
            "forrtl: No space left on device\n" + SEVERE(38, "error during write", -1, "CONOUT$"));
}

TEST(ConsoleEvents, EachEventEndsTheRunWithItsLineAndStatus) {
  const struct {
    int SIGNAL;
    const char* EVENT;
    int STATUS;
  } events[] = {{SIGINT, "control-C", 0}, {SIGQUIT, "control-BREAK", 1}, {SIGHUP, "window-CLOSE", 2}};
  for (const auto& e : events) {
    SCOPED_TRACE(e.EVENT);
    e2e::SCRATCH S;
    probe::LIVE run(S, "events;open 8 out unknown f;put 8 done;put -1 waiting;int -4");
    // The console is written out before the read waits for an answer.
    ASSERT_TRUE(probe::LIVE::WAIT_FOR_SIZE(run.OUT_PATH, 9));
    ::kill(run.PID, e.SIGNAL);
    EXPECT_EQ(run.FINISH(), e.STATUS);
    EXPECT_EQ(e2e::READ_PATH(run.OUT_PATH), "waiting\r\n");
    EXPECT_EQ(e2e::READ_PATH(run.ERR_PATH),
              std::string("forrtl: error (200): program aborting due to ") + e.EVENT + " event\n");
    EXPECT_EQ(S.READ("out"), "done\r\n");
  }
}

TEST(ConsoleEvents, AnInterruptedFileHoldsWholeRecords) {
  e2e::SCRATCH S;
  probe::LIVE run(S, "events;open 8 out unknown f;many 8 1000000;int -4");
  ASSERT_TRUE(probe::LIVE::WAIT_FOR_SIZE((S.DIR / "out").string(), 2 << 20));
  ::kill(run.PID, SIGINT);
  EXPECT_EQ(run.FINISH(), 0);
  EXPECT_EQ(e2e::READ_PATH(run.ERR_PATH),
            "forrtl: error (200): program aborting due to control-C event\n");
  const std::string all = S.READ("out");
  ASSERT_EQ(all.size() % 16, 0U);
  ASSERT_GE(all.size(), 2U << 20);
  char last[32];
  std::snprintf(last, sizeof last, "RECORD%08zu\r\n", all.size() / 16);
  EXPECT_EQ(all.substr(all.size() - 16), last);
}

}  // namespace
