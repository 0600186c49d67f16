#include "recordio/records/output.h"

#include <array>
#include <cstring>

#include "recordio/records/threads.h"
#include "recordio/run_end/run_end.h"

namespace KOVA {

namespace {

void CUT_IF_PENDING(OUTPUT& O) {
  if (!O.CUT_PENDING) return;
  O.CUT_PENDING = false;
  if (const SYS_ERROR err = SYS_CUT(O.FD, 0); err != 0) FAIL_IO(REPORT::WRITE_FAILURE, O.UNIT, err);
}

// Hand BYTES, then MORE, to the system: the write is marked as under way so
// that a signal can undo it, and a refused one is cut back: to the last whole
// record the system took when BYTES is a run of whole records (the buffer),
// else to where the write began. Returns 0 or the system's code for the
// refused write; the mark stays for the caller to clear together with the
// buffer.
SYS_ERROR SEND(OUTPUT& O, std::string_view BYTES, std::string_view MORE = {}) {
  if (O.REGULAR) O.FLIGHT_START.store(SYS_WRITE_POSITION(O.FD), std::memory_order_relaxed);
  std::atomic_signal_fence(std::memory_order_release);
  O.IN_FLIGHT.store(true, std::memory_order_relaxed);
  std::size_t sent = 0;
  SYS_ERROR err = HAND_OVER(O, BYTES, false, sent);
  if (err == 0) err = HAND_OVER(O, MORE, false);
  if (err == 0) O.HANDED += BYTES.size() + MORE.size();
  if (err != 0 && O.REGULAR) {
    const std::size_t kept = MORE.empty() ? WHOLE_RECORD_BYTES(BYTES, sent) : 0;
    CUT_BACK(O, O.FLIGHT_START.load(std::memory_order_relaxed), kept);
  }
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
  if (err != 0) FAIL_IO(REPORT::WRITE_FAILURE, O.UNIT, err);
}

}  // namespace

void OUTPUT_ATTACH(OUTPUT& O, int UNIT, SYS_FILE FD) {
  O.UNIT = UNIT;
  O.FD = FD;
  O.LEN.store(0);
  O.IN_FLIGHT.store(false);
  O.MEMORY.clear();
  O.REGULAR = FD != NO_FILE && SYS_IS_REGULAR(FD);
  if (FD == NO_FILE) {
    // Memory output keeps every record in MEMORY, also on a unit that had a file before.
    O.BUF.reset();
    O.CAP = 0;
  } else if (!O.BUF) {
    O.BUF = std::make_unique_for_overwrite<char[]>(OUTPUT_BUFFER_BYTES);  // only filled bytes are read
    O.CAP = OUTPUT_BUFFER_BYTES;
  }
}

void PUT_RECORD(OUTPUT& O, std::string_view BODY) {
  if (O.READ_ONLY) FAIL_IO(REPORT::WRITE_TO_READONLY, O.UNIT, 0);
  if (O.FD == NO_FILE) {
    O.MEMORY.append(BODY);
    O.MEMORY.append("\r\n");
    return;
  }
  CUT_IF_PENDING(O);
  const std::size_t need = BODY.size() + 2;
  std::size_t len = O.LEN.load(std::memory_order_relaxed);
  if (need > O.CAP) {
    // A record larger than the whole buffer goes out at once, as one write
    // that a refusal or a signal undoes whole.
    OUTPUT_FLUSH(O);
    SEND_DIRECT(O, BODY, "\r\n");
    return;
  }
  if (need > O.CAP - len) {
    OUTPUT_MAKE_ROOM(O);
    len = 0;
  }
  char* at = O.BUF.get() + len;
  std::memcpy(at, BODY.data(), BODY.size());
  at[BODY.size()] = '\r';
  at[BODY.size() + 1] = '\n';
  std::atomic_signal_fence(std::memory_order_release);
  O.LEN.store(len + need, std::memory_order_relaxed);
}

char* RECORD_SPACE_SLOW(OUTPUT& O, std::size_t BODY_MAX) {
  if (O.READ_ONLY) FAIL_IO(REPORT::WRITE_TO_READONLY, O.UNIT, 0);
  if (O.FD != NO_FILE) {
    CUT_IF_PENDING(O);
    const std::size_t need = BODY_MAX + 2;
    if (need > O.CAP - O.LEN.load(std::memory_order_relaxed) && need <= O.CAP) OUTPUT_MAKE_ROOM(O);
    const std::size_t len = O.LEN.load(std::memory_order_relaxed);
    if (need <= O.CAP - len) return O.BUF.get() + len;
  }
  O.SPARE.resize(BODY_MAX + 2);
  return O.SPARE.data();
}

void COMMIT_RECORD_SLOW(OUTPUT& O, char* AT, std::size_t BODY) {
  PUT_RECORD(O, std::string_view(AT, BODY));
}

RECORD_CURSOR CURSOR_SPACE_SLOW(RECORD_CURSOR C, std::size_t BODY_MAX) {
  OUTPUT& O = *C.O;
  char* at = RECORD_SPACE(O, BODY_MAX);
  const std::size_t len = O.LEN.load(std::memory_order_relaxed);
  if (O.BUF && at == O.BUF.get() + len) return {&O, at, O.CAP - len, len};
  return {&O, at, 0, 0};
}

void OUTPUT_WRITE_NOW(OUTPUT& O, std::string_view BYTES) {
  if (O.READ_ONLY) FAIL_IO(REPORT::WRITE_TO_READONLY, O.UNIT, 0);
  if (O.FD == NO_FILE) {
    O.MEMORY.append(BYTES);
    return;
  }
  CUT_IF_PENDING(O);
  OUTPUT_FLUSH(O);
  SEND_DIRECT(O, BYTES);
}

void OUTPUT_MAKE_ROOM(OUTPUT& O) {
  if (!HAND_FULL_BUFFER(O)) OUTPUT_FLUSH(O);  // which reports first a refusal that the writer thread met
}

void OUTPUT_FLUSH(OUTPUT& O) {
  SETTLE_HANDED(O);
  const std::size_t len = O.LEN.load(std::memory_order_relaxed);
  if (O.FD == NO_FILE || len == 0) return;
  const SYS_ERROR err = SEND(O, std::string_view(O.BUF.get(), len));
  LAND(O, true);
  if (err != 0) FAIL_IO(REPORT::WRITE_FAILURE, O.UNIT, err);
}

}  // namespace KOVA
