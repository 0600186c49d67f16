#include "recordio/output_threads.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <new>
#include <string_view>
#include <system_error>
#include <thread>

#include "recordio/reports.h"
#include "recordio/units.h"

namespace {

// Handed buffers wait in a ring; each place owns a buffer of the outputs'
// size, which changes places with the output's own buffer when that is
// handed over: so the main flow fills one buffer while up to RING_PLACES wait
// or are being written.
constexpr std::size_t RING_PLACES = 3;

struct HANDED {
  std::unique_ptr<char[]> BUF;
  const OUTPUT* FROM = nullptr;  // whose records
  SYS_FILE FD = NO_FILE;         // its file
  std::size_t LEN = 0;           // bytes of whole records
};

int REQUESTED = 0;          // SET_OUTPUT_THREADS
bool TRIED = false;         // the threads were started, or could not be
bool WRITING = false;       // the writer thread runs
std::size_t FORMATTERS = 0; // threads that format beside the main flow

std::array<HANDED, RING_PLACES> RING;

// Buffers handed over and buffers written, counted since the start. The main
// flow hands over, the writer thread writes; the ways out of the run read
// both, on any thread, and so does a handler on a signal of the main flow.
std::atomic<std::uint64_t> QUEUED{0};
std::atomic<std::uint64_t> WRITTEN{0};

// The writer thread is in a write (BUSY), FLIGHT_START being where it began.
// STOP: a way out of the run has taken over; no write starts any more.
std::atomic<bool> BUSY{false};
std::atomic<bool> STOP{false};
std::atomic<std::int64_t> FLIGHT_START{0};

// A refused write: the output and the system's code. The writer thread stops
// at it; the main flow reports it at its next hand-over or wait.
std::atomic<const OUTPUT*> REFUSED{nullptr};
std::atomic<SYS_ERROR> REFUSED_ERROR{0};

std::mutex RING_LOCK;
std::condition_variable RING_CHANGED;

// How long a way out of the run waits for a write under way to finish before
// it writes that buffer again itself.
constexpr auto LONGEST_WAIT = std::chrono::milliseconds(500);

void WRITER() {
  std::unique_lock lock(RING_LOCK);
  for (;;) {
    RING_CHANGED.wait(lock, [] {
      return STOP.load() || (REFUSED.load() == nullptr && WRITTEN.load() < QUEUED.load());
    });
    if (STOP.load()) return;
    const std::uint64_t next = WRITTEN.load();
    const HANDED& h = RING[next % RING_PLACES];
    lock.unlock();
    // Where the write begins is known before it is marked as under way. BUSY
    // is set before STOP is looked at, and a way out sets STOP before it
    // looks at BUSY: one of the two sees the other, so no write starts after
    // a way out took over.
    const std::int64_t start = SYS_WRITE_POSITION(h.FD);
    FLIGHT_START.store(start);
    BUSY.store(true);
    if (STOP.load()) {
      BUSY.store(false);
      return;
    }
    const SYS_ERROR err = WRITE_RECORDS_OR_CUT(h.FD, std::string_view(h.BUF.get(), h.LEN), start);
    if (err != 0) {
      REFUSED_ERROR.store(err);
      REFUSED.store(h.FROM);
    } else {
      WRITTEN.store(next + 1);
    }
    BUSY.store(false);
    lock.lock();
    RING_CHANGED.notify_all();
  }
}

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

bool KEPT(const FIXED_BLOCK& B, std::size_t I) { return B.KEEP == nullptr || B.KEEP(B.CONTEXT, I); }

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

std::size_t CPUS_WANTED() noexcept {
  if (REQUESTED > 0) return static_cast<std::size_t>(REQUESTED);
  return std::min<std::size_t>(SYS_CPUS_ALLOWED(), DEFAULT_OUTPUT_THREADS);
}

// A file unit on a regular file that takes whole buffers as they are.
bool MAY_HAND_OVER(const OUTPUT& O) noexcept {
  return O.UNIT > 0 && O.REGULAR && !O.AS_UTF8 && !O.READ_ONLY && O.BUF && O.CAP == OUTPUT_BUFFER_BYTES;
}

// Start the threads once, when the run has grown large enough; any that
// cannot be had are done without. Memory that cannot be had here is no
// failure: the run needs none of it, so the usual out-of-memory end is set
// aside while the buffers and threads are asked for.
void START_IF_DUE(const OUTPUT& O) {
  if (TRIED || !MAY_HAND_OVER(O) || CPUS_WANTED() < 2 || SYS_CPUS_ALLOWED() < 2 ||
      FILE_BYTES_WRITTEN() < OUTPUT_THREADS_START_BYTES)
    return;
  TRIED = true;
  const std::new_handler usual = std::set_new_handler(nullptr);
  // Threads begin with the signals that end the run held back, and keep them
  // so: the main flow alone takes them, and may then end the run safely.
  RUN_ENDS_HELD hold;
  try {
    for (HANDED& h : RING) h.BUF = std::make_unique_for_overwrite<char[]>(OUTPUT_BUFFER_BYTES);
    std::thread(WRITER).detach();
    WRITING = true;
    for (std::size_t k = 1; k < CPUS_WANTED(); ++k) {
      std::thread(FORMATTER, k).detach();
      ++FORMATTERS;
    }
  } catch (const std::exception&) {
    if (!WRITING) {
      for (HANDED& h : RING) h.BUF.reset();
    }
  }
  std::set_new_handler(usual);
}

// A refused write the writer thread met: its report now. The records of that
// output not yet written (its buffer, its later handed ones) never go out.
void REPORT_IF_REFUSED() {
  const OUTPUT* refused = REFUSED.load();
  if (refused == nullptr) return;
  FAIL_IO(REPORT::WRITE_FAILURE, refused->UNIT, REFUSED_ERROR.load());
}

bool HANDED_FROM(const OUTPUT& O) noexcept {
  for (std::uint64_t q = WRITTEN.load(); q < QUEUED.load(); ++q)
    if (RING[q % RING_PLACES].FROM == &O) return true;
  return false;
}

}  // namespace

