// Whole runs of kovaconv on hand-made result files: the console dialogue byte for
// byte, the selection of time steps, the output file's life, the model's limits.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e_support.h"

namespace {

using TIMES = std::vector<std::string>;

const std::string PROMPT = "   INPUT No. ? =\r\n";
// Two item-less list-directed records (one blank each), then the banner.
const std::string OPENING =
    " \r\n \r\n**********************************************\r\n"
    "* This program is for NU-KOVA .              *\r\n"
    "*  It uses the 4th file inWORK.LST.          *\r\n"
    "*                               by T.Morvane *\r\n"
    "*   NUMNP= upto 5000                         *\r\n"
    "*   NUMEL= upto 5000                         *\r\n"
    "*--------------------------------------------*\r\n"
    "*                               Yes/0  No/1  *\r\n"
    "**********************************************\r\n" + PROMPT;
// " ", the node total's 10 bytes, NUMNP 4 in 12 columns, the element total's 12 bytes
// (two blanks first), NUMEL 1 in 12 columns; then the data-OK question.
const std::string CONFIRMATION =
    " \x90\xDF\x93\x5F\x91\x8D\x90\x94\x81\x40           4"
    "   \x97\x76\x91\x66\x91\x8D\x90\x94\x81\x40           1\r\n \r\n" + e2e::DATA_OK_CP932 + " \r\n" + PROMPT;
const std::string MENU =
    "   Select data-Transfer type\r\n          KOVA-ReStart ------- 1\r\n"
    "          TECPLOT DATA ------- 2\r\n          ATLAS   DATA ------- 3\r\n"
    "          FEMAP   DATA ------- 4\r\n" + PROMPT;
const std::string CLOSING =  // the time-step question, then the normal end
    "  Input your interest\tNo. OF TIME STEP\r\n"
    "    If input (<0) No., All time step avairable \r\n"
    "    If input (0) No., Final time step avairable \r\n" + PROMPT + e2e::TERMINATION;
const std::string NAME_PROMPT = "   INPUT Output File Name\r\n";

// One square element (attribute 1) on four nodes, and a step of it.
std::string SQUARE_MODEL(const std::string& title) {
  return e2e::MODEL_PART(title, {{0, 0}, {1, 0}, {1, 1}, {0, 1}}, {{{1, 2, 3, 4, 1}, 0.0}});
}
std::string SQUARE_STEP(int n, double time) { return e2e::STEP(n, time, {{}, {}, {}, {}}, {{}}); }
// The time fields of the TECPLOT blocks in an output, in file order.
TIMES BLOCK_TIMES(const std::string& out, TIMES times = {}) {
  for (std::size_t at = out.find("TIME="); at != std::string::npos; at = out.find("TIME=", at + 1))
    times.push_back(out.substr(at + 5, 12));
  return times;
}

// KOVA_THREADS for the runs that follow; "": not set.
void SET_KOVA_THREADS(const char* VALUE) {
#ifdef _WIN32
  ::_putenv_s("KOVA_THREADS", VALUE);
#else
  if (*VALUE == 0) {
    ::unsetenv("KOVA_THREADS");
  } else {
    ::setenv("KOVA_THREADS", VALUE, 1);
  }
#endif
}

}  // namespace

