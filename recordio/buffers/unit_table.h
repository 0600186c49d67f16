#pragma once
// The unit table as the record layer's own sources see it: one slot per
// connected unit, holding its file, its output buffer, its text-input buffer
// and its position in an unformatted file.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "recordio/records/output.h"
#include "recordio/system/platform.h"
#include "recordio/records/units.h"

struct UNIT_SLOT {
  int NUMBER = 0;
  bool USED = false;       // the slot belongs to NUMBER (connected or being opened)
  bool CONNECTED = false;  // FD is open (or the unit is a memory unit)
  bool CONSOLE = false;    // FD is a standard stream: never closed
  std::string NAME;        // as reports show it
  std::string OPENED_AS;   // as it was opened, blanks around it removed (warnings)
  int NUMBER_WIDTH = 0;    // of its node and element number fields; 0: not yet chosen
  SYS_FILE FD = NO_FILE;
  FORM F = FORM::FORMATTED;
  bool HAS_ID = false;     // ID names the file (for the same-file check)
  FILE_ID ID;
  OUTPUT OUT;

  // Text input: bytes read ahead, [IN_START, IN_END) not yet taken. The
  // buffer has a fixed size; a longer line passes through it.
  std::vector<char> IN;
  std::size_t IN_START = 0;
  std::size_t IN_END = 0;
  bool IN_EOF = false;

  // Unformatted input: the offset of the next record, the largest size the
  // file was seen to have, and a window onto the data of the record fetched
  // last (never more than the window's size).
  std::uint64_t POS = 0;
  std::uint64_t SIZE_SEEN = 0;
  std::vector<unsigned char> REC;
};

// The slot of a connected unit; the console units connect on first use.
// A unit that is not connected ends the run with report WHICH ("Bad file descriptor").
UNIT_SLOT& CONNECTED_UNIT(int UNIT, REPORT WHICH);

// The next text record of UNIT with the blanks around it removed (a typed
// file name). Of a very long line only the first few kilobytes are kept,
// enough for any name the system takes. End of input is report 24.
std::string NEXT_NAME_RECORD(int UNIT);

// The out-of-memory end: completed records written out, the line
// "kovaconv: error: out of memory", units closed, exit status 71.
[[noreturn]] void FAIL_OUT_OF_MEMORY() noexcept;

// Forget that a failure report was given, for a new run in the same process.
void ALLOW_NEW_REPORT() noexcept;

// A failure report whose first line is FIRST_LINE instead of the system's text.
[[noreturn]] void FAIL_IO_LINE(REPORT WHICH, int UNIT, std::string_view FIRST_LINE);

// Exit paths (async-signal-safe, errors ignored): write out the console output,
// then every unit's completed records.
void DRAIN_CONSOLE_FOR_EXIT() noexcept;
void DRAIN_ALL_FOR_EXIT() noexcept;

// Write all of TEXT to FD, ignoring failures (standard error).
void WRITE_IGNORING_ERRORS(SYS_FILE FD, std::string_view TEXT) noexcept;
