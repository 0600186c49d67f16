// The events that end the run: control-C, control-BREAK and the closed console
// window end it with their report line and status, SIGTERM (on POSIX systems)
// with "kovaconv: terminated" and status 143. Memory that cannot be had ends
// it too. The system layer routes the events here.
#include <new>
#include <string_view>

#include "recordio/system/platform.h"
#include "recordio/buffers/progress.h"
#include "recordio/buffers/unit_table.h"
#include "recordio/records/units.h"

namespace {

void OUT_OF_MEMORY() { FAIL_OUT_OF_MEMORY(); }

}  // namespace

// No allocation and no stdio, so that it may run on a signal. The output
// buffers hold complete records only; a write that the event interrupted is
// done again from its start on a regular file, and a pipe that takes nothing
// is given up after a short wait, so the end is prompt.
void END_RUN_ON_EVENT(END_EVENT E) noexcept {
  std::string_view line;
  std::uint32_t status = 0;
  switch (E) {
    case END_EVENT::CONTROL_BREAK:
      line = "forrtl: error (200): program aborting due to control-BREAK event\n";
      status = 1;
      break;
    case END_EVENT::WINDOW_CLOSE:
      line = "forrtl: error (200): program aborting due to window-CLOSE event\n";
      status = 2;
      break;
    case END_EVENT::TERMINATED:
      line = "kovaconv: terminated\n";
      status = 143;
      break;
    case END_EVENT::CONTROL_C:
      line = "forrtl: error (200): program aborting due to control-C event\n";
      break;
  }
  PROGRESS_ERASE();
  DRAIN_CONSOLE_FOR_EXIT();
  WRITE_IGNORING_ERRORS(SYS_STANDARD(2), line);
  DRAIN_ALL_FOR_EXIT();
  // An interrupted run is no success: the caller learns of the interrupt
  // itself, and a script's loop stops as it would for any other program.
  if (E == END_EVENT::CONTROL_C) SYS_EXIT_INTERRUPTED();
  SYS_EXIT(status);
}

void INSTALL_RUN_ENDS() {
  SYS_PREPARE_RUN_ENDS();
  std::set_new_handler(OUT_OF_MEMORY);
}
