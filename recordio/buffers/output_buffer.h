#pragma once
// Buffered record output of one unit.
//
// Records are collected in a large buffer and handed to the operating system
// when it fills, before a console read, before anything goes to standard error
// and at every end of the run. The buffer only ever holds complete records, so
// whatever ends the run can write it out and the file holds exactly the records
// completed so far. A write that the system refuses partway leaves a regular
// file cut back to the last whole record it took, so no record is left half
// written and none that reached the file is lost.
// A unit without a file (FD is NO_FILE) keeps its records in MEMORY instead
// (tests read them back).
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "recordio/system/platform.h"

namespace KOVA {

struct OUTPUT {
  int UNIT = 0;                  // unit number, for failure reports
  SYS_FILE FD = NO_FILE;         // the file; NO_FILE: memory output
  bool READ_ONLY = false;        // opened for reading only: a write is report 47
  bool CUT_PENDING = false;      // the first record cuts the file to what the run writes
  bool REGULAR = false;          // a regular file: a refused write can be cut back
  bool AS_UTF8 = false;          // console output shown converted on a UTF-8 terminal
  std::uint64_t HANDED = 0;      // bytes handed to the system so far
  std::unique_ptr<char[]> BUF;   // complete records not yet handed to the system
  std::size_t CAP = 0;
  std::atomic<std::size_t> LEN{0};  // read by the handler of the events that end the run
  // While records are being handed over, IN_FLIGHT is set and, for a regular
  // file, FLIGHT_START is its end before the write: a handler that ends the
  // run then cuts the file back there and writes the buffer again.
  std::atomic<bool> IN_FLIGHT{false};
  std::atomic<std::int64_t> FLIGHT_START{0};
  std::string MEMORY;            // memory output: every record written
  std::string SPARE;             // a record built outside BUF (memory output,
                                 // a read-only unit, a record larger than BUF)
};

inline constexpr std::size_t OUTPUT_BUFFER_BYTES = std::size_t{1} << 20;

// The one place where a unit's bytes go to the system. Console output on a
// UTF-8 terminal is shown converted on the way; everything else goes as it
// is, and SENT counts the bytes of BYTES the system took (a terminal's
// converted output is never cut back, so SENT stays 0 there). On the way out
// of the process (EXITING) a pipe or terminal that takes no bytes is given up
// on. Returns 0 or the system's code for the refused write.
SYS_ERROR HAND_OVER(const OUTPUT& O, std::string_view BYTES, bool EXITING, std::size_t& SENT) noexcept;
SYS_ERROR HAND_OVER(const OUTPUT& O, std::string_view BYTES, bool EXITING) noexcept;

// The length of the whole records among the first SENT bytes of RECORDS (a
// run of whole records).
std::size_t WHOLE_RECORD_BYTES(std::string_view RECORDS, std::size_t SENT) noexcept;

// Cut a regular file back to KEPT bytes past START (where a write began),
// where the last whole record ends. START below 0: the position is unknown.
void CUT_BACK(const OUTPUT& O, std::int64_t START, std::size_t KEPT = 0) noexcept;

// Async-signal-safe: write RECORDS (whole records) to a regular file at its
// position START; a write the system refuses partway is cut back to the last
// whole record it took. 0, or the system's code for the refused write.
SYS_ERROR WRITE_RECORDS_OR_CUT(SYS_FILE FD, std::string_view RECORDS, std::int64_t START) noexcept;

// Async-signal-safe, for the ways out of the process (after the buffers of O
// handed to the writer thread that it has not written): write the buffered
// records, errors ignored, and on a regular file leave only whole records
// (a write that was under way is done again from its start). Anything else
// (a pipe, a terminal) is given up once it takes no bytes for a while, so a
// reader that never reads cannot hold the end of the run.
void OUTPUT_DRAIN_FOR_EXIT(OUTPUT& O) noexcept;

}  // namespace KOVA