// Every text of a TECPLOT and an ATLAS run on a file with no time step (the question,
// then at once the end, a warning on standard error and status 3), the title on two console lines (76 + 4 characters); the
// banner answer changes nothing. A non-zero data-OK answer stops at once: "1111",
// status 87 (its low byte), no menu, no output file.
TEST(DriverDialogue, EveryTextInOrder) {
  const std::string title =
      "P01.P02.P03.P04.P05.P06.P07.P08.P09.P10.P11.P12.P13.P14.P15.P16.P17.P18.P19.P20.";
  const std::string head =
      OPENING + ' ' + title.substr(0, 76) + "\r\n " + title.substr(76) + "\r\n" + CONFIRMATION;
  e2e::SCRATCH s;
  s.RESULT(SQUARE_MODEL(title));
  for (const char* banner : {"0", "1", "99"}) {
    e2e::RUN r = s.CONVERT(banner + e2e::ANSWERS(2, "out.dat", 0).substr(1));
    EXPECT_EQ(r.STATUS, 3);
    EXPECT_EQ(r.ERR, "kovaconv: warning: the result file holds no time step; no step was written\n");
    EXPECT_EQ(r.STDOUT, head + MENU + NAME_PROMPT + CLOSING) << banner;
    EXPECT_EQ(s.READ("out.dat"), "");
  }
  e2e::RUN r = s.CONVERT(e2e::ANSWERS(3, "", -1));
  EXPECT_EQ(r.STATUS, 3);
  EXPECT_EQ(r.STDOUT, head + MENU + "   \r\n          Mesh Data          -> atlas.msh\r\n"
                                 "   Velocity and Head    Data -> atlas.pst\r\n   \r\n" + CLOSING);
  EXPECT_TRUE(s.EXISTS("atlas.msh") && s.EXISTS("atlas.pst"));
  r = s.CONVERT("0\n1\n2\nstopped.dat\n0\n");
  EXPECT_EQ(r.STATUS, e2e::EXIT_STATUS(1111));
  EXPECT_EQ(r.ERR, "1111\n");
  EXPECT_EQ(r.STDOUT, head);
  EXPECT_FALSE(s.EXISTS("stopped.dat"));
}

// Which steps reach the writer: by number (every step of that number), the final
// step (and any step numbered 0; a null answer is 0), every step, none. Only the
// first 20 characters of the work-list line and of the typed name count, blanks
// around them do not; a longer old output is cut to the new one. Menu values
// outside 1..4 (a null answer is 0) open the named file, create it empty or
// leave it as it was, and write nothing. A run that wrote no step ends with status 3.
TEST(DriverOutput, SelectionNamesCuttingAndTypesOutsideTheMenu) {
  e2e::SCRATCH s;
  s.WRITE("WORK.LST", "one\ntwo\nthree\n  results_of_run_01XYZ.bin\nfive\n");
  s.WRITE("results_of_run_01X", SQUARE_MODEL("SEL") + SQUARE_STEP(1, 1) + SQUARE_STEP(2, 2) +
                                     SQUARE_STEP(2, 3) + SQUARE_STEP(0, 4) + SQUARE_STEP(3, 5));
  s.WRITE("output_named_longer_", std::string(5000, 'x'));
  e2e::RUN r = s.CONVERT(e2e::ANSWERS(2, "output_named_longer_than_20.dat", 3));
  EXPECT_EQ(r.STATUS, 0);
  const std::string out = s.READ("output_named_longer_");
  EXPECT_TRUE(out.starts_with("TITLE = \"TIME=  5.0000E+00 SEL ")) << out.substr(0, 40);
  EXPECT_EQ(out.size(), 110U + 39 + 36 + 4 * 80 + 25);  // 3 header, 4 point, 1 element line
  EXPECT_FALSE(s.EXISTS("output_named_longer_than_20.dat"));

  const TIMES all{"  1.0000E+00", "  2.0000E+00", "  3.0000E+00", "  4.0000E+00", "  5.0000E+00"};
  const struct { const char* NSEL; TIMES EXPECTED; } cases[] = {
      {"2", {all[1], all[2]}}, {"3", {all[4]}}, {"0", {all[3], all[4]}}, {",", {all[3], all[4]}},
      {"-1", all}, {"7", all},  // no step numbered 7: the former output is left as it was
  };
  for (const auto& c : cases) {
    r = s.CONVERT(std::string("0\n0\n2\nout.dat\n") + c.NSEL + "\n");
    EXPECT_EQ(r.STATUS, c.NSEL == std::string("7") ? 3 : 0) << c.NSEL;
    EXPECT_TRUE(r.STDOUT.ends_with(NAME_PROMPT + CLOSING)) << c.NSEL;
    EXPECT_EQ(BLOCK_TIMES(s.READ("out.dat")), c.EXPECTED) << c.NSEL;
  }

  for (const std::string& answers : {e2e::ANSWERS(0, "out.dat", -1), e2e::ANSWERS(5, "out.dat", -1),
                                     std::string("/\n,\n,\nout.dat\n,\n"),  // every answer null
                                     e2e::ANSWERS(-3, "x.dat", 1)}) {
    r = s.CONVERT(answers);
    EXPECT_EQ(r.STATUS, 3) << answers;
    EXPECT_TRUE(r.STDOUT.ends_with(NAME_PROMPT + CLOSING)) << answers;
  }
  EXPECT_EQ(BLOCK_TIMES(s.READ("out.dat")), all);
  EXPECT_TRUE(s.EXISTS("x.dat") && s.READ("x.dat").empty());
}

