// The record layer's system operations on Windows: files through handles
// (no C run-time translation, so console bytes pass as written), the system's
// own error texts, console events through SetConsoleCtrlHandler and the full
// 32-bit exit status. Windows has no SIGTERM and no file-size limit signal.
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cstdio>
#include <cstring>

#include "recordio/system/platform.h"

namespace KOVA {

const SYS_ERROR SYS_BAD_FILE = ERROR_INVALID_HANDLE;
const SYS_ERROR SYS_TOO_MANY_FILES = ERROR_TOO_MANY_OPEN_FILES;
const SYS_ERROR SYS_LOCKED = ERROR_LOCK_VIOLATION;

namespace {

HANDLE HANDLE_OF(SYS_FILE F) { return reinterpret_cast<HANDLE>(F); }
SYS_FILE FILE_OF(HANDLE H) { return reinterpret_cast<SYS_FILE>(H); }
SYS_ERROR LAST_ERROR() { return static_cast<SYS_ERROR>(::GetLastError()); }

// One system call moves at most this much.
constexpr std::size_t LARGEST_TRANSFER = std::size_t{1} << 30;

DWORD TRANSFER_SIZE(std::size_t n) { return static_cast<DWORD>(std::min(n, LARGEST_TRANSFER)); }

// The drive letter of a full path ("C:\..."), or 0 for other forms (UNC).
char DRIVE_LETTER(std::string_view full) {
  const bool letter = full.size() >= 2 && full[1] == ':' &&
                      ((full[0] >= 'A' && full[0] <= 'Z') || (full[0] >= 'a' && full[0] <= 'z'));
  return letter ? full[0] : 0;
}

// A name on a drive the system does not have. CreateFile says only that the
// path is not there (or names no device), so the drive itself is asked.
bool ON_MISSING_DRIVE(const std::string& NAME) {
  const char letter = DRIVE_LETTER(SYS_FULL_PATH(NAME));
  const char root[] = {letter, ':', '\\', '\0'};
  return letter != 0 && ::GetDriveTypeA(root) == DRIVE_NO_ROOT_DIR;
}

// "A device which does not exist was specified" (ERROR_NO_SUCH_DEVICE, not in
// every SDK's headers).
constexpr DWORD NO_SUCH_DEVICE = 433;

OPEN_FAULT FAULT_OF(const std::string& NAME, DWORD err) {
  switch (err) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case NO_SUCH_DEVICE:
      if (ON_MISSING_DRIVE(NAME)) return OPEN_FAULT::NO_SUCH_DEVICE;
      return err == NO_SUCH_DEVICE ? OPEN_FAULT::OTHER : OPEN_FAULT::NOT_FOUND;
    case ERROR_INVALID_DRIVE: return OPEN_FAULT::NO_SUCH_DEVICE;
    case ERROR_ACCESS_DENIED: return OPEN_FAULT::ACCESS_DENIED;
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_DIRECTORY: return OPEN_FAULT::BAD_NAME;
    default: return OPEN_FAULT::OTHER;
  }
}

// Writing refused: by permission, by a write-protected medium, or by another
// program that has the file open and lets others only read it.
bool REFUSED_FOR_WRITING(DWORD err) {
  return err == ERROR_ACCESS_DENIED || err == ERROR_WRITE_PROTECT || err == ERROR_SHARING_VIOLATION;
}

OPENED FAILED_WITH(const std::string& NAME, DWORD err) {
  return OPEN_FAILED(FAULT_OF(NAME, err), static_cast<SYS_ERROR>(err));
}

// The full path of NAME (relative names joined to the current directory),
// in UTF-16; empty when the system cannot make one.
std::wstring WIDE_FULL_PATH(const std::string& NAME) {
  const int wide_length = ::MultiByteToWideChar(CP_ACP, 0, NAME.c_str(), -1, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(std::max(wide_length, 1)), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, NAME.c_str(), -1, wide.data(), wide_length);
  std::wstring full(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = ::GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (n == 0) return {};
    if (n < full.size()) {
      full.resize(n);
      return full;
    }
    full.resize(n);  // N counts the terminating zero when the buffer is short
  }
}

HANDLE CREATE_HANDLE(const std::string& NAME, DWORD access, DWORD disposition) {
  // Other programs may read and write the file meanwhile, as on other systems.
  constexpr DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  // A path of MAX_PATH characters or more (a name from the command line) is
  // opened by its "\\?\" form, which the system takes at any length.
  if (const std::wstring full = WIDE_FULL_PATH(NAME); full.size() >= MAX_PATH) {
    const bool unc = full.starts_with(L"\\\\");
    const std::wstring long_form = unc ? L"\\\\?\\UNC\\" + full.substr(2) : L"\\\\?\\" + full;
    return ::CreateFileW(long_form.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                         nullptr);
  }
  return ::CreateFileA(NAME.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
}

// The events that end the run wait on this lock while the main flow changes
// the output state. A critical section nests within its thread, as the holds do.
CRITICAL_SECTION& EVENT_LOCK() {
  static struct LOCK {
    CRITICAL_SECTION CS;
    LOCK() { ::InitializeCriticalSection(&CS); }
  } lock;
  return lock.CS;
}

// The console output code page before the run set its own (0: not changed).
std::atomic<UINT> CODE_PAGE_BEFORE{0};

// The thread of the main flow, which an event stops before ending the run.
HANDLE MAIN_THREAD = nullptr;

// What an event calls to end the run; set before events are routed here.
END_EVENT_HANDLER ON_EVENT = nullptr;

// The event arrives on a thread of the system's own. Once the main flow holds
// no lock, it is stopped where it is, so that the run ends exactly as a signal
// ends it elsewhere: whatever the main flow was doing is left as it was, and
// a write that was under way is done again from its start. Log-off and
// shutdown go on to the next handler.
BOOL WINAPI ON_CONSOLE_EVENT(DWORD type) {
  END_EVENT event = END_EVENT::CONTROL_C;
  switch (type) {
    case CTRL_C_EVENT: break;
    case CTRL_BREAK_EVENT: event = END_EVENT::CONTROL_BREAK; break;
    case CTRL_CLOSE_EVENT: event = END_EVENT::WINDOW_CLOSE; break;
    default: return FALSE;
  }
  SYS_HOLD_RUN_ENDS();  // a second event waits here until the process is gone
  if (MAIN_THREAD != nullptr && ::SuspendThread(MAIN_THREAD) != static_cast<DWORD>(-1)) {
    CONTEXT context{};
    context.ContextFlags = CONTEXT_CONTROL;
    ::GetThreadContext(MAIN_THREAD, &context);  // returns once the thread has stopped
  }
  ON_EVENT(event);
  return TRUE;
}

}  // namespace

SYS_FILE SYS_STANDARD(int STREAM) noexcept {
  const DWORD which = STREAM == 0 ? STD_INPUT_HANDLE : STREAM == 1 ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE;
  return FILE_OF(::GetStdHandle(which));
}

bool SYS_FILE_ID(SYS_FILE F, FILE_ID& ID) noexcept {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(HANDLE_OF(F), &info)) return false;
  ID = {info.dwVolumeSerialNumber,
        std::uint64_t{info.nFileIndexHigh} << 32 | std::uint64_t{info.nFileIndexLow}};
  return true;
}

