// The main flow of a run: banner, work list, model, confirmation, menu,
// output opening, time-step question, time-step loop, termination.
#include "driver/driver.h"

#include <array>
#include <span>
#include <string>
#include <string_view>

#include "recordio/progress.h"
#include "recordio/recordio.h"
#include "writers/writers.h"

namespace {

constexpr FORMAT F_BANNER = PARSE_FORMAT(
    "('**********************************************',/,"
    "'* This program is for NU-KOVA .              *',/,"
    "'*  It uses the 4th file inWORK.LST.          *',/,"
    "'*                               by T.Morvane *',/,"
    "'*   NUMNP= upto 5000                         *',/,"
    "'*   NUMEL= upto 5000                         *',/,"
    "'*--------------------------------------------*',/,"
    "'*                               Yes/0  No/1  *',/,"
    "'**********************************************')");

constexpr FORMAT F_END = PARSE_FORMAT("(/,/,'   <<<<<  OK! OK!  NORMAL TERMINATION  >>>>> ')");

constexpr std::span<const ITEM> NO_ITEMS{};

// Japanese console texts, as code page 932 bytes.
constexpr std::string_view NODE_TOTAL = "\x90\xDF\x93\x5F\x91\x8D\x90\x94\x81\x40";
constexpr std::string_view ELEMENT_TOTAL = "  \x97\x76\x91\x66\x91\x8D\x90\x94\x81\x40";
constexpr std::string_view DATA_OK =
    "               \x83\x66\x81\x7C\x83\x5E\x81\x7C\x82\x6E\x82\x6A\x81\x48\x81\x40"
    "\x82\x78\x81\x5E\x82\x4F\x81\x40\x82\x6D\x81\x5E\x82\x50";

void SAY(std::string_view TEXT) { WRITE_LIST(CONSOLE_OUT, {ITEM_T(TEXT)}); }

// Prompt for one integer. The answer holds 0 before the read, so an answer
// that gives no value (a null value or a slash) leaves 0.
std::int32_t ASK_INTEGER() {
  SAY("  INPUT No. ? =");
  std::int32_t ANSWER = 0;
  READ_INTEGER(CONSOLE_IN, ANSWER);
  return ANSWER;
}

// The title as twenty 4-character pieces (two console lines).
void SHOW_TITLE(const MODEL_STORE& S) {
  std::array<ITEM, 20> PIECES;
  for (std::size_t K = 0; K < PIECES.size(); ++K)
    PIECES[K] = ITEM_T(std::string_view(S.TITLE.data() + 4 * K, 4));
  WRITE_LIST(CONSOLE_OUT, PIECES);
}

void OPEN_OUTPUT(std::int32_t ITYPE, MODEL_STORE& S) {
  if (ITYPE == 3) {
    OPEN_UNIT(MESH_UNIT, "atlas.msh", STATUS::UNKNOWN, FORM::FORMATTED);
    OPEN_UNIT(POST_UNIT, "atlas.pst", STATUS::UNKNOWN, FORM::FORMATTED);
    SAY("  ");
    SAY("         Mesh Data          -> atlas.msh");
    SAY("  Velocity and Head    Data -> atlas.pst");
    SAY("  ");
    WRITE_ATLAS_MESH(S.TITLE, S.NUMNP, S.X, S.Y, S.NUMEL, S.IX, S.MAXN);
    return;
  }
  // Every other value, also outside 1..4, opens the typed output file.
  SAY("  INPUT Output File Name");
  NAME_TEXT ONAME;
  READ_NAME(CONSOLE_IN, ONAME);
  OPEN_UNIT(OUTPUT_UNIT, std::string_view(ONAME.data(), ONAME.size()), STATUS::UNKNOWN,
            FORM::FORMATTED);
  if (ITYPE == 4) {
    WRITE_NEUTRAL_MODEL(S.X, S.Y, S.IX, S.NUMNP, S.NUMEL, S.MAXN, S.IOUT);
    WRITE_NEUTRAL_GROUP(S.IX, S.NUMEL, S.MAXN, S.IOUT, S.NGRPID);
  }
}

// A run that wrote no step still ends normally; one line tells the user why.
void WARN_NOTHING_WRITTEN(std::int32_t ITYPE, std::int32_t NSEL, bool ANY_STEP) {
  if (ITYPE < 1 || ITYPE > 4)
    WARN("transfer type " + std::to_string(ITYPE) + " is not 1 to 4; nothing was converted");
  else if (!ANY_STEP)
    WARN("the result file holds no time step; no step was written");
  else
    WARN("time step " + std::to_string(NSEL) + " is not in the result file; no step was written");
}

// Hand the step held in S to the writer of ITYPE; other values write nothing.
void WRITE_STEP(std::int32_t ITYPE, MODEL_STORE& S) {
  switch (ITYPE) {
    case 1:
      WRITE_RESTART(S.NFLAG, S.X, S.Y, S.H, S.Q, S.NCODE, S.NPAR1, S.NPAR2, S.NUMNP, S.ISTEP,
                    S.TIME);
      break;
    case 2:
      WRITE_TECPLOT(S.TITLE, S.X, S.Y, S.H, S.VX, S.VY, S.IX, S.VXN, S.VYN, S.NCNT, S.NUMNP,
                    S.NUMEL, S.MAXN, S.TIME);
      break;
    case 3:
      WRITE_ATLAS_RESULT(S.NREAD, S.H, S.VX, S.VY, S.NUMNP, S.NUMEL, S.TIME, S.MAXN);
      break;
    case 4:
      WRITE_NEUTRAL_STEP(S.H, S.VXN, S.VYN, S.VX, S.VY, S.Q, S.NCNT, S.IX, S.NUMNP, S.NUMEL,
                         S.MAXN, S.TIME, S.IOUT, S.NSETID);
      break;
    default:
      break;
  }
}

}  // namespace

