// Runs that end under faults of the machine: a full disk, the file-size and
// address-space limits, huge or padded records, endless lines, SIGTERM at any
// moment and output that nobody reads. Each ends in its written way, and
// every file it leaves (and the console output) is a whole-record prefix of
// what the undisturbed run writes. Every case runs with one thread and with
// four (KOVA_THREADS), its outputs large enough that the threads start
// (they do once a run has written 4 MB) before the fault.
#include <gtest/gtest.h>

// The faults are made with POSIX facilities that Windows lacks (resource limits,
// small mounted file systems, SIGTERM, FIFOs); the console events that Windows
// does have, arriving during writes and while a write is blocked, are tested
// in units_test.cpp.
#ifndef _WIN32
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <functional>
#include <map>
#include <optional>
#include <random>

#include "model/result_reader.h"
#include "tests/probe/probe_support.h"

using namespace KOVA;

namespace {

using FILES = std::map<std::string, std::string>;  // by name
using CLOCK = std::chrono::steady_clock;

#ifdef KOVA_SANITIZED_BUILD
// The sanitizers reserve terabytes of address space: no address-space limit can be set.
constexpr bool ADDRESS_LIMITS = false;
#else
constexpr bool ADDRESS_LIMITS = true;
#endif

const std::string AS_64_MIB = "--as=67108864";
const std::string TERMINATED = "kovaconv: terminated\n";
const std::string OUT_OF_MEMORY = "kovaconv: error: out of memory\n";

// A result file of HEAD, a hole of HOLE zero bytes that takes no disk space, and TAIL.
struct RESULT { std::string HEAD; std::uint64_t HOLE = 0; std::string TAIL; };

// Runs take the result file from beside their directory ("../r.bin"), so that
// the directory itself can be a small file system holding only the outputs.
void PREPARE(const e2e::SCRATCH& s, const RESULT& result) {
  const std::filesystem::path path = s.ROOT / "r.bin";
  e2e::WRITE_PATH(path, result.HEAD);
  std::filesystem::resize_file(path, result.HEAD.size() + result.HOLE);
  std::ofstream(path, std::ios::binary | std::ios::app).write(result.TAIL.data(), std::ssize(result.TAIL));
  s.WRITE("WORK.LST", e2e::WORK_LIST("../r.bin"));
}
void PREPARE(const e2e::SCRATCH& s, const std::string& result) { PREPARE(s, RESULT{result, 0, ""}); }

// A conversion, through prlimit when LIMITS are given.
e2e::RUN CONVERT(const e2e::SCRATCH& s, std::string_view answers, std::vector<std::string> limits = {}) {
  if (limits.empty()) return s.CONVERT(answers);
  limits.push_back(KOVACONV_EXE);
  return e2e::RUN_PROGRAM(s.DIR, "/usr/bin/prlimit", answers, limits);
}

// What the undisturbed run writes: its files and its console output. A run
// that wrote no step (ERR says so) ends with status 3.
struct NORMAL { FILES FILES_; std::string STDOUT; };
NORMAL NORMAL_RUN(const std::string& result, std::string_view answers, std::string_view err = "") {
  e2e::SCRATCH s;
  PREPARE(s, result);
  const e2e::RUN r = CONVERT(s, answers);
  EXPECT_EQ(r.STATUS, err.empty() ? 0 : 3);
  EXPECT_EQ(r.ERR, err);
  return {s.FILES({"WORK.LST"}), r.STDOUT};
}

// Each file the run left is a whole-record prefix of its normal contents (the
// same contents when WHOLE), and so is the console output; a run that ended
// with a line on standard error did not show the termination message.
void EXPECT_WHOLE_RECORDS(const e2e::SCRATCH& s, const e2e::RUN& r, const NORMAL& normal, bool whole) {
  const auto expect_prefix = [whole](const std::string& name, const std::string& got, const std::string& full) {
    if (whole) {
      EXPECT_EQ(got.size(), full.size()) << name;
    }
    EXPECT_TRUE(full.starts_with(got)) << name << ": " << got.size() << " of " << full.size();
    EXPECT_TRUE(got.empty() || got.ends_with("\r\n")) << name;
  };
  for (const auto& [name, bytes] : s.FILES({"WORK.LST"})) {
    const auto full = normal.FILES_.find(name);
    ASSERT_NE(full, normal.FILES_.end()) << name;
    expect_prefix(name, bytes, full->second);
  }
  if (whole) {
    EXPECT_EQ(s.FILES({"WORK.LST"}).size(), normal.FILES_.size());
  }
  expect_prefix("console", r.STDOUT, normal.STDOUT);
  if (!r.ERR.empty()) {
    EXPECT_EQ(r.STDOUT.find("NORMAL TERMINATION"), std::string::npos);
  }
}

// A small file system mounted on the run's directory for one case.
struct SMALL_DISK {
  const e2e::SCRATCH& S;
  bool MOUNTED;
  SMALL_DISK(const e2e::SCRATCH& s, std::size_t bytes)
      : S(s), MOUNTED(::mount("tmpfs", s.DIR.c_str(), "tmpfs", 0,
                              ("size=" + std::to_string(bytes)).c_str()) == 0) {}
  ~SMALL_DISK() {
    if (MOUNTED) ::umount2(S.DIR.c_str(), MNT_DETACH);
  }
};

// The model part of a result file: its first five records.
std::string MODEL_OF(const std::string& result) { return result.substr(0, e2e::RECORD_STARTS(result).at(5)); }

// The full path that reports show for the result file beside the run's directory.
std::string RESULT_PATH(const e2e::SCRATCH& s) { return (std::filesystem::weakly_canonical(s.ROOT) / "r.bin").string(); }

// A conversion left running, its console answers still to come.
probe::LIVE LIVE_CONVERSION(const e2e::SCRATCH& s) { return probe::LIVE(s, std::vector<std::string>{KOVACONV_EXE}); }

// Where the console output of a run ends while it waits at the time-step question.
std::size_t STEP_QUESTION_END(std::string_view out) {
  constexpr std::string_view question = "Final time step avairable \r\n   INPUT No. ? =\r\n";
  return out.find(question) + question.size();
}

// The fault tests, each with the thread count its parameter gives the runs.
class Faults : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override { ::setenv("KOVA_THREADS", std::to_string(GetParam()).c_str(), 1); }
  void TearDown() override { ::unsetenv("KOVA_THREADS"); }
  // The threads can start: more than one of them, and more than one CPU.
  bool THREADED() const {
    cpu_set_t cpus;
    return GetParam() > 1 && ::sched_getaffinity(0, sizeof cpus, &cpus) == 0 && CPU_COUNT(&cpus) > 1;
  }
};

