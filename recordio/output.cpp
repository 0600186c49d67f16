#include "recordio/output.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <unistd.h>

#include "recordio/reports.h"

namespace {

// Holds the console events back for the lifetime of a flush.
class CONSOLE_EVENTS_HELD {
 public:
  CONSOLE_EVENTS_HELD() : saved_(HOLD_CONSOLE_EVENTS()) {}
  ~CONSOLE_EVENTS_HELD() { sigprocmask(SIG_SETMASK, &saved_, nullptr); }
  CONSOLE_EVENTS_HELD(const CONSOLE_EVENTS_HELD&) = delete;
  CONSOLE_EVENTS_HELD& operator=(const CONSOLE_EVENTS_HELD&) = delete;

 private:
  sigset_t saved_;
};

// Write all N bytes; returns 0 or the errno of the refused write.
int WRITE_ALL(int fd, const char* p, std::size_t n) noexcept {
  while (n > 0) {
    ssize_t done = ::write(fd, p, n);
    if (done < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (done == 0) return EIO;
    p += done;
    n -= static_cast<std::size_t>(done);
  }
  return 0;
}

void CUT_IF_PENDING(OUTPUT& O) {
  if (!O.CUT_PENDING) return;
  O.CUT_PENDING = false;
  if (::ftruncate(O.FD, 0) != 0) FAIL_IO(38, O.UNIT, errno);
}

void WRITE_DIRECT(OUTPUT& O, std::string_view bytes) {
  int err = WRITE_ALL(O.FD, bytes.data(), bytes.size());
  if (err != 0) FAIL_IO(38, O.UNIT, err);
}

}  // namespace

sigset_t HOLD_CONSOLE_EVENTS() noexcept {
  sigset_t events;
  sigset_t saved;
  sigemptyset(&events);
  sigaddset(&events, SIGINT);
  sigaddset(&events, SIGQUIT);
  sigaddset(&events, SIGHUP);
  sigprocmask(SIG_BLOCK, &events, &saved);
  return saved;
}

void OUTPUT_ATTACH(OUTPUT& O, int UNIT, int FD) {
  O.UNIT = UNIT;
  O.FD = FD;
  O.LEN.store(0);
  O.MEMORY.clear();
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
      // A record larger than the whole buffer goes out at once, held together
      // against the console events so that it is never left half written.
      CONSOLE_EVENTS_HELD hold;
      WRITE_DIRECT(O, BODY);
      WRITE_DIRECT(O, "\r\n");
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

void OUTPUT_WRITE_NOW(OUTPUT& O, std::string_view BYTES) {
  if (O.READ_ONLY) FAIL_IO(47, O.UNIT, 0);
  if (O.FD < 0) {
    O.MEMORY.append(BYTES);
    return;
  }
  CUT_IF_PENDING(O);
  OUTPUT_FLUSH(O);
  CONSOLE_EVENTS_HELD hold;
  WRITE_DIRECT(O, BYTES);
}

void OUTPUT_FLUSH(OUTPUT& O) {
  if (O.FD < 0 || O.LEN.load(std::memory_order_relaxed) == 0) return;
  CONSOLE_EVENTS_HELD hold;
  const std::size_t len = O.LEN.load(std::memory_order_relaxed);
  int err = WRITE_ALL(O.FD, O.BUF.get(), len);
  O.LEN.store(0, std::memory_order_relaxed);
  if (err != 0) FAIL_IO(38, O.UNIT, err);
}

void OUTPUT_DRAIN_FOR_EXIT(OUTPUT& O) noexcept {
  if (O.FD < 0) return;
  const std::size_t len = O.LEN.load(std::memory_order_relaxed);
  std::atomic_signal_fence(std::memory_order_acquire);
  if (len > 0) (void)WRITE_ALL(O.FD, O.BUF.get(), len);
  O.LEN.store(0, std::memory_order_relaxed);
}
