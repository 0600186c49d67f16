#include "fuzz/harness.h"

#include <dirent.h>
#include <fcntl.h>
#include <setjmp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "driver/driver.h"
#include "recordio/run_end/report_numbers.h"
#include "recordio/records/units.h"

using namespace KOVA;

extern "C" [[noreturn]] void __real__exit(int STATUS);

namespace {

sigjmp_buf BACK_TO_HARNESS;
bool IN_RUN = false;
int EXIT_STATUS = 0;
std::string ROOT;        // the private directory
std::string STDIN_PATH;  // beside the run directory, out of the runs' reach

// Statuses a run may end with besides the failure reports: the normal stop (3
// when no step was written), the stop 1111 and the lack of memory.
constexpr int OTHER_STATUSES[] = {0, NOTHING_CONVERTED, 1111, OUT_OF_MEMORY_STATUS};

bool ALLOWED_STATUS(int STATUS) {
  for (const REPORT_TEXT& R : REPORT_TEXTS)
    if (REPORT_NUMBER(R.WHICH) == STATUS) return true;
  return std::find(std::begin(OTHER_STATUSES), std::end(OTHER_STATUSES), STATUS) != std::end(OTHER_STATUSES);
}

[[noreturn]] void GIVE_UP(const char* WHAT) {
  std::perror(WHAT);
  std::abort();
}

void WRITE_FILE(const char* NAME, std::string_view BYTES) {
  const int FD = ::open(NAME, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (FD < 0 || ::write(FD, BYTES.data(), BYTES.size()) != static_cast<ssize_t>(BYTES.size()))
    GIVE_UP(NAME);
  ::close(FD);
}

// Remove what the previous run left in the run directory (it creates files only).
void EMPTY_RUN_DIRECTORY() {
  DIR* D = ::opendir(".");
  if (D == nullptr) GIVE_UP("opendir");
  while (const dirent* E = ::readdir(D)) {
    if (std::strcmp(E->d_name, ".") != 0 && std::strcmp(E->d_name, "..") != 0) ::unlink(E->d_name);
  }
  ::closedir(D);
}

void REMOVE_PRIVATE_DIRECTORY() {
  if (::chdir(ROOT.c_str()) != 0) return;
  if (::chdir("run") == 0) {
    EMPTY_RUN_DIRECTORY();
    if (::chdir("..") != 0) return;
  }
  ::rmdir("run");
  ::unlink("stdin");
  ::rmdir(ROOT.c_str());
}

// Once per process: a private directory as the current directory, standard
// output to /dev/null.
void SET_UP() {
  static bool DONE = false;
  if (DONE) return;
  DONE = true;
  for (const char* BASE : {"/dev/shm", static_cast<const char*>(std::getenv("TMPDIR")), "/tmp"}) {
    if (BASE == nullptr) continue;
    std::string TEMPLATE = std::string(BASE) + "/kovaconv-fuzz-XXXXXX";
    if (::mkdtemp(TEMPLATE.data()) != nullptr) {
      ROOT = TEMPLATE;
      break;
    }
  }
  if (ROOT.empty()) GIVE_UP("mkdtemp");
  STDIN_PATH = ROOT + "/stdin";
  const std::string RUN_DIR = ROOT + "/run";
  if (::mkdir(RUN_DIR.c_str(), 0700) != 0 || ::chdir(RUN_DIR.c_str()) != 0) GIVE_UP(RUN_DIR.c_str());
  std::atexit(REMOVE_PRIVATE_DIRECTORY);
  const int NUL = ::open("/dev/null", O_WRONLY);
  if (NUL < 0 || ::dup2(NUL, STDOUT_FILENO) < 0) GIVE_UP("/dev/null");
  ::close(NUL);
}

std::string WITHOUT_SLASHES(std::string_view TEXT) {
  std::string COPY(TEXT);
  std::replace(COPY.begin(), COPY.end(), '/', '_');
  return COPY;
}

// Every output file holds whole records only: it is empty or ends in CR LF.
void CHECK_OUTPUT_FILES() {
  DIR* D = ::opendir(".");
  if (D == nullptr) GIVE_UP("opendir");
  while (const dirent* E = ::readdir(D)) {
    const std::string_view NAME = E->d_name;
    if (NAME == "." || NAME == ".." || NAME == "WORK.LST" || NAME == "result.bin") continue;
    struct stat ST {};
    if (::stat(E->d_name, &ST) != 0 || !S_ISREG(ST.st_mode) || ST.st_size == 0) continue;
    char LAST[2] = {};
    const int FD = ::open(E->d_name, O_RDONLY | O_CLOEXEC);
    const bool WHOLE = FD >= 0 && ::pread(FD, LAST, 2, ST.st_size - 2) == 2 && LAST[0] == '\r' &&
                       LAST[1] == '\n';
    if (FD >= 0) ::close(FD);
    if (!WHOLE) {
      std::fprintf(stderr, "output file %s does not end with a whole record\n", E->d_name);
      std::abort();
    }
  }
  ::closedir(D);
}

}  // namespace

// The frames that a run's end jumps over keep what they allocated: no leak check.
extern "C" const char* __asan_default_options() { return "detect_leaks=0"; }

// Every run ends here: back to RUN_CONVERTER while a run is on, else a real exit.
extern "C" [[noreturn]] void __wrap__exit(int STATUS) {
  if (!IN_RUN) __real__exit(STATUS);
  IN_RUN = false;
  EXIT_STATUS = STATUS;
  siglongjmp(BACK_TO_HARNESS, 1);
}

int RUN_CONVERTER(std::string_view WORK_LIST, std::string_view RESULT, std::string_view ANSWERS) {
  SET_UP();
  EMPTY_RUN_DIRECTORY();
  WRITE_FILE("WORK.LST", WITHOUT_SLASHES(WORK_LIST));
  WRITE_FILE("result.bin", RESULT);
  WRITE_FILE(STDIN_PATH.c_str(), WITHOUT_SLASHES(ANSWERS));
  const int FROM = ::open(STDIN_PATH.c_str(), O_RDONLY);
  if (FROM < 0 || ::dup2(FROM, STDIN_FILENO) < 0) GIVE_UP("stdin");
  ::close(FROM);

  // The signal mask is saved too: the run holds the console events back on its way out.
  if (sigsetjmp(BACK_TO_HARNESS, 1) == 0) {
    IN_RUN = true;
    CONVERT();
  }
  RESET_UNITS_FOR_NEW_RUN();

  if (!ALLOWED_STATUS(EXIT_STATUS)) {
    std::fprintf(stderr, "the run ended with status %d\n", EXIT_STATUS);
    std::abort();
  }
  CHECK_OUTPUT_FILES();
  return EXIT_STATUS;
}
