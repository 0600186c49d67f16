// Console events: control-C (SIGINT), control-BREAK (SIGQUIT) and the closed
// console window (SIGHUP) end the run with their report line and status.
#include <csignal>
#include <string_view>
#include <unistd.h>

#include "recordio/unit_table.h"
#include "recordio/units.h"

namespace {

// Runs on the signal: no allocation, no stdio, only write(2) and _exit. The
// output buffers hold complete records only (flushes hold these signals back),
// so writing them out leaves every file with whole records.
void ON_CONSOLE_EVENT(int signal) {
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
    default:
      line = "forrtl: error (200): program aborting due to control-C event\n";
      status = 0;
      break;
  }
  DRAIN_CONSOLE_FOR_EXIT();
  WRITE_IGNORING_ERRORS(STDERR_FILENO, line);
  DRAIN_ALL_FOR_EXIT();
  ::_exit(status);
}

}  // namespace

void INSTALL_CONSOLE_EVENTS() {
  struct sigaction action {};
  action.sa_handler = ON_CONSOLE_EVENT;
  sigemptyset(&action.sa_mask);
  // One event at a time: a second one waits until the process is gone.
  sigaddset(&action.sa_mask, SIGINT);
  sigaddset(&action.sa_mask, SIGQUIT);
  sigaddset(&action.sa_mask, SIGHUP);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGQUIT, &action, nullptr);
  sigaction(SIGHUP, &action, nullptr);

  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  // A refused write then fails with EPIPE and becomes report 38.
  sigaction(SIGPIPE, &ignore, nullptr);
}
