// Whole runs of the built converter on a generated sample of about 20000 nodes
// and 20000 elements, every step converted, answers piped as a user would.
//
//   BM_Convert/<type>   50 steps, menu type 1 restart, 2 TECPLOT, 3 ATLAS, 4 FEMAP.
//                       Time is the converter's wall time; counters: output size,
//                       output MB/s, peak resident memory of the converter, and the
//                       time and rate of copying the same bytes to a new file (the
//                       I/O floor: a converter cannot beat a plain copy by much).
//   BM_Stdio/<type>     The same conversions by the plain stdio converter.
//   BM_BulkWrite        The bulk-write floor: the bytes of a TECPLOT run written
//                       from memory in 1 MiB blocks.
//   BM_StepMemory/<n>   TECPLOT, n = 2 and 200 steps: the peak memory must not
//                       grow with the number of steps.
//
// Every run needs kovaconv and kovagen built; see bench/run_bench.sh.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr int NODES = 20000;

struct CHILD {
  int STATUS = -1;  // exit status, -1 when the child did not exit normally
  double SECONDS = 0.0;
  double CPU_SECONDS = 0.0;  // user + system time of the child
  double PEAK_MB = 0.0;      // peak resident set of the child
};

// Runs `argv` in `dir` with standard input from `input` (or /dev/null) and
// standard output thrown away; standard error stays so that failures show.
CHILD RUN(const fs::path& dir, std::vector<std::string> args, const fs::path& input) {
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  const std::string in = input.empty() ? std::string("/dev/null") : input.string();
  const std::string cwd = dir.string();

  const auto t0 = std::chrono::steady_clock::now();
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int fd0 = ::open(in.c_str(), O_RDONLY);
    const int fd1 = ::open("/dev/null", O_WRONLY);
    if (::chdir(cwd.c_str()) != 0 || fd0 < 0 || fd1 < 0 || ::dup2(fd0, 0) < 0 ||
        ::dup2(fd1, 1) < 0)
      ::_exit(126);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  CHILD c;
  if (pid < 0) return c;
  int status = 0;
  rusage ru{};
  if (::wait4(pid, &status, 0, &ru) != pid) return c;
  c.SECONDS = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  c.STATUS = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  c.CPU_SECONDS = static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
                  static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
  c.PEAK_MB = static_cast<double>(ru.ru_maxrss) / 1024.0;  // kilobytes on Linux
  return c;
}

// A scratch directory holding one generated sample per step count, made on
// first use and removed at exit.
struct WORKSPACE {
  fs::path ROOT;
  WORKSPACE() {
    std::string tmpl = (fs::temp_directory_path() / "kovaconv_bench_XXXXXX").string();
    if (::mkdtemp(tmpl.data())) ROOT = tmpl;
  }
  ~WORKSPACE() {
    std::error_code ec;
    if (!ROOT.empty()) fs::remove_all(ROOT, ec);
  }
  // The directory of the sample with `steps` steps, or an empty path.
  fs::path SAMPLE(int steps) {
    if (ROOT.empty()) return {};
    const fs::path dir = ROOT / ("steps" + std::to_string(steps));
    if (!fs::exists(dir / "WORK.LST")) {
      std::error_code ec;
      fs::create_directory(dir, ec);
      const CHILD c = RUN(dir, {KOVAGEN_EXE, "--nodes", std::to_string(NODES), "--steps",
                                std::to_string(steps)},
                          {});
      if (c.STATUS != 0) return {};
    }
    return dir;
  }
};

WORKSPACE& SPACE() {
  static WORKSPACE w;
  return w;
}

// The answers a user types: banner, data OK, menu type, output name (not for
// ATLAS), every step.
fs::path ANSWERS(const fs::path& dir, int type, const std::string& output) {
  const fs::path p = dir / ("answers" + std::to_string(type) + ".txt");
  std::ofstream(p, std::ios::binary) << "0\n0\n"
                                     << type << '\n'
                                     << (type == 3 ? "" : output + "\n") << "-1\n";
  return p;
}

std::vector<fs::path> OUTPUTS(const fs::path& dir, int type) {
  if (type == 3) return {dir / "atlas.msh", dir / "atlas.pst"};
  return {dir / "out.dat"};
}

void REMOVE(const std::vector<fs::path>& files) {
  std::error_code ec;
  for (const fs::path& f : files) fs::remove(f, ec);
}

// Copies `from` to `to` with a plain read/write loop; returns false on failure.
bool COPY(const fs::path& from, const fs::path& to) {
  const int in = ::open(from.c_str(), O_RDONLY);
  const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  bool ok = in >= 0 && out >= 0;
  static char buffer[1 << 20];
  while (ok) {
    const ssize_t n = ::read(in, buffer, sizeof buffer);
    if (n <= 0) {
      ok = n == 0;
      break;
    }
    for (ssize_t done = 0; ok && done < n;) {
      const ssize_t w = ::write(out, buffer + done, static_cast<std::size_t>(n - done));
      ok = w > 0;
      done += w;
    }
  }
  if (in >= 0) ::close(in);
  if (out >= 0 && ::close(out) != 0) ok = false;
  return ok;
}

// The converter under test: $KOVACONV when set (an earlier build, to compare
// in one run), otherwise the one built here.
std::string CONVERTER() {
  const char* other = std::getenv("KOVACONV");
  return other && *other ? other : KOVACONV_EXE;
}

// One timed conversion in DIR; a failed run skips the benchmark.
bool CONVERT_ONCE(benchmark::State& state, const fs::path& dir, const fs::path& answers,
                  CHILD& c) {
  c = RUN(dir, {CONVERTER()}, answers);
  if (c.STATUS != 0) {
    state.SkipWithError(("kovaconv exit status " + std::to_string(c.STATUS)).c_str());
    return false;
  }
  state.SetIterationTime(c.SECONDS);
  return true;
}

