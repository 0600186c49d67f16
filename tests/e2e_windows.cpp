// Windows side of the end-to-end support: programs started with CreateProcess
// and their whole 32-bit exit status read with GetExitCodeProcess, scratch
// directories under the system's temporary directory, live probes and the
// console events delivered to them.
#include "tests/e2e_support.h"
#include "tests/probe/probe_support.h"

#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <atomic>
#include <utility>

namespace {

// One argument as the C run-time's command-line parser reads it back:
// quoted, with backslashes doubled before a quote.
std::string QUOTED(std::string_view arg) {
  std::string q = "\"";
  std::size_t backslashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    q.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
    backslashes = 0;
    q += c;
  }
  q.append(2 * backslashes, '\\');
  return q + "\"";
}

std::string COMMAND_LINE(const std::string& program, const std::vector<std::string>& args) {
  std::string line = QUOTED(program);
  for (const std::string& a : args) line += " " + QUOTED(a);
  return line;
}

// The build names programs by paths of the build machine's form; the system
// wants its own (under wine a "/..." path lies on the drive of the current
// directory).
std::string PROGRAM_PATH(const char* program) { return std::filesystem::absolute(program).string(); }

HANDLE INHERITABLE_FILE(const std::filesystem::path& p, bool write) {
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  return ::CreateFileW(p.c_str(), write ? GENERIC_WRITE : GENERIC_READ,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &sa,
                       write ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Start PROGRAM in DIR with the three standard handles; nullptr when it fails.
HANDLE START(const std::filesystem::path& dir, const char* program, const std::vector<std::string>& args,
             HANDLE in, HANDLE out, HANDLE err) {
  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = in;
  si.hStdOutput = out;
  si.hStdError = err;
  PROCESS_INFORMATION pi{};
  const std::string path = PROGRAM_PATH(program);
  std::string line = COMMAND_LINE(path, args);
  const std::string cwd = dir.string();
  // Under wine a start now and then fails with "Internal error" when many
  // programs start in a row; a second try starts it.
  for (int attempt = 1; !::CreateProcessA(path.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                          cwd.c_str(), &si, &pi);
       ++attempt) {
    if (::GetLastError() != ERROR_INTERNAL_ERROR || attempt == 20) return nullptr;
    ::Sleep(100);
  }
  ::CloseHandle(pi.hThread);
  return pi.hProcess;
}

// Wait at most a minute for PROCESS; its exit status, or -1 when it had to be stopped.
std::int64_t WAIT_FOR_EXIT(HANDLE process) {
  if (::WaitForSingleObject(process, 60000) != WAIT_OBJECT_0) {
    ::TerminateProcess(process, 0xDEAD);
    ::WaitForSingleObject(process, INFINITE);
    return -1;
  }
  DWORD code = 0;
  return ::GetExitCodeProcess(process, &code) ? std::int64_t{code} : -1;
}

}  // namespace

namespace e2e {

RUN RUN_PROGRAM(const std::filesystem::path& dir, const char* program, std::string_view input,
                const std::vector<std::string>& args) {
  const std::filesystem::path io = dir.parent_path();
  WRITE_PATH(io / "stdin", input);
  HANDLE in = INHERITABLE_FILE(io / "stdin", false);
  HANDLE out = INHERITABLE_FILE(io / "stdout", true);
  HANDLE err = INHERITABLE_FILE(io / "stderr", true);
  HANDLE process = START(dir, program, args, in, out, err);
  const DWORD why = ::GetLastError();
  for (HANDLE h : {in, out, err}) ::CloseHandle(h);
  if (process == nullptr) return {-1, 0, "", "cannot start " + std::string(program) + ": " + SYSTEM_TEXT(why)};
  const std::int64_t status = WAIT_FOR_EXIT(process);
  ::CloseHandle(process);
  return {status, 0, READ_PATH(io / "stdout"), READ_PATH(io / "stderr")};
}

std::filesystem::path NEW_SCRATCH_ROOT() {
  static std::atomic<unsigned> count{0};
  for (;;) {
    const std::filesystem::path root = std::filesystem::temp_directory_path() /
        ("kovaconv-e2e-" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(count++));
    std::error_code ec;
    if (std::filesystem::create_directory(root, ec)) return root;
    if (ec) return {};
  }
}

std::string SYSTEM_TEXT(unsigned code) {
  char text[512];
  const DWORD n = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                                   text, sizeof text, nullptr);
  std::string_view s(text, n);
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ')) s.remove_suffix(1);
  return std::string(s);
}

std::string MISSING_DRIVE() {
  const DWORD drives = ::GetLogicalDrives();
  for (char letter = 'Q'; letter <= 'Y'; ++letter) {
    if ((drives & (1U << (letter - 'A'))) == 0) return std::string(1, letter);
  }
  return "B";
}

}  // namespace e2e

