#pragma once
// Full output buffers handed to a writer thread.
//
// A regular output file's full buffer goes to the writer thread while the
// main flow fills a spare one. Buffers are written in the order they were
// handed over; a write the system refuses is cut back to whole records and
// the writer thread stops there, so nothing later reaches any file before the
// refusal is reported. The ways out of the run stop the writer thread and
// write, in order, what it has not written.
#include <cstddef>

#include "recordio/buffers/output_buffer.h"

namespace KOVA {

// Start the writer thread and allocate its spare buffers, once; false when
// they cannot be had (the main flow then writes its buffers itself).
bool START_WRITER() noexcept;

// The writer thread runs and takes O's full buffers.
bool WRITER_TAKES(const OUTPUT& O) noexcept;

// Hand O's buffer (whole records, not empty) to the writer thread and give O
// an empty one, once a spare buffer is free. False, without handing anything
// over, when a write was refused: REFUSED_WRITE tells which.
bool HAND_TO_WRITER(OUTPUT& O);

// Wait until every buffer of O handed over is written; false when a write was
// refused.
bool WAIT_FOR_HANDED(const OUTPUT& O);

// A write the writer thread met refused: the output (nullptr: none) and the
// system's code in REASON.
const OUTPUT* REFUSED_WRITE(SYS_ERROR& REASON) noexcept;

// Async-signal-safe, for the ways out of the process: no write of the writer
// thread starts any more, and one under way is waited for, a little.
void STOP_HANDED_WRITES() noexcept;

// Async-signal-safe: the writer thread stopped, write O's handed buffers that
// it has not written, in order. False when a write of O was
// refused: nothing more may go to its file.
bool DRAIN_HANDED_FOR_EXIT(const OUTPUT& O) noexcept;

// For a process that runs the converter more than once: the writer thread
// ends and every handed buffer is forgotten; later runs write on the main flow.
void FORGET_HANDED() noexcept;

}  // namespace KOVA
