#include "recordio/records/fixed_records.h"

#include <array>

#include "recordio/buffers/handed.h"

namespace KOVA {

bool PARALLEL_BLOCKS_FOR(const OUTPUT& O, std::size_t COUNT) noexcept {
  constexpr std::size_t FEWEST = 1024;  // fewer records are not worth the threads' wake-up
  return FORMATTING_THREADS() > 0 && COUNT >= FEWEST && WRITER_TAKES(O) && !O.CUT_PENDING;
}

void WRITE_BLOCK_IN_PARALLEL(OUTPUT& O, std::size_t COUNT, const FIXED_BLOCK& BLOCK) {
  std::size_t done = 0;  // indexes
  while (done < COUNT && !KEPT(BLOCK, done)) ++done;
  if (done == COUNT) return;
  std::array<char, FIXED_RECORD_MOST> first{};
  const std::size_t body = BLOCK.ONE(BLOCK.CONTEXT, first.data(), done);
  const std::size_t record = body + 2;
  while (done < COUNT) {
    const std::size_t len = O.LEN.load(std::memory_order_relaxed);
    // Room for a record longer than the block's to go wrong in without
    // leaving the buffer.
    const std::size_t room = O.CAP - len;
    if (room < record + FIXED_RECORD_MOST) {
      OUTPUT_MAKE_ROOM(O);
      continue;
    }
    // The indexes whose records fit.
    const std::size_t fit = (room - FIXED_RECORD_MOST) / record;
    std::size_t end = done, kept = 0;
    for (; end < COUNT; ++end) {
      if (!KEPT(BLOCK, end)) continue;
      if (kept == fit) break;
      ++kept;
    }
    if (BUILD_IN_PARALLEL(BLOCK, O.BUF.get() + len, done, end - done, body)) {
      std::atomic_signal_fence(std::memory_order_release);
      O.LEN.store(len + kept * record, std::memory_order_relaxed);
    } else {
      // Records of another length than the first: built again one by one.
      for (std::size_t i = done; i < end; ++i) {
        if (!KEPT(BLOCK, i)) continue;
        char* at = RECORD_SPACE(O, FIXED_RECORD_MOST);
        COMMIT_RECORD(O, at, BLOCK.ONE(BLOCK.CONTEXT, at, i));
      }
    }
    done = end;
  }
}

}  // namespace KOVA