namespace probe {

LIVE::LIVE(const e2e::SCRATCH& S, std::string script, std::string out_path)
    : OUT_PATH(out_path.empty() ? (S.ROOT / "stdout").string() : out_path),
      ERR_PATH((S.ROOT / "stderr").string()) {
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  HANDLE read = nullptr, write = nullptr;
  if (!::CreatePipe(&read, &write, &sa, 0)) return;
  ::SetHandleInformation(write, HANDLE_FLAG_INHERIT, 0);
  HANDLE out = nullptr;
  if (OUT_PATH == "CONOUT$") {  // the console this process has
    out = ::CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa,
                        OPEN_EXISTING, 0, nullptr);
  } else if (OUT_PATH == REFUSING_OUTPUT || OUT_PATH == UNREAD_OUTPUT) {
    HANDLE reader = nullptr;
    ::CreatePipe(&reader, &out, &sa, 0);
    ::SetHandleInformation(reader, HANDLE_FLAG_INHERIT, 0);
    // A pipe whose reading end is closed refuses every write.
    if (OUT_PATH == REFUSING_OUTPUT) ::CloseHandle(reader);
    else UNREAD = reader;
  } else {
    out = INHERITABLE_FILE(OUT_PATH, true);
  }
  HANDLE err = INHERITABLE_FILE(ERR_PATH, true);
  PROCESS = START(S.DIR, RECORD_PROBE_EXE, {script}, read, out, err);
  for (HANDLE h : {read, out, err}) ::CloseHandle(h);
  INPUT = write;
}

LIVE::~LIVE() {
  if (INPUT != nullptr) ::CloseHandle(INPUT);
  if (UNREAD != nullptr) ::CloseHandle(UNREAD);
  if (PROCESS != nullptr) {
    ::TerminateProcess(PROCESS, 0xDEAD);
    FINISH();
  }
}

void LIVE::END_INPUT() {
  if (INPUT != nullptr) ::CloseHandle(std::exchange(INPUT, nullptr));
}

std::int64_t LIVE::FINISH() {
  if (PROCESS == nullptr) return -2;
  const std::int64_t status = WAIT_FOR_EXIT(PROCESS);
  ::CloseHandle(std::exchange(PROCESS, nullptr));
  return status;
}

// The system delivers a console event by starting its control routine on a
// new thread of the process; the test does the same.
bool SEND_EVENT(LIVE& run, EVENT e) {
  const DWORD event = e == EVENT::CONTROL_C ? CTRL_C_EVENT : e == EVENT::CONTROL_BREAK ? CTRL_BREAK_EVENT
                                                                                     : CTRL_CLOSE_EVENT;
  const auto routine = reinterpret_cast<LPTHREAD_START_ROUTINE>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "CtrlRoutine")));
  if (routine == nullptr || run.PROCESS == nullptr) return false;
  HANDLE thread = ::CreateRemoteThread(run.PROCESS, nullptr, 0, routine,
                                       reinterpret_cast<void*>(static_cast<ULONG_PTR>(event)), 0, nullptr);
  if (thread == nullptr) return false;
  ::CloseHandle(thread);
  return true;
}

unsigned CONSOLE_CODE_PAGE() {
  DWORD mode = 0;
  HANDLE console = ::CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, 0, nullptr);
  const bool have = console != INVALID_HANDLE_VALUE && ::GetConsoleMode(console, &mode);
  if (console != INVALID_HANDLE_VALUE) ::CloseHandle(console);
  return have ? ::GetConsoleOutputCP() : 0;
}

void SET_CONSOLE_CODE_PAGE(unsigned code_page) { ::SetConsoleOutputCP(code_page); }

// Another program holding FILE open: SHARE 0 lets nobody else open it,
// FILE_SHARE_READ lets others read it only.
HELD_FILE::HELD_FILE(const std::filesystem::path& file, bool others_may_read) {
  HANDLE h = ::CreateFileW(file.c_str(), GENERIC_READ, others_may_read ? FILE_SHARE_READ : 0, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  HANDLE_ = h == INVALID_HANDLE_VALUE ? nullptr : h;
}

HELD_FILE::~HELD_FILE() {
  if (HANDLE_ != nullptr) ::CloseHandle(HANDLE_);
}

}  // namespace probe
