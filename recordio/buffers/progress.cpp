#include "recordio/buffers/progress.h"

#include <array>
#include <charconv>
#include <chrono>
#include <csignal>
#include <string_view>

#include "recordio/buffers/output_buffer.h"
#include "recordio/system/platform.h"
#include "recordio/buffers/unit_table.h"

namespace KOVA {

namespace {

constexpr std::int64_t NS = 1'000'000'000;
constexpr std::int64_t FIRST_AFTER = NS;     // quick runs show nothing
constexpr std::int64_t REDRAW_EVERY = NS / 4;
constexpr std::size_t LINE_BYTES = 120;

bool ACTIVE = false;
std::int64_t START = 0;
std::int64_t NEXT_DRAW = 0;
// Width of the line on the screen; read by the signal handlers that erase it.
volatile std::sig_atomic_t SHOWN_WIDTH = 0;

// A read of the monotonic clock costs some tens of nanoseconds (no system
// call on Linux): cheap enough for every step.
std::int64_t NOW() noexcept {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// Appends to a fixed line; whatever does not fit is dropped.
struct LINE {
  std::array<char, LINE_BYTES> TEXT{};
  std::size_t LEN = 0;
  void ADD(std::string_view S) {
    for (char C : S)
      if (LEN < TEXT.size()) TEXT[LEN++] = C;
  }
  void ADD_INTEGER(std::int64_t V) {
    std::array<char, 24> D{};
    ADD(std::string_view(D.data(), std::to_chars(D.data(), D.data() + D.size(), V).ptr));
  }
  void ADD_TENTHS(double V) {  // one decimal
    std::array<char, 40> D{};
    const auto R = std::to_chars(D.data(), D.data() + D.size(), V, std::chars_format::fixed, 1);
    ADD(std::string_view(D.data(), R.ptr));
  }
};

// "\r" and the new line, with blanks over what is left of the old one.
void DRAW(std::int64_t STEPS, std::int64_t ELAPSED) {
  const double MB = static_cast<double>(FILE_BYTES_WRITTEN()) / 1e6;
  LINE L;
  L.ADD("\rkovaconv: ");
  L.ADD_INTEGER(STEPS);
  L.ADD(STEPS == 1 ? " step read, " : " steps read, ");
  L.ADD_TENTHS(MB);
  L.ADD(" MB written, ");
  L.ADD_TENTHS(MB / (static_cast<double>(ELAPSED) / NS));
  L.ADD(" MB/s");
  while (L.LEN - 1 < static_cast<std::size_t>(SHOWN_WIDTH)) L.ADD(" ");

  // Held against the signals that end the run, whose handler erases the line.
  RUN_ENDS_HELD hold;
  (void)SYS_WRITE(SYS_STANDARD(2), std::string_view(L.TEXT.data(), L.LEN));
  SHOWN_WIDTH = static_cast<std::sig_atomic_t>(L.LEN - 1);
}

}  // namespace

void PROGRESS_BEGIN() noexcept {
  ACTIVE = SYS_IS_TERMINAL(SYS_STANDARD(2));
  START = NOW();
  NEXT_DRAW = START + FIRST_AFTER;
}

void PROGRESS_STEP(std::int64_t STEPS) noexcept {
  if (!ACTIVE) return;
  const std::int64_t T = NOW();
  if (T < NEXT_DRAW) return;
  NEXT_DRAW = T + REDRAW_EVERY;
  DRAW(STEPS, T - START);
}

void PROGRESS_ERASE() noexcept {
  const std::sig_atomic_t WIDTH = SHOWN_WIDTH;
  if (WIDTH <= 0) return;
  SHOWN_WIDTH = 0;
  // The line is never wider than LINE holds: "\r", blanks over it, "\r".
  std::array<char, LINE_BYTES + 1> BLANK;
  BLANK.fill(' ');
  const auto N = static_cast<std::size_t>(WIDTH);
  BLANK[0] = '\r';
  BLANK[N + 1] = '\r';
  (void)SYS_WRITE(SYS_STANDARD(2), std::string_view(BLANK.data(), N + 2));
}

void PROGRESS_END() noexcept {
  PROGRESS_ERASE();
  ACTIVE = false;
}

}  // namespace KOVA
