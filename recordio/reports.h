#pragma once
// Failure reports and warnings. A failure report writes its lines to standard
// error, writes out every unit's completed records, closes the units and ends
// the process with exit status C0000000 plus the report number. It never
// returns.
#include <string_view>

// REPORT: the report number (9, 24, 29, 30, 38, 39, 43, 47, 59, 64, 67).
// OS_ERROR: the system's error code, 0 when the failure carries none; reports
// 30, 38 and 39 put the system's text for it on a first line.
[[noreturn]] void FAIL_IO(int REPORT, int UNIT, int OS_ERROR);

// One warning line on standard error ("kovaconv: warning: " + TEXT); the
// console output is written out first so that the lines keep their order.
void WARN(std::string_view TEXT);
