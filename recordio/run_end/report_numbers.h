#pragma once
// The failure reports by name: the number each one shows and ends the run
// with (exit status C0000000 plus the number), and the text of its line.
#include <array>
#include <string_view>

namespace KOVA {

enum class REPORT : int {
  NONE = 0,  // no failure
  ACCESS_DENIED = 9,
  END_OF_FILE = 24,
  FILE_NOT_FOUND = 29,
  OPEN_FAILURE = 30,
  WRITE_FAILURE = 38,
  READ_FAILURE = 39,
  NO_SUCH_DEVICE = 42,
  BAD_FILE_NAME = 43,
  WRITE_TO_READONLY = 47,
  LIST_SYNTAX = 59,
  INPUT_CONVERSION = 64,
  TOO_MUCH_DATA = 67,
};

struct REPORT_TEXT {
  REPORT WHICH;
  std::string_view TEXT;  // followed by ", unit %d, file %s"
};

inline constexpr auto REPORT_TEXTS = std::to_array<REPORT_TEXT>({
    {REPORT::ACCESS_DENIED, "permission to access file denied"},
    {REPORT::END_OF_FILE, "end-of-file during read"},
    {REPORT::FILE_NOT_FOUND, "file not found"},
    {REPORT::OPEN_FAILURE, "open failure"},
    {REPORT::WRITE_FAILURE, "error during write"},
    {REPORT::READ_FAILURE, "error during read"},
    {REPORT::NO_SUCH_DEVICE, "no such device"},
    {REPORT::BAD_FILE_NAME, "file name specification error"},
    {REPORT::WRITE_TO_READONLY, "write to READONLY file"},
    {REPORT::LIST_SYNTAX, "list-directed I/O syntax error"},
    {REPORT::INPUT_CONVERSION, "input conversion error"},
    {REPORT::TOO_MUCH_DATA, "input statement requires too much data"},
});

constexpr int REPORT_NUMBER(REPORT WHICH) { return static_cast<int>(WHICH); }

// The exit status of a run that ran out of memory: no report, one line.
inline constexpr int OUT_OF_MEMORY_STATUS = 71;

}  // namespace KOVA
