// kovainfo, kova2vtk and kova2csv on a small hand-made result file: the JSON
// report and a CSV table worked out by hand, where each kind of damage is
// found, and which VTK files a damaged file, a step list and a stray corner
// lead to. The values inside
// the VTK files are checked through VTK's own reader (vtk_roundtrip.py).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "e2e_support.h"

namespace {

using e2e::ELEMENT;
using e2e::ELEMENT_RESULT;
using e2e::NODE;
using e2e::NODE_RESULT;

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double INF = std::numeric_limits<double>::infinity();

// Title bytes in code page 932: a quote, a backslash, a bell, HIRAGANA A
// (82 A0) and FF, which starts no character.
const std::string TITLE = "A\"\\\x07\x82\xA0\xFF";

// Five nodes; element 1 a quadrilateral, 2 a triangle with its third corner
// repeated, 3 a triangle with fourth corner 0 and attribute 0, 4 attribute
// -1 with two stray corners (9 and -3). Model part: records of 80, 4, 180, 4
// and 112 data bytes end at 420; each step takes 20 + 108 + 72 = 200 bytes, so
// step 2 starts at 620 and its element record at 748; the file ends at 820.
std::string MODEL() {
  return e2e::MODEL_PART(TITLE,
                         {NODE{0, 0}, NODE{10, 0}, NODE{10, 10}, NODE{0, 10}, NODE{-2.5, 20}},
                         {ELEMENT{{1, 2, 3, 4, 1}}, ELEMENT{{2, 3, 5, 5, 2}},
                          ELEMENT{{1, 3, 4, 0, 0}}, ELEMENT{{1, 9, -3, 4, -1}}});
}
// Step 1: heads -3..4, element speeds 5, 1, 10 and 0. Step 2: a NaN head and
// an infinite velocity, which JSON shows as null.
std::string STEP_1() {
  return e2e::STEP(10, 0.5, {NODE_RESULT{0, 1}, {0, 2.5}, {0, -3}, {0, 4}, {0, 0.25}},
                   {ELEMENT_RESULT{3, 4}, {0, -1}, {6, 8}, {0, 0}});
}
std::string STEP_2() {
  return e2e::STEP(20, 1e300, {NODE_RESULT{0, 1}, {0, NaN}, {0, 2}, {0, 3}, {0, 4}},
                   {ELEMENT_RESULT{INF, 0}, {0, 0}, {0, 0}, {0, 0}});
}

// The whole file, and a copy cut off inside step 2's element record.
const std::string WHOLE = MODEL() + STEP_1() + STEP_2();
void WRITE_WHOLE_AND_CUT(const e2e::SCRATCH& s) {
  s.WRITE("r.bin", WHOLE);
  s.WRITE("cut.bin", WHOLE.substr(0, 810));
}

e2e::RUN RUN(const e2e::SCRATCH& s, const char* exe, const std::vector<std::string>& args) {
  return e2e::RUN_PROGRAM(s.DIR, exe, "", args);
}

// A .pvd collection listing each (time, file) as a data set.
std::string COLLECTION(const std::vector<std::pair<std::string, std::string>>& sets) {
  std::string x = "<?xml version=\"1.0\"?>\n<VTKFile type=\"Collection\" version=\"0.1\" "
                  "byte_order=\"LittleEndian\">\n  <Collection>\n";
  for (const auto& [time, file] : sets)
    x += "    <DataSet timestep=\"" + time + "\" group=\"\" part=\"0\" file=\"" + file + "\"/>\n";
  return x + "  </Collection>\n</VTKFile>\n";
}

}  // namespace

TEST(Kovainfo, JsonReportOfEveryFieldWorkedOutByHand) {
  e2e::SCRATCH s;
  s.WRITE("r.bin", WHOLE);
  const e2e::RUN run = RUN(s, KOVAINFO_EXE, {"--json", "r.bin"});
  EXPECT_EQ(run.STATUS, 0);
  EXPECT_EQ(run.STDOUT,
            "{\"title\": \"A\\\"\\\\\\u0007\xE3\x81\x82\xEF\xBF\xBD\", \"nodes\": 5, \"elements\": 4, "
            "\"quadrilaterals\": 2, \"triangles\": 2, \"not_counted\": 2, \"stray_corners\": 2, "
            "\"extent\": [-2.5, 10, 0, 20], \"steps\": ["
            "{\"index\": 1, \"step\": 10, \"time\": 0.5, \"head_min\": -3, \"head_max\": 4, \"speed_max\": 10}, "
            "{\"index\": 2, \"step\": 20, \"time\": 1e+300, \"head_min\": null, \"head_max\": null, "
            "\"speed_max\": null}], \"end\": {\"clean\": true}}\n");
  // The text report shows the bell as a blank.
  const e2e::RUN text = RUN(s, KOVAINFO_EXE, {"r.bin"});
  EXPECT_EQ(text.STDOUT.substr(0, text.STDOUT.find('\n')), "title           A\"\\ \xE3\x81\x82\xEF\xBF\xBD");
  EXPECT_NE(text.STDOUT.find("\nend             clean end after 2 steps\n"), std::string::npos);
}