OPENED SYS_OPEN_FILE(const std::string& NAME, bool CREATE_ABSENT) {
  OPENED o;
  HANDLE h = CREATE_HANDLE(NAME, GENERIC_READ | GENERIC_WRITE, CREATE_ABSENT ? OPEN_ALWAYS : OPEN_EXISTING);
  if (h == INVALID_HANDLE_VALUE && REFUSED_FOR_WRITING(::GetLastError())) {
    const DWORD refused = ::GetLastError();
    h = CREATE_HANDLE(NAME, GENERIC_READ, OPEN_EXISTING);
    // A file that could not be created reports why it could not be.
    if (h == INVALID_HANDLE_VALUE) {
      const DWORD err = ::GetLastError();
      return FAILED_WITH(NAME, err == ERROR_FILE_NOT_FOUND ? refused : err);
    }
    o.READ_ONLY = true;
  }
  if (h == INVALID_HANDLE_VALUE) return FAILED_WITH(NAME, ::GetLastError());
  o.FD = FILE_OF(h);
  o.REGULAR = ::GetFileType(h) == FILE_TYPE_DISK && SYS_FILE_ID(o.FD, o.ID);
  return o;
}

// Without backup semantics a directory cannot be opened at all: its refusal
// is the system's reason.
SYS_ERROR SYS_OPEN_READING(const std::string& NAME, SYS_FILE& F) noexcept {
  const HANDLE h = CREATE_HANDLE(NAME, GENERIC_READ, OPEN_EXISTING);
  F = h == INVALID_HANDLE_VALUE ? NO_FILE : FILE_OF(h);
  return h == INVALID_HANDLE_VALUE ? LAST_ERROR() : 0;
}

