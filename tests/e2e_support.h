#pragma once
// End-to-end test support: a scratch directory, hand-made WORK.LST and result
// files, and a run of a built program there with the answers on standard input.
#ifndef _WIN32
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <bit>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace e2e {

// Numbers as their bytes; the result file is little-endian, like the machines it is made on.
static_assert(std::endian::native == std::endian::little);
inline std::string INT4(std::int32_t v) { return {reinterpret_cast<const char*>(&v), 4}; }
inline std::string REAL8(double v) { return {reinterpret_cast<const char*>(&v), 8}; }
// The integer at AT in BYTES (bytes missing at the end count as 0).
inline std::int32_t INT4_AT(std::string_view bytes, std::size_t at) {
  std::int32_t v = 0;
  std::memcpy(&v, bytes.substr(at, 4).data(), bytes.substr(at, 4).size());
  return v;
}

// TEXT cut or blank-padded to WIDTH characters (the title is 80).
inline std::string PADDED(std::string_view text, std::size_t width) {
  return (std::string(text.substr(0, width)) + std::string(width, ' ')).substr(0, width);
}

// One framed record: length, data, length (a length that lies makes a damaged file).
inline std::string FRAME_WITH_LENGTH(std::int32_t length, std::string_view data) {
  return INT4(length) + std::string(data) + INT4(length);
}
inline std::string FRAME(std::string_view data) {
  return FRAME_WITH_LENGTH(static_cast<std::int32_t>(data.size()), data);
}

struct NODE { double X = 0, Y = 0, NPAR1 = 0, NPAR2 = 0; std::int32_t NCODE = 0; };
struct ELEMENT { std::int32_t IX[5] = {0, 0, 0, 0, 0}; double EPAR = 0; };  // corners, attribute
struct NODE_RESULT { std::int32_t NFLAG = 0; double H = 0, Q = 0; };
struct ELEMENT_RESULT { double VX = 0, VY = 0; };

// The five records of the model part; the counts are the sizes of the lists
// (braced lists, arrays, vectors or spans; likewise for a step).
template <class NODES = std::initializer_list<NODE>, class ELEMENTS = std::initializer_list<ELEMENT>>
std::string MODEL_PART(std::string_view title, const NODES& nodes, const ELEMENTS& elements) {
  std::string n, e;
  for (const NODE& p : nodes)
    n += REAL8(p.X) + REAL8(p.Y) + REAL8(p.NPAR1) + REAL8(p.NPAR2) + INT4(p.NCODE);
  for (const ELEMENT& p : elements)
    e += INT4(p.IX[0]) + INT4(p.IX[1]) + INT4(p.IX[2]) + INT4(p.IX[3]) + INT4(p.IX[4]) + REAL8(p.EPAR);
  return FRAME(PADDED(title, 80)) + FRAME(INT4(static_cast<std::int32_t>(std::size(nodes)))) +
         FRAME(n) + FRAME(INT4(static_cast<std::int32_t>(std::size(elements)))) + FRAME(e);
}

// The three records of one time step.
template <class NODES = std::initializer_list<NODE_RESULT>,
          class ELEMENTS = std::initializer_list<ELEMENT_RESULT>>
std::string STEP(std::int32_t istep, double time, const NODES& nodes, const ELEMENTS& elements) {
  std::string n, e;
  for (const NODE_RESULT& p : nodes) n += INT4(p.NFLAG) + REAL8(p.H) + REAL8(p.Q);
  for (const ELEMENT_RESULT& p : elements) e += REAL8(p.VX) + REAL8(p.VY);
  return FRAME(INT4(istep) + REAL8(time)) + FRAME(n) + FRAME(e);
}

// A work list whose fourth line names the result file.
inline std::string WORK_LIST(std::string_view result_name) {
  return "analysis.dat\nmesh.dat\nbound.dat\n" + std::string(result_name) + "\n";
}

// The answers of a whole run: banner 0, data OK 0, the menu choice, the output
// name (not asked for ITYPE 3) and the time-step selection.
inline std::string ANSWERS(int itype, std::string_view output_name, int nsel) {
  return "0\n0\n" + std::to_string(itype) + "\n" + (itype == 3 ? "" : std::string(output_name) + "\n") +
         std::to_string(nsel) + "\n";
}

// Exit status and streams of a run; STATUS -1 and the SIGNAL when a signal ended it.
struct RUN { std::int64_t STATUS = -1; int SIGNAL = 0; std::string OUT, ERR; };

// The status a parent sees for a documented exit status: Windows carries all
// 32 bits, POSIX systems the low 8.
constexpr std::int64_t EXIT_STATUS(std::uint32_t documented) {
#ifdef _WIN32
  return documented;
#else
  return documented & 0xFF;
#endif
}
// After failure report N: hexadecimal C0000000 plus N.
constexpr std::int64_t REPORT_STATUS(int report) { return EXIT_STATUS(0xC0000000U + static_cast<std::uint32_t>(report)); }

inline std::string READ_PATH(const std::filesystem::path& p) {
  std::ifstream f(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

inline void WRITE_PATH(const std::filesystem::path& p, std::string_view bytes) {
  std::ofstream(p, std::ios::binary | std::ios::trunc).write(bytes.data(), std::ssize(bytes));
}

// Run PROGRAM with ARGS in DIR, standard input from INPUT; the streams are kept beside
// DIR, never among the run's files.
#ifdef _WIN32
RUN RUN_PROGRAM(const std::filesystem::path& dir, const char* program, std::string_view input,
                const std::vector<std::string>& args);
// A new, empty directory for one test (under the system's temporary directory).
std::filesystem::path NEW_SCRATCH_ROOT();
// The system's own text for error CODE, without its line break.
std::string SYSTEM_TEXT(unsigned code);
// The letter of a drive the system does not have.
std::string MISSING_DRIVE();
#else
// Spawned, not forked: the test process may be large.
inline RUN RUN_PROGRAM(const std::filesystem::path& dir, const char* program,
                       std::string_view input, const std::vector<std::string>& args) {
  const std::filesystem::path io = dir.parent_path();
  WRITE_PATH(io / "stdin", input);
  std::vector<char*> argv{const_cast<char*>(program)};
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const std::string streams[3] = {io / "stdin", io / "stdout", io / "stderr"};
  posix_spawn_file_actions_t actions;
  ::posix_spawn_file_actions_init(&actions);
  for (int fd = 0; fd < 3; ++fd)
    ::posix_spawn_file_actions_addopen(&actions, fd, streams[fd].c_str(),
                                       fd ? O_WRONLY | O_CREAT | O_TRUNC : O_RDONLY, 0644);
  ::posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
  pid_t pid = -1;
  const int failed = ::posix_spawn(&pid, program, &actions, nullptr, argv.data(), environ);
  ::posix_spawn_file_actions_destroy(&actions);
  if (const rlimit cpu{30, 30}; !failed) ::prlimit(pid, RLIMIT_CPU, &cpu, nullptr);  // 30 s of CPU
  int status = 0;
  if (failed || ::waitpid(pid, &status, 0) != pid) return {};
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, WIFSIGNALED(status) ? WTERMSIG(status) : 0,
          READ_PATH(streams[1]), READ_PATH(streams[2])};
}

inline std::filesystem::path NEW_SCRATCH_ROOT() {
  std::string tmpl = "/tmp/kovaconv-e2e-XXXXXX";
  return ::mkdtemp(tmpl.data()) != nullptr ? std::filesystem::path(tmpl) : std::filesystem::path();
}
#endif

// A fresh directory for one test, removed afterwards. DIR is the run's
// current directory; the captured streams live one level up, in ROOT.
struct SCRATCH {
  std::filesystem::path ROOT, DIR;

  SCRATCH() : ROOT(NEW_SCRATCH_ROOT()) {
    DIR = ROOT / "run";
    std::filesystem::create_directory(DIR);
  }
  ~SCRATCH() {
    if (std::error_code ec; !ROOT.empty()) std::filesystem::remove_all(ROOT, ec);
  }
  SCRATCH(const SCRATCH&) = delete;
  SCRATCH& operator=(const SCRATCH&) = delete;

  void WRITE(std::string_view name, std::string_view bytes) const { WRITE_PATH(DIR / name, bytes); }
  std::string READ(std::string_view name) const { return READ_PATH(DIR / name); }
  bool EXISTS(std::string_view name) const { return std::filesystem::exists(DIR / name); }

  RUN CONVERT(std::string_view input, const std::vector<std::string>& args = {}) const {
    return RUN_PROGRAM(DIR, KOVACONV_EXE, input, args);
  }
};

// The full path that failure reports show for NAME in the scratch directory
// (on Windows: drive letter and backslashes, "." and ".." resolved).
inline std::string REPORTED_PATH(const SCRATCH& s, std::string_view name) {
#ifdef _WIN32
  return (s.DIR / name).lexically_normal().string();
#else
  return (std::filesystem::weakly_canonical(s.DIR) / name).string();
#endif
}

}  // namespace e2e
