#include "recordio/reports.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstring>
#include <unistd.h>

#include "recordio/progress.h"
#include "recordio/unit_table.h"
#include "recordio/units.h"

namespace {

struct MESSAGE {
  int NUMBER;
  std::string_view TEXT;  // followed by ", unit %d, file %s"
};

constexpr std::array<MESSAGE, 12> MESSAGES{{
    {9, "permission to access file denied"},
    {24, "end-of-file during read"},
    {29, "file not found"},
    {30, "open failure"},
    {38, "error during write"},
    {39, "error during read"},
    {42, "no such device"},
    {43, "file name specification error"},
    {47, "write to READONLY file"},
    {59, "list-directed I/O syntax error"},
    {64, "input conversion error"},
    {67, "input statement requires too much data"},
}};

std::string_view MESSAGE_TEXT(int REPORT) {
  for (const MESSAGE& m : MESSAGES) {
    if (m.NUMBER == REPORT) return m.TEXT;
  }
  return "input/output failure";
}

// Set by the first report: a failure while a report is being written (the
// console refusing its last records, say) must not start another one.
std::atomic<bool> REPORTING{false};

[[noreturn]] void REPORT_AND_EXIT(int REPORT, int UNIT, std::string_view FIRST_LINE) {
  if (REPORTING.exchange(true)) ::_exit(REPORT);
  HOLD_END_SIGNALS();

  PROGRESS_ERASE();
  DRAIN_CONSOLE_FOR_EXIT();
  if (!FIRST_LINE.empty()) {
    WRITE_IGNORING_ERRORS(STDERR_FILENO, FIRST_LINE);
    WRITE_IGNORING_ERRORS(STDERR_FILENO, "\n");
  }
  std::array<char, 16> number{};
  std::array<char, 16> unit{};
  const auto number_end = std::to_chars(number.data(), number.data() + number.size(), REPORT).ptr;
  const auto unit_end = std::to_chars(unit.data(), unit.data() + unit.size(), UNIT).ptr;
  WRITE_IGNORING_ERRORS(STDERR_FILENO, "forrtl: severe (");
  WRITE_IGNORING_ERRORS(STDERR_FILENO, std::string_view(number.data(), number_end));
  WRITE_IGNORING_ERRORS(STDERR_FILENO, "): ");
  WRITE_IGNORING_ERRORS(STDERR_FILENO, MESSAGE_TEXT(REPORT));
  WRITE_IGNORING_ERRORS(STDERR_FILENO, ", unit ");
  WRITE_IGNORING_ERRORS(STDERR_FILENO, std::string_view(unit.data(), unit_end));
  WRITE_IGNORING_ERRORS(STDERR_FILENO, ", file ");
  WRITE_IGNORING_ERRORS(STDERR_FILENO, UNIT_NAME(UNIT));
  WRITE_IGNORING_ERRORS(STDERR_FILENO, "\n");

  DRAIN_ALL_FOR_EXIT();
  // The status carries the low byte of C0000000 + REPORT, which is REPORT.
  ::_exit(REPORT);
}

}  // namespace

void WRITE_IGNORING_ERRORS(int FD, std::string_view TEXT) noexcept {
  const char* p = TEXT.data();
  std::size_t n = TEXT.size();
  while (n > 0) {
    const ssize_t done = ::write(FD, p, n);
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) return;
    p += done;
    n -= static_cast<std::size_t>(done);
  }
}

void FAIL_IO(int REPORT, int UNIT, int OS_ERRNO) {
  const bool os_line = OS_ERRNO != 0 && (REPORT == 30 || REPORT == 38 || REPORT == 39);
  std::array<char, 256> line{};
  std::size_t len = 0;
  if (os_line) {
    const std::string_view head = "forrtl: ";
    const std::string_view text = ::strerror(OS_ERRNO);
    const std::size_t take = std::min(text.size(), line.size() - head.size());
    std::memcpy(line.data(), head.data(), head.size());
    std::memcpy(line.data() + head.size(), text.data(), take);
    len = head.size() + take;
  }
  REPORT_AND_EXIT(REPORT, UNIT, std::string_view(line.data(), len));
}

void ALLOW_NEW_REPORT() noexcept { REPORTING.store(false); }

void FAIL_IO_LINE(int REPORT, int UNIT, std::string_view FIRST_LINE) {
  REPORT_AND_EXIT(REPORT, UNIT, FIRST_LINE);
}

void FAIL_OUT_OF_MEMORY() noexcept {
  if (REPORTING.exchange(true)) ::_exit(71);
  HOLD_END_SIGNALS();
  PROGRESS_ERASE();
  DRAIN_CONSOLE_FOR_EXIT();
  WRITE_IGNORING_ERRORS(STDERR_FILENO, "kovaconv: error: out of memory\n");
  DRAIN_ALL_FOR_EXIT();
  ::_exit(71);
}

void WARN(std::string_view TEXT) {
  PROGRESS_ERASE();
  FLUSH_CONSOLE();
  WRITE_IGNORING_ERRORS(STDERR_FILENO, "kovaconv: warning: ");
  WRITE_IGNORING_ERRORS(STDERR_FILENO, TEXT);
  WRITE_IGNORING_ERRORS(STDERR_FILENO, "\n");
}