// The threads a live run has now.
std::size_t THREADS_OF(pid_t PID) {
  std::error_code ec;
  const std::filesystem::directory_iterator tasks("/proc/" + std::to_string(PID) + "/task", ec);
  return ec ? 0 : static_cast<std::size_t>(std::distance(tasks, std::filesystem::directory_iterator()));
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(Threads, Faults, ::testing::Values(1, 4),
                         [](const ::testing::TestParamInfo<int>& p) { return std::to_string(p.param); });

// A write the system refuses partway (full disk, file-size limit) is cut back to
// whole records, the other units' last writes too, and reported instead of a
// normal end, even when all output was still buffered at the termination message.
TEST_P(Faults, RefusedWritesLeaveWholeRecordsAndTheirReport) {
  // About 14 MB of TECPLOT and 7 MB of ATLAS data.
  const std::string result = e2e::GENERATE(e2e::SCRATCH(), 4000, 30);
  const std::string tecplot_all = e2e::ANSWERS(2, "out.dat", -1), tecplot_final = e2e::ANSWERS(2, "out.dat", 0);
  const std::string atlas_all = e2e::ANSWERS(3, "", -1);
  // DISK: the size of the small file system; 0: the file-size limit instead.
  const struct { const char* NAME; std::string ANSWERS; std::size_t DISK; int UNIT; const char *FILE, *OS_TEXT; }
      cases[] = {
      {"file-size limit", tecplot_all, 0, 8, "out.dat", "File too large"},
      {"disk full after 9 MB", tecplot_all, 9 << 20, 8, "out.dat", "No space left on device"},
      {"disk full, output still buffered", tecplot_final, 64 << 10, 8, "out.dat", "No space left on device"},
      {"disk full for both ATLAS files", atlas_all, 6 << 20, 22, "atlas.pst", "No space left on device"},
  };
  const std::size_t file_size_limit = (9 << 20) + 12345;
  std::map<std::string, NORMAL> normal;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.NAME);
    if (!normal.contains(c.ANSWERS)) normal[c.ANSWERS] = NORMAL_RUN(result, c.ANSWERS);
    e2e::SCRATCH s;
    std::optional<SMALL_DISK> disk;
    if (c.DISK > 0 && !disk.emplace(s, c.DISK).MOUNTED) {
      GTEST_SKIP() << "a small tmpfs cannot be mounted here (needs root)";
    }
    PREPARE(s, result);
    const e2e::RUN r = c.DISK > 0 ? CONVERT(s, c.ANSWERS)
                                  : CONVERT(s, c.ANSWERS, {"--fsize=" + std::to_string(file_size_limit)});
    EXPECT_EQ(r.STATUS, 38);
    EXPECT_EQ(r.ERR,
              std::string("forrtl: ") + c.OS_TEXT + "\n" + e2e::SEVERE(38, c.UNIT, e2e::REPORTED_PATH(s, c.FILE)));
    EXPECT_WHOLE_RECORDS(s, r, normal[c.ANSWERS], false);
    // The whole records that reached the file before the refusal stay: the
    // outputs fill the room up to a record and the file system's page rounding.
    std::size_t kept = 0;
    for (const auto& [name, bytes] : s.FILES({"WORK.LST"})) kept += bytes.size();
    const std::size_t room = c.DISK > 0 ? c.DISK : file_size_limit;
    EXPECT_GT(kept + (c.DISK > 0 ? 16 << 10 : 200), room);
  }

  // A console output pipe whose reader goes away at the step question: the
  // termination message is a refused write, report 38 on unit -1 with the
  // system's "Broken pipe", never a silent end by SIGPIPE; the output file
  // holds every record, written out before the message.
  e2e::SCRATCH s;
  PREPARE(s, result);
  int in[2], out[2];
  ASSERT_EQ(::pipe2(in, O_CLOEXEC), 0);
  ASSERT_EQ(::pipe2(out, O_CLOEXEC), 0);
  const std::string err = (s.ROOT / "stderr").string();
  const pid_t pid = e2e::SPAWN(s.DIR, {KOVACONV_EXE}, {"", "", err}, {in[0], out[1], -1});
  ::close(in[0]);
  ::close(out[1]);
  const std::string asked = e2e::BEFORE_STEP_ANSWER(tecplot_all);
  ASSERT_TRUE(probe::SEND(in[1], asked));
  std::string shown;
  char buf[4096];
  for (ssize_t n; shown.size() < STEP_QUESTION_END(normal[tecplot_all].STDOUT) && (n = ::read(out[0], buf, sizeof buf)) > 0;)
    shown.append(buf, static_cast<std::size_t>(n));
  ::close(out[0]);
  ASSERT_TRUE(probe::SEND(in[1], tecplot_all.substr(asked.size())));
  ::close(in[1]);
  int status = -1;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status)) << "signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 38);
  EXPECT_EQ(e2e::READ_PATH(err), "forrtl: Broken pipe\n" + e2e::SEVERE(38, -1, "CONOUT$"));
  EXPECT_TRUE(s.READ("out.dat") == normal[tecplot_all].FILES_.at("out.dat"));
}

