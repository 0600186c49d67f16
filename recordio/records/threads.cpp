#include "recordio/records/threads.h"

#include <algorithm>
#include <array>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <new>
#include <thread>

#include "recordio/buffers/handed.h"
#include "recordio/buffers/unit_table.h"
#include "recordio/run_end/run_end.h"

namespace KOVA {

namespace {

int REQUESTED = 0;           // SET_OUTPUT_THREADS
bool TRIED = false;          // the threads were started, or could not be
std::size_t FORMATTERS = 0;  // threads that format beside the main flow

// The threads that format blocks: each waits for the next block, builds its
// share of its records and says it is done.
struct BLOCK_SHARE {
  FIXED_BLOCK BLOCK;
  char* AT = nullptr;        // where the record of the first kept index goes
  std::size_t FIRST = 0;     // indexes FIRST.. FIRST+COUNT-1
  std::size_t COUNT = 0;
  std::size_t BODY = 0;
  std::size_t SHARES = 1;    // the main flow's and the formatters'
  // The records ahead of each share, the last entry all of them.
  std::array<std::size_t, MOST_OUTPUT_THREADS + 1> BEFORE{};
};
std::mutex BLOCK_LOCK;
std::condition_variable BLOCK_READY;
std::condition_variable BLOCK_DONE;
std::uint64_t BLOCK_NUMBER = 0;  // blocks given out so far
BLOCK_SHARE BLOCK_NOW;
std::size_t SHARES_LEFT = 0;     // formatter shares of the block not yet done
bool BLOCK_MISMATCH = false;     // a record was not of the block's length

// Build share K (0: the main flow's) of the block's records.
std::size_t SHARE_START(const BLOCK_SHARE& S, std::size_t K) { return S.FIRST + S.COUNT * K / S.SHARES; }

bool BUILD_SHARE(const BLOCK_SHARE& S, std::size_t K) {
  const std::size_t from = SHARE_START(S, K);
  return S.BLOCK.RANGE(S.BLOCK.CONTEXT, S.AT + S.BEFORE[K] * (S.BODY + 2), from, SHARE_START(S, K + 1) - from,
                       S.BODY);
}

void FORMATTER(std::size_t K) {
  std::uint64_t seen = 0;
  std::unique_lock lock(BLOCK_LOCK);
  for (;;) {
    BLOCK_READY.wait(lock, [&] { return BLOCK_NUMBER != seen; });
    seen = BLOCK_NUMBER;
    const BLOCK_SHARE share = BLOCK_NOW;
    lock.unlock();
    const bool same = BUILD_SHARE(share, K);
    lock.lock();
    if (!same) BLOCK_MISMATCH = true;
    if (--SHARES_LEFT == 0) BLOCK_DONE.notify_one();
  }
}

// Threads that format, the main flow among them. By default one CPU is left
// to the writer thread: on few CPUs, formatting threads that compete with it
// for a core cost more than they save.
std::size_t CPUS_WANTED() noexcept {
  if (REQUESTED > 0) return static_cast<std::size_t>(REQUESTED);
  return std::clamp<std::size_t>(SYS_CPUS_ALLOWED() - 1, 1, DEFAULT_OUTPUT_THREADS);
}

// Start the threads once, when the run has grown large enough: the writer
// thread, then the formatting threads; any that cannot be had are done
// without (memory for them is no failure either: the run needs none of it).
void START_IF_DUE(const OUTPUT& O) {
  if (TRIED || O.UNIT <= 0 || !O.REGULAR || REQUESTED == 1 || SYS_CPUS_ALLOWED() < 2 ||
      FILE_BYTES_WRITTEN() < OUTPUT_THREADS_START_BYTES)
    return;
  TRIED = true;
  if (!START_WRITER()) return;
  const std::new_handler usual = std::set_new_handler(nullptr);
  RUN_ENDS_HELD hold;  // the threads keep the signals that end the run held back
  try {
    for (std::size_t k = 1; k < CPUS_WANTED(); ++k) {
      std::thread(FORMATTER, k).detach();
      ++FORMATTERS;
    }
  } catch (const std::exception&) {
  }
  std::set_new_handler(usual);
}

// A refused write the writer thread met: its report now. The records of that
// output not yet written (its buffer, its later handed ones) never go out.
void REPORT_IF_REFUSED() {
  SYS_ERROR err = 0;
  if (const OUTPUT* refused = REFUSED_WRITE(err)) FAIL_IO(REPORT::WRITE_FAILURE, refused->UNIT, err);
}

}  // namespace

void SET_OUTPUT_THREADS(int N) noexcept { REQUESTED = std::clamp(N, 0, MOST_OUTPUT_THREADS); }

bool HAND_FULL_BUFFER(OUTPUT& O) {
  START_IF_DUE(O);
  if (!WRITER_TAKES(O) || O.LEN.load(std::memory_order_relaxed) == 0) return false;
  REPORT_IF_REFUSED();
  if (!HAND_TO_WRITER(O)) REPORT_IF_REFUSED();
  return true;
}

void SETTLE_HANDED(const OUTPUT& O) {
  // A refusal is reported before anything else is written.
  REPORT_IF_REFUSED();
  if (!WAIT_FOR_HANDED(O)) REPORT_IF_REFUSED();
}

std::size_t FORMATTING_THREADS() noexcept { return FORMATTERS; }

bool BUILD_IN_PARALLEL(const FIXED_BLOCK& BLOCK, char* AT, std::size_t FIRST, std::size_t COUNT, std::size_t BODY) {
  BLOCK_SHARE share{BLOCK, AT, FIRST, COUNT, BODY, FORMATTERS + 1, {}};
  for (std::size_t k = 1, i = FIRST, before = 0; k <= share.SHARES; ++k) {
    for (; i < SHARE_START(share, k); ++i) before += KEPT(BLOCK, i);
    share.BEFORE[k] = before;
  }
  {
    std::lock_guard lock(BLOCK_LOCK);
    BLOCK_NOW = share;
    SHARES_LEFT = FORMATTERS;
    BLOCK_MISMATCH = false;
    ++BLOCK_NUMBER;
  }
  BLOCK_READY.notify_all();
  const bool same = BUILD_SHARE(share, 0);
  std::unique_lock lock(BLOCK_LOCK);
  BLOCK_DONE.wait(lock, [] { return SHARES_LEFT == 0; });
  return same && !BLOCK_MISMATCH;
}

}  // namespace KOVA