TEST(Kovainfo, DamageFoundWhereItLiesAfterEveryWholeStep) {
  const std::string model = MODEL(), step1 = STEP_1(), step2 = STEP_2();
  // Where the damage lies and why (the JSON end object); STEPS whole steps are listed before it.
  const struct { const char* what; std::string file; int byte; const char* reason; int steps; } cases[] = {
      {"two bytes after the last step", WHOLE + std::string("\x0c\0", 2), 820,
       "the file ends inside a record length field", 2},
      {"cut in step 2's header", WHOLE.substr(0, 630), 620, "record length runs past the end of the file", 1},
      {"cut in step 2's elements", WHOLE.substr(0, 810), 748, "record length runs past the end of the file", 1},
      {"negative length of step 2's nodes", model + step1 + step2.substr(0, 20) + e2e::INT4(-1) + step2.substr(24),
       640, "negative record length", 1},
      {"step 2's elements: room for three of four", model + step1 + step2.substr(0, 128) +
       e2e::FRAME(std::string(48, '\0')), 748, "record too short for its items", 1},
      {"model part ends after the nodes", WHOLE.substr(0, 288), 288, "the file ends where a record is due", 0},
      {"step 2's node record: trailing length field 99", model + step1 + step2.substr(0, 124) + e2e::INT4(99) +
       step2.substr(128), 640, "trailing length 99 differs from leading length 100", 1},
      {"step 2's header padded to 16 bytes, trailing length 17", model + step1 + e2e::INT4(16) +
       step2.substr(4, 12) + "PADS" + e2e::INT4(17) + step2.substr(20), 620,
       "trailing length 17 differs from leading length 16", 1},
      // Last: a node count far beyond its record, found from the length field
      // (nothing allocated for it); what was not read is null.
      {"node count beyond its record", model.substr(0, 88) + e2e::FRAME(e2e::INT4(1000000000)) + model.substr(100),
       100, "record too short for its items", 0},
  };
  e2e::SCRATCH s;
  e2e::RUN run;
  for (const auto& c : cases) {
    s.WRITE("r.bin", c.file);
    run = RUN(s, KOVAINFO_EXE, {"--json", "r.bin"});
    EXPECT_EQ(run.STATUS, 1) << c.what;
    EXPECT_NE(run.STDOUT.find("\"end\": {\"clean\": false, \"byte\": " + std::to_string(c.byte) + ", \"reason\": \"" +
                           c.reason + "\"}}\n"), std::string::npos) << c.what << ": " << run.STDOUT;
    EXPECT_EQ(run.STDOUT.find("\"index\": " + std::to_string(c.steps + 1)), std::string::npos) << c.what;
    if (c.steps > 0) {
      EXPECT_NE(run.STDOUT.find("\"index\": " + std::to_string(c.steps)), std::string::npos) << c.what;
    }
  }
  EXPECT_NE(run.STDOUT.find("\"nodes\": 1000000000, \"elements\": null,"), std::string::npos) << run.STDOUT;
  run = RUN(s, KOVAINFO_EXE, {"r.bin"});
  EXPECT_NE(run.STDOUT.find("\nend             damaged at byte 100: record too short for its items\n"),
            std::string::npos) << run.STDOUT;
}

// A file whose first record is no title record is not a result file: one line
// on standard error that says what was found there, status 1, no report and
// nothing written. A file that starts as a result file stays "damaged".
TEST(Kovainfo, NotAResultFileSaysWhatItFound) {
  const struct { const char* what; std::string file; std::string found; } cases[] = {
      {"empty", "", "the file is empty"},
      {"two bytes", "\x50\x4b", "the file is only 2 bytes long"},
      {"a PNG", "\x89PNG\r\n\x1a\n" + std::string(40, '\0'),
       "first record length 1196314761 runs past the end of the file (48 bytes)"},
      {"a text", "# README\n", "first record length 1163010083 runs past the end of the file (9 bytes)"},
      {"an 8-byte first record", e2e::FRAME("12345678") + MODEL().substr(88),
       "first record is 8 bytes, not the 80-byte title"},
      {"a negative length", e2e::INT4(-80) + MODEL().substr(4), "first record length -80 is negative"},
      {"a title whose trailing length differs", MODEL().substr(0, 84) + e2e::INT4(81) + MODEL().substr(88),
       "first record's trailing length 81 differs from its leading length 80"},
  };
  e2e::SCRATCH s;
  for (const auto& c : cases) {
    s.WRITE("r.bin", c.file);
    e2e::RUN info = RUN(s, KOVAINFO_EXE, {"--json", "r.bin"});
    EXPECT_EQ(info.STATUS, 1) << c.what;
    EXPECT_EQ(info.STDOUT, "") << c.what;
    EXPECT_EQ(info.ERR, "kovainfo: r.bin: not a result file: " + c.found + "\n") << c.what;
    e2e::RUN vtk = RUN(s, KOVA2VTK_EXE, {"--out", "o", "r.bin"});
    EXPECT_EQ(vtk.STATUS, 1) << c.what;
    EXPECT_EQ(vtk.ERR, "kova2vtk: r.bin: not a result file: " + c.found + "\n") << c.what;
    EXPECT_FALSE(s.EXISTS("o")) << c.what;
  }
}

