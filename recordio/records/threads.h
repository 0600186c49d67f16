#pragma once
// A second core (and more) for large outputs: when the threads start, the
// writer thread's hand-over, and the threads that format blocks of records.
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

#include "recordio/buffers/output_buffer.h"

namespace KOVA {

inline constexpr std::uint64_t OUTPUT_THREADS_START_BYTES = std::uint64_t{4} << 20;
inline constexpr int MOST_OUTPUT_THREADS = 64;
inline constexpr int DEFAULT_OUTPUT_THREADS = 4;

// Threads that format (the main flow among them); with 2 or more, one more
// thread writes. 1: the main flow does everything, as ever. 0 (the default):
// one fewer than the CPUs allowed, at least 1 and at most
// DEFAULT_OUTPUT_THREADS, and one more thread writes.
void SET_OUTPUT_THREADS(int N) noexcept;

// The buffer of O is full: start the threads if the run has grown large
// enough, then hand the buffer to the writer thread and give O an empty one.
// False when the writer thread does not take O's buffers: the caller writes
// them out itself.
bool HAND_FULL_BUFFER(OUTPUT& O);

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

inline bool KEPT(const FIXED_BLOCK& B, std::size_t I) { return B.KEEP == nullptr || B.KEEP(B.CONTEXT, I); }

// Threads that format blocks beside the main flow; 0 until they start.
std::size_t FORMATTING_THREADS() noexcept;

// Build the records of BLOCK's kept indexes FIRST.. FIRST+COUNT-1, each BODY
// bytes and CR LF, one after the other from AT on, shared out among the
// formatting threads and the calling one; false when one of them is not BODY
// bytes long.
bool BUILD_IN_PARALLEL(const FIXED_BLOCK& BLOCK, char* AT, std::size_t FIRST, std::size_t COUNT, std::size_t BODY);

}  // namespace KOVA
