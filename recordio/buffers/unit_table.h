#pragma once
// The unit table: one slot per connected unit, holding its file, its output
// buffer, its text-input buffer and its position in an unformatted file. Any
// end of the run writes out what the slots hold.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "recordio/buffers/output_buffer.h"
#include "recordio/system/platform.h"

namespace KOVA {

inline constexpr int CONSOLE_OUT = -1;  // standard output, "CONOUT$"
inline constexpr int CONSOLE_IN = -4;   // standard input, "CONIN$"

enum class FORM { FORMATTED, UNFORMATTED };

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
  OUTPUT OUTGOING;

  // Text input: bytes read ahead, [IN_START, IN_END) not yet taken. The
  // buffer has a fixed size; a longer line passes through it.
  std::vector<char> INCOMING;
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

// Every slot, used or free.
std::span<UNIT_SLOT> UNIT_SLOTS() noexcept;

// The slot that belongs to UNIT, if any.
UNIT_SLOT* FIND_SLOT(int UNIT) noexcept;

// Close the slot's file (never a standard stream) and forget the connection.
void DISCONNECT(UNIT_SLOT& SLOT);

// The file name of a unit as reports show it.
std::string_view UNIT_NAME(int UNIT);

// Bytes written to the files of the run so far (the console not counted),
// those still in the output buffers included.
std::uint64_t FILE_BYTES_WRITTEN() noexcept;

// Exit paths (async-signal-safe, errors ignored): write out the console output,
// then every unit's completed records.
void DRAIN_CONSOLE_FOR_EXIT() noexcept;
void DRAIN_ALL_FOR_EXIT() noexcept;

// Close every unit's file; what they held is written out already.
void CLOSE_ALL_UNITS();

}  // namespace KOVA