void BM_Convert(benchmark::State& state) {
  const int type = static_cast<int>(state.range(0));
  const fs::path dir = SPACE().SAMPLE(50);
  if (dir.empty()) return state.SkipWithError("kovagen could not make the sample");
  const fs::path answers = ANSWERS(dir, type, "out.dat");
  const std::vector<fs::path> outputs = OUTPUTS(dir, type);

  double bytes = 0.0, peak = 0.0, wall = 0.0, cpu = 0.0;
  for (auto _ : state) {
    REMOVE(outputs);
    CHILD c;
    if (!CONVERT_ONCE(state, dir, answers, c)) break;
    peak = std::max(peak, c.PEAK_MB);
    wall += c.SECONDS;
    cpu += c.CPU_SECONDS;
    bytes = 0.0;
    for (const fs::path& f : outputs) bytes += static_cast<double>(fs::file_size(f));
  }
  if (bytes == 0.0) return REMOVE(outputs);

  // The I/O floor: the same bytes copied to new files.
  const auto t0 = std::chrono::steady_clock::now();
  bool copied = true;
  for (const fs::path& f : outputs) copied = COPY(f, f.string() + ".copy") && copied;
  const double copy_s =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  for (const fs::path& f : outputs) fs::remove(f.string() + ".copy");
  REMOVE(outputs);
  if (!copied) return state.SkipWithError("copying the output failed");

  const double runs = static_cast<double>(state.iterations());
  state.counters["out_MB"] = bytes / 1e6;
  state.counters["MB/s"] = bytes / 1e6 / (wall / runs);
  state.counters["cpu_s"] = cpu / runs;
  state.counters["MB/cpu_s"] = bytes / 1e6 / (cpu / runs);
  state.counters["peak_MB"] = peak;
  state.counters["copy_s"] = copy_s;
  state.counters["copy_MB/s"] = bytes / 1e6 / copy_s;
}
BENCHMARK(BM_Convert)
    ->ArgName("type")
    ->DenseRange(1, 4)
    ->Iterations(2)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// The same conversion by the plain stdio converter (bench/stdio_converter.cpp).
void BM_Stdio(benchmark::State& state) {
  const int type = static_cast<int>(state.range(0));
  const fs::path dir = SPACE().SAMPLE(50);
  if (dir.empty()) return state.SkipWithError("kovagen could not make the sample");
  const std::vector<fs::path> outputs = OUTPUTS(dir, type);
  double bytes = 0.0, wall = 0.0, cpu = 0.0, peak = 0.0;
  for (auto _ : state) {
    REMOVE(outputs);
    const CHILD c = RUN(dir, {STDIO_CONVERTER_EXE, std::to_string(type), "out.dat"}, {});
    if (c.STATUS != 0) return state.SkipWithError("stdio_converter failed");
    state.SetIterationTime(c.SECONDS);
    wall += c.SECONDS;
    cpu += c.CPU_SECONDS;
    peak = std::max(peak, c.PEAK_MB);
    bytes = 0.0;
    for (const fs::path& f : outputs) bytes += static_cast<double>(fs::file_size(f));
  }
  REMOVE(outputs);
  state.counters["out_MB"] = bytes / 1e6;
  state.counters["MB/s"] = bytes / 1e6 / (wall / static_cast<double>(state.iterations()));
  state.counters["MB/cpu_s"] = bytes / 1e6 / (cpu / static_cast<double>(state.iterations()));
  state.counters["peak_MB"] = peak;
}
BENCHMARK(BM_Stdio)
    ->ArgName("type")
    ->DenseRange(1, 4)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// The bulk-write floor: as many bytes as a TECPLOT conversion writes, from
// memory to a new file in 1 MiB blocks.
void BM_BulkWrite(benchmark::State& state) {
  const fs::path dir = SPACE().SAMPLE(50);
  if (dir.empty()) return state.SkipWithError("kovagen could not make the sample");
  static char block[1 << 20];
  std::memset(block, ' ', sizeof block);
  const double total = static_cast<double>(state.range(0)) * 1e6;
  double wall = 0.0;
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    const int fd = ::open((dir / "bulk.dat").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return state.SkipWithError("cannot create the file");
    for (double done = 0.0; done < total; done += sizeof block)
      if (::write(fd, block, sizeof block) != static_cast<ssize_t>(sizeof block)) break;
    ::close(fd);
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    state.SetIterationTime(s);
    wall += s;
  }
  fs::remove(dir / "bulk.dat");
  state.counters["MB/s"] = total / 1e6 / (wall / static_cast<double>(state.iterations()));
}
BENCHMARK(BM_BulkWrite)->ArgName("MB")->Arg(104)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_StepMemory(benchmark::State& state) {
  const int steps = static_cast<int>(state.range(0));
  const fs::path dir = SPACE().SAMPLE(steps);
  if (dir.empty()) return state.SkipWithError("kovagen could not make the sample");
  const fs::path answers = ANSWERS(dir, 2, "out.dat");
  double peak = 0.0, bytes = 0.0;
  for (auto _ : state) {
    CHILD c;
    if (!CONVERT_ONCE(state, dir, answers, c)) break;
    peak = std::max(peak, c.PEAK_MB);
    bytes = static_cast<double>(fs::file_size(dir / "out.dat"));
  }
  REMOVE(OUTPUTS(dir, 2));
  state.counters["out_MB"] = bytes / 1e6;
  state.counters["peak_MB"] = peak;
}
BENCHMARK(BM_StepMemory)
    ->ArgName("steps")
    ->Arg(2)
    ->Arg(200)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