TEST(Kova2vtk, StepListsDamageAndLeftOutElements) {
  e2e::SCRATCH s;
  WRITE_WHOLE_AND_CUT(s);

  // Every step, default names; element 4 has stray corners and is left out.
  e2e::RUN run = RUN(s, KOVA2VTK_EXE, {"r.bin"});
  EXPECT_EQ(run.STATUS, 0);
  EXPECT_EQ(run.ERR, "kova2vtk: warning: 1 elements left out: a corner names no node of the model\n");
  EXPECT_EQ(s.READ("r.pvd"), COLLECTION({{"0.5", "r_0001.vtu"}, {"1e+300", "r_0002.vtu"}}));
  EXPECT_NE(s.READ("r_0001.vtu").find("NumberOfPoints=\"5\" NumberOfCells=\"3\""), std::string::npos);

  // A NaN time leaves its step out of the collection only.
  std::string nan_time = WHOLE;
  nan_time.replace(628, 8, e2e::REAL8(NaN));
  s.WRITE("nan.bin", nan_time);
  run = RUN(s, KOVA2VTK_EXE, {"--out", "nan", "--name", "r", "nan.bin"});
  EXPECT_EQ(run.STATUS, 0);
  EXPECT_NE(run.ERR.find("kova2vtk: warning: time step 20 has time nan; r_0002.vtu is left out of the "
                         "collection\n"), std::string::npos) << run.ERR;
  EXPECT_EQ(s.READ("nan/r.pvd"), COLLECTION({{"0.5", "r_0001.vtu"}}));
  EXPECT_TRUE(s.EXISTS("nan/r_0002.vtu"));

  // Damage: the whole step is written and listed, one line says where; the
  // final whole step is the same file whichever way it was chosen.
  for (const char* steps : {"all", "final", "10,20"}) {
    run = RUN(s, KOVA2VTK_EXE, {"--steps", steps, "--out", "cut", "--name", "c", "cut.bin"});
    EXPECT_EQ(run.STATUS, 1) << steps;
    EXPECT_NE(run.ERR.find("kova2vtk: cut.bin: damaged at byte 748: record length runs past the end of "
                           "the file; 1 whole steps before it\n"), std::string::npos) << run.ERR;
    EXPECT_EQ(s.READ("cut/c.pvd"), COLLECTION({{"0.5", "c_0001.vtu"}})) << steps;
    EXPECT_EQ(s.READ("cut/c_0001.vtu"), s.READ("r_0001.vtu")) << steps;
    EXPECT_FALSE(s.EXISTS("cut/c_0002.vtu"));
    EXPECT_EQ(s.ENTRIES("cut"), 2);  // no part file left
  }

  // A list that names step 20 and an absent one; then only absent ones.
  run = RUN(s, KOVA2VTK_EXE, {"--steps", "20,7", "--out", "list", "r.bin"});
  EXPECT_EQ(run.STATUS, 0);
  EXPECT_NE(run.ERR.find("kova2vtk: warning: time step 7 is not in the result file\n"), std::string::npos);
  EXPECT_EQ(s.READ("list/r.pvd"), COLLECTION({{"1e+300", "r_0002.vtu"}}));
  run = RUN(s, KOVA2VTK_EXE, {"--steps", "7,8", "--out", "none", "r.bin"});
  EXPECT_EQ(run.STATUS, 1);
  EXPECT_FALSE(s.EXISTS("none/r.pvd"));

#if !defined(_WIN32)
  // A refused write (a 1 KiB file-size limit) leaves no cut step file behind.
  run = e2e::RUN_PROGRAM(s.DIR, "/bin/sh", "",
                         {"-c", std::string("ulimit -f 1; exec ") + KOVA2VTK_EXE + " --out full r.bin"});
  EXPECT_EQ(run.STATUS, 1);
  EXPECT_NE(run.ERR.find("full/r_0001.vtu: File too large\n"), std::string::npos) << run.ERR;
  EXPECT_EQ(s.READ("full/r.pvd"), COLLECTION({}));
  EXPECT_EQ(s.ENTRIES("full"), 1);
#endif
}

