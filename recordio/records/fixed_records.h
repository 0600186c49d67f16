#pragma once
// Blocks of records of one fixed length formatted by several threads at once,
// each straight into the records' places in the output buffer: where each
// record lands is known before it is built. The records join the buffer only
// as a whole block, so what reaches the file, and in what order, is exactly
// what the main flow alone writes.
#include <cstddef>
#include <type_traits>

#include "recordio/records/output.h"
#include "recordio/records/threads.h"

namespace KOVA {

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
