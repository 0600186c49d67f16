#include "recordio/run_end/reports.h"

#include <array>
#include <atomic>
#include <charconv>
#include <cstring>

#include "recordio/system/platform.h"
#include "recordio/buffers/progress.h"
#include "recordio/buffers/unit_table.h"
#include "recordio/records/units.h"

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

[[noreturn]] void REPORT_AND_EXIT(REPORT WHICH, int UNIT, std::string_view FIRST_LINE) {
  const int NUMBER = REPORT_NUMBER(WHICH);
  const std::uint32_t status = 0xC0000000U + static_cast<std::uint32_t>(NUMBER);
  if (REPORTING.exchange(true)) SYS_EXIT(status);
  SYS_HOLD_RUN_ENDS();  // the run is ending: no event changes how now
  const SYS_FILE err = SYS_STANDARD(2);

  PROGRESS_ERASE();
  DRAIN_CONSOLE_FOR_EXIT();
  if (!FIRST_LINE.empty()) {
    WRITE_IGNORING_ERRORS(err, FIRST_LINE);
    WRITE_IGNORING_ERRORS(err, "\n");
  }
  std::array<char, 16> number{};
  std::array<char, 16> unit{};
  const auto number_end = std::to_chars(number.data(), number.data() + number.size(), NUMBER).ptr;
  const auto unit_end = std::to_chars(unit.data(), unit.data() + unit.size(), UNIT).ptr;
  WRITE_IGNORING_ERRORS(err, "forrtl: severe (");
  WRITE_IGNORING_ERRORS(err, std::string_view(number.data(), number_end));
  WRITE_IGNORING_ERRORS(err, "): ");
  WRITE_IGNORING_ERRORS(err, MESSAGE_TEXT(WHICH));
  WRITE_IGNORING_ERRORS(err, ", unit ");
  WRITE_IGNORING_ERRORS(err, std::string_view(unit.data(), unit_end));
  WRITE_IGNORING_ERRORS(err, ", file ");
  WRITE_IGNORING_ERRORS(err, UNIT_NAME(UNIT));
  WRITE_IGNORING_ERRORS(err, "\n");

  DRAIN_ALL_FOR_EXIT();
  SYS_EXIT(status);
}

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
  PROGRESS_ERASE();
  DRAIN_CONSOLE_FOR_EXIT();
  WRITE_IGNORING_ERRORS(SYS_STANDARD(2), "kovaconv: error: out of memory\n");
  DRAIN_ALL_FOR_EXIT();
  SYS_EXIT(OUT_OF_MEMORY_STATUS);
}

void WARN(std::string_view TEXT) {
  PROGRESS_ERASE();
  FLUSH_CONSOLE();
  const SYS_FILE err = SYS_STANDARD(2);
  WRITE_IGNORING_ERRORS(err, "kovaconv: warning: ");
  WRITE_IGNORING_ERRORS(err, TEXT);
  WRITE_IGNORING_ERRORS(err, "\n");
}