// Memory follows the counts only: a padded record, endless lines and a count whose
// record cannot hold it cost next to nothing; a store that cannot be had is the
// out-of-memory end.
TEST_P(Faults, MemoryIsBoundedByTheCounts) {
  const std::string result = e2e::GENERATE(e2e::SCRATCH(), 400, 3);
  const std::string model = MODEL_OF(result), steps = result.substr(model.size());
  const std::string answers = e2e::ANSWERS(2, "out.dat", -1);
  const NORMAL normal = NORMAL_RUN(result, answers);

  // The title record padded to 200 MB.
  const std::int32_t padded = 200 << 20;
  const RESULT padded_title{e2e::INT4(padded) + model.substr(4, 80), padded - 80U,
                            e2e::INT4(padded) + model.substr(88) + steps};
  // A node count of 2^31 - 1 with a node record of 2 GiB - 1; two million nodes
  // with a record that holds them (72 MB), for a store of about 150 MB.
  const std::string title = model.substr(0, 88);
  const RESULT huge{title + e2e::FRAME(e2e::INT4(INT32_MAX)) + e2e::INT4(INT32_MAX), INT32_MAX,
                    e2e::INT4(INT32_MAX)};
  const RESULT big{title + e2e::FRAME(e2e::INT4(2000000)) + e2e::INT4(72000000), 72000000,
                   e2e::INT4(72000000)};
  // 70 MB lines: the first of the work list, and the answers: "0" followed by
  // blanks and a value that is dropped, and the menu choice 2 after a million zeros.
  const std::size_t line = 70 << 20;
  std::string long_answers = "0";
  long_answers.append(line, ' ').append("x\n0\n").append(1 << 20, '0').append("2").append(answers, 5);
  // FIRST_LINE: the first line of WORK.LST, when given.
  const struct { const char* NAME; RESULT FILE; std::string ANSWERS, FIRST_LINE; int STATUS; } cases[] = {
      {"padded title record", padded_title, answers, "", 0},
      {"endless lines", {result, 0, ""}, long_answers, std::string(line, 'w'), 0},
      {"count beyond its record", huge, answers, "", 67},
      {"store beyond the address space", big, answers, "", 71},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.NAME);
    // Without the limit, two million nodes are simply converted.
    if (c.STATUS == 71 && !ADDRESS_LIMITS) continue;
    e2e::SCRATCH s;
    PREPARE(s, c.FILE);
    const std::string work_list = e2e::WORK_LIST("../r.bin");
    s.WRITE("WORK.LST", c.FIRST_LINE.empty() ? work_list : c.FIRST_LINE + work_list.substr(work_list.find('\n')));
    const auto start = CLOCK::now();
    const e2e::RUN r = CONVERT(s, c.ANSWERS, ADDRESS_LIMITS ? std::vector{AS_64_MIB} : std::vector<std::string>{});
    EXPECT_EQ(r.STATUS, c.STATUS);
    EXPECT_EQ(r.ERR, c.STATUS == 0 ? "" : c.STATUS == 71 ? OUT_OF_MEMORY : e2e::SEVERE(67, 10, RESULT_PATH(s)));
    EXPECT_WHOLE_RECORDS(s, r, normal, c.STATUS == 0);
    // The count is judged from the length field: nothing of the record is read.
    if (c.STATUS == 67) {
      EXPECT_LT(CLOCK::now() - start, std::chrono::seconds(1));
    }
  }

  // Memory that runs out after 10 MB of records (the threads writing them):
  // every one of them is in the file, in order, and the run ends as out of memory.
  if (!ADDRESS_LIMITS) return;
  e2e::SCRATCH s;
  const int records = 600000;
  const e2e::RUN r = e2e::RUN_PROGRAM(
      s.DIR, "/usr/bin/prlimit", "",
      {"--as=" + std::to_string(512 << 20), RECORD_PROBE_EXE,
       "threads " + std::to_string(GetParam()) + ";open 8 out unknown f;many 8 " + std::to_string(records) + ";hog"});
  EXPECT_EQ(r.STATUS, 71);
  EXPECT_EQ(r.ERR, OUT_OF_MEMORY);
  const std::string out = s.READ("out");
  ASSERT_EQ(out.size(), records * 16U);
  for (int k = 1; k <= records; k += 99999) {
    char line[17];
    std::snprintf(line, sizeof line, "RECORD%08d", k);
    EXPECT_EQ(out.substr((k - 1) * 16U, 16), std::string(line) + "\r\n") << k;
  }
}

