#pragma once
// End-to-end test support: a scratch directory, hand-made WORK.LST and result
// files, and a run of the built converter there with the answers on standard
// input. Header only, so that every *_test.cpp can include it.
//
// Typical use:
//   e2e::SCRATCH S;
//   S.WRITE("WORK.LST", e2e::WORK_LIST("result.bin"));
//   S.WRITE("result.bin", e2e::MODEL_PART("T", NODES, ELEMENTS) + e2e::STEP(1, 0.5, NR, ER));
//   e2e::RUN R = S.CONVERT(e2e::ANSWERS(2, "out.dat", 0));
//   EXPECT_EQ(R.STATUS, 0);  EXPECT_EQ(S.READ("out.dat"), "...");
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace e2e {

// ---- result-file bytes ------------------------------------------------------

// A 32-bit integer as 4 little-endian bytes.
inline std::string INT4(std::int32_t v) {
  const auto u = static_cast<std::uint32_t>(v);
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i) s[i] = static_cast<char>((u >> (8 * i)) & 0xFFU);
  return s;
}

// An 8-byte IEEE real as 8 little-endian bytes.
inline std::string REAL8(double v) {
  std::uint64_t u = 0;
  std::memcpy(&u, &v, 8);
  std::string s(8, '\0');
  for (int i = 0; i < 8; ++i) s[i] = static_cast<char>((u >> (8 * i)) & 0xFFU);
  return s;
}

// TEXT cut or blank-padded to WIDTH characters (the title is 80).
inline std::string PADDED(std::string_view text, std::size_t width) {
  std::string s(text.substr(0, width));
  s.resize(width, ' ');
  return s;
}

// One framed record: length, data, length. LENGTH may be given apart from the
// data to build damaged files (a length that lies about its data).
inline std::string FRAME(std::string_view data) {
  const auto n = static_cast<std::int32_t>(data.size());
  return INT4(n) + std::string(data) + INT4(n);
}
inline std::string FRAME_WITH_LENGTH(std::int32_t length, std::string_view data) {
  return INT4(length) + std::string(data) + INT4(length);
}

struct NODE {
  double X = 0, Y = 0, NPAR1 = 0, NPAR2 = 0;
  std::int32_t NCODE = 0;
};
struct ELEMENT {
  std::int32_t IX[5] = {0, 0, 0, 0, 0};  // four corners, then the attribute
  double EPAR = 0;
};
struct NODE_RESULT {
  std::int32_t NFLAG = 0;
  double H = 0, Q = 0;
};
struct ELEMENT_RESULT {
  double VX = 0, VY = 0;
};

// The five records of the model part; the counts are the sizes of the lists.
inline std::string MODEL_PART(std::string_view title, std::span<const NODE> nodes,
                              std::span<const ELEMENT> elements) {
  std::string n, e;
  for (const NODE& p : nodes)
    n += REAL8(p.X) + REAL8(p.Y) + REAL8(p.NPAR1) + REAL8(p.NPAR2) + INT4(p.NCODE);
  for (const ELEMENT& p : elements) {
    for (std::int32_t v : p.IX) e += INT4(v);
    e += REAL8(p.EPAR);
  }
  return FRAME(PADDED(title, 80)) + FRAME(INT4(static_cast<std::int32_t>(nodes.size()))) +
         FRAME(n) + FRAME(INT4(static_cast<std::int32_t>(elements.size()))) + FRAME(e);
}
inline std::string MODEL_PART(std::string_view title, std::initializer_list<NODE> nodes,
                              std::initializer_list<ELEMENT> elements) {
  return MODEL_PART(title, std::span<const NODE>(nodes.begin(), nodes.size()),
                    std::span<const ELEMENT>(elements.begin(), elements.size()));
}

// The three records of one time step.
inline std::string STEP(std::int32_t istep, double time, std::span<const NODE_RESULT> nodes,
                        std::span<const ELEMENT_RESULT> elements) {
  std::string n, e;
  for (const NODE_RESULT& p : nodes) n += INT4(p.NFLAG) + REAL8(p.H) + REAL8(p.Q);
  for (const ELEMENT_RESULT& p : elements) e += REAL8(p.VX) + REAL8(p.VY);
  return FRAME(INT4(istep) + REAL8(time)) + FRAME(n) + FRAME(e);
}
inline std::string STEP(std::int32_t istep, double time, std::initializer_list<NODE_RESULT> nodes,
                        std::initializer_list<ELEMENT_RESULT> elements) {
  return STEP(istep, time, std::span<const NODE_RESULT>(nodes.begin(), nodes.size()),
              std::span<const ELEMENT_RESULT>(elements.begin(), elements.size()));
}

