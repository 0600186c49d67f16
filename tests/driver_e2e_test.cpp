// Whole runs of kovaconv on hand-made result files: the console dialogue byte
// for byte, the selection of time steps, the output file's life and the
// TECPLOT conversion seen from outside.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "e2e_support.h"

namespace {

using e2e::ELEMENT;
using e2e::ELEMENT_RESULT;
using e2e::NODE;
using e2e::NODE_RESULT;

// ---- console texts ------------------------------------------------------------

const std::string PROMPT = "   INPUT No. ? =\r\n";

// Two item-less list-directed records (one blank each), then the banner.
const std::string OPENING =
    " \r\n \r\n"
    "**********************************************\r\n"
    "* This program is for NU-KOVA .              *\r\n"
    "*  It uses the 4th file inWORK.LST.          *\r\n"
    "*                               by T.Morvane *\r\n"
    "*   NUMNP= upto 5000                         *\r\n"
    "*   NUMEL= upto 5000                         *\r\n"
    "*--------------------------------------------*\r\n"
    "*                               Yes/0  No/1  *\r\n"
    "**********************************************\r\n" +
    PROMPT;

// The count record: " ", the 10 bytes of the node total, NUMNP in 12
// columns, a blank, the 12 bytes of the element total, NUMEL in 12 columns.
std::string COUNTS(const std::string& numnp12, const std::string& numel12) {
  return " \x90\xDF\x93\x5F\x91\x8D\x90\x94\x81\x40" + numnp12 +
         "   \x97\x76\x91\x66\x91\x8D\x90\x94\x81\x40" + numel12 + "\r\n";
}

const std::string DATA_OK_QUESTION =
    " \r\n"
    "                \x83\x66\x81\x7C\x83\x5E\x81\x7C\x82\x6E\x82\x6A\x81\x48\x81\x40"
    "\x82\x78\x81\x5E\x82\x4F\x81\x40\x82\x6D\x81\x5E\x82\x50\r\n"
    " \r\n" +
    PROMPT;

const std::string MENU =
    "   Select data-Transfer type\r\n"
    "          KOVA-ReStart ------- 1\r\n"
    "          TECPLOT DATA ------- 2\r\n"
    "          ATLAS   DATA ------- 3\r\n"
    "          FEMAP   DATA ------- 4\r\n" +
    PROMPT;

const std::string NAME_PROMPT = "   INPUT Output File Name\r\n";

const std::string STEP_QUESTION =
    "  Input your interest\tNo. OF TIME STEP\r\n"
    "    If input (<0) No., All time step avairable \r\n"
    "    If input (0) No., Final time step avairable \r\n" +
    PROMPT;

const std::string TERMINATION =
    "\r\n\r\n   <<<<<  OK! OK!  NORMAL TERMINATION  >>>>> \r\n"
    "  \r\n";

// ---- a small model --------------------------------------------------------------

// One square element on four nodes, attribute 1.
std::string SQUARE_MODEL(const std::string& title) {
  return e2e::MODEL_PART(title, {{0, 0, 0, 0, 0}, {1, 0, 0, 0, 0}, {1, 1, 0, 0, 0}, {0, 1, 0, 0, 0}},
                         {{{1, 2, 3, 4, 1}, 0.0}});
}

// A step of the square model: head H at every node, velocity (VX, 0).
std::string SQUARE_STEP(int istep, double time, double h = 0.0, double vx = 0.0) {
  return e2e::STEP(istep, time, {{0, h, 0}, {0, h, 0}, {0, h, 0}, {0, h, 0}}, {{vx, 0.0}});
}

// The time fields of the TECPLOT blocks in an output, in file order.
std::vector<std::string> BLOCK_TIMES(const std::string& out) {
  std::vector<std::string> times;
  const std::string mark = "TITLE = \"TIME=";
  for (std::size_t at = out.find(mark); at != std::string::npos; at = out.find(mark, at + 1))
    times.push_back(out.substr(at + mark.size(), 12));
  return times;
}

}  // namespace

