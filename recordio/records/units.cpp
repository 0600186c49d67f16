#include "recordio/records/units.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <string>

#include "recordio/buffers/console_utf8.h"
#include "recordio/buffers/handed.h"
#include "recordio/edit/number_width.h"
#include "recordio/system/platform.h"
#include "recordio/buffers/progress.h"
#include "recordio/run_end/run_end.h"

namespace KOVA {

namespace {

constexpr std::size_t LONGEST_NAME = 256;

// A unit opened again is first closed: its records are written out.
void RELEASE(UNIT_SLOT& slot) {
  if (slot.CONNECTED) OUTPUT_FLUSH(slot.OUTGOING);
  DISCONNECT(slot);
}

// The slot for UNIT: its own if it has one (released), else a free one.
UNIT_SLOT& CLAIM_SLOT(int UNIT) {
  if (UNIT_SLOT* own = FIND_SLOT(UNIT)) {
    RELEASE(*own);
    return *own;
  }
  RUN_ENDS_HELD hold;
  for (UNIT_SLOT& slot : UNIT_SLOTS()) {
    if (!slot.USED) {
      slot.NUMBER = UNIT;
      slot.USED = true;
      RELEASE(slot);
      return slot;
    }
  }
  FAIL_IO(REPORT::OPEN_FAILURE, UNIT, SYS_TOO_MANY_FILES);
}

// Connect a console unit to its standard stream.
UNIT_SLOT& CONNECT_CONSOLE(int UNIT, int STREAM, std::string_view NAME) {
  UNIT_SLOT& slot = CLAIM_SLOT(UNIT);
  RUN_ENDS_HELD hold;  // the event handler writes out connected units
  slot.NAME = NAME;
  slot.OPENED_AS = NAME;
  slot.FD = SYS_STANDARD(STREAM);
  slot.F = FORM::FORMATTED;
  OUTPUT_ATTACH(slot.OUTGOING, UNIT, slot.FD);
  slot.OUTGOING.AS_UTF8 = UNIT == CONSOLE_OUT && CONSOLE_SHOWS_UTF8(slot.FD);
  slot.HAS_ID = SYS_FILE_ID(slot.FD, slot.ID);
  slot.CONSOLE = true;
  slot.CONNECTED = true;
  return slot;
}

UNIT_SLOT* CONSOLE_SLOT(int UNIT) {
  switch (UNIT) {
    case CONSOLE_OUT: return &CONNECT_CONSOLE(UNIT, 1, "CONOUT$");
    case CONSOLE_IN: return &CONNECT_CONSOLE(UNIT, 0, "CONIN$");
    case 0: return &CONNECT_CONSOLE(UNIT, 2, "");
    default: return nullptr;
  }
}

// The report of a failed open.
REPORT REPORT_OF(OPEN_FAULT FAULT) {
  switch (FAULT) {
    case OPEN_FAULT::NOT_FOUND: return REPORT::FILE_NOT_FOUND;
    case OPEN_FAULT::ACCESS_DENIED: return REPORT::ACCESS_DENIED;
    case OPEN_FAULT::BAD_NAME: return REPORT::BAD_FILE_NAME;
    case OPEN_FAULT::NO_SUCH_DEVICE: return REPORT::NO_SUCH_DEVICE;
    default: return REPORT::OPEN_FAILURE;
  }
}

// The unit that already has the disk file ID open, if any.
const UNIT_SLOT* HOLDER_OF(const FILE_ID& ID, const UNIT_SLOT& self) {
  for (const UNIT_SLOT& slot : UNIT_SLOTS()) {
    if (&slot != &self && slot.CONNECTED && slot.HAS_ID && slot.ID == ID) return &slot;
  }
  return nullptr;
}

}  // namespace

void FLUSH_ALL_UNITS() {
  for (UNIT_SLOT& slot : UNIT_SLOTS()) {
    if (slot.CONNECTED) OUTPUT_FLUSH(slot.OUTGOING);
  }
}

void RESET_UNITS_FOR_NEW_RUN() {
  FORGET_HANDED();
  for (UNIT_SLOT& slot : UNIT_SLOTS()) {
    DISCONNECT(slot);
    slot.USED = false;
  }
  ALLOW_NEW_REPORT();
}

void CONNECT_FILE(int UNIT, const std::string& name, STATUS S, FORM F, NAME_FROM FROM) {
  UNIT_SLOT& slot = CLAIM_SLOT(UNIT);
  slot.NAME = SYS_FULL_PATH(name);
  slot.OPENED_AS = name;
  slot.F = F;
  // A byte 0 would cut the name short for the system: the name is invalid.
  const bool TOO_LONG = FROM == NAME_FROM::DIALOGUE && name.size() > LONGEST_NAME;
  if (TOO_LONG || name.find('\0') != std::string::npos) FAIL_IO(REPORT::BAD_FILE_NAME, UNIT, 0);

  const OPENED file = SYS_OPEN_FILE(name, S == STATUS::UNKNOWN);
  if (file.FAULT != OPEN_FAULT::NONE) FAIL_IO(REPORT_OF(file.FAULT), UNIT, file.REASON);
  // An output file must not be a file that another unit has open. Opening did
  // not change an existing file, so it is left exactly as it was.
  if (S == STATUS::UNKNOWN && file.REGULAR) {
    if (const UNIT_SLOT* holder = HOLDER_OF(file.ID, slot)) {
      SYS_CLOSE(file.FD);
      std::array<char, 80> line{};
      const std::string_view head = "forrtl: file already open on unit ";
      char* end = std::copy(head.begin(), head.end(), line.data());
      end = std::to_chars(end, line.data() + line.size(), holder->NUMBER).ptr;
      // A console unit is named too: "unit -1" alone does not say that the
      // name (/dev/stdout, say) reaches the file standard output goes to.
      const std::string_view console = holder->NUMBER == CONSOLE_OUT  ? " (the console output)"
                                       : holder->NUMBER == CONSOLE_IN ? " (the console input)"
                                                                      : "";
      end = std::copy(console.begin(), console.end(), end);
      FAIL_IO_LINE(REPORT::OPEN_FAILURE, UNIT, std::string_view(line.data(), end));
    }
    // Nor a file that another run is writing: the lock is taken before the
    // first record cuts anything, so the other run's file stays as it is. A
    // file system that keeps no locks leaves the file unlocked.
    if (!file.READ_ONLY && SYS_LOCK_WRITING(file.FD) == SYS_LOCKED) {
      SYS_CLOSE(file.FD);
      FAIL_IO_LINE(REPORT::OPEN_FAILURE, UNIT, "forrtl: file is locked by another process");
    }
  }

  RUN_ENDS_HELD hold;  // the event handler writes out connected units
  slot.FD = file.FD;
  OUTPUT_ATTACH(slot.OUTGOING, UNIT, file.FD);
  slot.OUTGOING.READ_ONLY = file.READ_ONLY;
  // The first record written cuts the former contents; devices are not cut.
  slot.OUTGOING.CUT_PENDING = S == STATUS::UNKNOWN && file.REGULAR;
  slot.HAS_ID = file.REGULAR;
  slot.ID = file.ID;
  slot.CONNECTED = true;
}

UNIT_SLOT& CONNECTED_UNIT(int UNIT, REPORT WHICH) {
  if (UNIT_SLOT* slot = FIND_SLOT(UNIT); slot != nullptr && slot->CONNECTED) return *slot;
  if (UNIT_SLOT* console = CONSOLE_SLOT(UNIT)) return *console;
  FAIL_IO(WHICH, UNIT, SYS_BAD_FILE);
}

OUTPUT& OUTPUT_OF(int UNIT) { return CONNECTED_UNIT(UNIT, REPORT::WRITE_FAILURE).OUTGOING; }

OUTPUT& CONNECT_MEMORY_UNIT(int UNIT) {
  UNIT_SLOT& slot = CLAIM_SLOT(UNIT);
  slot.NAME.clear();
  slot.OPENED_AS.clear();
  OUTPUT_ATTACH(slot.OUTGOING, UNIT, NO_FILE);
  slot.CONNECTED = true;
  return slot.OUTGOING;
}

void FLUSH_CONSOLE() {
  if (UNIT_SLOT* console = FIND_SLOT(CONSOLE_OUT); console != nullptr && console->CONNECTED) {
    OUTPUT_FLUSH(console->OUTGOING);
  }
}

int NUMBER_WIDTH(int UNIT, int NORMAL, std::int32_t NUMNP, std::int32_t NUMEL) {
  UNIT_SLOT& slot = CONNECTED_UNIT(UNIT, REPORT::WRITE_FAILURE);
  if (slot.NUMBER_WIDTH != 0) return slot.NUMBER_WIDTH;
  const bool nodes = NUMNP >= NUMEL;
  const std::string count = std::to_string(nodes ? NUMNP : NUMEL);
  const auto need = static_cast<int>(count.size());
  // Negative counts number nothing: the layout stays as it is.
  slot.NUMBER_WIDTH = count[0] == '-' || need <= NORMAL ? NORMAL : need + 1;
  if (slot.NUMBER_WIDTH != NORMAL) {
    WARN((nodes ? "NUMNP=" : "NUMEL=") + count + " does not fit the " + std::to_string(NORMAL) +
         "-digit fields of " + slot.OPENED_AS + "; they are written " +
         std::to_string(slot.NUMBER_WIDTH) + " wide");
  }
  return slot.NUMBER_WIDTH;
}

// The records are written out first, open to the signals (a blocked write
// stays interruptible).
void STOP_RUN(int STATUS) {
  FLUSH_ALL_UNITS();
  END_RUN_WRITTEN_OUT({}, static_cast<std::uint32_t>(STATUS));
}

void STOP_RUN_CODE(std::string_view TEXT, int CODE) {
  PROGRESS_ERASE();
  FLUSH_ALL_UNITS();
  END_RUN_WRITTEN_OUT(TEXT, static_cast<std::uint32_t>(CODE));
}

void WARN(std::string_view TEXT) {
  PROGRESS_ERASE();
  FLUSH_CONSOLE();
  const SYS_FILE err = SYS_STANDARD(2);
  WRITE_IGNORING_ERRORS(err, "kovaconv: warning: ");
  WRITE_IGNORING_ERRORS(err, TEXT);
  WRITE_IGNORING_ERRORS(err, "\n");
}

}  // namespace KOVA
