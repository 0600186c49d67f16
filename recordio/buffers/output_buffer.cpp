#include "recordio/buffers/output_buffer.h"

#include <array>

#include "recordio/buffers/console_utf8.h"

namespace KOVA {

// The length of the whole records among the first SENT bytes of RECORDS (a
// run of whole records). No record body holds a line end (the title's control
// bytes are blanks), so the last line feed taken closes the last whole record.
std::size_t WHOLE_RECORD_BYTES(std::string_view RECORDS, std::size_t SENT) noexcept {
  const std::size_t last = RECORDS.substr(0, SENT).rfind('\n');
  return last == std::string_view::npos ? 0 : last + 1;
}

SYS_ERROR HAND_OVER(const OUTPUT& O, std::string_view BYTES, bool EXITING, std::size_t& SENT) noexcept {
  SENT = 0;
  std::size_t took = 0;
  const auto write = [&](std::string_view PIECE) -> SYS_ERROR {
    if (!EXITING) return SYS_WRITE(O.FD, PIECE, took);
    SYS_WRITE_UNLESS_STALLED(O.FD, PIECE);
    return 0;
  };
  if (!O.AS_UTF8) {
    const SYS_ERROR err = write(BYTES);
    SENT = took;
    return err;
  }
  std::array<char, 4096> shown;
  SYS_ERROR err = 0;
  while (err == 0 && !BYTES.empty())
    err = write(std::string_view(shown.data(), CP932_TO_UTF8(BYTES, shown)));
  return err;
}

SYS_ERROR HAND_OVER(const OUTPUT& O, std::string_view BYTES, bool EXITING) noexcept {
  std::size_t sent = 0;
  return HAND_OVER(O, BYTES, EXITING, sent);
}

// Cut a regular file back to KEPT bytes past START (where a write began),
// where the last whole record ends. START below 0: the position is unknown.
void CUT_BACK(const OUTPUT& O, std::int64_t START, std::size_t KEPT) noexcept {
  if (START >= 0) (void)SYS_CUT(O.FD, static_cast<std::uint64_t>(START) + KEPT);
}

SYS_ERROR WRITE_RECORDS_OR_CUT(SYS_FILE FD, std::string_view RECORDS, std::int64_t START) noexcept {
  std::size_t sent = 0;
  const SYS_ERROR err = SYS_WRITE(FD, RECORDS, sent);
  if (err != 0 && START >= 0) (void)SYS_CUT(FD, static_cast<std::uint64_t>(START) + WHOLE_RECORD_BYTES(RECORDS, sent));
  return err;
}

void OUTPUT_DRAIN_FOR_EXIT(OUTPUT& O) noexcept {
  if (O.FD == NO_FILE) return;
  const bool in_flight = O.IN_FLIGHT.load(std::memory_order_relaxed);
  std::atomic_signal_fence(std::memory_order_acquire);
  const std::size_t len = O.LEN.load(std::memory_order_relaxed);
  O.LEN.store(0, std::memory_order_relaxed);
  O.IN_FLIGHT.store(false, std::memory_order_relaxed);
  if (!O.REGULAR) {
    // How much of an interrupted write reached a pipe is unknown: the rest
    // cannot be matched to it, so nothing more is written there.
    if (!in_flight && len > 0) (void)HAND_OVER(O, std::string_view(O.BUF.get(), len), true);
    return;
  }
  const std::int64_t start =
      in_flight ? O.FLIGHT_START.load(std::memory_order_relaxed) : SYS_WRITE_POSITION(O.FD);
  if (in_flight) CUT_BACK(O, start);
  if (len > 0) (void)WRITE_RECORDS_OR_CUT(O.FD, std::string_view(O.BUF.get(), len), start);
}

}  // namespace KOVA