// The whole dialogue of a TECPLOT run, byte for byte, and its output file.
TEST(DriverDialogue, TecplotRunShowsEveryTextInOrder) {
  e2e::SCRATCH s;
  // Eighty title characters: the console shows them as 76 + 4.
  std::string title;
  for (int k = 1; k <= 20; ++k) {
    const char piece[] = {'P', static_cast<char>('0' + k / 10), static_cast<char>('0' + k % 10), '.', '\0'};
    title += piece;
  }
  s.WRITE("WORK.LST", e2e::WORK_LIST("result.bin"));
  s.WRITE("result.bin", SQUARE_MODEL(title) + SQUARE_STEP(1, 100.0) + SQUARE_STEP(2, 200.0, 12.5, 0.25));

  e2e::RUN r = s.CONVERT(e2e::ANSWERS(2, "out.dat", 0));
  EXPECT_EQ(r.STATUS, 0);
  EXPECT_EQ(r.ERR, "");
  // " P01.P02. ... P19." and " P20."
  const std::string title_lines = ' ' + title.substr(0, 76) + "\r\n " + title.substr(76, 4) + "\r\n";
  EXPECT_EQ(r.OUT, OPENING + title_lines + COUNTS("           4", "           1") + DATA_OK_QUESTION +
                       MENU + NAME_PROMPT + STEP_QUESTION + TERMINATION);
  // Only the final step: each corner of the one element gets its (0.25, 0).
  EXPECT_EQ(s.READ("out.dat"),
            "TITLE = \"TIME=  2.0000E+02 " + title + "\"\r\n" +
                "VARIABLES = \"X\",\"Y\",\"H\",\"VX\",\"VY\",\"V\"\r\n"
                "ZONE N=     4, E=     1, F=FEPOINT\r\n"
                "  0.0000E+00,  0.0000E+00,  1.2500E+01,  2.5000E-01,  0.0000E+00,  2.5000E-01,\r\n"
                "  1.0000E+00,  0.0000E+00,  1.2500E+01,  2.5000E-01,  0.0000E+00,  2.5000E-01,\r\n"
                "  1.0000E+00,  1.0000E+00,  1.2500E+01,  2.5000E-01,  0.0000E+00,  2.5000E-01,\r\n"
                "  0.0000E+00,  1.0000E+00,  1.2500E+01,  2.5000E-01,  0.0000E+00,  2.5000E-01,\r\n"
                "    1,    2,    3,    4\r\n");

  // The answer after the banner changes nothing.
  for (const char* first : {"1\n", "99\n"}) {
    e2e::RUN again = s.CONVERT(first + e2e::ANSWERS(2, "out.dat", 0).substr(2));
    EXPECT_EQ(again.STATUS, 0);
    EXPECT_EQ(again.OUT, r.OUT) << "banner answer " << first;
  }
}

// The ATLAS choice asks for no file name and shows where its files go.
TEST(DriverDialogue, AtlasChoiceNamesItsTwoFiles) {
  e2e::SCRATCH s;
  s.WRITE("WORK.LST", e2e::WORK_LIST("result.bin"));
  s.WRITE("result.bin", SQUARE_MODEL("A"));
  e2e::RUN r = s.CONVERT(e2e::ANSWERS(3, "", -1));
  EXPECT_EQ(r.STATUS, 0);
  EXPECT_EQ(r.OUT, OPENING + " A" + std::string(75, ' ') + "\r\n     \r\n" +
                       COUNTS("           4", "           1") + DATA_OK_QUESTION + MENU +
                       "   \r\n"
                       "          Mesh Data          -> atlas.msh\r\n"
                       "   Velocity and Head    Data -> atlas.pst\r\n"
                       "   \r\n" +
                       STEP_QUESTION + TERMINATION);
  EXPECT_TRUE(s.EXISTS("atlas.msh"));
  EXPECT_TRUE(s.EXISTS("atlas.pst"));
  EXPECT_EQ(s.READ("atlas.pst"), "");
}

