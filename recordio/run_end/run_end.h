#pragma once
// The one way a run ends: failure reports, stops, the events that end it
// (control-C, control-BREAK, window-close, SIGTERM) and memory that cannot be
// had. Each writes out the console output, writes its last lines on standard
// error, writes out every unit's completed records, closes the units and ends
// the process.
#include <cstdint>
#include <string_view>

#include "recordio/run_end/report_numbers.h"
#include "recordio/system/platform.h"

namespace KOVA {

// A failure report: its lines on standard error, then exit status C0000000
// plus the report number. WHICH: the report. OS_ERROR: the system's error
// code, 0 when the failure carries none; an open, write or read failure puts
// the system's text for it on a first line.
[[noreturn]] void FAIL_IO(REPORT WHICH, int UNIT, int OS_ERROR);

// A failure report whose first line is FIRST_LINE instead of the system's text.
[[noreturn]] void FAIL_IO_LINE(REPORT WHICH, int UNIT, std::string_view FIRST_LINE);

// The out-of-memory end: completed records written out, the line
// "kovaconv: error: out of memory", exit status 71.
[[noreturn]] void FAIL_OUT_OF_MEMORY() noexcept;

// Forget that a failure report was given, for a new run in the same process.
void ALLOW_NEW_REPORT() noexcept;

// The end of a run whose records were all written out: TEXT (when not empty)
// as one line on standard error, the units closed, exit with STATUS.
[[noreturn]] void END_RUN_WRITTEN_OUT(std::string_view TEXT, std::uint32_t STATUS);

// Route control-C, control-BREAK and window-close (on POSIX systems SIGINT,
// SIGQUIT, SIGHUP, and SIGTERM too) to their end of the run, make a write
// refused by a closed pipe or the file-size limit a report instead of a kill,
// make memory that cannot be had the out-of-memory end, and set the console up
// for the run (code page 932 where the system has console code pages).
void INSTALL_RUN_ENDS();

// Write all of TEXT to FD, ignoring failures (standard error).
void WRITE_IGNORING_ERRORS(SYS_FILE FD, std::string_view TEXT) noexcept;

}  // namespace KOVA