// Corners that name no node: one warning, the run ends normally; they take no
// share in the averages and are written as stored. More than 20000 nodes and
// elements: the store grows to the counts, the element table is addressed with
// its real column length.
TEST(DriverModel, StrayCornersAndAboveTwentyThousand) {
  e2e::SCRATCH s;
  const std::vector<e2e::ELEMENT> stray{{{1, 2, 9, -2, 1}}, {{2, 0, 0, 0, 1}}, {{3, 1, 1, 1, 1}}};
  s.RESULT(e2e::MODEL_PART("W", {{0, 0}, {1, 0}}, stray) +
                            e2e::STEP(1, 0.0, {{}, {}}, {{4.0, 0.0}, {2.0, 0.0}, {8.0, 0.0}}));
  e2e::RUN r = s.CONVERT(e2e::ANSWERS(2, "out.dat", 0));
  EXPECT_EQ(r.STATUS, 0);
  EXPECT_EQ(r.ERR, "kovaconv: warning: 3 corner numbers outside 0..NUMNP take no part in node averaging\n");
  // Node 1: element 1, element 3's corners 2, 3 (4 repeats 3): (4+8+8)/3; node 2: (4+2)/2.
  EXPECT_TRUE(s.READ("out.dat").ends_with(
      "\r\nZONE N=     2, E=     3, F=FEPOINT\r\n"
      "  0.0000E+00,  0.0000E+00,  0.0000E+00,  6.6667E+00,  0.0000E+00,  6.6667E+00,\r\n"
      "  1.0000E+00,  0.0000E+00,  0.0000E+00,  3.0000E+00,  0.0000E+00,  3.0000E+00,\r\n"
      "    1,    2,    9,   -2\r\n    2,    0,    0,    0\r\n    3,    1,    1,    1\r\n"));

  constexpr int N = 20001;
  std::vector<e2e::NODE> nodes(N);
  std::vector<e2e::ELEMENT> elements(N);
  for (int i = 0; i < N; ++i) nodes[i].X = i + 1, elements[i] = {{i + 1, i + 1, i + 1, i + 1, 1}};
  s.WRITE("result.bin", e2e::MODEL_PART("BIG", nodes, elements) +
                            e2e::STEP(1, 1.0, std::vector<e2e::NODE_RESULT>(N),
                                      std::vector<e2e::ELEMENT_RESULT>(N, {1.5})));
  EXPECT_EQ(s.CONVERT(e2e::ANSWERS(2, "out.dat", 0)).STATUS, 0);
  const std::string out = s.READ("out.dat");
  EXPECT_NE(out.find("2.0001E+04,  0.0000E+00,  0.0000E+00,  1.5000E+00,  0.0000E+00,  1.5000E+00,"
                     "\r\n    1,    1,    1,    1\r\n"), std::string::npos);
  EXPECT_TRUE(out.ends_with("\r\n20000,20000,20000,20000\r\n20001,20001,20001,20001\r\n"));
}