// A non-zero data-OK answer stops at once: "1111", no menu, no output file.
TEST(DriverDialogue, DataNotConfirmedStopsWith1111) {
  e2e::SCRATCH s;
  s.WRITE("WORK.LST", e2e::WORK_LIST("result.bin"));
  s.WRITE("result.bin", SQUARE_MODEL("") + SQUARE_STEP(1, 1.0));
  for (const char* answer : {"1", "-7"}) {
    e2e::RUN r = s.CONVERT("0\n" + std::string(answer) + "\n2\nout.dat\n0\n");
    EXPECT_EQ(r.STATUS, 87) << answer;  // 1111 in the low eight bits
    EXPECT_EQ(r.ERR, "1111\n");
    EXPECT_EQ(r.OUT, OPENING + " " + std::string(76, ' ') + "\r\n     \r\n" +
                         COUNTS("           4", "           1") + DATA_OK_QUESTION);
    EXPECT_FALSE(s.EXISTS("out.dat"));
  }
}

// Answers that give no value leave 0: the data are confirmed, the type 0
// writes nothing, and a null time step selects the final step.
TEST(DriverDialogue, NullAnswersLeaveZero) {
  e2e::SCRATCH s;
  s.WRITE("WORK.LST", e2e::WORK_LIST("result.bin"));
  s.WRITE("result.bin", SQUARE_MODEL("") + SQUARE_STEP(1, 1.0) + SQUARE_STEP(2, 2.0));

  e2e::RUN r = s.CONVERT("/\n,\n,\nzero.dat\n,\n");
  EXPECT_EQ(r.STATUS, 0);
  EXPECT_TRUE(s.EXISTS("zero.dat"));
  EXPECT_EQ(s.READ("zero.dat"), "");

  r = s.CONVERT("0\n\n0\n2\nout.dat\n/\n");  // an empty line waits for the next
  EXPECT_EQ(r.STATUS, 0);
  EXPECT_EQ(BLOCK_TIMES(s.READ("out.dat")), std::vector<std::string>{"  2.0000E+00"});
}

// Which steps reach the writer: by number (all steps of that number), the
// final step (and any step numbered 0), every step, or none.
TEST(DriverSelection, StepNumberFinalStepAndEveryStep) {
  e2e::SCRATCH s;
  s.WRITE("WORK.LST", e2e::WORK_LIST("result.bin"));
  s.WRITE("result.bin", SQUARE_MODEL("SEL") + SQUARE_STEP(1, 100.0) + SQUARE_STEP(2, 200.0) +
                            SQUARE_STEP(2, 250.0) + SQUARE_STEP(0, 300.0) + SQUARE_STEP(3, 400.0));
  auto times = [&](int nsel) {
    e2e::RUN r = s.CONVERT(e2e::ANSWERS(2, "out.dat", nsel));
    EXPECT_EQ(r.STATUS, 0) << nsel;
    EXPECT_TRUE(r.OUT.ends_with(TERMINATION)) << nsel;
    return BLOCK_TIMES(s.READ("out.dat"));
  };
  using V = std::vector<std::string>;
  EXPECT_EQ(times(2), (V{"  2.0000E+02", "  2.5000E+02"}));
  EXPECT_EQ(times(3), (V{"  4.0000E+02"}));
  EXPECT_EQ(times(0), (V{"  3.0000E+02", "  4.0000E+02"}));
  EXPECT_EQ(times(-1), (V{"  1.0000E+02", "  2.0000E+02", "  2.5000E+02", "  3.0000E+02",
                          "  4.0000E+02"}));
  // No step numbered 7: nothing written, and the former output is left as it was.
  EXPECT_EQ(times(7), (V{"  1.0000E+02", "  2.0000E+02", "  2.5000E+02", "  3.0000E+02",
                         "  4.0000E+02"}));
  std::remove((s.DIR / "out.dat").c_str());
  EXPECT_EQ(times(7), V{});
  EXPECT_TRUE(s.EXISTS("out.dat"));
}

