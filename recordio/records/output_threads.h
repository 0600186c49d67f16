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
#include <type_traits>

#include "recordio/records/output.h"

namespace KOVA {

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
// write it refused (of any output) ends the run with its report.
void SETTLE_HANDED(const OUTPUT& O);

// A block of records formatted in parallel: CONTEXT and its procedures, over
// the indexes 0..COUNT-1 of which those that KEEP takes (all, without KEEP)
// have a record each.
struct FIXED_BLOCK {
  const void* CONTEXT = nullptr;
  // Build index I's record body at AT (at most FIXED_RECORD_MOST bytes); its length.
  std::size_t (*ONE)(const void* CONTEXT, char* AT, std::size_t I) = nullptr;
  // Build the records of the indexes FIRST.. FIRST+COUNT-1 that are kept,
  // each BODY bytes and CR LF, one after the other from AT on; false (at
  // once) when one of them is not BODY bytes long.
  bool (*RANGE)(const void* CONTEXT, char* AT, std::size_t FIRST, std::size_t COUNT, std::size_t BODY) = nullptr;
  bool (*KEEP)(const void* CONTEXT, std::size_t I) = nullptr;
};
inline constexpr std::size_t FIXED_RECORD_MOST = 128;

// True when blocks of COUNT records to O are formatted in parallel now.
bool PARALLEL_BLOCKS_FOR(const OUTPUT& O, std::size_t COUNT) noexcept;
void WRITE_BLOCK_IN_PARALLEL(OUTPUT& O, std::size_t COUNT, const FIXED_BLOCK& BLOCK);

// Every index has its record.
struct EVERY_INDEX {
  constexpr bool operator()(std::size_t) const { return true; }
};

// Records of one length for the indexes 0..COUNT-1 that KEEP(I) takes, in
// order, record I's body built by FILL(AT, I), which returns its length:
// formatted by the threads when they run for O (false otherwise: the caller
// writes them itself). The records join the output in order, a buffer's worth
// at a time, once all of them are built. Never inlined: a writer's own
// one-thread loop is compiled as it is without it.
template <typename FILL, typename KEEP = EVERY_INDEX>
[[gnu::noinline]] bool WRITE_FIXED_RECORDS(OUTPUT& O, std::size_t COUNT, const FILL& F, const KEEP& K = {}) {
  if (!PARALLEL_BLOCKS_FOR(O, COUNT)) return false;
  struct BOTH {
    const FILL& F;
    const KEEP& K;
  } both{F, K};
  FIXED_BLOCK block{
      &both,
      [](const void* C, char* AT, std::size_t I) { return static_cast<const BOTH*>(C)->F(AT, I); },
      [](const void* C, char* AT, std::size_t FIRST, std::size_t N, std::size_t BODY) {
        const BOTH& b = *static_cast<const BOTH*>(C);
        for (std::size_t I = FIRST; I < FIRST + N; ++I) {
          if (!b.K(I)) continue;
          if (b.F(AT, I) != BODY) return false;
          AT[BODY] = '\r';
          AT[BODY + 1] = '\n';
          AT += BODY + 2;
        }
        return true;
      }};
  if constexpr (!std::is_same_v<KEEP, EVERY_INDEX>)
    block.KEEP = [](const void* C, std::size_t I) { return static_cast<const BOTH*>(C)->K(I); };
  WRITE_BLOCK_IN_PARALLEL(O, COUNT, block);
  return true;
}

}  // namespace KOVA
