#pragma once
// A progress line for long conversions, on standard error when that is a
// terminal: after about a second, one line (steps read, bytes written, rate)
// redrawn in place a few times a second, and erased before anything else is
// shown. Nothing is shown when standard error is not a terminal.
#include <cstdint>

namespace KOVA {

// The step loop starts now.
void PROGRESS_BEGIN() noexcept;

// STEPS steps have been read. Cheap enough for every step: one look at the
// clock, and a redraw only when its time has come.
void PROGRESS_STEP(std::int64_t STEPS) noexcept;

// Erase the line if it is shown. Async-signal-safe; used before the
// termination message, every report and every warning.
void PROGRESS_ERASE() noexcept;

// The step loop is over: erase the line and show it no more.
void PROGRESS_END() noexcept;

}  // namespace KOVA
