#pragma once
// Runs of the record probe (tests/probe/record_probe.cpp) in a scratch directory.
#include "tests/e2e_support.h"

namespace probe {

// Run SCRIPT to its end with INPUT on standard input and ARGS as arguments.
inline e2e::RUN RUN(const e2e::SCRATCH& S, std::string script, std::string_view input = {},
                    std::vector<std::string> args = {}) {
  args.insert(args.begin(), std::move(script));
  return e2e::RUN_PROGRAM(S.DIR, RECORD_PROBE_EXE, input, args);
}

// Wait (at most 20 s) until the file at PATH holds at least BYTES bytes.
inline bool WAIT_FOR_SIZE(const std::filesystem::path& path, std::uintmax_t bytes) {
  std::error_code ec;
  for (int ms = 0; ms < 20000; ++ms, std::this_thread::sleep_for(std::chrono::milliseconds(1)))
    if (std::filesystem::file_size(path, ec) >= bytes && !ec) return true;
  return false;
}

// Standard output for a live probe that refuses every write.
#ifdef _WIN32
inline const std::string REFUSING_OUTPUT = "<pipe with its reading end closed>";
// Standard output that takes bytes until its pipe is full, then none.
inline const std::string UNREAD_OUTPUT = "<pipe that nobody reads>";
#else
inline const std::string REFUSING_OUTPUT = "/dev/full";
#endif

enum class EVENT { CONTROL_C, CONTROL_BREAK, WINDOW_CLOSE };

// A program left running (the probe, unless ARGV names another): standard input
// is a pipe held open (so a console read waits until INPUT gets a line),
// standard output and error go to files beside the scratch directory.
#ifdef _WIN32
struct LIVE {
  void* PROCESS = nullptr;
  void* INPUT = nullptr;
  void* UNREAD = nullptr;  // the reading end of UNREAD_OUTPUT
  std::string OUT_PATH, ERR_PATH;

  LIVE(const e2e::SCRATCH& S, std::string script, std::string out_path = {});
  ~LIVE();
  LIVE(const LIVE&) = delete;
  LIVE& operator=(const LIVE&) = delete;
  std::int64_t FINISH();  // wait for the end: the exit status
  void END_INPUT();       // the console input ends
};

// The output code page of the console this process shares (0: it has none);
// SET_CONSOLE_CODE_PAGE changes it.
unsigned CONSOLE_CODE_PAGE();
void SET_CONSOLE_CODE_PAGE(unsigned code_page);

// Deliver a console event as the system does: on a new thread of the process.
bool SEND_EVENT(LIVE& run, EVENT e);

// FILE held open by this process as another program would hold it.
class HELD_FILE {
 public:
  HELD_FILE(const std::filesystem::path& file, bool others_may_read);
  ~HELD_FILE();
  HELD_FILE(const HELD_FILE&) = delete;
  HELD_FILE& operator=(const HELD_FILE&) = delete;
  bool HELD() const { return HANDLE_ != nullptr; }

 private:
  void* HANDLE_ = nullptr;
};
#else
// Write TEXT to the descriptor FD: true when all of it went.
inline bool SEND(int fd, std::string_view text) {
  return ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
}

struct LIVE {
  pid_t PID = -1;
  int INPUT = -1;
  std::string OUT_PATH, ERR_PATH;

  LIVE(const e2e::SCRATCH& S, std::string script, std::string out_path = {})
      : LIVE(S, std::vector<std::string>{RECORD_PROBE_EXE, std::move(script)}, std::move(out_path)) {}

  LIVE(const e2e::SCRATCH& S, std::vector<std::string> args, std::string out_path = {})
      : OUT_PATH(out_path.empty() ? (S.ROOT / "stdout").string() : out_path),
        ERR_PATH((S.ROOT / "stderr").string()) {
    if (int fds[2]; ::pipe2(fds, O_CLOEXEC) == 0) {
      PID = e2e::SPAWN(S.DIR, std::move(args), {"", OUT_PATH, ERR_PATH}, {fds[0], -1, -1});
      ::close(fds[0]);
      INPUT = fds[1];
    }
  }
  // Type TEXT at the console: true when all of it went to the pipe.
  bool SAY(std::string_view text) const { return SEND(INPUT, text); }

  ~LIVE() {
    if (INPUT >= 0) ::close(INPUT);
    if (PID > 0 && ::kill(PID, SIGKILL) == 0) FINISH();
  }

  // Wait at most LIMIT for the end: the exit status (128 + the signal after a
  // signal, as a shell shows it), or -3 when the program had to be killed.
  int FINISH_WITHIN(std::chrono::milliseconds limit) {
    for (auto left = limit; left.count() > 0; left -= std::chrono::milliseconds(5)) {
      int status = 0;
      if (::waitpid(PID, &status, WNOHANG) == PID) {
        PID = -1;
        return AS_SHELL_SHOWS(status);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ::kill(PID, SIGKILL);
    FINISH();
    return -3;
  }

  int FINISH() {  // wait for the end: the exit status as FINISH_WITHIN gives it
    int status = 0;
    if (PID <= 0 || ::waitpid(std::exchange(PID, -1), &status, 0) <= 0) return -2;
    return AS_SHELL_SHOWS(status);
  }

  static int AS_SHELL_SHOWS(int status) {
    return WIFEXITED(status) ? WEXITSTATUS(status) : WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
  }
};

// Console events arrive as signals.
inline bool SEND_EVENT(LIVE& run, EVENT e) {
  const int signal = e == EVENT::CONTROL_C ? SIGINT : e == EVENT::CONTROL_BREAK ? SIGQUIT : SIGHUP;
  return ::kill(run.PID, signal) == 0;
}
#endif

}  // namespace probe
