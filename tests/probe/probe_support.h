#pragma once
// Runs of the record probe (tests/probe/record_probe.cpp) in a scratch directory.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "tests/e2e_support.h"

namespace probe {

// Run SCRIPT to its end with INPUT on standard input and ARGS as arguments.
inline e2e::RUN RUN(const e2e::SCRATCH& S, std::string_view script, std::string_view input = {},
                    const std::vector<std::string>& args = {}) {
  std::vector<std::string> all{std::string(script)};
  all.insert(all.end(), args.begin(), args.end());
  return e2e::RUN_PROGRAM(S.DIR, RECORD_PROBE_EXE, input, all);
}

// A probe left running: standard input is a pipe that stays open (so a
// console read waits), standard output and error go to files beside DIR.
struct LIVE {
  pid_t PID = -1;
  int INPUT = -1;
  std::string OUT_PATH, ERR_PATH;

  LIVE(const e2e::SCRATCH& S, std::string_view script, const char* out_path = nullptr) {
    OUT_PATH = out_path != nullptr ? out_path : (S.ROOT / "stdout").string();
    ERR_PATH = (S.ROOT / "stderr").string();
    int fds[2];
    if (::pipe(fds) != 0) return;
    const std::string cwd = S.DIR.string();
    std::string text(script);
    PID = ::fork();
    if (PID == 0) {
      const int fo = ::open(OUT_PATH.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      const int fe = ::open(ERR_PATH.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (fo < 0 || fe < 0 || ::chdir(cwd.c_str()) != 0) ::_exit(126);
      ::dup2(fds[0], 0);
      ::dup2(fo, 1);
      ::dup2(fe, 2);
      ::close(fds[1]);
      char* argv[] = {const_cast<char*>(RECORD_PROBE_EXE), text.data(), nullptr};
      ::execv(RECORD_PROBE_EXE, argv);
      ::_exit(127);
    }
    ::close(fds[0]);
    INPUT = fds[1];
  }
  ~LIVE() {
    if (INPUT >= 0) ::close(INPUT);
    if (PID > 0 && ::waitpid(PID, nullptr, WNOHANG) == 0) {
      ::kill(PID, SIGKILL);
      ::waitpid(PID, nullptr, 0);
    }
  }
  LIVE(const LIVE&) = delete;
  LIVE& operator=(const LIVE&) = delete;

  // Wait (at most 20 s) until the file at PATH holds at least BYTES bytes.
  static bool WAIT_FOR_SIZE(const std::string& path, off_t bytes) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    struct stat st {};
    while (std::chrono::steady_clock::now() < deadline) {
      if (::stat(path.c_str(), &st) == 0 && st.st_size >= bytes) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
  }

  // Wait for the end of the process; its exit status, or -1 after a signal.
  int FINISH() {
    int status = 0;
    if (PID <= 0 || ::waitpid(PID, &status, 0) != PID) return -2;
    PID = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
};

}  // namespace probe
