#include "recordio/output.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include "recordio/console_utf8.h"
#include "recordio/reports.h"

namespace {

// Holds the signals that end the run for the lifetime of a state change.
class END_SIGNALS_HELD {
 public:
  END_SIGNALS_HELD() : saved_(HOLD_END_SIGNALS()) {}
  ~END_SIGNALS_HELD() { sigprocmask(SIG_SETMASK, &saved_, nullptr); }
  END_SIGNALS_HELD(const END_SIGNALS_HELD&) = delete;
  END_SIGNALS_HELD& operator=(const END_SIGNALS_HELD&) = delete;

 private:
  sigset_t saved_;
};

// How long an exit waits for a pipe or terminal that takes no bytes.
constexpr int STALL_LIMIT_MS = 400;
// At most this much goes to a pipe per write on the way out, so that a write
// after the pipe reported room does not block for the rest.
constexpr std::size_t EXIT_PIECE = PIPE_BUF;

// Write all N bytes; returns 0 or the errno of the refused write. SENT
// counts the bytes the system took.
int WRITE_ALL(int fd, const char* p, std::size_t n, std::size_t& SENT) noexcept {
  SENT = 0;
  while (n > 0) {
    ssize_t done = ::write(fd, p, n);
    if (done < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (done == 0) return EIO;
    p += done;
    n -= static_cast<std::size_t>(done);
    SENT += static_cast<std::size_t>(done);
  }
  return 0;
}

// The length of the whole records among the first SENT bytes of RECORDS (a
// run of whole records). No record body holds a line end (the title's control
// bytes are blanks), so the last line feed taken closes the last whole record.
std::size_t WHOLE_RECORD_BYTES(std::string_view RECORDS, std::size_t SENT) noexcept {
  const std::size_t last = RECORDS.substr(0, SENT).rfind('\n');
  return last == std::string_view::npos ? 0 : last + 1;
}

// Write N bytes to a pipe or terminal, giving up after STALL_LIMIT_MS
// without progress.
void WRITE_UNLESS_STALLED(int fd, const char* p, std::size_t n) noexcept {
  while (n > 0) {
    pollfd wait{fd, POLLOUT, 0};
    const int ready = ::poll(&wait, 1, STALL_LIMIT_MS);
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0 || (wait.revents & POLLOUT) == 0) return;
    const ssize_t done = ::write(fd, p, std::min(n, EXIT_PIECE));
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) return;
    p += done;
    n -= static_cast<std::size_t>(done);
  }
}

// The one place where a unit's bytes go to the system. Console output on a
// UTF-8 terminal is shown converted on the way; everything else goes as it
// is, and SENT counts the bytes of BYTES the system took (a terminal's
// converted output is never cut back, so SENT stays 0 there). On the way out
// of the process (EXITING) a pipe or terminal that takes no bytes is given up
// on. Returns 0 or the errno of the refused write.
int HAND_OVER(const OUTPUT& O, std::string_view BYTES, bool EXITING, std::size_t& SENT) noexcept {
  SENT = 0;
  std::size_t took = 0;
  const auto write = [&](std::string_view PIECE) {
    if (!EXITING) return WRITE_ALL(O.FD, PIECE.data(), PIECE.size(), took);
    WRITE_UNLESS_STALLED(O.FD, PIECE.data(), PIECE.size());
    return 0;
  };
  if (!O.AS_UTF8) {
    const int err = write(BYTES);
    SENT = took;
    return err;
  }
  std::array<char, 4096> shown;
  int err = 0;
  while (err == 0 && !BYTES.empty())
    err = write(std::string_view(shown.data(), CP932_TO_UTF8(BYTES, shown)));
  return err;
}

int HAND_OVER(const OUTPUT& O, std::string_view BYTES, bool EXITING) noexcept {
  std::size_t sent = 0;
  return HAND_OVER(O, BYTES, EXITING, sent);
}