// ---- text inputs ------------------------------------------------------------

// A work list whose fourth line names the result file.
inline std::string WORK_LIST(std::string_view result_name) {
  return "analysis.dat\nmesh.dat\nbound.dat\n" + std::string(result_name) + "\n";
}

// The answers of a whole run: banner 0, data OK 0, the menu choice, the output
// name (not asked for ITYPE 3) and the time-step selection.
inline std::string ANSWERS(int itype, std::string_view output_name, int nsel) {
  std::string s = "0\n0\n" + std::to_string(itype) + "\n";
  if (itype != 3) s += std::string(output_name) + "\n";
  return s + std::to_string(nsel) + "\n";
}

// ---- running the converter --------------------------------------------------

struct RUN {
  int STATUS = -1;  // exit status, or -1 when the process died of a signal
  int SIGNAL = 0;   // the signal that ended it, 0 if it exited
  std::string OUT;  // standard output
  std::string ERR;  // standard error
};

inline std::string READ_PATH(const std::filesystem::path& p) {
  std::ifstream f(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

inline void WRITE_PATH(const std::filesystem::path& p, std::string_view bytes) {
  std::ofstream f(p, std::ios::binary | std::ios::trunc);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Run PROGRAM with ARGS in DIR, standard input from INPUT. Standard output
// and error are caught in files beside DIR (not in it, so that they never
// show among the run's own files). A run that takes longer than 30 s is killed.
inline RUN RUN_PROGRAM(const std::filesystem::path& dir, const char* program,
                       std::string_view input, const std::vector<std::string>& args) {
  const std::filesystem::path io = dir.parent_path();
  WRITE_PATH(io / "stdin", input);
  const std::string in = (io / "stdin").string(), out = (io / "stdout").string(),
                    err = (io / "stderr").string(), cwd = dir.string();
  std::vector<std::string> argv_text{program};
  argv_text.insert(argv_text.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : argv_text) argv.push_back(a.data());
  argv.push_back(nullptr);

  RUN r;
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int fi = ::open(in.c_str(), O_RDONLY);
    const int fo = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int fe = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fi < 0 || fo < 0 || fe < 0 || ::chdir(cwd.c_str()) != 0) ::_exit(126);
    ::dup2(fi, 0);
    ::dup2(fo, 1);
    ::dup2(fe, 2);
    ::execv(program, argv.data());
    ::_exit(127);
  }
  if (pid < 0) return r;
  int status = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (::waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  if (WIFEXITED(status)) r.STATUS = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) r.SIGNAL = WTERMSIG(status);
  r.OUT = READ_PATH(out);
  r.ERR = READ_PATH(err);
  return r;
}

// A fresh directory under /tmp for one test, removed afterwards. DIR is the
// run's current directory; the captured streams live one level up.
struct SCRATCH {
  std::filesystem::path ROOT, DIR;

  SCRATCH() {
    std::string tmpl = "/tmp/kovaconv-e2e-XXXXXX";
    if (::mkdtemp(tmpl.data()) != nullptr) ROOT = tmpl;
    DIR = ROOT / "run";
    std::filesystem::create_directory(DIR);
  }
  ~SCRATCH() {
    std::error_code ec;
    if (!ROOT.empty()) std::filesystem::remove_all(ROOT, ec);
  }
  SCRATCH(const SCRATCH&) = delete;
  SCRATCH& operator=(const SCRATCH&) = delete;

  void WRITE(std::string_view name, std::string_view bytes) const { WRITE_PATH(DIR / name, bytes); }
  std::string READ(std::string_view name) const { return READ_PATH(DIR / name); }
  bool EXISTS(std::string_view name) const { return std::filesystem::exists(DIR / name); }

  // Run kovaconv here with the given standard input (and arguments).
  RUN CONVERT(std::string_view input, const std::vector<std::string>& args = {}) const {
    return RUN_PROGRAM(DIR, KOVACONV_EXE, input, args);
  }
};

// The full path that failure reports show for NAME in the scratch directory.
inline std::string REPORTED_PATH(const SCRATCH& s, std::string_view name) {
  return (std::filesystem::weakly_canonical(s.DIR) / name).string();
}

}  // namespace e2e