// A file with no time step: the question, then at once the termination.
TEST(DriverSelection, NoTimeStepAtAll) {
  e2e::SCRATCH s;
  s.WRITE("WORK.LST", e2e::WORK_LIST("result.bin"));
  s.WRITE("result.bin", SQUARE_MODEL(""));
  e2e::RUN r = s.CONVERT(e2e::ANSWERS(2, "out.dat", 0));
  EXPECT_EQ(r.STATUS, 0);
  EXPECT_TRUE(r.OUT.ends_with(MENU + NAME_PROMPT + STEP_QUESTION + TERMINATION));
  EXPECT_EQ(s.READ("out.dat"), "");
}

// Menu values outside 1..4 open the named file and write nothing to it.
TEST(DriverOutputFile, TypeOutsideMenuCreatesOrKeepsTheFile) {
  e2e::SCRATCH s;
  s.WRITE("WORK.LST", e2e::WORK_LIST("result.bin"));
  s.WRITE("result.bin", SQUARE_MODEL("") + SQUARE_STEP(1, 1.0));
  s.WRITE("keep.dat", "former contents\r\nline two");
  for (int itype : {0, 5, -3}) {
    e2e::RUN r = s.CONVERT(e2e::ANSWERS(itype, "keep.dat", -1));
    EXPECT_EQ(r.STATUS, 0) << itype;
    EXPECT_TRUE(r.OUT.ends_with(NAME_PROMPT + STEP_QUESTION + TERMINATION)) << itype;
    EXPECT_EQ(s.READ("keep.dat"), "former contents\r\nline two") << itype;
  }
  e2e::RUN r = s.CONVERT(e2e::ANSWERS(5, "new.dat", -1));
  EXPECT_EQ(r.STATUS, 0);
  EXPECT_TRUE(s.EXISTS("new.dat"));
  EXPECT_EQ(s.READ("new.dat"), "");
}

// Names: only the first 20 characters of the work-list line and of the typed
// name count, blanks around them do not; a longer old output is cut.
TEST(DriverOutputFile, NamesAndCutting) {
  e2e::SCRATCH s;
  s.WRITE("WORK.LST", "one\ntwo\nthree\n  results_of_run_01XYZ.bin\nfive\n");
  s.WRITE("results_of_run_01X", SQUARE_MODEL("N") + SQUARE_STEP(1, 1.0));
  s.WRITE("output_named_longer_", std::string(5000, 'x'));
  e2e::RUN r = s.CONVERT(e2e::ANSWERS(2, "output_named_longer_than_20.dat", 0));
  EXPECT_EQ(r.STATUS, 0);
  EXPECT_EQ(r.ERR, "");
  const std::string out = s.READ("output_named_longer_");
  EXPECT_TRUE(out.starts_with("TITLE = \"TIME=  1.0000E+00 N ")) << out.substr(0, 40);
  EXPECT_TRUE(out.ends_with("\r\n    1,    2,    3,    4\r\n"));
  EXPECT_EQ(out.find('x'), std::string::npos);
  EXPECT_EQ(out.size(), 108U + 37 + 34 + 4 * 78 + 23 + 8 * 2);
  EXPECT_FALSE(s.EXISTS("output_named_longer_than_20.dat"));

  // An empty name line: the first command-line argument names the file, or,
  // with none, the name typed at the prompt for unit 8.
  r = s.CONVERT(e2e::ANSWERS(2, "", 0), {"from_argument.dat"});
  EXPECT_EQ(r.STATUS, 0);
  EXPECT_TRUE(s.READ("from_argument.dat").starts_with("TITLE = "));
  r = s.CONVERT("0\n0\n2\n\n  \ntyped.dat\n0\n");
  EXPECT_EQ(r.STATUS, 0);
  EXPECT_TRUE(r.OUT.ends_with(NAME_PROMPT +
                              "File name missing or blank - please enter file name\r\n"
                              "UNIT 8? UNIT 8? " +
                              STEP_QUESTION + TERMINATION));
  EXPECT_TRUE(s.READ("typed.dat").starts_with("TITLE = "));
}