// A run that writes no step, or uses a name cut from a longer line, ends normally with
// the same console bytes and says so on standard error: the name warnings as the names
// are read (blanks around the name as used removed), the step warning after the loop
// (the type warning wins). Only characters other than blanks past the 20th cut a name.
// A run that wrote no step ends with status 3, one with a cut name alone with 0.
TEST(DriverWarnings, NothingWrittenAndCutNames) {
  const std::string W = "kovaconv: warning: ";
  const std::string NO_STEP = W + "the result file holds no time step; no step was written\n";
  const std::string CUT = W + "name cut to its first 20 characters: ";
  const std::string TYPE = W + "transfer type ", NOT_1_TO_4 = " is not 1 to 4; nothing was converted\n";
  const std::string STEP = W + "time step ", NOT_IN = " is not in the result file; no step was written\n";
  const struct { const char* LINE4; std::string ANSWERS, ERR; } cases[] = {
      {"steps.bin", e2e::ANSWERS(2, "out.dat", 2), ""},
      {"steps.bin", e2e::ANSWERS(5, "out.dat", -1), TYPE + "5" + NOT_1_TO_4},
      {"empty.bin", "0\n0\n,\nout.dat\n0\n", TYPE + "0" + NOT_1_TO_4},
      {"steps.bin", e2e::ANSWERS(-3, "out.dat", 1), TYPE + "-3" + NOT_1_TO_4},
      {"empty.bin", e2e::ANSWERS(1, "out.dat", 0), NO_STEP},
      {"empty.bin", e2e::ANSWERS(3, "", -1), NO_STEP},
      {"steps.bin", e2e::ANSWERS(2, "out.dat", 7), STEP + "7" + NOT_IN},
      {"steps.bin", "0\n0\n4\nout.dat\n9.9\n", STEP + "9" + NOT_IN},
      {"  results_of_run_01XYZ.bin", e2e::ANSWERS(2, "out.dat", 7),
       CUT + "results_of_run_01X\n" + STEP + "7" + NOT_IN},
      {"name_of_twenty_chars         \r", e2e::ANSWERS(2, "out.dat", 1), ""},
      {"steps.bin", e2e::ANSWERS(2, "output_named_longer_than_20", 1), CUT + "output_named_longer_\n"},
      {"steps.bin", e2e::ANSWERS(2, "  out.dat           x", 1), CUT + "out.dat\n"},
      {"steps.bin", e2e::ANSWERS(2, "out.dat             \t", 1), CUT + "out.dat\n"},
  };
  e2e::SCRATCH s;
  const std::string steps = SQUARE_MODEL("W") + SQUARE_STEP(1, 1) + SQUARE_STEP(2, 2);
  s.WRITE("steps.bin", steps);
  s.WRITE("results_of_run_01X", steps);
  s.WRITE("name_of_twenty_chars", steps);
  s.WRITE("empty.bin", SQUARE_MODEL("W"));
  for (const auto& c : cases) {
    s.WRITE("WORK.LST", e2e::WORK_LIST(c.LINE4));
    const e2e::RUN r = s.CONVERT(c.ANSWERS);
    const bool nothing = c.ERR.ends_with(NOT_1_TO_4) || c.ERR.ends_with(NO_STEP) || c.ERR.ends_with(NOT_IN);
    EXPECT_EQ(r.STATUS, nothing ? 3 : 0) << c.ANSWERS;
    EXPECT_TRUE(r.STDOUT.ends_with(CLOSING)) << c.ANSWERS;
    EXPECT_EQ(r.ERR, c.ERR) << c.LINE4 << " / " << c.ANSWERS;
  }
  EXPECT_TRUE(s.EXISTS("output_named_longer_") && s.EXISTS("out.dat"));
}

