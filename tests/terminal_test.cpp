// What a user sees at a terminal: the console text converted for a UTF-8 terminal and the progress line of a long run, and
// the exact bytes as before whenever the output is a file.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <regex>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "e2e_support.h"
#include "recordio/buffers/console_utf8.h"

using namespace KOVA;

namespace {

// The Japanese console lines as code page 932 bytes and as the UTF-8 of the
// same characters (the full-width hyphen is U+FF0D in code page 932).
const std::string COUNTS_CP932 =
    " \x90\xDF\x93\x5F\x91\x8D\x90\x94\x81\x40         400   \x97\x76\x91\x66\x91\x8D\x90\x94\x81\x40"
    "         398\r\n";
const std::string COUNTS_UTF8 = " 節点総数　         400   要素総数　         398\r\n";
const std::string DATA_OK_UTF8 = "                デ－タ－ＯＫ？　Ｙ／０　Ｎ／１\r\n";

// Where a run's standard output and error go, and its locale.
struct SETUP { const char* LOCALE; bool OUT_ON_TERMINAL, ERR_ON_TERMINAL; };

// What came out: the terminal's bytes and the bytes of the streams sent to files.
struct SEEN { int STATUS = -1; std::string TERMINAL, STDOUT, ERR; };

// Run kovaconv in the scratch directory with the answers on standard input. The
// output file slow.plt is a FIFO that is read only after WAIT: the conversion
// stalls on it for that long, as a long one would take.
SEEN RUN_SLOWED(const e2e::SCRATCH& s, const SETUP& setup, std::chrono::milliseconds WAIT) {
  const std::filesystem::path io = s.ROOT;
  e2e::WRITE_PATH(io / "stdin", "0\n0\n2\nslow.plt\n-1\n");
  int master = -1, slave = -1;
  termios raw{};
  ::cfmakeraw(&raw);  // the bytes exactly as written, no line-end translation
  if (::openpty(&master, &slave, nullptr, &raw, nullptr) != 0) return {};
  for (int fd : {master, slave}) ::fcntl(fd, F_SETFD, FD_CLOEXEC);
  const std::string locale = std::string("LC_ALL=") + setup.LOCALE;
  char* env[] = {const_cast<char*>(locale.c_str()), nullptr};
  const pid_t pid = e2e::SPAWN(s.DIR, {KOVACONV_EXE}, {io / "stdin", io / "stdout", io / "stderr"},
                               {-1, setup.OUT_ON_TERMINAL ? slave : -1, setup.ERR_ON_TERMINAL ? slave : -1}, env);
  ::close(slave);
  if (pid < 0) {
    ::close(master);
    return {};
  }

  SEEN seen;
  std::thread terminal([&] {  // read until the last holder of the terminal is gone
    std::array<char, 4096> buf;
    for (ssize_t n; (n = ::read(master, buf.data(), buf.size())) > 0;) seen.TERMINAL.append(buf.data(), n);
  });
  // The FIFO is held open here for reading and writing, so that it never
  // reads as ended; it is emptied after WAIT and then until the run is over.
  const int fifo = ::open((s.DIR / "slow.plt").c_str(), O_RDWR | O_NONBLOCK);
  std::this_thread::sleep_for(WAIT);
  int status = 0;
  std::array<char, 65536> buf;
  for (;;) {
    while (::read(fifo, buf.data(), buf.size()) > 0) {
    }
    if (::waitpid(pid, &status, WNOHANG) == pid) break;
    pollfd ready{fifo, POLLIN, 0};
    ::poll(&ready, 1, 20);
  }
  ::close(fifo);
  terminal.join();
  ::close(master);
  seen.STATUS = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  seen.STDOUT = e2e::READ_PATH(io / "stdout");
  seen.ERR = e2e::READ_PATH(io / "stderr");
  return seen;
}

}  // namespace

