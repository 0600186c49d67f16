#pragma once
// The few operations of the record layer that differ between operating
// systems. Each system has one source that implements them
// (platform_posix.cpp, platform_windows.cpp); the build picks the one for its
// target, so the rest of the record layer is the same everywhere.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace KOVA {

// An open file: a descriptor on POSIX systems, a handle on Windows.
using SYS_FILE = std::intptr_t;
inline constexpr SYS_FILE NO_FILE = -1;

// The system's code for what went wrong (errno, or GetLastError()); 0: none.
using SYS_ERROR = int;

// The codes the record layer gives itself: a unit that is not connected, and
// no free place in the unit table.
extern const SYS_ERROR SYS_BAD_FILE;
extern const SYS_ERROR SYS_TOO_MANY_FILES;

// The process's standard input (0), output (1) or error (2).
SYS_FILE SYS_STANDARD(int STREAM) noexcept;

// What names a file for the same-file check: device and inode, or volume
// serial number and file index.
struct FILE_ID {
  std::uint64_t VOLUME = 0;
  std::uint64_t INDEX = 0;
  bool operator==(const FILE_ID&) const = default;
};

// False when the system gives no identity for the file (a pipe, say).
bool SYS_FILE_ID(SYS_FILE F, FILE_ID& ID) noexcept;

// Why an open failed, as the system said it.
enum class OPEN_FAULT { NONE, NOT_FOUND, ACCESS_DENIED, BAD_NAME, NO_SUCH_DEVICE, OTHER };

struct OPENED {
  SYS_FILE FD = NO_FILE;
  bool READ_ONLY = false;  // writing was refused, reading allowed
  bool REGULAR = false;    // a disk file: it can be cut and has an identity
  FILE_ID ID;
  OPEN_FAULT FAULT = OPEN_FAULT::NONE;  // when the open failed: why
  SYS_ERROR REASON = 0;    // ... and the system's code (0: none to show)
};

inline OPENED OPEN_FAILED(OPEN_FAULT FAULT, SYS_ERROR REASON) {
  OPENED o;
  o.FAULT = FAULT;
  o.REASON = REASON;
  return o;
}

// Open NAME for reading and writing, or for reading only where writing is
// refused for permission. CREATE_ABSENT: an absent file is created empty. Nothing
// about an existing file changes. Failure sets FAULT by the system's reason.
OPENED SYS_OPEN_FILE(const std::string& NAME, bool CREATE_ABSENT);

// Open NAME for reading only (the sibling tools' reads); 0, or the system's
// reason. A directory is refused.
SYS_ERROR SYS_OPEN_READING(const std::string& NAME, SYS_FILE& F) noexcept;

// Create a new file for writing whose name is NAME followed by six characters
// that make it unique (NAME is given the name made). It is created
// exclusively: never an existing file, never the target of a link at that name.
SYS_ERROR SYS_CREATE_UNIQUE(std::string& NAME, SYS_FILE& F) noexcept;

// Lock a file opened for writing against other processes that lock it (an
// advisory lock on POSIX systems, a byte-range lock on Windows), for as long as
// it is open. 0, SYS_LOCKED when another process holds a lock on it, or the
// system's reason why the file system takes no lock.
extern const SYS_ERROR SYS_LOCKED;
SYS_ERROR SYS_LOCK_WRITING(SYS_FILE F) noexcept;

// The C library's standard output and error write '\n' as it is, so the
// sibling tools' reports are the same bytes everywhere (Windows's text mode
// would add a '\r').
void SYS_PLAIN_NEWLINES() noexcept;

// The full path that reports show for NAME (relative names are resolved
// against the current directory).
std::string SYS_FULL_PATH(std::string_view NAME);

// Write all of BYTES; 0, or the code of the refused write. SENT counts the
// bytes the system took.
SYS_ERROR SYS_WRITE(SYS_FILE F, std::string_view BYTES, std::size_t& SENT) noexcept;
inline SYS_ERROR SYS_WRITE(SYS_FILE F, std::string_view BYTES) noexcept {
  std::size_t sent = 0;
  return SYS_WRITE(F, BYTES, sent);
}

