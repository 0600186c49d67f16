#include "recordio/buffers/unit_table.h"

#include <array>

#include "recordio/buffers/handed.h"

namespace KOVA {

namespace {

// Enough for the console units, the program's five file units and tests.
constexpr std::size_t SLOT_COUNT = 32;

std::array<UNIT_SLOT, SLOT_COUNT> UNITS;

// Forget what an earlier connection of the slot read ahead.
void RESET_INPUT(UNIT_SLOT& slot) {
  slot.IN_START = slot.IN_END = 0;
  slot.IN_EOF = false;
  slot.POS = 0;
  slot.SIZE_SEEN = 0;
}

}  // namespace

std::span<UNIT_SLOT> UNIT_SLOTS() noexcept { return UNITS; }

UNIT_SLOT* FIND_SLOT(int UNIT) noexcept {
  for (UNIT_SLOT& slot : UNITS) {
    if (slot.USED && slot.NUMBER == UNIT) return &slot;
  }
  return nullptr;
}

void DISCONNECT(UNIT_SLOT& slot) {
  RUN_ENDS_HELD hold;  // the event handler writes out connected units
  if (slot.CONNECTED && !slot.CONSOLE && slot.FD != NO_FILE) SYS_CLOSE(slot.FD);
  slot.CONNECTED = false;
  slot.CONSOLE = false;
  slot.FD = NO_FILE;
  slot.HAS_ID = false;
  slot.NUMBER_WIDTH = 0;
  slot.OUTGOING.READ_ONLY = false;
  slot.OUTGOING.CUT_PENDING = false;
  slot.OUTGOING.AS_UTF8 = false;
  RESET_INPUT(slot);
}

std::string_view UNIT_NAME(int UNIT) {
  if (const UNIT_SLOT* slot = FIND_SLOT(UNIT)) return slot->NAME;
  if (UNIT == CONSOLE_OUT) return "CONOUT$";
  if (UNIT == CONSOLE_IN) return "CONIN$";
  return {};
}

std::uint64_t FILE_BYTES_WRITTEN() noexcept {
  std::uint64_t total = 0;
  for (const UNIT_SLOT& slot : UNITS) {
    const bool console = slot.NUMBER == CONSOLE_OUT || slot.NUMBER == CONSOLE_IN || slot.NUMBER == 0;
    if (slot.CONNECTED && !console) total += slot.OUTGOING.HANDED + slot.OUTGOING.LEN.load();
  }
  return total;
}

namespace {

// The buffers handed to the writer thread go out first, in order, then the
// unit's own; after a write of the file was refused nothing more goes to it.
void DRAIN_FOR_EXIT(OUTPUT& O) noexcept {
  if (O.FD != NO_FILE && DRAIN_HANDED_FOR_EXIT(O)) OUTPUT_DRAIN_FOR_EXIT(O);
}

}  // namespace

void DRAIN_CONSOLE_FOR_EXIT() noexcept {
  if (UNIT_SLOT* console = FIND_SLOT(CONSOLE_OUT); console != nullptr && console->CONNECTED) {
    DRAIN_FOR_EXIT(console->OUTGOING);
  }
}

void DRAIN_ALL_FOR_EXIT() noexcept {
  for (UNIT_SLOT& slot : UNITS) {
    if (slot.CONNECTED) DRAIN_FOR_EXIT(slot.OUTGOING);
  }
}

void CLOSE_ALL_UNITS() {
  for (UNIT_SLOT& slot : UNITS) DISCONNECT(slot);
}

}  // namespace KOVA
