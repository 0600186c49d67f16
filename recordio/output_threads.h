#pragma once
// A second core (and more) for large outputs.
//
// With more than one thread allowed, the full buffers of a regular output file
// go to a writer thread while the main flow formats on into a spare buffer,
// and blocks of records of one fixed length are formatted by several threads
// at once, each straight into the records' places in the buffer. What reaches
// a file, and in what order, is exactly what the main flow alone writes:
// buffers are written in the order they filled, records join a buffer only as
// whole blocks, a buffer whose write the system refuses is cut back to whole
// records and ends the run with its report before anything later goes out,
// and every way out of the run writes the handed buffers first, in order.
//
// The threads start only for a file unit on a regular file, only when more
// than one CPU is allowed to the process, and only once the run has written
// OUTPUT_THREADS_START_BYTES: small runs never start one. Their buffers are
// allocated once, when they start; when memory or threads cannot be had then,
// the run goes on with the main flow alone.
#include <cstddef>
#include <cstdint>

#include "recordio/output.h"

inline constexpr std::uint64_t OUTPUT_THREADS_START_BYTES = std::uint64_t{4} << 20;
inline constexpr int MOST_OUTPUT_THREADS = 64;
inline constexpr int DEFAULT_OUTPUT_THREADS = 4;

// Threads that format (the main flow among them); with 2 or more, one more
// thread writes. 1: the main flow does everything, as ever. 0: the number of
// CPUs allowed, at most DEFAULT_OUTPUT_THREADS (the default).
void SET_OUTPUT_THREADS(int N) noexcept;

// The buffer of O is full: hand it to the writer thread and go on in an empty
// one, or (not threaded) write it out now.
void OUTPUT_MAKE_ROOM(OUTPUT& O);

// Wait until every buffer of O handed to the writer thread is written; a
// write it refused ends the run with its report.
void SETTLE_HANDED(const OUTPUT& O);

// Async-signal-safe, for the ways out of the process: stop the writer thread
// and write O's handed buffers that it has not written, in order. False when
// a write of O was refused: nothing more may go to its file.
bool DRAIN_HANDED_FOR_EXIT(const OUTPUT& O) noexcept;

// For a process that runs the converter more than once: the writer thread is
// stopped and forgets every handed buffer.
void FORGET_HANDED() noexcept;

// A block of records formatted in parallel: CONTEXT and its two procedures.
struct FIXED_BLOCK {
  const void* CONTEXT = nullptr;
  // Build record I's body at AT (at most FIXED_RECORD_MOST bytes); its length.
  std::size_t (*ONE)(const void* CONTEXT, char* AT, std::size_t I) = nullptr;
  // Build records FIRST.. FIRST+COUNT-1, each BODY bytes and CR LF, from AT
  // on; false (at once) when one of them is not BODY bytes long.
  bool (*RANGE)(const void* CONTEXT, char* AT, std::size_t FIRST, std::size_t COUNT, std::size_t BODY) = nullptr;
};
inline constexpr std::size_t FIXED_RECORD_MOST = 128;

// True when blocks of COUNT records to O are formatted in parallel now.
bool PARALLEL_BLOCKS_FOR(const OUTPUT& O, std::size_t COUNT) noexcept;
void WRITE_BLOCK_IN_PARALLEL(OUTPUT& O, std::size_t COUNT, const FIXED_BLOCK& BLOCK);

// COUNT records of one length, record I's body built by FILL(AT, I), which
// returns its length: formatted by the threads when they run for O (false
// otherwise: the caller writes them itself). The records join the output in
// order, a buffer's worth at a time, once all of them are built.
template <typename FILL>
bool WRITE_FIXED_RECORDS(OUTPUT& O, std::size_t COUNT, const FILL& F) {
  if (!PARALLEL_BLOCKS_FOR(O, COUNT)) return false;
  const FIXED_BLOCK block{
      &F,
      [](const void* C, char* AT, std::size_t I) { return (*static_cast<const FILL*>(C))(AT, I); },
      [](const void* C, char* AT, std::size_t FIRST, std::size_t N, std::size_t BODY) {
        const FILL& fill = *static_cast<const FILL*>(C);
        for (std::size_t I = FIRST; I < FIRST + N; ++I, AT += BODY + 2) {
          if (fill(AT, I) != BODY) return false;
          AT[BODY] = '\r';
          AT[BODY + 1] = '\n';
        }
        return true;
      }};
  WRITE_BLOCK_IN_PARALLEL(O, COUNT, block);
  return true;
}
