// Runs on missing, short, cut and lying inputs: each ends in one of the
// written ways (normal end, end-of-file report, too-much-data report) with
// only whole records in the output, never with a crash.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "e2e_support.h"

namespace {

// A model of four nodes and two elements (a square and a triangle).
std::string MODEL() {
  return e2e::MODEL_PART("CUT", {{0, 0, 0, 0, 0}, {1, 0, 0, 0, 0}, {1, 1, 0, 0, 0}, {0, 1, 0, 0, 0}},
                         {{{1, 2, 3, 4, 1}, 0.0}, {{2, 3, 1, 1, 1}, 0.0}});
}

// Step N of that model.
std::string STEP(int n) {
  const double h = n;
  return e2e::STEP(n, 10.0 * n, {{0, h, 0}, {1, h, 0}, {0, h, 0}, {1, h, 0}},
                   {{1.0 * n, 0.0}, {0.0, -1.0 * n}});
}
constexpr std::size_t HEADER_BYTES = 20;

std::string REPORT(int number, const std::string& message, int unit, const std::string& path) {
  return "forrtl: severe (" + std::to_string(number) + "): " + message + ", unit " +
         std::to_string(unit) + ", file " + path + "\n";
}

std::string END_OF_FILE(const e2e::SCRATCH& s, int unit, const std::string& name) {
  return REPORT(24, "end-of-file during read", unit, e2e::REPORTED_PATH(s, name));
}

std::string TOO_MUCH_DATA(const e2e::SCRATCH& s) {
  return REPORT(67, "input statement requires too much data", 10, e2e::REPORTED_PATH(s, "result.bin"));
}

std::vector<std::string> FILES(const e2e::SCRATCH& s) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(s.DIR))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

// The work list and the result file must exist; the work list needs four lines.
TEST(DamagedInput, MissingFilesAndShortWorkList) {
  e2e::SCRATCH s;
  const std::string answers = e2e::ANSWERS(2, "out.dat", 0);

  e2e::RUN r = s.CONVERT(answers);
  EXPECT_EQ(r.STATUS, 29);
  EXPECT_EQ(r.ERR, REPORT(29, "file not found", 98, e2e::REPORTED_PATH(s, "WORK.LST")));
  EXPECT_TRUE(r.OUT.ends_with("**********************************************\r\n   INPUT No. ? =\r\n"));
  EXPECT_TRUE(FILES(s).empty());

  s.WRITE("WORK.LST", "one\ntwo\nresult.bin\n");
  s.WRITE("result.bin", MODEL());
  r = s.CONVERT(answers);
  EXPECT_EQ(r.STATUS, 24);
  EXPECT_EQ(r.ERR, END_OF_FILE(s, 98, "WORK.LST"));

  s.WRITE("WORK.LST", e2e::WORK_LIST("absent.bin"));
  r = s.CONVERT(answers);
  EXPECT_EQ(r.STATUS, 29);
  EXPECT_EQ(r.ERR, REPORT(29, "file not found", 10, e2e::REPORTED_PATH(s, "absent.bin")));
  EXPECT_EQ(FILES(s), (std::vector<std::string>{"WORK.LST", "result.bin"}));

  // A fourth line without a line feed is still a whole line.
  s.WRITE("WORK.LST", "a\nb\nc\nresult.bin");
  r = s.CONVERT(answers);
  EXPECT_EQ(r.STATUS, 0);
  EXPECT_EQ(r.ERR, "");
}