// Read at most N bytes from the current position; GOT is 0 at the end.
SYS_ERROR SYS_READ(SYS_FILE F, char* TO, std::size_t N, std::size_t& GOT) noexcept;

// Read at most N bytes at OFFSET (for units that are only read: where the
// current position is afterwards differs between systems).
SYS_ERROR SYS_READ_AT(SYS_FILE F, unsigned char* TO, std::size_t N, std::uint64_t OFFSET,
                      std::size_t& GOT) noexcept;

// Async-signal-safe, for the ways out of the process: write BYTES to a pipe
// or terminal, errors ignored, giving up once it takes no bytes for a while
// (where the system can tell that it takes none).
void SYS_WRITE_UNLESS_STALLED(SYS_FILE F, std::string_view BYTES) noexcept;

// The size of a disk file; anything else has size 0.
SYS_ERROR SYS_FILE_SIZE(SYS_FILE F, std::uint64_t& SIZE) noexcept;

// A disk file (not a pipe, terminal or device): its writes can be cut back.
bool SYS_IS_REGULAR(SYS_FILE F) noexcept;

// A terminal or console window that a person reads.
bool SYS_IS_TERMINAL(SYS_FILE F) noexcept;

// Async-signal-safe: where the next byte written to a disk file lands (its end
// when it was opened for appending); -1 when the system cannot tell.
std::int64_t SYS_WRITE_POSITION(SYS_FILE F) noexcept;

// Async-signal-safe: the file ends at LENGTH and the next write goes there.
SYS_ERROR SYS_CUT(SYS_FILE F, std::uint64_t LENGTH) noexcept;

void SYS_CLOSE(SYS_FILE F) noexcept;

// The number of CPUs the process may run on (its affinity mask); at least 1.
std::size_t SYS_CPUS_ALLOWED() noexcept;

// The system's own text for E, one line, kept in BUF.
std::string_view SYS_ERROR_TEXT(SYS_ERROR E, std::span<char> BUF) noexcept;

// The events that end the run. TERMINATED (SIGTERM) exists on POSIX systems only.
enum class END_EVENT { CONTROL_C, CONTROL_BREAK, WINDOW_CLOSE, TERMINATED };

// What an event calls: on the signal, or on a thread of the system's own with
// the main flow stopped where it was, in either case as if the main flow were
// interrupted there. It ends the process and never returns.
using END_EVENT_HANDLER = void (*)(END_EVENT) noexcept;

// Route the events that end the run to ON_EVENT, make a write refused
// by a closed pipe or a size limit a report instead of a kill, and set the
// console up for the run's bytes.
void SYS_PREPARE_RUN_ENDS(END_EVENT_HANDLER ON_EVENT);

// The events that end the run wait while the output state changes and, once
// the run is ending, for good; never during a write itself. Holds nest; each
// hold is released once.
void SYS_HOLD_RUN_ENDS() noexcept;
void SYS_RELEASE_RUN_ENDS() noexcept;

// Holds the events back for its lifetime: a change to the output state or to
// the unit table, which their handler reads.
class RUN_ENDS_HELD {
 public:
  RUN_ENDS_HELD() noexcept { SYS_HOLD_RUN_ENDS(); }
  ~RUN_ENDS_HELD() { SYS_RELEASE_RUN_ENDS(); }
  RUN_ENDS_HELD(const RUN_ENDS_HELD&) = delete;
  RUN_ENDS_HELD& operator=(const RUN_ENDS_HELD&) = delete;
};

// End the process with STATUS, narrowed to what the system can carry.
[[noreturn]] void SYS_EXIT(std::uint32_t STATUS) noexcept;

// Async-signal-safe: end the process as control-C ends a program that does not
// catch it, so that a calling shell or script sees an interrupted run (on
// POSIX systems death by SIGINT, status 130 in a shell; on Windows the status
// C000013A).
[[noreturn]] void SYS_EXIT_INTERRUPTED() noexcept;

}  // namespace KOVA