// Where the next byte written to a regular file lands.
std::int64_t WRITE_POSITION(const OUTPUT& O) noexcept {
  if (O.APPENDS) {
    struct stat st {};
    return ::fstat(O.FD, &st) == 0 ? st.st_size : -1;
  }
  return ::lseek(O.FD, 0, SEEK_CUR);
}

// Cut a regular file back to KEPT bytes past START (where a write began),
// where the last whole record ends. START below 0: the position is unknown.
void CUT_BACK(const OUTPUT& O, std::int64_t START, std::size_t KEPT = 0) noexcept {
  if (START < 0) return;
  const std::int64_t at = START + static_cast<std::int64_t>(KEPT);
  (void)::ftruncate(O.FD, at);
  (void)::lseek(O.FD, at, SEEK_SET);
}

void CUT_IF_PENDING(OUTPUT& O) {
  if (!O.CUT_PENDING) return;
  O.CUT_PENDING = false;
  if (::ftruncate(O.FD, 0) != 0) FAIL_IO(38, O.UNIT, errno);
}

// Hand BYTES, then MORE, to the system: the write is marked as under way so
// that a signal can undo it, and a refused one is cut back: to the last whole
// record the system took when BYTES is a run of whole records (the buffer),
// else to where the write began. Returns 0 or the errno of the refused write;
// the mark stays for the caller to clear together with the buffer.
int SEND(OUTPUT& O, std::string_view BYTES, std::string_view MORE = {}) {
  if (O.REGULAR) O.FLIGHT_START.store(WRITE_POSITION(O), std::memory_order_relaxed);
  std::atomic_signal_fence(std::memory_order_release);
  O.IN_FLIGHT.store(true, std::memory_order_relaxed);
  std::size_t sent = 0;
  int err = HAND_OVER(O, BYTES, false, sent);
  if (err == 0) err = HAND_OVER(O, MORE, false);
  if (err == 0) O.HANDED += BYTES.size() + MORE.size();
  if (err != 0 && O.REGULAR) {
    const std::size_t kept = MORE.empty() ? WHOLE_RECORD_BYTES(BYTES, sent) : 0;
    CUT_BACK(O, O.FLIGHT_START.load(std::memory_order_relaxed), kept);
  }
  return err;
}

// The write is over: the buffer is empty (when it was what went out).
void LAND(OUTPUT& O, bool BUFFER_SENT) {
  END_SIGNALS_HELD hold;
  if (BUFFER_SENT) O.LEN.store(0, std::memory_order_relaxed);
  O.IN_FLIGHT.store(false, std::memory_order_relaxed);
}

void SEND_DIRECT(OUTPUT& O, std::string_view BYTES, std::string_view MORE = {}) {
  const int err = SEND(O, BYTES, MORE);
  LAND(O, false);
  if (err != 0) FAIL_IO(38, O.UNIT, err);
}

}  // namespace

sigset_t HOLD_END_SIGNALS() noexcept {
  sigset_t signals;
  sigset_t saved;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGQUIT);
  sigaddset(&signals, SIGHUP);
  sigaddset(&signals, SIGTERM);
  sigprocmask(SIG_BLOCK, &signals, &saved);
  return saved;
}

void OUTPUT_ATTACH(OUTPUT& O, int UNIT, int FD) {
  O.UNIT = UNIT;
  O.FD = FD;
  O.LEN.store(0);
  O.IN_FLIGHT.store(false);
  O.MEMORY.clear();
  struct stat st {};
  O.REGULAR = FD >= 0 && ::fstat(FD, &st) == 0 && S_ISREG(st.st_mode);
  O.APPENDS = FD >= 0 && (::fcntl(FD, F_GETFL) & O_APPEND) != 0;
  if (FD >= 0 && !O.BUF) {
    O.BUF = std::make_unique_for_overwrite<char[]>(OUTPUT_BUFFER_BYTES);  // only filled bytes are read
    O.CAP = OUTPUT_BUFFER_BYTES;
  }
}