// The model part has no end-of-file recovery; too short a record is report 67.
TEST(DamagedInput, ModelPartCutOrShort) {
  e2e::SCRATCH s;
  s.WRITE("WORK.LST", e2e::WORK_LIST("result.bin"));
  const std::string model = MODEL();
  const std::string answers = e2e::ANSWERS(2, "out.dat", 0);

  // Cut after the title, inside the node record, before the element record.
  for (std::size_t cut : {std::size_t{0}, std::size_t{88}, std::size_t{88 + 12 + 50},
                          model.size() - 64, model.size() - 1}) {
    s.WRITE("result.bin", model.substr(0, cut));
    e2e::RUN r = s.CONVERT(answers);
    EXPECT_EQ(r.STATUS, 24) << cut;
    EXPECT_EQ(r.ERR, END_OF_FILE(s, 10, "result.bin")) << cut;
    EXPECT_TRUE(r.OUT.ends_with("*\r\n   INPUT No. ? =\r\n")) << cut;
    EXPECT_FALSE(s.EXISTS("out.dat"));
  }

  // A title of 79 bytes; a node record one byte short; an empty count record.
  const std::string nodes = model.substr(88 + 12, 8 + 4 * 36);
  const std::string rest = model.substr(88 + 12 + 8 + 4 * 36);
  const std::vector<std::string> short_records = {
      e2e::FRAME(std::string(79, 'T')) + model.substr(88),
      model.substr(0, 88 + 12) + e2e::FRAME(nodes.substr(4, 4 * 36 - 1)) + rest,
      model.substr(0, 88 + 12) + nodes + e2e::FRAME("") + rest.substr(12),
  };
  for (const std::string& file : short_records) {
    s.WRITE("result.bin", file);
    e2e::RUN r = s.CONVERT(answers);
    EXPECT_EQ(r.STATUS, 67);
    EXPECT_EQ(r.ERR, TOO_MUCH_DATA(s));
  }

  // A record holding more than its items: the rest of it is skipped.
  s.WRITE("result.bin", model.substr(0, 88 + 12) + e2e::FRAME(nodes.substr(4, 4 * 36) + "EXTRA") +
                            rest + STEP(1));
  e2e::RUN r = s.CONVERT(answers);
  EXPECT_EQ(r.STATUS, 0);
  EXPECT_TRUE(s.READ("out.dat").starts_with("TITLE = \"TIME=  1.0000E+01 CUT "));
}

// A count larger than its record ends the run before any storage is sized to
// it; negative counts read no items; lengths that lie are the end of the file.
TEST(DamagedInput, CountsAndLengthsThatLie) {
  e2e::SCRATCH s;
  s.WRITE("WORK.LST", e2e::WORK_LIST("result.bin"));
  const std::string answers = e2e::ANSWERS(2, "out.dat", -1);
  const std::string title = e2e::FRAME(e2e::PADDED("HUGE", 80));
  const std::string one_node = e2e::FRAME(std::string(36, '\0'));
  const std::string one_element = e2e::FRAME(std::string(28, '\0'));

  for (const std::string& file :
       {title + e2e::FRAME(e2e::INT4(2000000000)) + one_node,
        title + e2e::FRAME(e2e::INT4(1)) + one_node + e2e::FRAME(e2e::INT4(2147483647)) + one_element}) {
    s.WRITE("result.bin", file);
    e2e::RUN r = s.CONVERT(answers);
    EXPECT_EQ(r.STATUS, 67);
    EXPECT_EQ(r.SIGNAL, 0);
    EXPECT_EQ(r.ERR, TOO_MUCH_DATA(s));
  }

  // NUMNP -5 and NUMEL -1: every node and element record is consumed empty.
  s.WRITE("result.bin", title + e2e::FRAME(e2e::INT4(-5)) + e2e::FRAME("") + e2e::FRAME(e2e::INT4(-1)) +
                            e2e::FRAME("") + e2e::FRAME(e2e::INT4(4) + e2e::REAL8(2.0)) +
                            e2e::FRAME("") + e2e::FRAME(""));
  e2e::RUN r = s.CONVERT(answers);
  EXPECT_EQ(r.STATUS, 0);
  EXPECT_NE(r.OUT.find(" \x90\xDF\x93\x5F\x91\x8D\x90\x94\x81\x40          -5"), std::string::npos);
  EXPECT_EQ(s.READ("out.dat"), "TITLE = \"TIME=  2.0000E+00 HUGE" + std::string(76, ' ') +
                                   "\"\r\nVARIABLES = \"X\",\"Y\",\"H\",\"VX\",\"VY\",\"V\"\r\n"
                                   "ZONE N=    -5, E=     0, F=FEPOINT\r\n");

  // Where a step is due, a negative length or one beyond the end of the file
  // ends the steps normally; inside a step it is the end-of-file report.
  const std::string model = MODEL();
  // A length of 13 over 12 bytes runs past the end; over 80 bytes it frames
  // a record of 13 bytes, too short for the node values.
  for (std::int32_t length : {-1, 2147483647, 13}) {
    s.WRITE("result.bin", model + STEP(1) + e2e::FRAME_WITH_LENGTH(length, std::string(12, '\0')));
    r = s.CONVERT(answers);
    EXPECT_EQ(r.STATUS, 0) << length;
    EXPECT_EQ(r.ERR, "") << length;
    s.WRITE("result.bin", model + STEP(1).substr(0, HEADER_BYTES) +
                              e2e::FRAME_WITH_LENGTH(length, std::string(80, '\0')));
    r = s.CONVERT(answers);
    EXPECT_EQ(r.STATUS, length == 13 ? 67 : 24) << length;
    EXPECT_EQ(r.ERR, length == 13 ? TOO_MUCH_DATA(s) : END_OF_FILE(s, 10, "result.bin")) << length;
  }

  // A step's node record too short: report 67, the earlier block kept.
  std::string second = STEP(2);
  s.WRITE("result.bin", model + STEP(1) + second.substr(0, HEADER_BYTES) +
                            e2e::FRAME(std::string(79, '\0')) + second.substr(HEADER_BYTES + 88));
  r = s.CONVERT(answers);
  EXPECT_EQ(r.STATUS, 67);
  EXPECT_EQ(r.ERR, TOO_MUCH_DATA(s));
  const std::string out = s.READ("out.dat");
  EXPECT_TRUE(out.starts_with("TITLE = \"TIME=  1.0000E+01 "));
  EXPECT_EQ(out.find("TITLE", 1), std::string::npos);
  EXPECT_TRUE(out.ends_with("    2,    3,    1,    1\r\n"));
}

