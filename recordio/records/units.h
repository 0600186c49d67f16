#pragma once
// The unit table: units connect numbers to the console and to files.
#include <cstdint>
#include <string_view>

#include "recordio/buffers/unit_table.h"
#include "recordio/records/output.h"
#include "recordio/run_end/run_end.h"

namespace KOVA {

enum class STATUS { OLD, UNKNOWN };

// Where a file name comes from: a 20-character answer or work-list line (or a
// name standing in for a blank one), whose trimmed name may hold at most 256
// characters; or an option of the command line, which only the system limits.
enum class NAME_FROM { DIALOGUE, COMMAND_LINE };

// Remember the process arguments: a blank file name takes the next unused one.
void SET_COMMAND_ARGUMENTS(int ARGC, char** ARGV);

// Connect UNIT to the file NAME (blanks around it trimmed). Any failure ends
// the run with its report.
void OPEN_UNIT(int UNIT, std::string_view NAME, STATUS S, FORM F,
               NAME_FROM FROM = NAME_FROM::DIALOGUE);

// The slot of a connected unit; the console units connect on first use.
// A unit that is not connected ends the run with report WHICH ("Bad file descriptor").
UNIT_SLOT& CONNECTED_UNIT(int UNIT, REPORT WHICH);

// The output of an open formatted unit; the console output is connected on
// first use.
OUTPUT& OUTPUT_OF(int UNIT);

// Connect UNIT to a memory output (tests): records are kept in OUTPUT::MEMORY.
OUTPUT& CONNECT_MEMORY_UNIT(int UNIT);

// Write out the console output (before a console read or a line on standard error).
void FLUSH_CONSOLE();

// Write out every unit's records (before the termination message, so that a
// refused write is reported instead of a normal end).
void FLUSH_ALL_UNITS();

// For a process that runs the converter more than once (the fuzz targets, which
// return from the exit of each run): close every unit still open, without
// writing anything out, free every slot, start again at the first command-line
// argument and let the next failure be reported. Not used by kovaconv itself.
void RESET_UNITS_FOR_NEW_RUN();

// Normal stop: write out every unit, close all units, exit with STATUS (0, or
// 3 for a run that wrote no step it was asked for).
[[noreturn]] void STOP_RUN(int STATUS = 0);

// Stop with a code: TEXT as one line on standard error, close all units,
// exit with CODE (its low 8 bits reach the parent).
[[noreturn]] void STOP_RUN_CODE(std::string_view TEXT, int CODE);

// One warning line on standard error ("kovaconv: warning: " + TEXT); the
// console output is written out first so that the lines keep their order.
void WARN(std::string_view TEXT);

}  // namespace KOVA
