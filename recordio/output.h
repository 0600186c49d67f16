#pragma once
// Buffered record output of one unit.
//
// Records are collected in a large buffer and handed to the operating system
// when it fills, before a console read, before anything goes to standard error
// and at every end of the run. The buffer only ever holds complete records, so
// whatever ends the run can write it out and the file holds exactly the records
// completed so far. A unit with FD < 0 keeps its records in MEMORY instead
// (tests read them back).
#include <atomic>
#include <csignal>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

struct OUTPUT {
  int UNIT = 0;                  // unit number, for failure reports
  int FD = -1;                   // file descriptor; below 0: memory output
  bool READ_ONLY = false;        // opened for reading only: a write is report 47
  bool CUT_PENDING = false;      // the first record cuts the file to what the run writes
  std::unique_ptr<char[]> BUF;   // complete records not yet handed to the system
  std::size_t CAP = 0;
  std::atomic<std::size_t> LEN{0};  // read by the console-event handler
  std::string MEMORY;            // memory output: every record written
};

inline constexpr std::size_t OUTPUT_BUFFER_BYTES = std::size_t{1} << 20;

// Prepare O for output to descriptor FD (FD < 0: memory output).
void OUTPUT_ATTACH(OUTPUT& O, int UNIT, int FD);

// Append BODY followed by CR LF as one complete record.
void PUT_RECORD(OUTPUT& O, std::string_view BODY);

// Hand the buffered records and then BYTES to the system at once: a prompt
// that leaves the answer on its own line. Memory output appends BYTES.
void OUTPUT_WRITE_NOW(OUTPUT& O, std::string_view BYTES);

// Hand every buffered record to the system. A refused write ends the run
// with report 38 (the system's text first).
void OUTPUT_FLUSH(OUTPUT& O);

// Async-signal-safe: write the buffered records with plain write(2) calls and
// ignore errors. Used only on the way out of the process.
void OUTPUT_DRAIN_FOR_EXIT(OUTPUT& O) noexcept;

// Hold back the console events (SIGINT, SIGQUIT, SIGHUP) and return the mask
// that was in force before. Their handler writes out the output buffers, so
// they wait while a buffer is being handed over and once the run is ending.
sigset_t HOLD_CONSOLE_EVENTS() noexcept;