SYS_ERROR SYS_CREATE_UNIQUE(std::string& NAME, SYS_FILE& F) noexcept {
  F = NO_FILE;
  const std::size_t stem = NAME.size();
  // Letters from the process id, the clock and a count: names differ between
  // processes and between tries, and a name that is taken costs another try.
  static unsigned count = 0;
  LARGE_INTEGER now{};
  ::QueryPerformanceCounter(&now);
  const std::uint64_t seed = std::uint64_t{::GetCurrentProcessId()} << 32 ^ static_cast<std::uint64_t>(now.QuadPart);
  constexpr std::string_view letters = "abcdefghijklmnopqrstuvwxyz0123456789";  // names ignore case
  for (int tries = 0; tries < 100; ++tries) {
    std::uint64_t v = seed + 0x9E3779B97F4A7C15ULL * ++count;
    v ^= v >> 29;
    NAME.resize(stem);
    for (int k = 0; k < 6; ++k, v /= letters.size()) NAME += letters[v % letters.size()];
    // CREATE_NEW fails on any existing name, a link included.
    const HANDLE h = CREATE_HANDLE(NAME, GENERIC_WRITE, CREATE_NEW);
    if (h != INVALID_HANDLE_VALUE) {
      F = FILE_OF(h);
      return 0;
    }
    const DWORD err = ::GetLastError();
    if (err != ERROR_FILE_EXISTS && err != ERROR_ALREADY_EXISTS) return static_cast<SYS_ERROR>(err);
  }
  return ERROR_FILE_EXISTS;
}

// The whole range a file can have, locked for this handle alone: another
// process's lock on it refuses this one.
SYS_ERROR SYS_LOCK_WRITING(SYS_FILE F) noexcept {
  OVERLAPPED from_start{};
  if (::LockFileEx(HANDLE_OF(F), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD,
                   &from_start)) {
    return 0;
  }
  return LAST_ERROR();
}

void SYS_PLAIN_NEWLINES() noexcept {
  ::_setmode(::_fileno(stdout), _O_BINARY);
  ::_setmode(::_fileno(stderr), _O_BINARY);
}

// The system's own full path: drive letter and backslashes. The wide form
// serves paths longer than MAX_PATH too; the names pass through the ANSI code
// page both ways, as the narrow functions would pass them.
std::string SYS_FULL_PATH(std::string_view NAME) {
  const std::string name(NAME);
  const std::wstring full = WIDE_FULL_PATH(name);
  if (full.empty()) return name;
  const int length = ::WideCharToMultiByte(CP_ACP, 0, full.data(), static_cast<int>(full.size()), nullptr, 0,
                                           nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(length), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, full.data(), static_cast<int>(full.size()), narrow.data(), length, nullptr,
                        nullptr);
  return narrow;
}

SYS_ERROR SYS_WRITE(SYS_FILE F, std::string_view BYTES, std::size_t& SENT) noexcept {
  SENT = 0;
  while (!BYTES.empty()) {
    DWORD done = 0;
    if (!::WriteFile(HANDLE_OF(F), BYTES.data(), TRANSFER_SIZE(BYTES.size()), &done, nullptr)) {
      return LAST_ERROR();
    }
    if (done == 0) return ERROR_WRITE_FAULT;
    BYTES.remove_prefix(done);
    SENT += done;
  }
  return 0;
}

// An anonymous pipe cannot be asked for room, so the write goes as it is. A
// write under way when an event came is never done again on a pipe (the
// output layer skips it), so only a pipe that stopped taking bytes between
// two writes can hold the end up.
void SYS_WRITE_UNLESS_STALLED(SYS_FILE F, std::string_view BYTES) noexcept { (void)SYS_WRITE(F, BYTES); }

SYS_ERROR SYS_READ(SYS_FILE F, char* TO, std::size_t N, std::size_t& GOT) noexcept {
  DWORD got = 0;
  GOT = 0;
  if (!::ReadFile(HANDLE_OF(F), TO, TRANSFER_SIZE(N), &got, nullptr)) {
    const DWORD err = ::GetLastError();
    // A pipe whose writer has gone is at its end.
    return err == ERROR_BROKEN_PIPE || err == ERROR_HANDLE_EOF ? 0 : static_cast<SYS_ERROR>(err);
  }
  GOT = got;
  return 0;
}

// On a handle opened for plain (not overlapped) use, the offset in OVERLAPPED
// places the read; the handle's position moves behind what was read.
SYS_ERROR SYS_READ_AT(SYS_FILE F, unsigned char* TO, std::size_t N, std::uint64_t OFFSET,
                      std::size_t& GOT) noexcept {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(OFFSET);
  at.OffsetHigh = static_cast<DWORD>(OFFSET >> 32);
  DWORD got = 0;
  GOT = 0;
  if (!::ReadFile(HANDLE_OF(F), TO, TRANSFER_SIZE(N), &got, &at)) {
    const DWORD err = ::GetLastError();
    return err == ERROR_HANDLE_EOF ? 0 : static_cast<SYS_ERROR>(err);
  }
  GOT = got;
  return 0;
}