// Control characters of the title become blanks on the console and in the output, so
// the title can neither split a record nor reach the terminal as a command. A corner 0
// is never a stray corner, also when the node count is negative.
TEST(DriverModel, TitleControlCharactersAndNegativeNodeCount) {
  using namespace std::string_literals;
  const std::string raw =
      "A\r\nB\x1b[2J\x7f\tC\x00\x1f\x80\xfe"s + std::string(61, 'x') + "\x01\x02\x03Z";
  const std::string shown = "A  B [2J  C  \x80\xfe" + std::string(61, 'x') + "   Z";
  ASSERT_EQ(raw.size(), 80U);
  e2e::SCRATCH s;
  s.RESULT(SQUARE_MODEL(raw) + SQUARE_STEP(1, 1));
  e2e::RUN r = s.CONVERT(e2e::ANSWERS(2, "out.dat", 0));
  EXPECT_EQ(r.STATUS, 0);
  const std::string console_title = std::string(1, ' ') + shown.substr(0, 76) + "\r\n " + shown.substr(76);
  EXPECT_NE(r.STDOUT.find(console_title + "\r\n"), std::string::npos);
  EXPECT_TRUE(s.READ("out.dat").starts_with("TITLE = \"TIME=  1.0000E+00 " + shown + "\"\r\nVARIABLES"));

  // NUMNP -3 reads no node; corner 0 is no stray corner, corner 1 is one.
  const auto model = [](std::int32_t corner) {
    return e2e::FRAME(e2e::PADDED("NEG", 80)) + e2e::FRAME(e2e::INT4(-3)) + e2e::FRAME("") +
           e2e::FRAME(e2e::INT4(1)) +
           e2e::FRAME(e2e::INT4(corner) + e2e::INT4(0) + e2e::INT4(0) + e2e::INT4(0) + e2e::INT4(1) +
                      e2e::REAL8(0));
  };
  const char* STRAY = "kovaconv: warning: 1 corner numbers outside 0..NUMNP take no part in node averaging\n";
  for (const auto& [corner, err] : {std::pair{0, ""}, {1, STRAY}}) {
    s.WRITE("result.bin", model(corner) + e2e::STEP(1, 1.0, {}, {{}}));
    r = s.CONVERT(e2e::ANSWERS(2, "out.dat", 0));
    EXPECT_EQ(r.STATUS, 0);
    EXPECT_EQ(r.ERR, err) << corner;
  }
}

// The command line writes the dialogue's bytes and ends with its status, for every
// output and the selections final, all, one step, a missing step and a list. A list
// writes what the dialogue writes for each listed step alone, in file order: the
// single-step outputs one after the other (ATLAS's read count keeps each step's
// place), FEMAP's output sets numbered 1..k as the dialogue numbers every step of a
// file that holds only the listed steps. Nothing goes to standard output; no
// WORK.LST is read; names have no length limit.
TEST(CommandLine, SameBytesAndStatusesAsTheDialogue) {
  e2e::SCRATCH dialogue, command;
  const std::string result = e2e::GENERATE(dialogue, 40, 4);  // steps 1..4
  ASSERT_FALSE(result.empty());
  const std::vector<std::size_t> starts = e2e::RECORD_STARTS(result);
  ASSERT_EQ(starts.size(), 5U + 3 * 4);
  // The model part and steps 1 and 3 alone.
  dialogue.WRITE("steps13.bin", result.substr(0, starts[8]) + result.substr(starts[11], starts[14] - starts[11]));
  command.WRITE("result.bin", result);

  // Each run starts with no output file of an earlier one.
  const auto without_outputs = [](const e2e::SCRATCH& s) {
    for (const char* name : {"out.dat", "atlas.msh", "atlas.pst"}) std::filesystem::remove(s.DIR / name);
  };
  const auto dialogue_run = [&](int itype, int nsel, const char* result_name = "result.bin") {
    without_outputs(dialogue);
    dialogue.WRITE("WORK.LST", e2e::WORK_LIST(result_name));
    const e2e::RUN r = dialogue.CONVERT(e2e::ANSWERS(itype, "out.dat", nsel));
    return std::pair{r, dialogue.FILES({"WORK.LST", "result.bin", "steps13.bin"})};
  };
  const struct { int ITYPE; const char* TO; } types[] = {{1, "restart"}, {2, "tecplot"}, {3, "atlas"}, {4, "femap"}};
  const struct { int NSEL; const char* STEP; } selections[] = {{0, "final"}, {-1, "all"}, {2, "2"}, {9, "9"}};
  for (const auto& t : types) {
    for (const auto& sel : selections) {
      SCOPED_TRACE(std::string(t.TO) + " " + sel.STEP);
      const auto [expected, expected_files] = dialogue_run(t.ITYPE, sel.NSEL);
      std::vector<std::string> args{"--to", t.TO, "-s", sel.STEP, "result.bin"};
      if (t.ITYPE != 3) args.insert(args.end() - 1, "--output=out.dat");
      without_outputs(command);
      const e2e::RUN r = command.CONVERT("", args);
      EXPECT_EQ(r.STATUS, expected.STATUS);
      EXPECT_EQ(r.STDOUT, "");
      EXPECT_EQ(r.ERR, expected.ERR);
      EXPECT_EQ(command.FILES({"result.bin"}), expected_files);
    }

    // "3,9,1": steps 1 and 3, then the warning for 9 and status 3.
    std::map<std::string, std::string> expected;
    if (t.ITYPE == 4) {
      expected = dialogue_run(4, -1, "steps13.bin").second;
    } else {
      for (int step : {1, 3})
        for (const auto& [name, bytes] : dialogue_run(t.ITYPE, step).second)
          expected[name] = name == "atlas.msh" ? bytes : expected[name] + bytes;
    }
    const std::vector<std::string> args{"-t", t.TO, "--step", "3,9,1", "-o", t.ITYPE == 3 ? "." : "out.dat",
                                        "result.bin"};
    without_outputs(command);
    const e2e::RUN r = command.CONVERT("", args);
    EXPECT_EQ(r.STATUS, 3) << t.TO;
    EXPECT_EQ(r.ERR, "kovaconv: warning: time step 9 is not in the result file\n") << t.TO;
    EXPECT_EQ(command.FILES({"result.bin"}), expected) << t.TO;
  }

  // A result file 300 characters down a path; the output takes its base name.
  const std::string folder = std::string(120, 'd') + "/" + std::string(120, 'e');
  const std::string base = std::string(54, 'f');
  std::filesystem::create_directories(command.DIR / folder);
  command.WRITE(folder + "/" + base + ".bin", result);
  const std::string path = folder + "/" + base + ".bin";
  ASSERT_EQ(path.size(), 300U);
  EXPECT_EQ(command.CONVERT("", {"--to", "tecplot", path}).STATUS, 0);
  EXPECT_EQ(command.READ(base + ".plt"), dialogue_run(2, -1).second.at("out.dat"));
}