// A generated file cut at every byte of its last two steps, each cut with
// another menu choice and every step selected. A cut inside a step header is
// the normal end, a cut inside a step's body the end-of-file report; either
// way every output holds what the whole run writes for the steps read whole.
TEST(DamagedInput, GeneratedFileCutAtEveryOffsetOfTheLastTwoSteps) {
  e2e::SCRATCH s;
  e2e::RUN gen = e2e::RUN_PROGRAM(s.DIR, KOVAGEN_EXE, "",
                                  {"--nodes", "4", "--steps", "3", "--name", "result.bin"});
  ASSERT_EQ(gen.STATUS, 0) << gen.ERR;
  const std::string whole = s.READ("result.bin");

  // Record starts, from the length fields: five model records, three per step.
  std::vector<std::size_t> starts;
  for (std::size_t at = 0; at + 4 <= whole.size();) {
    starts.push_back(at);
    std::uint32_t len = 0;
    for (int i = 0; i < 4; ++i)
      len |= static_cast<std::uint32_t>(static_cast<unsigned char>(whole[at + i])) << (8 * i);
    at += len + 8;
  }
  ASSERT_EQ(starts.size(), 5U + 3 * 3);
  const std::size_t step_start[] = {starts[5], starts[8], starts[11]};

  // What each run leaves, by menu choice and number of whole steps read.
  std::map<std::pair<int, int>, std::map<std::string, std::string>> seen;
  auto outputs = [&] {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(s.DIR)) {
      const std::string name = entry.path().filename().string();
      if (name != "WORK.LST" && name != "result.bin") files[name] = s.READ(name);
    }
    for (const auto& [name, bytes] : files) std::filesystem::remove(s.DIR / name);
    return files;
  };

  s.WRITE("result.bin", whole);
  for (int itype = 1; itype <= 4; ++itype) {
    ASSERT_EQ(s.CONVERT(e2e::ANSWERS(itype, "out.dat", -1)).STATUS, 0);
    seen[{itype, 3}] = outputs();
  }

  for (std::size_t cut = step_start[1]; cut < whole.size(); ++cut) {
    s.WRITE("result.bin", whole.substr(0, cut));
    const int itype = 1 + static_cast<int>(cut % 4);
    e2e::RUN r = s.CONVERT(e2e::ANSWERS(itype, "out.dat", -1));
    const int steps = cut >= step_start[2] ? 2 : 1;
    const bool normal = cut - step_start[steps] < HEADER_BYTES;
    ASSERT_EQ(r.SIGNAL, 0) << cut;
    EXPECT_EQ(r.STATUS, normal ? 0 : 24) << cut;
    EXPECT_EQ(r.ERR, normal ? "" : END_OF_FILE(s, 10, "result.bin")) << cut;
    const auto files = outputs();
    for (const auto& [name, bytes] : files)
      EXPECT_TRUE(bytes.empty() || bytes.ends_with("\r\n")) << name << " cut " << cut;
    auto [first, fresh] = seen.try_emplace({itype, steps}, files);
    if (!fresh) {
      EXPECT_EQ(files, first->second) << "cut " << cut;
    }
  }

  // More whole steps give longer outputs that begin with the shorter ones.
  for (int itype = 1; itype <= 4; ++itype)
    for (int steps = 1; steps < 3; ++steps)
      for (const auto& [name, shorter] : seen.at({itype, steps})) {
        const std::string& longer = seen.at({itype, steps + 1}).at(name);
        EXPECT_TRUE(longer.starts_with(shorter)) << itype << " " << name << " " << steps;
        if (name != "atlas.msh") {
          EXPECT_LT(shorter.size(), longer.size()) << itype << " " << name;
        }
      }
}