void CONVERT() {
  // The one store of the run; static so that it outlives every way out.
  static MODEL_STORE S;
  S.NSETID = 0;
  S.IOUT = OUTPUT_UNIT;
  S.NGRPID = 20000;
  S.MAXN = MIN_CAPACITY;
  S.NREAD = 0;

  WRITE_LIST(CONSOLE_OUT, NO_ITEMS);
  WRITE_LIST(CONSOLE_OUT, NO_ITEMS);
  WRITE_FORMATTED(CONSOLE_OUT, F_BANNER, NO_ITEMS);
  ASK_INTEGER();  // acknowledges the banner; the answer changes nothing

  NAME_TEXT FNAME;
  READ_WORK_LIST(FNAME);
  READ_MODEL(FNAME, S);

  SHOW_TITLE(S);
  WRITE_LIST(CONSOLE_OUT,
             {ITEM_T(NODE_TOTAL), ITEM_I(S.NUMNP), ITEM_T(ELEMENT_TOTAL), ITEM_I(S.NUMEL)});
  SAY("");
  SAY(DATA_OK);
  SAY("");
  if (ASK_INTEGER() != 0) STOP_RUN_CODE("1111", 1111);

  SAY("  Select data-Transfer type");
  SAY("         KOVA-ReStart ------- 1");
  SAY("         TECPLOT DATA ------- 2");
  SAY("         ATLAS   DATA ------- 3");
  SAY("         FEMAP   DATA ------- 4");
  const std::int32_t ITYPE = ASK_INTEGER();

  OPEN_OUTPUT(ITYPE, S);

  SAY(" Input your interest\tNo. OF TIME STEP");
  SAY("   If input (<0) No., All time step avairable ");
  SAY("   If input (0) No., Final time step avairable ");
  const std::int32_t NSEL = ASK_INTEGER();

  // Every step is read, also after the wanted one; with NSEL 0 the step after
  // which nothing follows in the file is the final step.
  bool ANY_STEP = false;
  bool ANY_WRITTEN = false;
  PROGRESS_BEGIN();
  while (READ_STEP(S)) {
    ANY_STEP = true;
    // Counted without overflow even past 2^31 steps (it wraps instead).
    S.NREAD = static_cast<std::int32_t>(static_cast<std::uint32_t>(S.NREAD) + 1U);
    const bool AT_END = RESULT_AT_END();
    std::int32_t KSEL = NSEL;
    if (NSEL < 0) KSEL = S.ISTEP;
    if (NSEL == 0 && AT_END) KSEL = S.ISTEP;
    if (S.ISTEP == KSEL) {
      WRITE_STEP(ITYPE, S);
      ANY_WRITTEN = true;
    }
    PROGRESS_STEP(static_cast<std::uint32_t>(S.NREAD));
  }
  PROGRESS_END();
  if (!ANY_WRITTEN || ITYPE < 1 || ITYPE > 4) WARN_NOTHING_WRITTEN(ITYPE, NSEL, ANY_STEP);

  // Every output file is written out first: a refused write is reported
  // instead of the termination message.
  FLUSH_ALL_UNITS();
  WRITE_FORMATTED(CONSOLE_OUT, F_END, NO_ITEMS);
  WRITE_LIST(CONSOLE_OUT, {ITEM_T(" ")});
  STOP_RUN();
}
