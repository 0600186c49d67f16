#pragma once
// Writing records to a unit's output buffer and handing them to the system;
// a write the system refuses ends the run with its report.
#include <atomic>
#include <cstddef>
#include <string_view>

#include "recordio/buffers/output_buffer.h"

namespace KOVA {

// Prepare O for output to FD (NO_FILE: memory output).
void OUTPUT_ATTACH(OUTPUT& O, int UNIT, SYS_FILE FD);

// Append BODY followed by CR LF as one complete record.
void PUT_RECORD(OUTPUT& O, std::string_view BODY);

// Room for a record of up to BODY_MAX bytes and its CR LF, at the end of the
// buffered records when it fits there (flushing them first if need be). The
// record is built in place and belongs to the output only once it is
// committed, so whatever ends the run meanwhile never writes part of it.
char* RECORD_SPACE_SLOW(OUTPUT& O, std::size_t BODY_MAX);
inline char* RECORD_SPACE(OUTPUT& O, std::size_t BODY_MAX) {
  const std::size_t len = O.LEN.load(std::memory_order_relaxed);
  if (BODY_MAX + 2 <= O.CAP - len && !O.CUT_PENDING && !O.READ_ONLY) return O.BUF.get() + len;
  return RECORD_SPACE_SLOW(O, BODY_MAX);
}

// Complete the record begun at AT (from RECORD_SPACE) with BODY bytes: its
// CR LF is added and the record joins the output.
void COMMIT_RECORD_SLOW(OUTPUT& O, char* AT, std::size_t BODY);
inline void COMMIT_RECORD(OUTPUT& O, char* AT, std::size_t BODY) {
  const std::size_t len = O.LEN.load(std::memory_order_relaxed);
  if (O.BUF && AT == O.BUF.get() + len) {
    AT[BODY] = '\r';
    AT[BODY + 1] = '\n';
    std::atomic_signal_fence(std::memory_order_release);
    O.LEN.store(len + BODY + 2, std::memory_order_relaxed);
    return;
  }
  COMMIT_RECORD_SLOW(O, AT, BODY);
}

// A writer that puts out many records in a row keeps a cursor: the room left
// in the buffer is held in the cursor, so a record costs one check of it and
// one store of the buffer's new length. Nothing else may write to the unit
// while a cursor on it is in use. A cursor with no room (memory output, a unit
// to be cut first, a record that does not fit) sends each record the general
// way.
struct RECORD_CURSOR {
  OUTPUT* O = nullptr;
  char* AT = nullptr;     // where the next record is built
  std::size_t ROOM = 0;   // bytes free in the buffer from AT on; 0: not in the buffer
  std::size_t LEN = 0;    // the buffer's length up to AT
};

inline RECORD_CURSOR CURSOR_ON(OUTPUT& O) {
  const std::size_t len = O.LEN.load(std::memory_order_relaxed);
  if (O.BUF && !O.CUT_PENDING && !O.READ_ONLY) return {&O, O.BUF.get() + len, O.CAP - len, len};
  return {&O, nullptr, 0, 0};
}

// Room for a record of up to BODY_MAX bytes and its CR LF at C.AT.
RECORD_CURSOR CURSOR_SPACE_SLOW(RECORD_CURSOR C, std::size_t BODY_MAX);
inline char* CURSOR_SPACE(RECORD_CURSOR& C, std::size_t BODY_MAX) {
  if (BODY_MAX + 2 > C.ROOM) C = CURSOR_SPACE_SLOW(C, BODY_MAX);
  return C.AT;
}

// Complete the record of BODY bytes built at C.AT: it joins the output.
inline void CURSOR_COMMIT(RECORD_CURSOR& C, std::size_t BODY) {
  if (C.ROOM == 0) {
    COMMIT_RECORD(*C.O, C.AT, BODY);
    return;
  }
  C.AT[BODY] = '\r';
  C.AT[BODY + 1] = '\n';
  C.AT += BODY + 2;
  C.ROOM -= BODY + 2;
  C.LEN += BODY + 2;
  std::atomic_signal_fence(std::memory_order_release);
  C.O->LEN.store(C.LEN, std::memory_order_relaxed);
}

// Hand the buffered records and then BYTES to the system at once: a prompt
// that leaves the answer on its own line. Memory output appends BYTES.
void OUTPUT_WRITE_NOW(OUTPUT& O, std::string_view BYTES);

// The buffer of O is full: hand it to the writer thread when that thread
// takes O's buffers, else hand its records to the system now.
void OUTPUT_MAKE_ROOM(OUTPUT& O);

// Hand every buffered record to the system. A refused write ends the run
// with report 38 (the system's text first).
void OUTPUT_FLUSH(OUTPUT& O);

}  // namespace KOVA
