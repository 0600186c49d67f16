#pragma once
// Buffered record output of one unit.
//
// Records are collected in a large buffer and handed to the operating system
// when it fills, before a console read, before anything goes to standard error
// and at every end of the run. The buffer only ever holds complete records, so
// whatever ends the run can write it out and the file holds exactly the records
// completed so far. A write that the system refuses partway leaves a regular
// file cut back to the last whole record it took, so no record is left half
// written and none that reached the file is lost.
// A unit without a file (FD is NO_FILE) keeps its records in MEMORY instead
// (tests read them back).
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "recordio/platform.h"

struct OUTPUT {
  int UNIT = 0;                  // unit number, for failure reports
  SYS_FILE FD = NO_FILE;         // the file; NO_FILE: memory output
  bool READ_ONLY = false;        // opened for reading only: a write is report 47
  bool CUT_PENDING = false;      // the first record cuts the file to what the run writes
  bool REGULAR = false;          // a regular file: a refused write can be cut back
  bool AS_UTF8 = false;          // console output shown converted on a UTF-8 terminal
  std::uint64_t HANDED = 0;      // bytes handed to the system so far
  std::unique_ptr<char[]> BUF;   // complete records not yet handed to the system
  std::size_t CAP = 0;
  std::atomic<std::size_t> LEN{0};  // read by the handler of the events that end the run
  // While records are being handed over, IN_FLIGHT is set and, for a regular
  // file, FLIGHT_START is its end before the write: a handler that ends the
  // run then cuts the file back there and writes the buffer again.
  std::atomic<bool> IN_FLIGHT{false};
  std::atomic<std::int64_t> FLIGHT_START{0};
  std::string MEMORY;            // memory output: every record written
  std::string SPARE;             // a record built outside BUF (memory output,
                                 // a read-only unit, a record larger than BUF)
};

inline constexpr std::size_t OUTPUT_BUFFER_BYTES = std::size_t{1} << 20;

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

// Hand every buffered record to the system. A refused write ends the run
// with report 38 (the system's text first).
void OUTPUT_FLUSH(OUTPUT& O);

// Async-signal-safe: write RECORDS (whole records) to a regular file at its
// position START; a write the system refuses partway is cut back to the last
// whole record it took. 0, or the system's code for the refused write.
SYS_ERROR WRITE_RECORDS_OR_CUT(SYS_FILE FD, std::string_view RECORDS, std::int64_t START) noexcept;

// Async-signal-safe, for the ways out of the process: write the buffered
// records, errors ignored, and on a regular file leave only whole records
// (a write that was under way is done again from its start). Anything else
// (a pipe, a terminal) is given up once it takes no bytes for a while, so a
// reader that never reads cannot hold the end of the run.
void OUTPUT_DRAIN_FOR_EXIT(OUTPUT& O) noexcept;