void PUT_RECORD(OUTPUT& O, std::string_view BODY) {
  if (O.READ_ONLY) FAIL_IO(47, O.UNIT, 0);
  if (O.FD < 0) {
    O.MEMORY.append(BODY);
    O.MEMORY.append("\r\n");
    return;
  }
  CUT_IF_PENDING(O);
  const std::size_t need = BODY.size() + 2;
  std::size_t len = O.LEN.load(std::memory_order_relaxed);
  if (need > O.CAP - len) {
    OUTPUT_FLUSH(O);
    len = 0;
    if (need > O.CAP) {
      // A record larger than the whole buffer goes out at once, as one write
      // that a refusal or a signal undoes whole.
      SEND_DIRECT(O, BODY, "\r\n");
      return;
    }
  }
  char* at = O.BUF.get() + len;
  std::memcpy(at, BODY.data(), BODY.size());
  at[BODY.size()] = '\r';
  at[BODY.size() + 1] = '\n';
  std::atomic_signal_fence(std::memory_order_release);
  O.LEN.store(len + need, std::memory_order_relaxed);
}

char* RECORD_SPACE_SLOW(OUTPUT& O, std::size_t BODY_MAX) {
  if (O.READ_ONLY) FAIL_IO(47, O.UNIT, 0);
  if (O.FD >= 0) {
    CUT_IF_PENDING(O);
    const std::size_t need = BODY_MAX + 2;
    if (need > O.CAP - O.LEN.load(std::memory_order_relaxed) && need <= O.CAP) OUTPUT_FLUSH(O);
    const std::size_t len = O.LEN.load(std::memory_order_relaxed);
    if (need <= O.CAP - len) return O.BUF.get() + len;
  }
  O.SPARE.resize(BODY_MAX + 2);
  return O.SPARE.data();
}

void COMMIT_RECORD_SLOW(OUTPUT& O, char* AT, std::size_t BODY) {
  PUT_RECORD(O, std::string_view(AT, BODY));
}

void OUTPUT_WRITE_NOW(OUTPUT& O, std::string_view BYTES) {
  if (O.READ_ONLY) FAIL_IO(47, O.UNIT, 0);
  if (O.FD < 0) {
    O.MEMORY.append(BYTES);
    return;
  }
  CUT_IF_PENDING(O);
  OUTPUT_FLUSH(O);
  SEND_DIRECT(O, BYTES);
}

void OUTPUT_FLUSH(OUTPUT& O) {
  const std::size_t len = O.LEN.load(std::memory_order_relaxed);
  if (O.FD < 0 || len == 0) return;
  const int err = SEND(O, std::string_view(O.BUF.get(), len));
  LAND(O, true);
  if (err != 0) FAIL_IO(38, O.UNIT, err);
}

void OUTPUT_DRAIN_FOR_EXIT(OUTPUT& O) noexcept {
  if (O.FD < 0) return;
  const bool in_flight = O.IN_FLIGHT.load(std::memory_order_relaxed);
  std::atomic_signal_fence(std::memory_order_acquire);
  const std::size_t len = O.LEN.load(std::memory_order_relaxed);
  O.LEN.store(0, std::memory_order_relaxed);
  O.IN_FLIGHT.store(false, std::memory_order_relaxed);
  if (!O.REGULAR) {
    // How much of an interrupted write reached a pipe is unknown: the rest
    // cannot be matched to it, so nothing more is written there.
    if (!in_flight && len > 0) (void)HAND_OVER(O, std::string_view(O.BUF.get(), len), true);
    return;
  }
  const std::int64_t start =
      in_flight ? O.FLIGHT_START.load(std::memory_order_relaxed) : WRITE_POSITION(O);
  if (in_flight) CUT_BACK(O, start);
  std::size_t sent = 0;
  if (len > 0 && WRITE_ALL(O.FD, O.BUF.get(), len, sent) != 0) {
    CUT_BACK(O, start, WHOLE_RECORD_BYTES(std::string_view(O.BUF.get(), len), sent));
  }
}