SYS_ERROR SYS_FILE_SIZE(SYS_FILE F, std::uint64_t& SIZE) noexcept {
  SIZE = 0;
  if (::GetFileType(HANDLE_OF(F)) != FILE_TYPE_DISK) return 0;
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(HANDLE_OF(F), &size)) return LAST_ERROR();
  SIZE = static_cast<std::uint64_t>(size.QuadPart);
  return 0;
}

bool SYS_IS_REGULAR(SYS_FILE F) noexcept { return ::GetFileType(HANDLE_OF(F)) == FILE_TYPE_DISK; }

bool SYS_IS_TERMINAL(SYS_FILE F) noexcept {
  DWORD mode = 0;
  return ::GetConsoleMode(HANDLE_OF(F), &mode) != 0;
}

std::int64_t SYS_WRITE_POSITION(SYS_FILE F) noexcept {
  LARGE_INTEGER at{};
  if (!::SetFilePointerEx(HANDLE_OF(F), LARGE_INTEGER{}, &at, FILE_CURRENT)) return -1;
  return at.QuadPart;
}

SYS_ERROR SYS_CUT(SYS_FILE F, std::uint64_t LENGTH) noexcept {
  LARGE_INTEGER at{};
  at.QuadPart = static_cast<LONGLONG>(LENGTH);
  if (!::SetFilePointerEx(HANDLE_OF(F), at, nullptr, FILE_BEGIN)) return LAST_ERROR();
  if (!::SetEndOfFile(HANDLE_OF(F))) return LAST_ERROR();
  return 0;
}

void SYS_CLOSE(SYS_FILE F) noexcept { ::CloseHandle(HANDLE_OF(F)); }

std::size_t SYS_CPUS_ALLOWED() noexcept {
  DWORD_PTR process = 0, system = 0;
  if (!::GetProcessAffinityMask(::GetCurrentProcess(), &process, &system)) return 1;
  std::size_t n = 0;
  for (; process != 0; process &= process - 1) ++n;
  return std::max<std::size_t>(n, 1);
}

// FormatMessage ends its texts with a line break; a report line needs none.
std::string_view SYS_ERROR_TEXT(SYS_ERROR E, std::span<char> BUF) noexcept {
  const DWORD n = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                   static_cast<DWORD>(E), 0, BUF.data(), static_cast<DWORD>(BUF.size()),
                                   nullptr);
  std::string_view text(BUF.data(), n);
  if (n == 0) {
    constexpr std::string_view unknown = "Unknown error ";
    const std::size_t head = std::min(unknown.size(), BUF.size());
    std::memcpy(BUF.data(), unknown.data(), head);
    const char* end = std::to_chars(BUF.data() + head, BUF.data() + BUF.size(), E).ptr;
    text = std::string_view(BUF.data(), static_cast<std::size_t>(end - BUF.data()));
  }
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
    text.remove_suffix(1);
  }
  // A text of several lines is shown as one.
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' || text[i] == '\n') BUF[i] = ' ';
  }
  return text;
}

// Console records are code page 932 bytes: a console shows them so for the
// run, and gets its own code page back at the end. A refused write is a
// failed call here, never a kill, so nothing needs setting for it.
void SYS_PREPARE_RUN_ENDS(END_EVENT_HANDLER HANDLER) {
  ON_EVENT = HANDLER;
  EVENT_LOCK();
  ::DuplicateHandle(::GetCurrentProcess(), ::GetCurrentThread(), ::GetCurrentProcess(), &MAIN_THREAD, 0,
                    FALSE, DUPLICATE_SAME_ACCESS);
  ::SetConsoleCtrlHandler(ON_CONSOLE_EVENT, TRUE);
  DWORD mode = 0;
  if (::GetConsoleMode(HANDLE_OF(SYS_STANDARD(1)), &mode)) {
    const UINT before = ::GetConsoleOutputCP();
    if (before != 932 && ::SetConsoleOutputCP(932)) CODE_PAGE_BEFORE.store(before);
  }
}

void SYS_HOLD_RUN_ENDS() noexcept { ::EnterCriticalSection(&EVENT_LOCK()); }

void SYS_RELEASE_RUN_ENDS() noexcept { ::LeaveCriticalSection(&EVENT_LOCK()); }

// The whole 32-bit status reaches the parent: C0000000 + N after a report,
// 1111 after the stop with that code. Everything written is in the system's
// hands already, so nothing is left to run on the way out.
void SYS_EXIT_INTERRUPTED() noexcept { SYS_EXIT(STATUS_CONTROL_C_EXIT); }

void SYS_EXIT(std::uint32_t STATUS) noexcept {
  if (const UINT before = CODE_PAGE_BEFORE.exchange(0); before != 0) ::SetConsoleOutputCP(before);
  ::TerminateProcess(::GetCurrentProcess(), STATUS);
  ::ExitProcess(STATUS);
}

}  // namespace KOVA
