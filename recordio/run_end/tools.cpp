#include "recordio/run_end/tools.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <new>

#include "recordio/run_end/report_numbers.h"

namespace KOVA {

namespace {

std::error_code SYSTEM_ERROR(SYS_ERROR E) { return {E, std::system_category()}; }

// The out-of-memory line, made once, so that printing it needs no memory.
char MEMORY_LINE[96];
std::size_t MEMORY_LINE_LENGTH = 0;

// The temporary file being written, for an end that the flow does not see.
// A name too long for the buffer is one the system refuses to create anyway.
char PENDING[4096];
volatile std::sig_atomic_t IS_PENDING = 0;

void NOTE_PENDING(const std::string& TEMP) {
  if (TEMP.size() >= sizeof PENDING) return;
  std::memcpy(PENDING, TEMP.c_str(), TEMP.size() + 1);
  IS_PENDING = 1;
}

// Async-signal-safe on POSIX systems (remove() is unlink() there).
void REMOVE_PENDING() noexcept {
  if (IS_PENDING != 0) std::remove(PENDING);
  IS_PENDING = 0;
}

[[noreturn]] void OUT_OF_MEMORY() {
  REMOVE_PENDING();
  (void)SYS_WRITE(SYS_STANDARD(2), std::string_view(MEMORY_LINE, MEMORY_LINE_LENGTH));
  SYS_EXIT(OUT_OF_MEMORY_STATUS);
}

#if !defined(_WIN32)
void REMOVE_PENDING_AND_END(int SIGNAL) {
  REMOVE_PENDING();
  std::signal(SIGNAL, SIG_DFL);
  std::raise(SIGNAL);
}
#endif

}  // namespace

void PREPARE_TOOL_ENDS(const char* PROGRAM) {
  const std::string_view NAME = PROGRAM;
  const std::string_view TEXT = ": error: out of memory\n";
  MEMORY_LINE_LENGTH = std::min(NAME.size(), sizeof MEMORY_LINE - TEXT.size());
  std::memcpy(MEMORY_LINE, NAME.data(), MEMORY_LINE_LENGTH);
  std::memcpy(MEMORY_LINE + MEMORY_LINE_LENGTH, TEXT.data(), TEXT.size());
  MEMORY_LINE_LENGTH += TEXT.size();
  std::set_new_handler(OUT_OF_MEMORY);
#if !defined(_WIN32)
  // Windows ends a process on control-C from a thread of its own, where
  // removing the file would race with the write: a dot name is left there.
  std::signal(SIGXFSZ, SIG_IGN);
  for (const int SIGNAL : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) std::signal(SIGNAL, REMOVE_PENDING_AND_END);
#endif
}

std::error_code BEGIN_WHOLE_FILE(const std::filesystem::path& PATH, WHOLE_FILE& W) {
  W = WHOLE_FILE{};
  W.PATH = PATH;
  std::string NAME = ".";
  NAME += PATH.filename().string();
  NAME += '.';
  W.TEMP = (PATH.parent_path() / NAME).string();
  W.FIRST_FAILURE = SYS_CREATE_UNIQUE(W.TEMP, W.FD);
  if (W.FIRST_FAILURE == 0) NOTE_PENDING(W.TEMP);
  return SYSTEM_ERROR(W.FIRST_FAILURE);
}

void WRITE_WHOLE_FILE(WHOLE_FILE& W, std::string_view BYTES) {
  if (W.FIRST_FAILURE == 0) W.FIRST_FAILURE = SYS_WRITE(W.FD, BYTES);
}

std::error_code FINISH_WHOLE_FILE(WHOLE_FILE& W) {
  std::error_code FAILURE = SYSTEM_ERROR(W.FIRST_FAILURE);
  if (W.FD == NO_FILE) return FAILURE;  // never created: the name is not ours
  SYS_CLOSE(W.FD);
  W.FD = NO_FILE;
  if (!FAILURE) std::filesystem::rename(W.TEMP, W.PATH, FAILURE);
  if (FAILURE) {
    std::error_code IGNORED;
    std::filesystem::remove(W.TEMP, IGNORED);
  }
  IS_PENDING = 0;
  return FAILURE;
}

}  // namespace KOVA
