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

#include <algorithm>
#include <array>
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
#include <map>
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

// Where each framed record of FILE starts, read from the length fields (up to
// the first length that is negative or runs past the end).
inline std::vector<std::size_t> RECORD_STARTS(std::string_view file) {
  std::vector<std::size_t> starts;
  for (std::size_t at = 0; at + 4 <= file.size() && INT4_AT(file, at) >= 0;
       at += 8 + static_cast<std::size_t>(INT4_AT(file, at)))
    starts.push_back(at);
  return starts;
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

// IX as the store holds it: column by column, columns MAXN long; each row holds
// corners 1-4 and the attribute.
inline std::vector<std::int32_t> MAKE_IX(std::size_t MAXN, const std::vector<std::array<int, 5>>& ROWS) {
  std::vector<std::int32_t> ix(5 * MAXN, 0);
  for (std::size_t k = 0; k < 5 * ROWS.size(); ++k) ix[k % 5 * MAXN + k / 5] = ROWS[k / 5][k % 5];
  return ix;
}

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

// ANSWERS up to the one that answers the time-step question (the last).
inline std::string BEFORE_STEP_ANSWER(std::string_view answers) {
  return std::string(answers.substr(0, answers.rfind('\n', answers.size() - 2) + 1));
}

// Console lines of every run: the data-OK question (code page 932) and the normal end.
inline const std::string DATA_OK_CP932 =
    "                \x83\x66\x81\x7C\x83\x5E\x81\x7C\x82\x6E\x82\x6A\x81\x48\x81\x40"
    "\x82\x78\x81\x5E\x82\x4F\x81\x40\x82\x6D\x81\x5E\x82\x50\r\n";
inline const std::string TERMINATION = "\r\n\r\n   <<<<<  OK! OK!  NORMAL TERMINATION  >>>>> \r\n  \r\n";

// Exit status and streams of a run; STATUS -1 and the SIGNAL when a signal ended it.
struct RUN { std::int64_t STATUS = -1; int SIGNAL = 0; std::string STDOUT, ERR; };

// The status a parent sees for a documented exit status: Windows carries all
// 32 bits, POSIX systems the low 8.
constexpr std::int64_t EXIT_STATUS(std::uint32_t documented) {
#ifdef _WIN32
  return documented;
#else
  return documented & 0xFF;
#endif
}
// After control-C: on POSIX systems death by SIGINT, which a shell shows as
// 128 + 2; on Windows the system's status for a process ended by control-C.
#ifdef _WIN32
constexpr std::int64_t INTERRUPTED = 0xC000013A;
#else
constexpr std::int64_t INTERRUPTED = 128 + SIGINT;
#endif
// After failure report N: hexadecimal C0000000 plus N.
constexpr std::int64_t REPORT_STATUS(int report) { return EXIT_STATUS(0xC0000000U + static_cast<std::uint32_t>(report)); }

// The failure reports' numbers and texts as written.
inline const std::map<int, std::string_view>& REPORT_LINES() {
  static const std::map<int, std::string_view> MESSAGES{
      {9, "permission to access file denied"}, {24, "end-of-file during read"}, {29, "file not found"},
      {30, "open failure"}, {38, "error during write"}, {39, "error during read"}, {42, "no such device"},
      {43, "file name specification error"}, {47, "write to READONLY file"},
      {59, "list-directed I/O syntax error"}, {64, "input conversion error"},
      {67, "input statement requires too much data"}};
  return MESSAGES;
}

// The line of failure report REPORT on standard error, for UNIT and FILE.
inline std::string SEVERE(int report, int unit, std::string_view file) {
  return "forrtl: severe (" + std::to_string(report) + "): " + std::string(REPORT_LINES().at(report)) + ", unit " +
         std::to_string(unit) + ", file " + std::string(file) + "\n";
}

// Read in blocks: outputs of large models run to hundreds of megabytes.
inline std::string READ_PATH(const std::filesystem::path& p) {
  std::ifstream f(p, std::ios::binary);
  std::string bytes;
  std::vector<char> block(1 << 20);
  while (f.read(block.data(), std::ssize(block)) || f.gcount() > 0) bytes.append(block.data(), f.gcount());
  return bytes;
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
// Start ARGV in DIR; standard stream K comes from descriptor FDS[K] or, where that is
// -1, from the file PATHS[K] (read for input, made anew for output). Spawned, not
// forked: the test process may be large. OWN_GROUP: the process leads a new
// process group, as a terminal's foreground job does. The process id, or -1.
inline pid_t SPAWN(const std::filesystem::path& dir, std::vector<std::string> argv,
                   const std::array<std::string, 3>& paths, std::array<int, 3> fds = {-1, -1, -1},
                   char** env = environ, bool own_group = false) {
  posix_spawn_file_actions_t actions;
  ::posix_spawn_file_actions_init(&actions);
  for (int k = 0; k < 3; ++k) {
    if (fds[k] >= 0) ::posix_spawn_file_actions_adddup2(&actions, fds[k], k);
    else ::posix_spawn_file_actions_addopen(&actions, k, paths[k].c_str(),
                                            k ? O_WRONLY | O_CREAT | O_TRUNC : O_RDONLY, 0644);
  }
  ::posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
  std::vector<char*> args;
  for (std::string& a : argv) args.push_back(a.data());
  args.push_back(nullptr);
  posix_spawnattr_t attributes;
  ::posix_spawnattr_init(&attributes);
  if (own_group) {
    ::posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    ::posix_spawnattr_setpgroup(&attributes, 0);
  }
  pid_t pid = -1;
  if (::posix_spawn(&pid, args[0], &actions, &attributes, args.data(), env) != 0) pid = -1;
  ::posix_spawnattr_destroy(&attributes);
  ::posix_spawn_file_actions_destroy(&actions);
  return pid;
}

inline RUN RUN_PROGRAM(const std::filesystem::path& dir, const char* program,
                       std::string_view input, const std::vector<std::string>& args) {
  const std::filesystem::path io = dir.parent_path();
  WRITE_PATH(io / "stdin", input);
  std::vector<std::string> argv{program};
  argv.insert(argv.end(), args.begin(), args.end());
  const std::array<std::string, 3> streams{io / "stdin", io / "stdout", io / "stderr"};
  const pid_t pid = SPAWN(dir, argv, streams);
  if (const rlimit cpu{30, 30}; pid > 0) ::prlimit(pid, RLIMIT_CPU, &cpu, nullptr);  // 30 s of CPU
  int status = 0;
  if (pid <= 0 || ::waitpid(pid, &status, 0) != pid) return {};
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
  // How many entries the folder NAME holds.
  std::ptrdiff_t ENTRIES(std::string_view name) const {
    return std::distance(std::filesystem::directory_iterator(DIR / name), {});
  }
  // Every regular file of the directory but those named in INPUTS, by name.
  std::map<std::string, std::string> FILES(std::initializer_list<std::string_view> inputs) const {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(DIR))
      if (std::string name = entry.path().filename().string();
          entry.is_regular_file() && std::find(inputs.begin(), inputs.end(), name) == inputs.end())
        files[name] = READ(name);
    return files;
  }

  // BYTES as result.bin, and a WORK.LST that names it.
  void RESULT(std::string_view bytes) const {
    WRITE("WORK.LST", WORK_LIST("result.bin"));
    WRITE("result.bin", bytes);
  }

  RUN CONVERT(std::string_view input, const std::vector<std::string>& args = {}) const {
    return RUN_PROGRAM(DIR, KOVACONV_EXE, input, args);
  }
};

// A result file of about NODES nodes and STEPS steps (and its WORK.LST) made in S
// by the sample generator; empty when it failed.
inline std::string GENERATE(const SCRATCH& s, int nodes, int steps) {
  const RUN r =
      RUN_PROGRAM(s.DIR, KOVAGEN_EXE, "", {"--nodes", std::to_string(nodes), "--steps", std::to_string(steps)});
  return r.STATUS == 0 ? s.READ("result.bin") : "";
}

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