// Every program takes options one way: --help and --version answer on standard
// output and nothing else happens; "--opt value" and "--opt=value" alike; "--"
// ends the options. A usage error is one line naming the fault and pointing to
// --help, status 2, with nothing read or written; a result file that cannot be
// opened is one line and status 2 too. kovaconv without options runs the
// dialogue, its arguments standing in for blank names.
TEST(Usage, EveryProgramTheSameWay) {
  e2e::SCRATCH s;
  s.WRITE("r.bin", MODEL() + STEP_1());
  const std::string see = " (see kovaconv --help)\n";
  const struct { const char* EXE; std::vector<std::string> ARGS; std::int64_t STATUS; std::string STDOUT, ERR; } cases[] = {
      {KOVACONV_EXE, {"--version"}, 0, "kovaconv " KOVA_VERSION "\n", ""},
      {KOVAGEN_EXE, {"--version"}, 0, "kovagen " KOVA_VERSION "\n", ""},
      {KOVAINFO_EXE, {"--version", "r.bin"}, 0, "kovainfo " KOVA_VERSION "\n", ""},
      {KOVA2VTK_EXE, {"--version"}, 0, "kova2vtk " KOVA_VERSION "\n", ""},
      {KOVA2CSV_EXE, {"--version"}, 0, "kova2csv " KOVA_VERSION "\n", ""},
      {KOVACONV_EXE, {"-h"}, 0, "usage: kovaconv", ""},
      {KOVACONV_EXE, {"r.bin", "--help"}, 0, "usage: kovaconv", ""},
      {KOVAGEN_EXE, {"--help"}, 0, "usage: kovagen", ""},
      {KOVAINFO_EXE, {"-h"}, 0, "usage: kovainfo", ""},
      {KOVA2VTK_EXE, {"--help"}, 0, "usage: kova2vtk", ""},
      {KOVA2CSV_EXE, {"--at", "1", "-h"}, 0, "usage: kova2csv", ""},
      {KOVACONV_EXE, {"--frobnicate"}, 2, "", "kovaconv: unknown option '--frobnicate'" + see},
      {KOVACONV_EXE, {"--frob=1", "r.bin"}, 2, "", "kovaconv: unknown option '--frob'" + see},
      {KOVACONV_EXE, {"-x", "r.bin"}, 2, "", "kovaconv: unknown option '-x'" + see},
      {KOVACONV_EXE, {"r.bin", "--to"}, 2, "", "kovaconv: option '--to' needs a value" + see},
      {KOVACONV_EXE, {"--help=yes"}, 2, "", "kovaconv: option '--help' takes no value" + see},
      {KOVACONV_EXE, {"--to=csv", "r.bin"}, 2, "",
       "kovaconv: --to takes restart, tecplot, atlas or femap, not 'csv'" + see},
      {KOVACONV_EXE, {"-t", "TECPLOT", "r.bin"}, 2, "",
       "kovaconv: --to takes restart, tecplot, atlas or femap, not 'TECPLOT'" + see},
      {KOVACONV_EXE, {"-s", "1", "r.bin"}, 2, "", "kovaconv: --to TYPE is needed with other options" + see},
      {KOVACONV_EXE, {"-t", "femap"}, 2, "", "kovaconv: no result file named" + see},
      {KOVACONV_EXE, {"-t", "femap", "r.bin", "r.bin"}, 2, "", "kovaconv: more than one result file named" + see},
      {KOVACONV_EXE, {"-tfemap", "-s", "first", "r.bin"}, 2, "",
       "kovaconv: --step takes a step number, a list of them, final or all, not 'first'" + see},
      {KOVACONV_EXE, {"-t", "femap", "--step=1,,2", "r.bin"}, 2, "",
       "kovaconv: --step takes a step number, a list of them, final or all, not '1,,2'" + see},
      {KOVACONV_EXE, {"-t", "femap", "-s", "true", "r.bin"}, 2, "",
       "kovaconv: --step takes a step number, a list of them, final or all, not 'true'" + see},
      {KOVACONV_EXE, {"-t", "femap", "-s", "99999999999", "r.bin"}, 2, "",
       "kovaconv: --step takes a step number, a list of them, final or all, not '99999999999'" + see},
      {KOVACONV_EXE, {"-t", "femap", "--output=", "r.bin"}, 2, "", "kovaconv: --output needs a name" + see},
      {KOVACONV_EXE, {"-t", "femap", "--threads", "0", "r.bin"}, 2, "",
       "kovaconv: --threads takes a number from 1 to 64, not '0'" + see},
      {KOVACONV_EXE, {"-t", "femap", "-j65", "r.bin"}, 2, "", "kovaconv: --threads takes a number from 1 to 64, not '65'" + see},
      {KOVACONV_EXE, {"-t", "femap", "--threads=2x", "r.bin"}, 2, "",
       "kovaconv: --threads takes a number from 1 to 64, not '2x'" + see},
      {KOVACONV_EXE, {"-t", "femap", "--threads=+2", "r.bin"}, 2, "",
       "kovaconv: --threads takes a number from 1 to 64, not '+2'" + see},
      {KOVAGEN_EXE, {"--nodes", "3"}, 2, "", "kovagen: bad --nodes '3' (see kovagen --help)\n"},
      {KOVAGEN_EXE, {"extra"}, 2, "", "kovagen: unexpected argument 'extra' (see kovagen --help)\n"},
      {KOVAINFO_EXE, {}, 2, "", "kovainfo: no result file named (see kovainfo --help)\n"},
      {KOVAINFO_EXE, {"--jsn", "r.bin"}, 2, "", "kovainfo: unknown option '--jsn' (see kovainfo --help)\n"},
      {KOVAINFO_EXE, {"r.bin", "r.bin"}, 2, "", "kovainfo: more than one result file (see kovainfo --help)\n"},
      {KOVA2VTK_EXE, {"--steps", "1,,2", "r.bin"}, 2, "", "kova2vtk: bad --steps '1,,2' (see kova2vtk --help)\n"},
      {KOVA2VTK_EXE, {"--steps"}, 2, "", "kova2vtk: option '--steps' needs a value (see kova2vtk --help)\n"},
      {KOVA2VTK_EXE, {"--name=a/b", "r.bin"}, 2, "", "kova2vtk: bad --name 'a/b' (see kova2vtk --help)\n"},
      {KOVA2VTK_EXE, {}, 2, "", "kova2vtk: no result file named (see kova2vtk --help)\n"},
      {KOVA2CSV_EXE, {"r.bin"}, 2, "", "kova2csv: no place given (--nodes, --at or --at-file) (see kova2csv --help)\n"},
      {KOVA2CSV_EXE, {"--at", "1", "r.bin"}, 2, "", "kova2csv: bad --at '1' (expected X,Y) (see kova2csv --help)\n"},
      {KOVA2CSV_EXE, {"--nodes=final", "r.bin"}, 2, "", "kova2csv: bad --nodes 'final' (see kova2csv --help)\n"},
      {KOVA2CSV_EXE, {"--what", "head,depth", "--nodes", "1", "r.bin"}, 2, "",
       "kova2csv: bad --what 'head,depth' (head, flux, vx, vy, speed) (see kova2csv --help)\n"},
      {KOVA2CSV_EXE, {"--at-file", "absent.csv", "r.bin"}, 2, "", "kova2csv: absent.csv: "},
      // Not usage errors, but the same status and one line.
      {KOVAINFO_EXE, {"absent.bin"}, 2, "", "kovainfo: absent.bin: "},
      {KOVA2VTK_EXE, {"absent.bin"}, 2, "", "kova2vtk: absent.bin: "},
      {KOVA2CSV_EXE, {"--nodes", "1", "absent.bin"}, 2, "", "kova2csv: absent.bin: "},
      // Node 9 is not in the model; (50, 50) lies in no counted element.
      {KOVA2CSV_EXE, {"--nodes", "9", "r.bin"}, 2, "", "kova2csv: node 9 is not in the model (5 nodes)\n"},
      {KOVA2CSV_EXE, {"--at", "50,50", "r.bin"}, 2, "",
       "kova2csv: point 50;50 lies in no counted element (--nearest takes the nearest node)\n"},
      // After "--" every argument is a name (a blank name's stand-in): the
      // dialogue starts, here to stop at the end of its input.
      {KOVACONV_EXE, {"--", "--help"}, e2e::REPORT_STATUS(24), " \r\n \r\n*****", "forrtl: severe (24)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.EXE) + " " + (c.ARGS.empty() ? "" : c.ARGS[0]));
    const e2e::RUN r = RUN(s, c.EXE, c.ARGS);
    EXPECT_EQ(r.STATUS, c.STATUS);
    EXPECT_TRUE(r.STDOUT.starts_with(c.STDOUT)) << r.STDOUT;
    EXPECT_TRUE(r.ERR.starts_with(c.ERR)) << r.ERR;
    if (c.STATUS == 2) {
      EXPECT_EQ(std::count(r.ERR.begin(), r.ERR.end(), '\n'), 1) << r.ERR;
    }
    // Nothing is written, not even an empty file.
    EXPECT_EQ(s.FILES({}).size(), 1U);
  }

  // Values joined with "=" or given apart, options after the operands.
  EXPECT_EQ(RUN(s, KOVAGEN_EXE, {"--nodes=9", "--steps", "1", "--dir=gen"}).STATUS, 0);
  EXPECT_EQ(RUN(s, KOVAINFO_EXE, {"gen/result.bin", "-j"}).STDOUT.substr(0, 10), "{\"title\": ");
}

TEST(Kova2csv, TableWorkedOutByHandAndDamage) {
  e2e::SCRATCH s;
  WRITE_WHOLE_AND_CUT(s);

  // Step 10: node 2 has head 2.5 and the velocities of elements 1 (3, 4) and
  // 2 (0, -1) averaged, (1.5, 1.5), speed sqrt(4.5); the point (5, 5) is the
  // centre of the square element 1, a quarter of each corner head
  // (1 + 2.5 - 3 + 4) / 4, and element 1's own speed 5.
  const std::string header = "step,time,head@2,head@5;5,speed@2,speed@5;5\r\n";
  const std::string step_10 = "10,0.5,2.5,1.125,2.1213203435596424,5\r\n";
  const std::vector<std::string> places = {"--nodes", "2", "--at", "5,5", "--what=head,speed"};
  auto with = [&](std::vector<std::string> args, std::vector<std::string> tail) {
    args.insert(args.begin(), places.begin(), places.end());
    args.insert(args.end(), tail.begin(), tail.end());
    return args;
  };
  e2e::RUN run = RUN(s, KOVA2CSV_EXE, with({"--steps", "10"}, {"r.bin"}));
  EXPECT_EQ(run.STATUS, 0) << run.ERR;
  EXPECT_EQ(run.STDOUT, header + step_10);
  EXPECT_EQ(run.ERR, "");

  // Damage: the whole step, then one line saying where; "final" is the last
  // whole step. The table goes to standard output, then to a file.
  for (const std::string steps : {"all", "final"}) {
    const bool to_file = steps == "final";
    run = RUN(s, KOVA2CSV_EXE, with(to_file ? std::vector<std::string>{"--steps", steps, "-o", "t.csv"}
                                            : std::vector<std::string>{"--steps", steps}, {"cut.bin"}));
    EXPECT_EQ(run.STATUS, 1) << steps;
    EXPECT_EQ(to_file ? s.READ("t.csv") : run.STDOUT, header + step_10) << steps;
    EXPECT_EQ(run.ERR, "kova2csv: cut.bin: damaged at byte 748: record length runs past the end of the file; "
                       "1 whole steps before it\n") << steps;
  }
  run = RUN(s, KOVA2CSV_EXE, with({"--steps", "7,8"}, {"r.bin"}));
  EXPECT_EQ(run.STATUS, 1);
  EXPECT_EQ(run.STDOUT, "");

  // The table never replaces the result file it reads.
  run = RUN(s, KOVA2CSV_EXE, with({"-o", "./r.bin"}, {"r.bin"}));
  EXPECT_EQ(run.STATUS, 1);
  EXPECT_EQ(run.ERR, "kova2csv: ./r.bin: is the result file itself; nothing written\n");
  EXPECT_EQ(s.READ("r.bin"), WHOLE);

#if !defined(_WIN32)
  run = RUN(s, KOVA2CSV_EXE, with({"--output", "/dev/full"}, {"r.bin"}));
  EXPECT_EQ(run.STATUS, 1);
  EXPECT_EQ(run.ERR, "kova2csv: /dev/full: No space left on device\n");
#endif
}

// The appended arrays of a step file, worked out from the hand-made model:
// velocities averaged to the nodes over the counted elements (attribute above
// 0; a triangle's repeated corner counted once), element 4 left out for its
// stray corners, each array a 64-bit byte count and its little-endian values.
TEST(Kova2vtk, AppendedArraysWorkedOutByHand) {
  e2e::SCRATCH s;
  s.WRITE("r.bin", MODEL() + STEP_1());
  ASSERT_EQ(RUN(s, KOVA2VTK_EXE, {"r.bin"}).STATUS, 0);
  const std::string vtu = s.READ("r_0001.vtu");
  auto reals = [](std::initializer_list<double> v) {
    std::string b;
    for (const double x : v) b += e2e::REAL8(x);
    return b;
  };
  auto ints = [](std::initializer_list<std::int32_t> v) {
    std::string b;
    for (const std::int32_t x : v) b += e2e::INT4(x);
    return b;
  };
  const double slow = std::sqrt(4.5);  // nodes 2 and 3: (3, 4) and (0, -1) averaged
  const std::string arrays[] = {
      reals({0.5}), ints({10}),                                               // TIME, STEP
      reals({1, 2.5, -3, 4, 0.25}), reals({0, 0, 0, 0, 0}), ints({0, 0, 0, 0, 0}), ints({0, 0, 0, 0, 0}),
      reals({3, 4, 0, 1.5, 1.5, 0, 1.5, 1.5, 0, 3, 4, 0, 0, -1, 0}),        // point velocity
      reals({5, slow, slow, 5, 1}),                                           // point speed
      reals({3, 4, 0, 0, -1, 0, 6, 8, 0}), reals({5, 1, 10}), ints({1, 2, 0}), reals({0, 0, 0}),
      reals({0, 0, 0, 10, 0, 0, 10, 10, 0, 0, 10, 0, -2.5, 20, 0}),          // points
      ints({0, 1, 2, 3, 1, 2, 4, 0, 2, 3}), ints({4, 7, 10}), std::string("\x09\x05\x05"),
  };
  const std::string head = "<AppendedData encoding=\"raw\">\n   _";
  std::size_t at = vtu.find(head);
  ASSERT_NE(at, std::string::npos);
  at += head.size();
  for (const std::string& want : arrays) {
    std::uint64_t bytes = 0;
    ASSERT_LE(at + 8, vtu.size());
    std::memcpy(&bytes, vtu.data() + at, 8);
    EXPECT_EQ(bytes, want.size()) << at;
    EXPECT_EQ(vtu.substr(at + 8, want.size()), want) << at;
    at += 8 + want.size();
  }
  EXPECT_EQ(vtu.substr(at), "\n  </AppendedData>\n</VTKFile>\n");
}

#if !defined(_WIN32)
// kova2vtk never writes through a link planted in the output folder, never
// over the result file it reads, and refuses a base name that the .pvd (XML)
// cannot list; each refusal is one line, status 1, before anything is written.
TEST(Kova2vtk, NamesAndLinksNeverLeadOutsideOrOverTheInput) {
  e2e::SCRATCH s;
  s.WRITE("r.bin", WHOLE);
  ASSERT_EQ(RUN(s, KOVA2VTK_EXE, {"--out", "ref", "r.bin"}).STATUS, 0);
  const std::string step1 = s.READ("ref/r_0001.vtu");
  const std::string refused_name = "the name is not UTF-8 text or holds control characters, which the .pvd (XML) "
                                   "cannot list; give a name with --name\n";
  // LINK: a link planted in out/ to ../victim (or INPUT: a copy of r.bin placed
  // there under that name, and read); LISTED: the first file the .pvd lists.
  const struct { const char* what; std::string link, input, name; int status; std::string err, listed; } cases[] = {
      {"link at the former fixed temporary name", ".r_0001.vtu.part", "", "", 0, "", "r_0001.vtu"},
      {"link at a step file's name", "r_0001.vtu", "", "", 0, "", "r_0001.vtu"},
      {"link at the collection's name", "r.pvd", "", "", 0, "", "r_0001.vtu"},
      {"UTF-8 name", "", "", "\xE5\x9C\xB0\xE4\xB8\x8B", 0, "", "\xE5\x9C\xB0\xE4\xB8\x8B_0001.vtu"},
      {"markup in the name", "", "", "a&b<c", 0, "", "a&amp;b&lt;c_0001.vtu"},
      {"Shift-JIS name", "", "", "\x92\x6E\x89\xBA", 1, "kova2vtk: \\x92n\\x89\\xBA: " + refused_name, ""},
      {"control character in the name", "", "", "a\tb", 1, "kova2vtk: a\\x09b: " + refused_name, ""},
      {"overlong UTF-8 form of '/'", "", "", "\xC0\xAF", 1, "kova2vtk: \\xC0\\xAF: " + refused_name, ""},
      {"result file named as the collection", "", "r.pvd", "", 1,
       "kova2vtk: out/r.pvd: is the result file itself; nothing written\n", ""},
      {"result file named as a step file", "", "x_0002.vtu", "x", 1,
       "kova2vtk: out/x_0002.vtu: is the result file itself; nothing written\n", ""},
  };
  for (const auto& c : cases) {
    std::filesystem::remove_all(s.DIR / "out");
    std::filesystem::create_directory(s.DIR / "out");
    s.WRITE("victim", "victim");
    if (!c.link.empty()) std::filesystem::create_symlink("../victim", s.DIR / "out" / c.link);
    if (!c.input.empty()) s.WRITE("out/" + c.input, WHOLE);
    std::vector<std::string> args{"--out", "out"};
    if (!c.name.empty()) args.insert(args.end(), {"--name", c.name});
    args.push_back(c.input.empty() ? "r.bin" : "out/" + c.input);
    const e2e::RUN run = RUN(s, KOVA2VTK_EXE, args);
    EXPECT_EQ(run.STATUS, c.status) << c.what;
    EXPECT_EQ(run.ERR, c.status == 0 ? "kova2vtk: warning: 1 elements left out: a corner names no node of the model\n"
                                     : c.err) << c.what;
    EXPECT_EQ(s.READ("victim"), "victim") << c.what;
    const auto files = s.ENTRIES("out");
    if (c.status == 0) {
      const std::string base = c.name.empty() ? "r" : c.name;
      EXPECT_EQ(s.READ("out/" + base + "_0001.vtu"), step1) << c.what;
      std::string listed_2 = c.listed;
      listed_2.replace(listed_2.size() - 8, 4, "0002");
      EXPECT_EQ(s.READ("out/" + base + ".pvd"), COLLECTION({{"0.5", c.listed}, {"1e+300", listed_2}})) << c.what;
      EXPECT_FALSE(std::filesystem::is_symlink(s.DIR / "out" / (base + "_0001.vtu"))) << c.what;
      EXPECT_EQ(files, 3 + (c.link.starts_with(".") ? 1 : 0)) << c.what;  // no temporary file left
    } else {
      EXPECT_EQ(files, c.input.empty() ? 0 : 1) << c.what;
      if (!c.input.empty()) {
        EXPECT_EQ(s.READ("out/" + c.input), WHOLE) << c.what;
      }
    }
  }

  // An output folder that is a link to a missing folder is named as such.
  std::filesystem::create_symlink("missing", s.DIR / "dangling");
  const e2e::RUN run = RUN(s, KOVA2VTK_EXE, {"--out", "dangling", "r.bin"});
  EXPECT_EQ(run.STATUS, 1);
  EXPECT_EQ(run.ERR, "kova2vtk: dangling: a link to missing, which does not exist\n");

  // Two runs into one folder at once, of different files under one name:
  // every file is whole, one run's or the other's.
  std::string other = WHOLE;
  other.replace(424, 4, e2e::INT4(11));  // step 1's number
  s.WRITE("other.bin", other);
  ASSERT_EQ(RUN(s, KOVA2VTK_EXE, {"--out", "ref2", "--name", "r", "other.bin"}).STATUS, 0);
  for (int k = 0; k < 5; ++k) {
    std::filesystem::remove_all(s.DIR / "both");
    std::vector<pid_t> runs;
    for (const char* input : {"r.bin", "other.bin"}) {
      const std::string io = (s.ROOT / input).string();
      runs.push_back(e2e::SPAWN(s.DIR, {KOVA2VTK_EXE, "--out", "both", "--name", "r", input}, {"/dev/null", io, io}));
    }
    for (const pid_t pid : runs) {
      int status = -1;
      ASSERT_EQ(::waitpid(pid, &status, 0), pid);
      EXPECT_EQ(status, 0);
    }
    for (const char* file : {"r_0001.vtu", "r_0002.vtu", "r.pvd"}) {
      const std::string got = s.READ("both/" + std::string(file));
      EXPECT_TRUE(got == s.READ("ref/" + std::string(file)) || got == s.READ("ref2/" + std::string(file))) << file;
    }
    EXPECT_EQ(s.ENTRIES("both"), 3);
  }
}

#ifndef KOVA_SANITIZED_BUILD
// Lack of memory in the three siblings (a two-million-node model under a
// 128 MiB address space; kovagen's largest mesh under 10 MiB) is one line and
// status 71, and leaves no file.
TEST(Tools, OutOfMemoryIsOneLineAndStatus71) {
  e2e::SCRATCH s;
  // The node record of 72 MB is a hole: it takes no disk space.
  const std::filesystem::path big = s.DIR / "big.bin";
  e2e::WRITE_PATH(big, MODEL().substr(0, 88) + e2e::FRAME(e2e::INT4(2000000)) + e2e::INT4(72000000));
  std::filesystem::resize_file(big, 100 + 4 + 72000000);
  std::ofstream(big, std::ios::binary | std::ios::app) << e2e::INT4(72000000) << e2e::FRAME(e2e::INT4(0))
                                                        << e2e::FRAME("");
  const struct { const char* limit; const char* exe; std::vector<std::string> args; const char* err; } cases[] = {
      {"--as=134217728", KOVAINFO_EXE, {"big.bin"}, "kovainfo: error: out of memory\n"},
      {"--as=134217728", KOVA2VTK_EXE, {"--out", "vtk", "big.bin"}, "kova2vtk: error: out of memory\n"},
      {"--as=10485760", KOVAGEN_EXE, {"--nodes", "100000", "--dir", "gen"}, "kovagen: error: out of memory\n"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args{c.limit, "--core=0", c.exe};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const e2e::RUN run = e2e::RUN_PROGRAM(s.DIR, "/usr/bin/prlimit", "", args);
    EXPECT_EQ(run.STATUS, 71) << c.exe;
    EXPECT_EQ(run.ERR, c.err) << c.exe;
    EXPECT_EQ(run.STDOUT, "") << c.exe;
  }
  EXPECT_FALSE(s.EXISTS("gen/result.bin"));
  EXPECT_FALSE(s.EXISTS("vtk"));
}
#endif
#endif
