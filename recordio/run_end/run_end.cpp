#include "recordio/run_end/run_end.h"

#include <array>
#include <atomic>
#include <charconv>
#include <cstring>
#include <initializer_list>
#include <new>

#include "recordio/buffers/handed.h"
#include "recordio/buffers/progress.h"
#include "recordio/buffers/unit_table.h"

namespace KOVA {

namespace {

std::string_view MESSAGE_TEXT(REPORT WHICH) {
  for (const REPORT_TEXT& m : REPORT_TEXTS) {
    if (m.WHICH == WHICH) return m.TEXT;
  }
  return "input/output failure";
}

// Set by the first report: a failure while a report is being written (the
// console refusing its last records, say) must not start another one.
std::atomic<bool> REPORTING{false};

// Every end of the run goes through here. No allocation and no stdio, so that
// it may run on a signal. The output buffers hold complete records only; a
// write that was interrupted is done again from its start on a regular file,
// and a pipe that takes nothing is given up after a short wait, so the end is
// prompt. LINES go to standard error after the console output and before the
// units' records, so that they keep their order.
void WRITE_LAST_LINES(std::initializer_list<std::string_view> LINES) noexcept {
  STOP_HANDED_WRITES();  // the writer thread's buffers are written below, in order
  PROGRESS_ERASE();
  DRAIN_CONSOLE_FOR_EXIT();
  for (const std::string_view line : LINES) WRITE_IGNORING_ERRORS(SYS_STANDARD(2), line);
  DRAIN_ALL_FOR_EXIT();
}

[[noreturn]] void REPORT_AND_EXIT(REPORT WHICH, int UNIT, std::string_view FIRST_LINE) {
  const int NUMBER = REPORT_NUMBER(WHICH);
  const std::uint32_t status = 0xC0000000U + static_cast<std::uint32_t>(NUMBER);
  if (REPORTING.exchange(true)) SYS_EXIT(status);
  SYS_HOLD_RUN_ENDS();  // the run is ending: no event changes how now

  std::array<char, 16> number{};
  std::array<char, 16> unit{};
  const auto number_end = std::to_chars(number.data(), number.data() + number.size(), NUMBER).ptr;
  const auto unit_end = std::to_chars(unit.data(), unit.data() + unit.size(), UNIT).ptr;
  WRITE_LAST_LINES({FIRST_LINE, FIRST_LINE.empty() ? "" : "\n", "forrtl: severe (",
                    std::string_view(number.data(), number_end), "): ", MESSAGE_TEXT(WHICH), ", unit ",
                    std::string_view(unit.data(), unit_end), ", file ", UNIT_NAME(UNIT), "\n"});
  SYS_EXIT(status);
}

// On the signal, or on the system's thread with the main flow stopped.
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
  WRITE_LAST_LINES({line});
  // An interrupted run is no success: the caller learns of the interrupt
  // itself, and a script's loop stops as it would for any other program.
  if (E == END_EVENT::CONTROL_C) SYS_EXIT_INTERRUPTED();
  SYS_EXIT(status);
}

void OUT_OF_MEMORY() { FAIL_OUT_OF_MEMORY(); }

}  // namespace

void WRITE_IGNORING_ERRORS(SYS_FILE FD, std::string_view TEXT) noexcept { (void)SYS_WRITE(FD, TEXT); }

void FAIL_IO(REPORT WHICH, int UNIT, int OS_ERROR) {
  const bool os_line = OS_ERROR != 0 && (WHICH == REPORT::OPEN_FAILURE || WHICH == REPORT::WRITE_FAILURE ||
                                         WHICH == REPORT::READ_FAILURE);
  std::array<char, 512> line{};
  std::size_t len = 0;
  if (os_line) {
    const std::string_view head = "forrtl: ";
    std::memcpy(line.data(), head.data(), head.size());
    len = head.size() + SYS_ERROR_TEXT(OS_ERROR, std::span(line).subspan(head.size())).size();
  }
  REPORT_AND_EXIT(WHICH, UNIT, std::string_view(line.data(), len));
}

void ALLOW_NEW_REPORT() noexcept { REPORTING.store(false); }

void FAIL_IO_LINE(REPORT WHICH, int UNIT, std::string_view FIRST_LINE) {
  REPORT_AND_EXIT(WHICH, UNIT, FIRST_LINE);
}

void FAIL_OUT_OF_MEMORY() noexcept {
  if (REPORTING.exchange(true)) SYS_EXIT(OUT_OF_MEMORY_STATUS);
  SYS_HOLD_RUN_ENDS();
  WRITE_LAST_LINES({"kovaconv: error: out of memory\n"});
  SYS_EXIT(OUT_OF_MEMORY_STATUS);
}

// After the records are written out no signal changes how the run ends.
void END_RUN_WRITTEN_OUT(std::string_view TEXT, std::uint32_t STATUS) {
  SYS_HOLD_RUN_ENDS();
  if (!TEXT.empty()) WRITE_LAST_LINES({TEXT, "\n"});
  CLOSE_ALL_UNITS();
  SYS_EXIT(STATUS);
}

void INSTALL_RUN_ENDS() {
  SYS_PREPARE_RUN_ENDS(END_RUN_ON_EVENT);
  std::set_new_handler(OUT_OF_MEMORY);
}

}  // namespace KOVA