// Corners that name no node: one warning, the run goes on and ends normally;
// they take no share in the averages and are written as stored.
TEST(DriverModel, StrayCornersWarnOnce) {
  e2e::SCRATCH s;
  s.WRITE("WORK.LST", e2e::WORK_LIST("result.bin"));
  s.WRITE("result.bin",
          e2e::MODEL_PART("W", {{0, 0, 0, 0, 0}, {1, 0, 0, 0, 0}},
                          {{{1, 2, 9, -2, 1}, 0.0}, {{2, 0, 0, 0, 1}, 0.0}, {{3, 1, 1, 1, 1}, 0.0}}) +
              e2e::STEP(1, 0.0, {{0, 0, 0}, {0, 0, 0}}, {{4.0, 0.0}, {2.0, 0.0}, {8.0, 0.0}}));
  e2e::RUN r = s.CONVERT(e2e::ANSWERS(2, "out.dat", 0));
  EXPECT_EQ(r.STATUS, 0);
  EXPECT_EQ(r.ERR,
            "kovaconv: warning: 3 corner numbers outside 0..NUMNP take no part in node averaging\n");
  // Node 1: element 1 and element 3's corners 2 and 3 (1, 1; corner 4
  // repeats corner 3): (4 + 8 + 8) / 3. Node 2: elements 1 and 2: (4 + 2) / 2.
  EXPECT_EQ(s.READ("out.dat"),
            "TITLE = \"TIME=  0.0000E+00 W" + std::string(79, ' ') + "\"\r\n" +
                "VARIABLES = \"X\",\"Y\",\"H\",\"VX\",\"VY\",\"V\"\r\n"
                "ZONE N=     2, E=     3, F=FEPOINT\r\n"
                "  0.0000E+00,  0.0000E+00,  0.0000E+00,  6.6667E+00,  0.0000E+00,  6.6667E+00,\r\n"
                "  1.0000E+00,  0.0000E+00,  0.0000E+00,  3.0000E+00,  0.0000E+00,  3.0000E+00,\r\n"
                "    1,    2,    9,   -2\r\n"
                "    2,    0,    0,    0\r\n"
                "    3,    1,    1,    1\r\n");
}

// More than 20000 nodes and elements: the store grows to the counts and the
// element table is addressed with its real column length.
TEST(DriverModel, ModelAboveTwentyThousand) {
  constexpr int N = 20001;
  std::vector<NODE> nodes(N);
  std::vector<ELEMENT> elements(N);
  std::vector<NODE_RESULT> heads(N);
  std::vector<ELEMENT_RESULT> velocities(N, ELEMENT_RESULT{1.5, 0.0});
  for (int i = 0; i < N; ++i) {
    nodes[i].X = i + 1;
    elements[i] = ELEMENT{{i + 1, i + 1, i + 1, i + 1, 1}, 0.0};
  }
  e2e::SCRATCH s;
  s.WRITE("WORK.LST", e2e::WORK_LIST("big.bin"));
  s.WRITE("big.bin", e2e::MODEL_PART("BIG", nodes, elements) + e2e::STEP(1, 1.0, heads, velocities));
  e2e::RUN r = s.CONVERT(e2e::ANSWERS(2, "out.dat", 0));
  EXPECT_EQ(r.STATUS, 0);
  EXPECT_NE(r.OUT.find(COUNTS("       20001", "       20001")), std::string::npos);
  const std::string out = s.READ("out.dat");
  EXPECT_NE(out.find("\r\nZONE N= 20001, E= 20001, F=FEPOINT\r\n"
                     "  1.0000E+00,  0.0000E+00,  0.0000E+00,  1.5000E+00,  0.0000E+00,  1.5000E+00,\r\n"),
            std::string::npos);
  EXPECT_NE(out.find("\r\n  2.0001E+04,  0.0000E+00,  0.0000E+00,  1.5000E+00,  0.0000E+00,  1.5000E+00,\r\n"
                     "    1,    1,    1,    1\r\n    2,    2,    2,    2\r\n"),
            std::string::npos);
  EXPECT_TRUE(out.ends_with("\r\n20000,20000,20000,20000\r\n20001,20001,20001,20001\r\n"));
}
