#include "recordio/units.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <fcntl.h>
#include <span>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "recordio/console_utf8.h"
#include "recordio/progress.h"
#include "recordio/reports.h"
#include "recordio/unit_table.h"

namespace {

// Enough for the console units, the program's five file units and tests.
constexpr std::size_t UNIT_SLOTS = 32;
constexpr std::size_t LONGEST_NAME = 256;

std::array<UNIT_SLOT, UNIT_SLOTS> UNITS;

std::span<char*> ARGUMENTS;
std::size_t NEXT_ARGUMENT = 1;  // argument 0 is the program

UNIT_SLOT* FIND_SLOT(int UNIT) noexcept {
  for (UNIT_SLOT& slot : UNITS) {
    if (slot.USED && slot.NUMBER == UNIT) return &slot;
  }
  return nullptr;
}

void REMEMBER_FILE_ID(UNIT_SLOT& slot) {
  struct stat st {};
  slot.HAS_ID = slot.FD >= 0 && ::fstat(slot.FD, &st) == 0;
  if (slot.HAS_ID) {
    slot.DEV = st.st_dev;
    slot.INO = st.st_ino;
  }
}

// Forget what an earlier connection of the slot read ahead.
void RESET_INPUT(UNIT_SLOT& slot) {
  slot.IN_START = slot.IN_END = 0;
  slot.IN_EOF = false;
  slot.POS = 0;
}

// Close the slot's file (never a standard stream) and forget the connection.
void DISCONNECT(UNIT_SLOT& slot) {
  if (slot.CONNECTED && slot.FD > 2) ::close(slot.FD);
  slot.CONNECTED = false;
  slot.FD = -1;
  slot.HAS_ID = false;
  slot.OUT.READ_ONLY = false;
  slot.OUT.CUT_PENDING = false;
  slot.OUT.AS_UTF8 = false;
  RESET_INPUT(slot);
}

// A unit opened again is first closed: its records are written out.
void RELEASE(UNIT_SLOT& slot) {
  if (slot.CONNECTED) OUTPUT_FLUSH(slot.OUT);
  DISCONNECT(slot);
}

// The slot for UNIT: its own if it has one (released), else a free one.
UNIT_SLOT& CLAIM_SLOT(int UNIT) {
  if (UNIT_SLOT* own = FIND_SLOT(UNIT)) {
    RELEASE(*own);
    return *own;
  }
  for (UNIT_SLOT& slot : UNITS) {
    if (!slot.USED) {
      slot.NUMBER = UNIT;
      slot.USED = true;
      RELEASE(slot);
      return slot;
    }
  }
  FAIL_IO(30, UNIT, EMFILE);
}

// Connect a console unit to its standard stream.
UNIT_SLOT& CONNECT_CONSOLE(int UNIT, int FD, std::string_view NAME) {
  UNIT_SLOT& slot = CLAIM_SLOT(UNIT);
  slot.NAME = NAME;
  slot.FD = FD;
  slot.F = FORM::FORMATTED;
  OUTPUT_ATTACH(slot.OUT, UNIT, FD);
  slot.OUT.AS_UTF8 = UNIT == CONSOLE_OUT && CONSOLE_SHOWS_UTF8(FD);
  REMEMBER_FILE_ID(slot);
  slot.CONNECTED = true;
  return slot;
}

UNIT_SLOT* CONSOLE_SLOT(int UNIT) {
  switch (UNIT) {
    case CONSOLE_OUT: return &CONNECT_CONSOLE(UNIT, STDOUT_FILENO, "CONOUT$");
    case CONSOLE_IN: return &CONNECT_CONSOLE(UNIT, STDIN_FILENO, "CONIN$");
    case 0: return &CONNECT_CONSOLE(UNIT, STDERR_FILENO, "");
    default: return nullptr;
  }
}

std::string_view TRIM_BLANKS(std::string_view text) {
  const std::size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// A blank file name: the next unused non-blank argument, else ask at the console.
std::string NAME_FOR_BLANK(int UNIT) {
  while (NEXT_ARGUMENT < ARGUMENTS.size()) {
    const std::string_view arg = TRIM_BLANKS(ARGUMENTS[NEXT_ARGUMENT++]);
    if (!arg.empty()) return std::string(arg);
  }
  OUTPUT& console = OUTPUT_OF(CONSOLE_OUT);
  PUT_RECORD(console, "File name missing or blank - please enter file name");
  std::array<char, 32> prompt{};
  char* end = prompt.data();
  for (char c : std::string_view("UNIT ")) *end++ = c;
  end = std::to_chars(end, prompt.data() + prompt.size(), UNIT).ptr;
  *end++ = '?';
  *end++ = ' ';
  for (;;) {
    OUTPUT_WRITE_NOW(console, std::string_view(prompt.data(), end));
    std::string answer = NEXT_NAME_RECORD(CONSOLE_IN);
    if (!answer.empty()) return answer;
  }
}

// The name as reports show it: joined to the current directory when relative,
// then "." and empty components dropped and ".." taking back the previous one.
std::string FULL_PATH(std::string_view name) {
  std::string joined;
  if (name.empty() || name.front() != '/') {
    std::array<char, 4096> cwd{};
    if (::getcwd(cwd.data(), cwd.size()) != nullptr) joined = cwd.data();
    joined += '/';
  }
  joined += name;

  std::string full;
  std::size_t at = 0;
  while (at <= joined.size()) {
    std::size_t slash = joined.find('/', at);
    if (slash == std::string::npos) slash = joined.size();
    const std::string_view part(joined.data() + at, slash - at);
    if (part == "..") {
      full.resize(full.empty() ? 0 : full.rfind('/'));
    } else if (!part.empty() && part != ".") {
      full += '/';
      full += part;
    }
    at = slash + 1;
  }
  return full.empty() ? std::string("/") : full;
}

int REPORT_FOR_OPEN_ERROR(int err) {
  switch (err) {
    case ENOENT:
    case ENOTDIR: return 29;
    case EACCES:
    case EPERM:
    case EISDIR: return 9;
    case ENAMETOOLONG: return 43;
    default: return 30;
  }
}

bool REFUSED_FOR_WRITING(int err) {
  return err == EACCES || err == EROFS || err == EPERM || err == ETXTBSY;
}

[[noreturn]] void FAIL_OPEN(int UNIT, int err) {
  FAIL_IO(REPORT_FOR_OPEN_ERROR(err), UNIT, err);
}

// The unit that already has the file of descriptor FD open, if any.
const UNIT_SLOT* HOLDER_OF(int FD, const UNIT_SLOT& self) {
  struct stat st {};
  if (::fstat(FD, &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;
  for (const UNIT_SLOT& slot : UNITS) {
    if (&slot != &self && slot.CONNECTED && slot.HAS_ID && slot.DEV == st.st_dev &&
        slot.INO == st.st_ino) {
      return &slot;
    }
  }
  return nullptr;
}

// Close every unit and end the process; the records are written out already.
[[noreturn]] void CLOSE_ALL_AND_EXIT(int STATUS) {
  for (UNIT_SLOT& slot : UNITS) DISCONNECT(slot);
  ::_exit(STATUS);
}

}  // namespace

void FLUSH_ALL_UNITS() {
  for (UNIT_SLOT& slot : UNITS) {
    if (slot.CONNECTED) OUTPUT_FLUSH(slot.OUT);
  }
}

void SET_COMMAND_ARGUMENTS(int ARGC, char** ARGV) {
  ARGUMENTS = std::span<char*>(ARGV, ARGC > 0 ? static_cast<std::size_t>(ARGC) : 0);
  NEXT_ARGUMENT = 1;
}

void RESET_UNITS_FOR_NEW_RUN() {
  for (UNIT_SLOT& slot : UNITS) {
    DISCONNECT(slot);
    slot.USED = false;
  }
  NEXT_ARGUMENT = 1;
  ALLOW_NEW_REPORT();
}

void OPEN_UNIT(int UNIT, std::string_view NAME, STATUS S, FORM F) {
  std::string name(TRIM_BLANKS(NAME));
  if (name.empty()) name = NAME_FOR_BLANK(UNIT);

  UNIT_SLOT& slot = CLAIM_SLOT(UNIT);
  slot.NAME = FULL_PATH(name);
  slot.F = F;
  // A byte 0 would cut the name short for the system: the name is invalid.
  if (name.size() > LONGEST_NAME || name.find('\0') != std::string::npos) FAIL_IO(43, UNIT, 0);

  const int create = S == STATUS::UNKNOWN ? O_CREAT : 0;
  bool read_only = false;
  int fd = ::open(name.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY | create, 0666);
  if (fd < 0 && REFUSED_FOR_WRITING(errno)) {
    const int refused = errno;
    fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    // A file that could not be created reports why it could not be.
    if (fd < 0) FAIL_OPEN(UNIT, errno == ENOENT ? refused : errno);
    read_only = true;
  }
  if (fd < 0) FAIL_OPEN(UNIT, errno);

  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    const int err = errno;
    ::close(fd);
    FAIL_OPEN(UNIT, err);
  }
  if (S_ISDIR(st.st_mode)) {
    ::close(fd);
    FAIL_IO(9, UNIT, 0);
  }
  // An output file must not be a file that another unit has open. Opening did
  // not change an existing file, so it is left exactly as it was.
  if (S == STATUS::UNKNOWN) {
    if (const UNIT_SLOT* holder = HOLDER_OF(fd, slot)) {
      ::close(fd);
      std::array<char, 64> line{};
      const std::string_view head = "forrtl: file already open on unit ";
      char* end = std::copy(head.begin(), head.end(), line.data());
      end = std::to_chars(end, line.data() + line.size(), holder->NUMBER).ptr;
      FAIL_IO_LINE(30, UNIT, std::string_view(line.data(), end));
    }
  }

  slot.FD = fd;
  OUTPUT_ATTACH(slot.OUT, UNIT, fd);
  slot.OUT.READ_ONLY = read_only;
  // The first record written cuts the former contents; devices are not cut.
  slot.OUT.CUT_PENDING = S == STATUS::UNKNOWN && S_ISREG(st.st_mode);
  slot.HAS_ID = true;
  slot.DEV = st.st_dev;
  slot.INO = st.st_ino;
  slot.CONNECTED = true;
}

UNIT_SLOT& CONNECTED_UNIT(int UNIT, int REPORT) {
  if (UNIT_SLOT* slot = FIND_SLOT(UNIT); slot != nullptr && slot->CONNECTED) return *slot;
  if (UNIT_SLOT* console = CONSOLE_SLOT(UNIT)) return *console;
  FAIL_IO(REPORT, UNIT, EBADF);
}

OUTPUT& OUTPUT_OF(int UNIT) { return CONNECTED_UNIT(UNIT, 38).OUT; }

OUTPUT& CONNECT_MEMORY_UNIT(int UNIT) {
  UNIT_SLOT& slot = CLAIM_SLOT(UNIT);
  slot.NAME.clear();
  OUTPUT_ATTACH(slot.OUT, UNIT, -1);
  slot.CONNECTED = true;
  return slot.OUT;
}

void FLUSH_CONSOLE() {
  if (UNIT_SLOT* console = FIND_SLOT(CONSOLE_OUT); console != nullptr && console->CONNECTED) {
    OUTPUT_FLUSH(console->OUT);
  }
}

std::string_view UNIT_NAME(int UNIT) {
  if (const UNIT_SLOT* slot = FIND_SLOT(UNIT)) return slot->NAME;
  if (UNIT == CONSOLE_OUT) return "CONOUT$";
  if (UNIT == CONSOLE_IN) return "CONIN$";
  return {};
}

std::uint64_t FILE_BYTES_WRITTEN() noexcept {
  std::uint64_t total = 0;
  for (const UNIT_SLOT& slot : UNITS) {
    const bool console = slot.NUMBER == CONSOLE_OUT || slot.NUMBER == CONSOLE_IN || slot.NUMBER == 0;
    if (slot.CONNECTED && !console) total += slot.OUT.HANDED + slot.OUT.LEN.load();
  }
  return total;
}

void DRAIN_CONSOLE_FOR_EXIT() noexcept {
  if (UNIT_SLOT* console = FIND_SLOT(CONSOLE_OUT); console != nullptr && console->CONNECTED) {
    OUTPUT_DRAIN_FOR_EXIT(console->OUT);
  }
}

void DRAIN_ALL_FOR_EXIT() noexcept {
  for (UNIT_SLOT& slot : UNITS) {
    if (slot.CONNECTED) OUTPUT_DRAIN_FOR_EXIT(slot.OUT);
  }
}

// The records are written out first, open to the signals (a blocked write
// stays interruptible); after that no signal changes how the run ends.
void STOP_RUN() {
  FLUSH_ALL_UNITS();
  HOLD_END_SIGNALS();
  CLOSE_ALL_AND_EXIT(0);
}

void STOP_RUN_CODE(std::string_view TEXT, int CODE) {
  PROGRESS_ERASE();
  FLUSH_ALL_UNITS();
  HOLD_END_SIGNALS();
  WRITE_IGNORING_ERRORS(STDERR_FILENO, TEXT);
  WRITE_IGNORING_ERRORS(STDERR_FILENO, "\n");
  CLOSE_ALL_AND_EXIT(CODE);
}
