#include "recordio/output.h"

#include <cstring>

#include "recordio/reports.h"

namespace {

// Cut a regular file back to AT, where the last whole record ends.
void CUT_BACK(const OUTPUT& O, std::int64_t AT) noexcept {
  if (AT >= 0) (void)SYS_CUT(O.FD, static_cast<std::uint64_t>(AT));
}

void CUT_IF_PENDING(OUTPUT& O) {
  if (!O.CUT_PENDING) return;
  O.CUT_PENDING = false;
  if (const SYS_ERROR err = SYS_CUT(O.FD, 0); err != 0) FAIL_IO(38, O.UNIT, err);
}

// Hand whole records (BYTES, then MORE) to the system: the write is marked as
// under way so that a signal can undo it, and a refused one is cut back.
// Returns 0 or the system's code for the refused write; the mark stays for the
// caller to clear together with the buffer.
SYS_ERROR SEND(OUTPUT& O, std::string_view BYTES, std::string_view MORE = {}) {
  if (O.REGULAR) O.FLIGHT_START.store(SYS_WRITE_POSITION(O.FD), std::memory_order_relaxed);
  std::atomic_signal_fence(std::memory_order_release);
  O.IN_FLIGHT.store(true, std::memory_order_relaxed);
  SYS_ERROR err = SYS_WRITE(O.FD, BYTES);
  if (err == 0) err = SYS_WRITE(O.FD, MORE);
  if (err != 0 && O.REGULAR) CUT_BACK(O, O.FLIGHT_START.load(std::memory_order_relaxed));
  return err;
}

// The write is over: the buffer is empty (when it was what went out).
void LAND(OUTPUT& O, bool BUFFER_SENT) {
  RUN_ENDS_HELD hold;
  if (BUFFER_SENT) O.LEN.store(0, std::memory_order_relaxed);
  O.IN_FLIGHT.store(false, std::memory_order_relaxed);
}

void SEND_DIRECT(OUTPUT& O, std::string_view BYTES, std::string_view MORE = {}) {
  const SYS_ERROR err = SEND(O, BYTES, MORE);
  LAND(O, false);
  if (err != 0) FAIL_IO(38, O.UNIT, err);
}

}  // namespace

void OUTPUT_ATTACH(OUTPUT& O, int UNIT, SYS_FILE FD) {
  O.UNIT = UNIT;
  O.FD = FD;
  O.LEN.store(0);
  O.IN_FLIGHT.store(false);
  O.MEMORY.clear();
  O.REGULAR = FD != NO_FILE && SYS_IS_REGULAR(FD);
  if (FD != NO_FILE && !O.BUF) {
    O.BUF = std::make_unique_for_overwrite<char[]>(OUTPUT_BUFFER_BYTES);  // only filled bytes are read
    O.CAP = OUTPUT_BUFFER_BYTES;
  }
}

void PUT_RECORD(OUTPUT& O, std::string_view BODY) {
  if (O.READ_ONLY) FAIL_IO(47, O.UNIT, 0);
  if (O.FD == NO_FILE) {
    O.MEMORY.append(BODY);
    O.MEMORY.append("\r\n");
    return;
  }
  CUT_IF_PENDING(O);
  const std::size_t need = BODY.size() + 2;
  std::size_t len = O.LEN.load(std::memory_order_relaxed);
  if (need > O.CAP - len) {
    OUTPUT_FLUSH(O);
    len = 0;
    if (need > O.CAP) {
      // A record larger than the whole buffer goes out at once, as one write
      // that a refusal or a signal undoes whole.
      SEND_DIRECT(O, BODY, "\r\n");
      return;
    }
  }
  char* at = O.BUF.get() + len;
  std::memcpy(at, BODY.data(), BODY.size());
  at[BODY.size()] = '\r';
  at[BODY.size() + 1] = '\n';
  std::atomic_signal_fence(std::memory_order_release);
  O.LEN.store(len + need, std::memory_order_relaxed);
}

void OUTPUT_WRITE_NOW(OUTPUT& O, std::string_view BYTES) {
  if (O.READ_ONLY) FAIL_IO(47, O.UNIT, 0);
  if (O.FD == NO_FILE) {
    O.MEMORY.append(BYTES);
    return;
  }
  CUT_IF_PENDING(O);
  OUTPUT_FLUSH(O);
  SEND_DIRECT(O, BYTES);
}

void OUTPUT_FLUSH(OUTPUT& O) {
  const std::size_t len = O.LEN.load(std::memory_order_relaxed);
  if (O.FD == NO_FILE || len == 0) return;
  const SYS_ERROR err = SEND(O, std::string_view(O.BUF.get(), len));
  LAND(O, true);
  if (err != 0) FAIL_IO(38, O.UNIT, err);
}

void OUTPUT_DRAIN_FOR_EXIT(OUTPUT& O) noexcept {
  if (O.FD == NO_FILE) return;
  const bool in_flight = O.IN_FLIGHT.load(std::memory_order_relaxed);
  std::atomic_signal_fence(std::memory_order_acquire);
  const std::size_t len = O.LEN.load(std::memory_order_relaxed);
  O.LEN.store(0, std::memory_order_relaxed);
  O.IN_FLIGHT.store(false, std::memory_order_relaxed);
  if (!O.REGULAR) {
    // How much of an interrupted write reached a pipe is unknown: the rest
    // cannot be matched to it, so nothing more is written there.
    if (!in_flight && len > 0) SYS_WRITE_UNLESS_STALLED(O.FD, std::string_view(O.BUF.get(), len));
    return;
  }
  const std::int64_t start =
      in_flight ? O.FLIGHT_START.load(std::memory_order_relaxed) : SYS_WRITE_POSITION(O.FD);
  if (in_flight) CUT_BACK(O, start);
  if (len > 0 && SYS_WRITE(O.FD, std::string_view(O.BUF.get(), len)) != 0) CUT_BACK(O, start);
}
