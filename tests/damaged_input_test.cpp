// Runs on missing, short, cut and lying inputs: each ends in one of the written ways,
// with only whole records in the output, never with a crash.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "e2e_support.h"

namespace {

// Failure report NUMBER for UNIT on NAME in the scratch directory.
std::string REPORT(const e2e::SCRATCH& s, int number, int unit = 10, const std::string& name = "result.bin") {
  return e2e::SEVERE(number, unit, e2e::REPORTED_PATH(s, name));
}

// Convert FILE (as result.bin) with menu choice ITYPE, every step selected;
// the files the run leaves besides its inputs are taken away and returned.
std::map<std::string, std::string> OUTPUTS(const e2e::SCRATCH& s, const std::string& file, int itype, e2e::RUN& r) {
  s.WRITE("result.bin", file);
  r = s.CONVERT(e2e::ANSWERS(itype, "out.dat", -1));
  const auto files = s.FILES({"WORK.LST", "result.bin"});
  for (const auto& left : files) std::filesystem::remove(s.DIR / left.first);
  return files;
}

}  // namespace

// Ends before any output is opened: a missing work list or result file, a work list
// of three lines, a model part cut anywhere (no end-of-file recovery there), a record
// too short for its items, a count larger than its record (before anything is sized).
TEST(DamagedInput, EarlyEndsBeforeAnyOutput) {
  e2e::SCRATCH s;
  // Four nodes, two elements: title 88 bytes framed, count 12, nodes 152, count 12, elements 64.
  const std::string model = e2e::MODEL_PART("CUT", {{0, 0}, {1, 0}, {1, 1}, {0, 1}},
                                            {{{1, 2, 3, 4, 1}, 0.0}, {{2, 3, 1, 1, 1}, 0.0}});
  const std::string title = model.substr(0, 88), nodes = model.substr(100, 152);
  const std::string rest = model.substr(252), node = e2e::FRAME(std::string(36, '\0'));
  const std::string work = e2e::WORK_LIST("result.bin");
  const struct { std::string WORK_LIST, FILE, ERR; } cases[] = {
      {"", model, REPORT(s, 29, 98, "WORK.LST")},  // no WORK.LST
      {"one\ntwo\nresult.bin\n", model, REPORT(s, 24, 98, "WORK.LST")},
      {e2e::WORK_LIST("absent.bin"), model, REPORT(s, 29, 10, "absent.bin")},
      {e2e::WORK_LIST("result.bin/x"), model, REPORT(s, 29, 10, "result.bin/x")},  // a path through a file
      {work, "", REPORT(s, 24)},
      {work, title, REPORT(s, 24)},
      {work, model.substr(0, 150), REPORT(s, 24)},
      {work, model.substr(0, 264), REPORT(s, 24)},
      {work, model.substr(0, model.size() - 1), REPORT(s, 24)},
      {work, e2e::FRAME(std::string(79, 'T')) + model.substr(88), REPORT(s, 67)},  // title 79 bytes
      {work, title + model.substr(88, 12) + e2e::FRAME(nodes.substr(4, 143)) + rest, REPORT(s, 67)},
      {work, title + e2e::FRAME("") + nodes + rest, REPORT(s, 67)},  // empty count record
      {work, title + e2e::FRAME(e2e::INT4(2000000000)) + node, REPORT(s, 67)},
      {work, title + model.substr(88, 12) + nodes + e2e::FRAME(e2e::INT4(INT32_MAX)) + rest.substr(12),
       REPORT(s, 67)},
  };
  for (const auto& c : cases) {
    if (c.WORK_LIST.empty()) std::filesystem::remove(s.DIR / "WORK.LST");
    else s.WRITE("WORK.LST", c.WORK_LIST);
    s.WRITE("result.bin", c.FILE);
    e2e::RUN r = s.CONVERT(e2e::ANSWERS(2, "out.dat", 0));
    EXPECT_EQ(r.STATUS, e2e::REPORT_STATUS(std::stoi(c.ERR.substr(16)))) << c.ERR;
    EXPECT_EQ(r.ERR, c.ERR) << c.FILE.size();
    EXPECT_FALSE(s.EXISTS("out.dat"));
  }
  // Negative counts read no items.
  const std::string none = e2e::FRAME("");
  s.WRITE("result.bin", title + e2e::FRAME(e2e::INT4(-5)) + none + e2e::FRAME(e2e::INT4(-1)) + none +
                            e2e::FRAME(e2e::INT4(4) + e2e::REAL8(2.0)) + none + none);
  EXPECT_EQ(s.CONVERT(e2e::ANSWERS(2, "out.dat", 0)).STATUS, 0);
  EXPECT_TRUE(s.READ("out.dat").ends_with("\r\nZONE N=    -5, E=     0, F=FEPOINT\r\n"));
}

// A generated file cut at every byte of its last two steps, each cut with another
// menu choice and every step selected: only a cut where a step would start is the
// normal end, any other the end-of-file report; either way, and after a step's node
// record one byte short (report 67), the outputs are what an uncut run writes for
// the steps read whole.
TEST(DamagedInput, GeneratedFileCutAtEveryOffsetOfTheLastTwoSteps) {
  e2e::SCRATCH s;
  const std::string whole = e2e::GENERATE(s, 4, 3);
  // Record starts, from the length fields: five model records, three per step.
  const std::vector<std::size_t> starts = e2e::RECORD_STARTS(whole);
  ASSERT_EQ(starts.size(), 5U + 3 * 3);
  const std::size_t step_end[] = {starts[5], starts[8], starts[11]};  // after 0, 1, 2 steps
  const std::string short_nodes = e2e::FRAME(std::string(starts[7] - starts[6] - 9, '\0'));

  e2e::RUN r;
  std::map<std::string, std::string> uncut[5][3];  // by menu choice and whole steps
  for (int itype = 1; itype <= 4; ++itype) {
    for (int steps = 1; steps <= 2; ++steps) {
      uncut[itype][steps] = OUTPUTS(s, whole.substr(0, step_end[steps]), itype, r);
      ASSERT_EQ(r.STATUS, 0);
    }
    EXPECT_EQ(OUTPUTS(s, whole.substr(0, step_end[2] + 20) + short_nodes, itype, r), uncut[itype][2]);
    EXPECT_EQ(r.ERR, REPORT(s, 67));
  }
  for (std::size_t cut = step_end[1]; cut < whole.size(); ++cut) {
    const int itype = 1 + static_cast<int>(cut % 4), steps = cut >= step_end[2] ? 2 : 1;
    const bool normal = cut == step_end[steps];
    const auto files = OUTPUTS(s, whole.substr(0, cut), itype, r);
    ASSERT_EQ(r.SIGNAL, 0) << cut;
    EXPECT_EQ(r.STATUS, normal ? 0 : e2e::REPORT_STATUS(24)) << cut;
    EXPECT_EQ(r.ERR, normal ? "" : REPORT(s, 24)) << cut;
    EXPECT_EQ(files, uncut[itype][steps]) << cut;
  }
}