// A result file that shrinks while it is read (the analysis run again over
// it) is a record cut off, never the end of the steps: kovaconv gives report 24
// on unit 10 after the steps read before it, the siblings' reader says the
// file shrank. The file is written anew at kovaconv's step question, or while
// its first step is being written to an output that the test holds back; the
// reader meets it after the model part.
TEST_P(Faults, ShrinkingResultFileIsCutOffNeverTheEnd) {
  const std::string result = e2e::GENERATE(e2e::SCRATCH(), 20000, 3);
  const std::string model = MODEL_OF(result);
  const std::size_t step = e2e::RECORD_STARTS(result).at(8) - model.size();  // the bytes of a step
  const std::string answers = e2e::ANSWERS(2, "out.dat", -1);
  const std::string asked = e2e::BEFORE_STEP_ANSWER(answers), rest = answers.substr(asked.size());
  const NORMAL none = NORMAL_RUN(model, answers, "kovaconv: warning: the result file holds no time step; no step was written\n");
  const NORMAL first = NORMAL_RUN(result.substr(0, model.size() + step), answers);
  const struct { const char* what; std::size_t cut; bool writing; } cases[] = {
      {"cut to nothing at the step question", 0, false},
      {"written anew up to the model part's end", model.size(), false},
      {"written anew into the first step", model.size() + 50, false},
      {"written anew up to the first step's end", model.size() + step, false},
      {"cut to nothing while the first step is written", 0, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    e2e::SCRATCH s;
    PREPARE(s, result);
    if (c.writing) {
      ASSERT_EQ(::mkfifo((s.DIR / "out.dat").c_str(), 0644), 0);
    }
    probe::LIVE run = LIVE_CONVERSION(s);
    ASSERT_TRUE(run.SAY(asked));
    ASSERT_TRUE(probe::WAIT_FOR_SIZE(run.OUT_PATH, STEP_QUESTION_END(first.STDOUT)));
    std::string written;
    int fifo = -1;
    if (c.writing) {
      // The output holds a megabyte of the first step's records: the run waits
      // in a write of that step until the test reads on.
      ASSERT_TRUE(run.SAY(rest));
      fifo = ::open((s.DIR / "out.dat").c_str(), O_RDONLY);
      char byte = 0;
      ASSERT_EQ(::read(fifo, &byte, 1), 1);
      written += byte;
    }
    e2e::WRITE_PATH(s.ROOT / "r.bin", result.substr(0, c.cut));
    if (c.writing) {
      char buf[65536];
      for (ssize_t got; (got = ::read(fifo, buf, sizeof buf)) > 0;) written.append(buf, static_cast<std::size_t>(got));
      ::close(fifo);
    } else {
      ASSERT_TRUE(run.SAY(rest));
    }
    EXPECT_EQ(run.FINISH_WITHIN(std::chrono::seconds(20)), 24);
    EXPECT_EQ(e2e::READ_PATH(run.ERR_PATH), e2e::SEVERE(24, 10, RESULT_PATH(s)));
    EXPECT_TRUE((c.writing ? written : s.READ("out.dat")) == (c.writing ? first : none).FILES_.at("out.dat"));
    EXPECT_EQ(e2e::READ_PATH(run.OUT_PATH), first.STDOUT.substr(0, first.STDOUT.find("\r\n\r\n   <<<<<")));

    // The siblings' reader, past the model part when the file shrinks.
    if (c.writing) continue;
    e2e::WRITE_PATH(s.ROOT / "r.bin", result);
    RESULT_FILE f;
    ASSERT_EQ(OPEN_RESULT((s.ROOT / "r.bin").c_str(), f), 0);
    MODEL_STORE store;
    ASSERT_TRUE(READ_RESULT_MODEL(f, store));
    std::filesystem::resize_file(s.ROOT / "r.bin", c.cut);
    EXPECT_FALSE(READ_RESULT_STEP(f, store));
    EXPECT_EQ(DAMAGE_REASON(f), "the file shrank while it was read");
    EXPECT_EQ(f.DAMAGE_AT, model.size());
    CLOSE_RESULT(f);
  }
}

// An output file that another run is writing is left to it: the second run
// ends with report 30 at the open, before it changes a byte, and the first run
// writes its file as if alone.
TEST_P(Faults, OutputThatAnotherRunWritesIsLeftToIt) {
  const std::string result = e2e::GENERATE(e2e::SCRATCH(), 400, 2);
  const std::string femap = e2e::ANSWERS(4, "out.dat", -1);
  const std::string asked = e2e::BEFORE_STEP_ANSWER(femap);
  const NORMAL normal = NORMAL_RUN(result, femap);
  e2e::SCRATCH s, other;
  PREPARE(s, result);
  PREPARE(other, result);
  std::filesystem::create_symlink(s.DIR / "out.dat", other.DIR / "out.dat");

  probe::LIVE first = LIVE_CONVERSION(s);
  ASSERT_TRUE(first.SAY(asked));
  ASSERT_TRUE(probe::WAIT_FOR_SIZE(first.OUT_PATH, STEP_QUESTION_END(normal.STDOUT)));
  const std::string before = s.READ("out.dat");
  const e2e::RUN second = other.CONVERT(femap);
  EXPECT_EQ(second.STATUS, 30);
  EXPECT_EQ(second.ERR, "forrtl: file is locked by another process\n" +
                            e2e::SEVERE(30, 8, e2e::REPORTED_PATH(other, "out.dat")));
  EXPECT_EQ(s.READ("out.dat"), before);

  ASSERT_TRUE(first.SAY(femap.substr(asked.size())));
  EXPECT_EQ(first.FINISH_WITHIN(std::chrono::seconds(10)), 0);
  EXPECT_TRUE(s.READ("out.dat") == normal.FILES_.at("out.dat"));
}

// SIGTERM at any moment, and the console events or SIGTERM while a write is
// blocked: the run ends within a second with its line and status, and regular
// files hold whole records.
TEST_P(Faults, SignalsEndTheRunPromptlyWithWholeRecords) {
  // About 17 MB of FEMAP data.
  const std::string result = e2e::GENERATE(e2e::SCRATCH(), 3000, 20);
  const std::string femap = e2e::ANSWERS(4, "out.dat", -1);
  const NORMAL normal = NORMAL_RUN(result, femap);

  // SIGTERM at random moments of a FEMAP conversion of every step.
  const auto start = CLOCK::now();
  NORMAL_RUN(result, femap);
  const auto normal_time = std::chrono::duration_cast<std::chrono::microseconds>(CLOCK::now() - start);
  std::size_t most_threads = 0;  // seen before a signal
  for (unsigned seed = 1; seed <= 4; ++seed) {
    SCOPED_TRACE(seed);
    e2e::SCRATCH s;
    PREPARE(s, result);
    probe::LIVE run = LIVE_CONVERSION(s);
    ASSERT_TRUE(run.SAY(femap));
    // From the first console read on, the run's signal handling is in place (a
    // signal before it ends the process silently, as for any program).
    ASSERT_TRUE(probe::WAIT_FOR_SIZE(run.OUT_PATH, 1));
    std::mt19937 random(seed);
    // The threads the run has are looked at while the test waits.
    const auto signal_at = CLOCK::now() + normal_time * std::uniform_real_distribution<>(0.0, 1.0)(random);
    while (CLOCK::now() < signal_at) {
      most_threads = std::max(most_threads, THREADS_OF(run.PID));
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ::kill(run.PID, SIGTERM);
    const int status = run.FINISH_WITHIN(std::chrono::seconds(3));
    const e2e::RUN r{status, 0, e2e::READ_PATH(run.OUT_PATH), e2e::READ_PATH(run.ERR_PATH)};
    EXPECT_EQ(r.ERR, status == 0 ? "" : TERMINATED);  // the run may have ended first
    EXPECT_TRUE(status == 143 || status == 0) << status;
    EXPECT_WHOLE_RECORDS(s, r, normal, status == 0);
  }
  if (THREADED()) {
    EXPECT_GT(most_threads, 1U) << "no run had started its threads before its signal";
  }

  // SIGTERM at random moments of records larger than the output buffer: most of
  // the time goes to their writes, which the signal interrupts.
  for (unsigned seed = 1; seed <= 4; ++seed) {
    SCOPED_TRACE(seed);
    e2e::SCRATCH s;
    probe::LIVE run(s, "open 8 out unknown f;wide 8 30");
    std::mt19937 random(seed);
    std::this_thread::sleep_for(std::chrono::milliseconds(std::uniform_int_distribution<>(5, 100)(random)));
    ::kill(run.PID, SIGTERM);
    const int status = run.FINISH_WITHIN(std::chrono::seconds(2));
    EXPECT_TRUE(status == 143 || status == 0) << status;
    const std::string out = s.READ("out");
    const std::size_t record = (std::size_t{4} << 20) + 2;
    ASSERT_EQ(out.size() % record, 0U);
    for (std::size_t k = 0; k < out.size() / record; ++k) {
      const std::string_view r = std::string_view(out).substr(k * record, record);
      EXPECT_EQ(r.find_first_not_of(static_cast<char>('1' + k % 9)), record - 2) << k;
      EXPECT_TRUE(r.ends_with("\r\n")) << k;
    }
  }

  // Killed at the step question: the FEMAP model blocks are all in the file, as a
  // run of the model part alone writes them.
  {
    const NORMAL model_only = NORMAL_RUN(
        MODEL_OF(result), femap, "kovaconv: warning: the result file holds no time step; no step was written\n");
    e2e::SCRATCH s;
    PREPARE(s, result);
    probe::LIVE run = LIVE_CONVERSION(s);
    ASSERT_TRUE(run.SAY(e2e::BEFORE_STEP_ANSWER(femap)));
    const std::string question = normal.STDOUT.substr(0, STEP_QUESTION_END(normal.STDOUT));
    ASSERT_TRUE(probe::WAIT_FOR_SIZE(run.OUT_PATH, question.size()));
    ::kill(run.PID, SIGTERM);
    EXPECT_EQ(run.FINISH_WITHIN(std::chrono::seconds(3)), 143);
    EXPECT_EQ(e2e::READ_PATH(run.OUT_PATH), question);
    EXPECT_EQ(e2e::READ_PATH(run.ERR_PATH), TERMINATED);
    EXPECT_EQ(s.READ("out.dat"), model_only.FILES_.at("out.dat"));
  }

  // A blocked write: the output (or atlas.pst) is a FIFO that nobody reads.
  const std::string tecplot = e2e::ANSWERS(2, "out.dat", -1), atlas = e2e::ANSWERS(3, "", -1);
  const NORMAL atlas_normal = NORMAL_RUN(result, atlas);
  const struct { const char* FIFO; std::string ANSWERS; int SIGNAL, STATUS; std::string ERR; } blocked[] = {
      {"out.dat", tecplot, SIGINT, e2e::INTERRUPTED, "forrtl: error (200): program aborting due to control-C event\n"},
      {"out.dat", tecplot, SIGHUP, 2, "forrtl: error (200): program aborting due to window-CLOSE event\n"},
      {"out.dat", tecplot, SIGTERM, 143, TERMINATED},
      {"atlas.pst", atlas, SIGTERM, 143, TERMINATED},
  };
  for (const auto& b : blocked) {
    SCOPED_TRACE(b.ERR);
    e2e::SCRATCH s;
    PREPARE(s, result);
    ASSERT_EQ(::mkfifo((s.DIR / b.FIFO).c_str(), 0644), 0);
    probe::LIVE run = LIVE_CONVERSION(s);
    ASSERT_TRUE(run.SAY(b.ANSWERS));
    // The pipe fills long before the first step is written out.
    ASSERT_TRUE(probe::WAIT_FOR_SIZE(run.OUT_PATH, STEP_QUESTION_END(normal.STDOUT)));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const auto signalled = CLOCK::now();
    ::kill(run.PID, b.SIGNAL);
    EXPECT_EQ(run.FINISH_WITHIN(std::chrono::seconds(3)), b.STATUS);
    EXPECT_LT(CLOCK::now() - signalled, std::chrono::milliseconds(1000));
    EXPECT_EQ(e2e::READ_PATH(run.ERR_PATH), b.ERR);
    if (b.ANSWERS == atlas) {
      EXPECT_EQ(s.READ("atlas.msh"), atlas_normal.FILES_.at("atlas.msh"));
    }
  }
}

// Control-C at a terminal reaches the whole foreground job: the script's shell
// and the kovaconv it runs. kovaconv ends by SIGINT itself after its line and
// its whole records, so bash ends its loop too ("after" never comes), whether
// kovaconv waits at a question of the dialogue or in a blocked write of the
// command line. Answering status 0 instead, as if the user had meant it, made
// bash go on to the next file.
TEST_P(Faults, ControlCStopsTheCallingScript) {
  e2e::SCRATCH s;
  const std::string result = e2e::GENERATE(s, 400, 3);
  ASSERT_FALSE(result.empty());
  const std::string femap = "0\n0\n4\nout.neu\n";  // the step question stays unanswered
  const e2e::RUN normal = s.CONVERT(femap + "9\n");
  ASSERT_EQ(normal.STATUS, 3);
  const std::string model_blocks = s.READ("out.neu");  // the file as the step question finds it
  std::filesystem::remove(s.DIR / "out.neu");
  ASSERT_EQ(::mkfifo((s.DIR / "unread.neu").c_str(), 0644), 0);

  const std::string loop = std::string("for f in 1 2; do ") + KOVACONV_EXE;
  const struct { std::string SCRIPT, INPUT; } cases[] = {
      {loop + "; done; echo after", femap},
      {loop + " --to femap --output unread.neu result.bin; done; echo after", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.SCRIPT);
    int fds[2];
    ASSERT_EQ(::pipe2(fds, O_CLOEXEC), 0);
    const std::string out = (s.ROOT / "stdout").string(), err = (s.ROOT / "stderr").string();
    const pid_t shell = e2e::SPAWN(s.DIR, {"/bin/bash", "-c", c.SCRIPT}, {"", out, err}, {fds[0], -1, -1},
                                   environ, true);
    ::close(fds[0]);
    ASSERT_GT(shell, 0);
    ASSERT_TRUE(probe::SEND(fds[1], c.INPUT));
    if (c.INPUT.empty()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(500));  // blocked on the FIFO by now
    } else {
      ASSERT_TRUE(probe::WAIT_FOR_SIZE(out, STEP_QUESTION_END(normal.STDOUT)));
    }
    ::kill(-shell, SIGINT);
    // A loop that went on would wait for ever at its next run: give it 5 s.
    int status = 0;
    for (int ms = 0; ms < 5000 && ::waitpid(shell, &status, WNOHANG) == 0; ms += 10)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (::waitpid(shell, &status, WNOHANG) == 0) {
      ::kill(-shell, SIGKILL);
      ::waitpid(shell, &status, 0);
      ADD_FAILURE() << "the loop went on after control-C";
    }
    ::close(fds[1]);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << status;
    EXPECT_EQ(e2e::READ_PATH(err), "forrtl: error (200): program aborting due to control-C event\n");
    EXPECT_EQ(e2e::READ_PATH(out).find("after"), std::string::npos);
  }
  EXPECT_EQ(s.READ("out.neu"), model_blocks);
}
#endif