// The threads of large outputs change no byte: every output of a small sample
// (which never starts them) and of a sample large enough that they start (its
// outputs pass 4 MB in the first steps), written with 1, 2 and 4 threads, by
// the command line and by the dialogue with KOVA_THREADS; a KOVA_THREADS that
// is no number of threads is named in a warning and the default is used.
TEST(Threads, SameBytesWithAnyCount) {
  const struct { int NODES, STEPS; } samples[] = {{2601, 3}, {19881, 5}};
  const struct { int ITYPE; const char* TO; } types[] = {{1, "restart"}, {2, "tecplot"}, {3, "atlas"}, {4, "femap"}};
  for (const auto& sample : samples) {
    e2e::SCRATCH s;
    ASSERT_FALSE(e2e::GENERATE(s, sample.NODES, sample.STEPS).empty());
    for (const auto& t : types) {
      SCOPED_TRACE(std::to_string(sample.NODES) + " " + t.TO);
      const auto outputs = [&] {
        std::map<std::string, std::string> files = s.FILES({"WORK.LST", "result.bin"});
        for (const auto& [name, bytes] : files) std::filesystem::remove(s.DIR / name);
        return files;
      };
      const auto command = [&](const char* threads) {
        const e2e::RUN r = s.CONVERT("", {"--to", t.TO, "--threads", threads, "-o", t.ITYPE == 3 ? "." : "out.dat",
                                          "result.bin"});
        EXPECT_EQ(r.STATUS, 0);
        EXPECT_EQ(r.ERR, "");
        return outputs();
      };
      const auto one = command("1");
      EXPECT_EQ(one.size(), t.ITYPE == 3 ? 2U : 1U);
      EXPECT_TRUE(command("2") == one);
      EXPECT_TRUE(command("4") == one);
      for (const char* env : {"2", "4", "two"}) {
        SET_KOVA_THREADS(env);
        const e2e::RUN r = s.CONVERT(e2e::ANSWERS(t.ITYPE, "out.dat", -1));
        SET_KOVA_THREADS("");
        EXPECT_EQ(r.STATUS, 0);
        EXPECT_EQ(r.ERR, env == std::string("two")
                             ? "kovaconv: warning: KOVA_THREADS='two' is not a number of threads from 1 to 64; "
                               "the default is used\n"
                             : "");
        EXPECT_TRUE(outputs() == one) << env;
      }
    }
  }
}