// Code page 932 to UTF-8: two-byte and one-byte characters convert, bytes that
// are no character pass unchanged, a lead byte cut off from its second byte by
// the end of one piece is joined with the next piece, and a small output
// buffer takes the text in turns with the same result.
TEST(ConsoleUtf8, ConvertsCharactersPassesOtherBytesJoinsSplitCharacters) {
  struct CASE { std::vector<std::string_view> PIECES; std::string_view SHOWN; };
  const CASE cases[] = {
      {{"\x90\xDF\x93\x5F"}, "節点"},
      {{"AB \xB1\r\n"}, "AB ｱ\r\n"},                       // half-width katakana, one byte
      {{"\xFF\x80\xA0x"}, "\xFF\x80\xA0x"},                // no character: unchanged
      {{"\x81\r\n"}, "\x81\r\n"},                          // a lead byte with no second byte
      {{"a\x90", "\xDF\x93\x5F\r\n"}, "a節点\r\n"},        // split between two pieces
      {{"\x90", "\r\n"}, "\x90\r\n"},                      // split, and no character after all
  };
  for (const std::size_t room : {std::size_t{4096}, std::size_t{4}}) {
    for (const CASE& c : cases) {
      std::string shown;
      std::vector<char> out(room);
      for (std::string_view piece : c.PIECES) {
        while (!piece.empty()) shown.append(out.data(), CP932_TO_UTF8(piece, out));
      }
      EXPECT_EQ(shown, c.SHOWN) << "room " << room << ", first piece " << c.PIECES[0];
    }
  }
}

// A conversion that stalls for more than a second, with its console on a UTF-8
// terminal: the Japanese lines show as UTF-8, and a progress line is drawn on
// the terminal and blanked out just before the termination message. With
// standard output and error sent to files the same run writes the exact code
// page 932 bytes and nothing on standard error; in the "C" locale the terminal
// gets the code page 932 bytes.
TEST(Terminal, Utf8ConsoleAndProgressLineOnlyOnATerminal) {
  e2e::SCRATCH s;
  ASSERT_FALSE(e2e::GENERATE(s, 400, 120).empty());
  ASSERT_EQ(::mkfifo((s.DIR / "slow.plt").c_str(), 0644), 0);
  const auto stall = std::chrono::milliseconds(1300);

  SEEN t = RUN_SLOWED(s, {"C.UTF-8", true, true}, stall);
  EXPECT_EQ(t.STATUS, 0);
  EXPECT_NE(t.TERMINAL.find(COUNTS_UTF8), std::string::npos);
  EXPECT_NE(t.TERMINAL.find(DATA_OK_UTF8), std::string::npos);
  EXPECT_EQ(t.TERMINAL.find(COUNTS_CP932), std::string::npos);
  // Every drawing starts at the line's start and reads "kovaconv: N steps read,
  // X.X MB written, Y.Y MB/s", blanks after it over a longer earlier one; the
  // last one is blanked over its whole width and the termination message
  // follows at once.
  const std::regex drawing(R"(\rkovaconv: (1 step|(?!1 )\d+ steps) read, \d+\.\d+ MB written, \d+\.\d+ MB/s *)");
  std::size_t width = 0, drawings = 0, after = 0;
  for (std::size_t at = t.TERMINAL.find("\rkovaconv: "); at != std::string::npos;
       at = t.TERMINAL.find("\rkovaconv: ", at + 1), ++drawings) {
    std::smatch m;
    EXPECT_TRUE(std::regex_search(t.TERMINAL.cbegin() + static_cast<std::ptrdiff_t>(at), t.TERMINAL.cend(), m,
                                  drawing, std::regex_constants::match_continuous))
        << t.TERMINAL.substr(at, 80);
    width = static_cast<std::size_t>(m.length()) - 1;
    after = at + static_cast<std::size_t>(m.length());
  }
  EXPECT_GE(drawings, 1U);
  std::string blanked(width + 2, ' ');
  blanked.front() = blanked.back() = '\r';
  EXPECT_EQ(t.TERMINAL.substr(after), blanked + e2e::TERMINATION);

  SEEN f = RUN_SLOWED(s, {"C.UTF-8", false, false}, stall);
  EXPECT_EQ(f.STATUS, 0);
  EXPECT_EQ(f.TERMINAL, "");
  EXPECT_EQ(f.ERR, "");
  EXPECT_NE(f.STDOUT.find(COUNTS_CP932 + " \r\n" + e2e::DATA_OK_CP932), std::string::npos);

  SEEN c = RUN_SLOWED(s, {"C", true, false}, std::chrono::milliseconds(0));
  EXPECT_EQ(c.STATUS, 0);
  EXPECT_NE(c.TERMINAL.find(COUNTS_CP932 + " \r\n" + e2e::DATA_OK_CP932), std::string::npos);
  EXPECT_EQ(c.TERMINAL.substr(c.TERMINAL.size() - e2e::TERMINATION.size()), e2e::TERMINATION);
}
