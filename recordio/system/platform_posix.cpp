// The record layer's system operations on Linux and other POSIX systems.
#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <time.h>
#include <sys/stat.h>
#include <unistd.h>

#include "recordio/system/platform.h"

namespace KOVA {

const SYS_ERROR SYS_BAD_FILE = EBADF;
const SYS_ERROR SYS_TOO_MANY_FILES = EMFILE;
const SYS_ERROR SYS_LOCKED = EAGAIN;

namespace {

int DESCRIPTOR(SYS_FILE F) { return static_cast<int>(F); }

OPEN_FAULT FAULT_OF(int err) {
  switch (err) {
    case ENOENT:
    case ENOTDIR: return OPEN_FAULT::NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR: return OPEN_FAULT::ACCESS_DENIED;
    case ENAMETOOLONG: return OPEN_FAULT::BAD_NAME;
    default: return OPEN_FAULT::OTHER;
  }
}

bool REFUSED_FOR_WRITING(int err) {
  return err == EACCES || err == EROFS || err == EPERM || err == ETXTBSY;
}

OPENED FAILED_WITH(int err) { return OPEN_FAILED(FAULT_OF(err), err); }

// How long an exit waits for a pipe or terminal that takes no bytes.
constexpr int STALL_LIMIT_MS = 400;
// At most this much goes to a pipe per write on the way out, so that a write
// after the pipe reported room does not block for the rest.
constexpr std::size_t EXIT_PIECE = PIPE_BUF;

// The signals that end the run: control-C (SIGINT), control-BREAK (SIGQUIT),
// the closed console window (SIGHUP) and SIGTERM.
sigset_t END_SIGNALS() noexcept {
  sigset_t signals;
  sigemptyset(&signals);
  for (int s : {SIGINT, SIGQUIT, SIGHUP, SIGTERM}) sigaddset(&signals, s);
  return signals;
}

// Set once, before the signals are routed to ON_END_SIGNAL.
END_EVENT_HANDLER ON_EVENT = nullptr;

// Runs on the signal; the handler is async-signal-safe and ends the process.
void ON_END_SIGNAL(int signal) {
  switch (signal) {
    case SIGQUIT: ON_EVENT(END_EVENT::CONTROL_BREAK); break;
    case SIGHUP: ON_EVENT(END_EVENT::WINDOW_CLOSE); break;
    case SIGTERM: ON_EVENT(END_EVENT::TERMINATED); break;
    default: ON_EVENT(END_EVENT::CONTROL_C); break;
  }
}

// Holds taken and not yet released (only the main flow takes them), and the
// mask in force before the first.
int HOLDS = 0;
sigset_t MASK_BEFORE_HOLDS;

}  // namespace

SYS_FILE SYS_STANDARD(int STREAM) noexcept { return STREAM; }

bool SYS_FILE_ID(SYS_FILE F, FILE_ID& ID) noexcept {
  struct stat st {};
  if (::fstat(DESCRIPTOR(F), &st) != 0) return false;
  ID = {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
  return true;
}

OPENED SYS_OPEN_FILE(const std::string& NAME, bool CREATE_ABSENT) {
  OPENED o;
  int fd = ::open(NAME.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY | (CREATE_ABSENT ? O_CREAT : 0), 0666);
  if (fd < 0 && REFUSED_FOR_WRITING(errno)) {
    const int refused = errno;
    fd = ::open(NAME.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    // A file that could not be created reports why it could not be.
    if (fd < 0) return FAILED_WITH(errno == ENOENT ? refused : errno);
    o.READ_ONLY = true;
  }
  if (fd < 0) return FAILED_WITH(errno);

  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    const int err = errno;
    ::close(fd);
    return FAILED_WITH(err);
  }
  if (S_ISDIR(st.st_mode)) {
    ::close(fd);
    return OPEN_FAILED(OPEN_FAULT::ACCESS_DENIED, 0);
  }
  o.FD = fd;
  o.REGULAR = S_ISREG(st.st_mode);
  o.ID = {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
  return o;
}

SYS_ERROR SYS_OPEN_READING(const std::string& NAME, SYS_FILE& F) noexcept {
  F = NO_FILE;
  const int fd = ::open(NAME.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return errno;
  struct stat st {};
  const int err = ::fstat(fd, &st) != 0 ? errno : S_ISDIR(st.st_mode) ? EISDIR : 0;
  if (err != 0) {
    ::close(fd);
    return err;
  }
  F = fd;
  return 0;
}

SYS_ERROR SYS_CREATE_UNIQUE(std::string& NAME, SYS_FILE& F) noexcept {
  F = NO_FILE;
  const std::size_t stem = NAME.size();
  // Letters from the process id, the clock and a count: names differ between
  // processes and between tries, and a name that is taken costs another try.
  static unsigned count = 0;
  std::uint64_t seed = static_cast<std::uint64_t>(::getpid()) << 32;
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  seed ^= static_cast<std::uint64_t>(now.tv_nsec) ^ static_cast<std::uint64_t>(now.tv_sec) << 20;
  constexpr std::string_view letters = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  for (int tries = 0; tries < 100; ++tries) {
    std::uint64_t v = seed + 0x9E3779B97F4A7C15ULL * ++count;
    v ^= v >> 29;
    NAME.resize(stem);
    for (int k = 0; k < 6; ++k, v /= letters.size()) NAME += letters[v % letters.size()];
    const int fd = ::open(NAME.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd >= 0) {
      F = fd;
      return 0;
    }
    if (errno != EEXIST) return errno;
  }
  return EEXIST;
}

// A whole-file record lock. Another process's lock shows as EAGAIN or EACCES;
// a file system that keeps no locks (ENOLCK, EOPNOTSUPP, EINVAL) says so.
SYS_ERROR SYS_LOCK_WRITING(SYS_FILE F) noexcept {
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  if (::fcntl(DESCRIPTOR(F), F_SETLK, &lock) == 0) return 0;
  return errno == EACCES ? EAGAIN : errno;
}

void SYS_PLAIN_NEWLINES() noexcept {}

// Joined to the current directory when relative, then "." and empty
// components dropped and ".." taking back the previous one.
std::string SYS_FULL_PATH(std::string_view NAME) {
  std::string joined;
  if (NAME.empty() || NAME.front() != '/') {
    std::array<char, 4096> cwd{};
    if (::getcwd(cwd.data(), cwd.size()) != nullptr) joined = cwd.data();
    joined += '/';
  }
  joined += NAME;

  std::string full;
  std::size_t at = 0;
  while (at <= joined.size()) {
    std::size_t slash = joined.find('/', at);
    if (slash == std::string::npos) slash = joined.size();
    const std::string_view part(joined.data() + at, slash - at);
    if (part == "..") {
      full.resize(full.empty() ? 0 : full.rfind('/'));
    } else if (!part.empty() && part != ".") {
      full += '/';
      full += part;
    }
    at = slash + 1;
  }
  return full.empty() ? std::string("/") : full;
}

SYS_ERROR SYS_WRITE(SYS_FILE F, std::string_view BYTES, std::size_t& SENT) noexcept {
  SENT = 0;
  const char* p = BYTES.data();
  std::size_t n = BYTES.size();
  while (n > 0) {
    const ssize_t done = ::write(DESCRIPTOR(F), p, n);
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

void SYS_WRITE_UNLESS_STALLED(SYS_FILE F, std::string_view BYTES) noexcept {
  const char* p = BYTES.data();
  std::size_t n = BYTES.size();
  while (n > 0) {
    pollfd wait{DESCRIPTOR(F), POLLOUT, 0};
    const int ready = ::poll(&wait, 1, STALL_LIMIT_MS);
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0 || (wait.revents & POLLOUT) == 0) return;
    const ssize_t done = ::write(DESCRIPTOR(F), p, std::min(n, EXIT_PIECE));
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) return;
    p += done;
    n -= static_cast<std::size_t>(done);
  }
}

SYS_ERROR SYS_READ(SYS_FILE F, char* TO, std::size_t N, std::size_t& GOT) noexcept {
  for (;;) {
    const ssize_t got = ::read(DESCRIPTOR(F), TO, N);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return errno;
    GOT = static_cast<std::size_t>(got);
    return 0;
  }
}

SYS_ERROR SYS_READ_AT(SYS_FILE F, unsigned char* TO, std::size_t N, std::uint64_t OFFSET,
                      std::size_t& GOT) noexcept {
  for (;;) {
    const ssize_t got = ::pread(DESCRIPTOR(F), TO, N, static_cast<off_t>(OFFSET));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return errno;
    GOT = static_cast<std::size_t>(got);
    return 0;
  }
}

SYS_ERROR SYS_FILE_SIZE(SYS_FILE F, std::uint64_t& SIZE) noexcept {
  struct stat st {};
  if (::fstat(DESCRIPTOR(F), &st) != 0) return errno;
  SIZE = S_ISREG(st.st_mode) ? static_cast<std::uint64_t>(st.st_size) : 0;
  return 0;
}

bool SYS_IS_REGULAR(SYS_FILE F) noexcept {
  struct stat st {};
  return ::fstat(DESCRIPTOR(F), &st) == 0 && S_ISREG(st.st_mode);
}

bool SYS_IS_TERMINAL(SYS_FILE F) noexcept { return ::isatty(DESCRIPTOR(F)) == 1; }

std::int64_t SYS_WRITE_POSITION(SYS_FILE F) noexcept {
  if ((::fcntl(DESCRIPTOR(F), F_GETFL) & O_APPEND) != 0) {
    struct stat st {};
    return ::fstat(DESCRIPTOR(F), &st) == 0 ? st.st_size : -1;
  }
  return ::lseek(DESCRIPTOR(F), 0, SEEK_CUR);
}

SYS_ERROR SYS_CUT(SYS_FILE F, std::uint64_t LENGTH) noexcept {
  const auto length = static_cast<off_t>(LENGTH);
  // A file already of that length is left as it is: on ext4 a cut to 0 marks a
  // new file for writing out at close (its replace-by-truncate guard), which
  // would make closing a large output wait for the disk.
  struct stat st {};
  const bool already = ::fstat(DESCRIPTOR(F), &st) == 0 && st.st_size == length;
  if (!already && ::ftruncate(DESCRIPTOR(F), length) != 0) return errno;
  if (::lseek(DESCRIPTOR(F), length, SEEK_SET) < 0) return errno;
  return 0;
}

void SYS_CLOSE(SYS_FILE F) noexcept { ::close(DESCRIPTOR(F)); }

std::size_t SYS_CPUS_ALLOWED() noexcept {
  cpu_set_t allowed;
  CPU_ZERO(&allowed);
  if (::sched_getaffinity(0, sizeof allowed, &allowed) != 0) return 1;
  return static_cast<std::size_t>(std::max(CPU_COUNT(&allowed), 1));
}

std::string_view SYS_ERROR_TEXT(SYS_ERROR E, std::span<char> BUF) noexcept {
  const std::string_view text = ::strerror(E);
  const std::size_t take = std::min(text.size(), BUF.size());
  std::memcpy(BUF.data(), text.data(), take);
  return {BUF.data(), take};
}

void SYS_PREPARE_RUN_ENDS(END_EVENT_HANDLER HANDLER) {
  ON_EVENT = HANDLER;
  struct sigaction action {};
  action.sa_handler = ON_END_SIGNAL;
  // One at a time: a second signal waits until the process is gone.
  action.sa_mask = END_SIGNALS();
  for (int s : {SIGINT, SIGQUIT, SIGHUP, SIGTERM}) sigaction(s, &action, nullptr);

  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  // A refused write then fails (EPIPE, EFBIG) and becomes report 38.
  sigaction(SIGPIPE, &ignore, nullptr);
  sigaction(SIGXFSZ, &ignore, nullptr);
}

void SYS_HOLD_RUN_ENDS() noexcept {
  const sigset_t signals = END_SIGNALS();
  sigset_t before;
  sigprocmask(SIG_BLOCK, &signals, &before);
  if (HOLDS++ == 0) MASK_BEFORE_HOLDS = before;
}

void SYS_RELEASE_RUN_ENDS() noexcept {
  if (HOLDS > 0 && --HOLDS == 0) sigprocmask(SIG_SETMASK, &MASK_BEFORE_HOLDS, nullptr);
}

// The parent sees the low 8 bits: a report's status C0000000 + N arrives as N,
// the stop code 1111 as 87, SIGTERM's end as 143. A report's status is handed
// over as N, any other as it is (a harness that catches the exit sees 1111).
void SYS_EXIT_INTERRUPTED() noexcept {
  struct sigaction default_action {};
  default_action.sa_handler = SIG_DFL;
  sigemptyset(&default_action.sa_mask);
  sigaction(SIGINT, &default_action, nullptr);
  // Raised while the handler still blocks it, the signal waits until it is
  // let through, and then ends the process.
  ::kill(::getpid(), SIGINT);
  sigset_t interrupt;
  sigemptyset(&interrupt);
  sigaddset(&interrupt, SIGINT);
  sigprocmask(SIG_UNBLOCK, &interrupt, nullptr);
  ::_exit(128 + SIGINT);  // only if the signal could not end it
}

void SYS_EXIT(std::uint32_t STATUS) noexcept {
  constexpr std::uint32_t REPORT_BITS = 0xC0000000U;
  ::_exit(static_cast<int>((STATUS & REPORT_BITS) == REPORT_BITS ? STATUS & 0xFF : STATUS));
}

}  // namespace KOVA