void SET_OUTPUT_THREADS(int N) noexcept { REQUESTED = std::clamp(N, 0, MOST_OUTPUT_THREADS); }

void OUTPUT_MAKE_ROOM(OUTPUT& O) {
  START_IF_DUE(O);
  const std::size_t len = O.LEN.load(std::memory_order_relaxed);
  if (!WRITING || !MAY_HAND_OVER(O) || len == 0) {
    OUTPUT_FLUSH(O);  // which reports first a refusal that the writer thread met
    return;
  }
  const std::uint64_t q = QUEUED.load();
  {
    std::unique_lock lock(RING_LOCK);
    RING_CHANGED.wait(lock, [&] { return REFUSED.load() != nullptr || q - WRITTEN.load() < RING_PLACES; });
  }
  REPORT_IF_REFUSED();
  {
    RUN_ENDS_HELD hold;  // the ways out read the ring and the buffer
    HANDED& h = RING[q % RING_PLACES];
    h.BUF.swap(O.BUF);
    h.FROM = &O;
    h.FD = O.FD;
    h.LEN = len;
    O.HANDED += len;
    O.LEN.store(0, std::memory_order_relaxed);
    std::lock_guard lock(RING_LOCK);
    QUEUED.store(q + 1);
  }
  RING_CHANGED.notify_all();
}

void SETTLE_HANDED(const OUTPUT& O) {
  if (!WRITING) return;
  // A refusal is reported before anything else is written.
  REPORT_IF_REFUSED();
  if (!HANDED_FROM(O)) return;
  {
    std::unique_lock lock(RING_LOCK);
    RING_CHANGED.wait(lock, [&] { return REFUSED.load() != nullptr || !HANDED_FROM(O); });
  }
  REPORT_IF_REFUSED();
}

bool DRAIN_HANDED_FOR_EXIT(const OUTPUT& O) noexcept {
  if (!WRITING) return true;
  if (REFUSED.load() == &O) return false;
  STOP.store(true);
  // Usually the write under way ends in moments; one that does not is done
  // again from its start (the same bytes in the same places).
  for (auto waited = std::chrono::milliseconds(0); BUSY.load() && waited < LONGEST_WAIT;
       waited += std::chrono::milliseconds(1))
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  const bool under_way = BUSY.load();
  for (std::uint64_t q = WRITTEN.load(); q < QUEUED.load(); ++q) {
    const HANDED& h = RING[q % RING_PLACES];
    if (h.FROM != &O) continue;
    std::int64_t start = SYS_WRITE_POSITION(h.FD);
    if (under_way && q == WRITTEN.load()) {
      start = FLIGHT_START.load();
      if (start >= 0) (void)SYS_CUT(h.FD, static_cast<std::uint64_t>(start));
    }
    if (WRITE_RECORDS_OR_CUT(h.FD, std::string_view(h.BUF.get(), h.LEN), start) != 0) return false;
  }
  return true;
}

void FORGET_HANDED() noexcept {
  if (!WRITING) return;
  STOP.store(true);
  {
    std::lock_guard lock(RING_LOCK);
    RING_CHANGED.notify_all();
  }
  while (BUSY.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  // The writer thread has ended (or ends without writing); later runs of
  // the process write on the main flow.
  for (HANDED& h : RING) h.FROM = nullptr;
  QUEUED.store(WRITTEN.load());
  REFUSED.store(nullptr);
  WRITING = false;
}

bool PARALLEL_BLOCKS_FOR(const OUTPUT& O, std::size_t COUNT) noexcept {
  constexpr std::size_t FEWEST = 1024;  // fewer records are not worth the threads' wake-up
  return FORMATTERS > 0 && COUNT >= FEWEST && MAY_HAND_OVER(O) && !O.CUT_PENDING;
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
    // The indexes whose records fit, and where each share's records begin.
    const std::size_t fit = (room - FIXED_RECORD_MOST) / record;
    BLOCK_SHARE share{BLOCK, O.BUF.get() + len, done, 0, body, FORMATTERS + 1, {}};
    std::size_t end = done, kept = 0;
    for (; end < COUNT; ++end) {
      if (!KEPT(BLOCK, end)) continue;
      if (kept == fit) break;
      ++kept;
    }
    share.COUNT = end - done;
    for (std::size_t k = 1, i = done, before = 0; k <= share.SHARES; ++k) {
      for (; i < SHARE_START(share, k); ++i) before += KEPT(BLOCK, i);
      share.BEFORE[k] = before;
    }
    bool same = true;
    {
      std::lock_guard lock(BLOCK_LOCK);
      BLOCK_NOW = share;
      SHARES_LEFT = FORMATTERS;
      BLOCK_MISMATCH = false;
      ++BLOCK_NUMBER;
    }
    BLOCK_READY.notify_all();
    same = BUILD_SHARE(share, 0);
    {
      std::unique_lock lock(BLOCK_LOCK);
      BLOCK_DONE.wait(lock, [] { return SHARES_LEFT == 0; });
      same = same && !BLOCK_MISMATCH;
    }
    if (same) {
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
