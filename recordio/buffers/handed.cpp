#include "recordio/buffers/handed.h"

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <new>
#include <string_view>
#include <thread>

namespace KOVA {

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

bool TRIED = false;    // the writer thread was started, or could not be
bool WRITING = false;  // the writer thread runs

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
// at it.
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

bool HANDED_FROM(const OUTPUT& O) noexcept {
  for (std::uint64_t q = WRITTEN.load(); q < QUEUED.load(); ++q)
    if (RING[q % RING_PLACES].FROM == &O) return true;
  return false;
}

}  // namespace

// Memory that cannot be had here is no failure: the run needs none of it, so
// the usual out-of-memory end is set aside while it is asked for.
bool START_WRITER() noexcept {
  if (TRIED) return WRITING;
  TRIED = true;
  const std::new_handler usual = std::set_new_handler(nullptr);
  // The thread begins with the signals that end the run held back, and keeps
  // them so: the main flow alone takes them, and may then end the run safely.
  RUN_ENDS_HELD hold;
  try {
    for (HANDED& h : RING) h.BUF = std::make_unique_for_overwrite<char[]>(OUTPUT_BUFFER_BYTES);
    std::thread(WRITER).detach();
    WRITING = true;
  } catch (const std::exception&) {
    for (HANDED& h : RING) h.BUF.reset();
  }
  std::set_new_handler(usual);
  return WRITING;
}

bool WRITER_TAKES(const OUTPUT& O) noexcept {
  return WRITING && O.UNIT > 0 && O.REGULAR && !O.AS_UTF8 && !O.READ_ONLY && O.BUF &&
         O.CAP == OUTPUT_BUFFER_BYTES;
}

bool HAND_TO_WRITER(OUTPUT& O) {
  const std::uint64_t q = QUEUED.load();
  {
    std::unique_lock lock(RING_LOCK);
    RING_CHANGED.wait(lock, [&] { return REFUSED.load() != nullptr || q - WRITTEN.load() < RING_PLACES; });
  }
  if (REFUSED.load() != nullptr) return false;
  {
    RUN_ENDS_HELD hold;  // the ways out read the ring and the buffer
    HANDED& h = RING[q % RING_PLACES];
    const std::size_t len = O.LEN.load(std::memory_order_relaxed);
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
  return true;
}

bool WAIT_FOR_HANDED(const OUTPUT& O) {
  if (!WRITING) return true;
  if (HANDED_FROM(O)) {
    std::unique_lock lock(RING_LOCK);
    RING_CHANGED.wait(lock, [&] { return REFUSED.load() != nullptr || !HANDED_FROM(O); });
  }
  return REFUSED.load() == nullptr;
}

const OUTPUT* REFUSED_WRITE(SYS_ERROR& REASON) noexcept {
  REASON = REFUSED_ERROR.load();
  return REFUSED.load();
}

void STOP_HANDED_WRITES() noexcept {
  if (!WRITING) return;
  STOP.store(true);
  // Usually the write under way ends in moments; one that does not is done
  // again from its start (the same bytes in the same places).
  for (auto waited = std::chrono::milliseconds(0); BUSY.load() && waited < LONGEST_WAIT;
       waited += std::chrono::milliseconds(1))
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

bool DRAIN_HANDED_FOR_EXIT(const OUTPUT& O) noexcept {
  if (!WRITING) return true;
  if (REFUSED.load() == &O) return false;
  STOP_HANDED_WRITES();
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
  for (HANDED& h : RING) h.FROM = nullptr;
  QUEUED.store(WRITTEN.load());
  REFUSED.store(nullptr);
  WRITING = false;
}

}  // namespace KOVA
