// Signals that end the run: control-C (SIGINT), control-BREAK (SIGQUIT) and
// the closed console window (SIGHUP) end it with their report line and status,
// SIGTERM with "kovaconv: terminated" and status 143. Memory that cannot be
// had ends it too.
#include <csignal>
#include <new>
#include <string_view>
#include <unistd.h>

#include "recordio/progress.h"
#include "recordio/unit_table.h"
#include "recordio/units.h"

namespace {

// Runs on the signal: no allocation, no stdio, only system calls and _exit.
// The output buffers hold complete records only; a write that the signal
// interrupted is done again from its start on a regular file, and a pipe
// that takes nothing is given up after a short wait, so the end is prompt.
void ON_END_SIGNAL(int signal) {
  std::string_view line;
  int status = 0;
  switch (signal) {
    case SIGQUIT:
      line = "forrtl: error (200): program aborting due to control-BREAK event\n";
      status = 1;
      break;
    case SIGHUP:
      line = "forrtl: error (200): program aborting due to window-CLOSE event\n";
      status = 2;
      break;
    case SIGTERM:
      line = "kovaconv: terminated\n";
      status = 143;
      break;
    default:
      line = "forrtl: error (200): program aborting due to control-C event\n";
      status = 0;
      break;
  }
  PROGRESS_ERASE();
  DRAIN_CONSOLE_FOR_EXIT();
  WRITE_IGNORING_ERRORS(STDERR_FILENO, line);
  DRAIN_ALL_FOR_EXIT();
  ::_exit(status);
}

void OUT_OF_MEMORY() { FAIL_OUT_OF_MEMORY(); }

}  // namespace

void INSTALL_RUN_ENDS() {
  struct sigaction action {};
  action.sa_handler = ON_END_SIGNAL;
  sigemptyset(&action.sa_mask);
  // One at a time: a second signal waits until the process is gone.
  for (int s : {SIGINT, SIGQUIT, SIGHUP, SIGTERM}) sigaddset(&action.sa_mask, s);
  for (int s : {SIGINT, SIGQUIT, SIGHUP, SIGTERM}) sigaction(s, &action, nullptr);

  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  // A refused write then fails (EPIPE, EFBIG) and becomes report 38.
  sigaction(SIGPIPE, &ignore, nullptr);
  sigaction(SIGXFSZ, &ignore, nullptr);

  std::set_new_handler(OUT_OF_MEMORY);
}
