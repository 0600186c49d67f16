// The main flow of a run: banner, work list, model, confirmation, menu,
// output opening, time-step question, time-step loop, termination.
#include "driver/driver.h"
#include "driver/outputs.h"

#include <array>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>

#include "recordio/buffers/progress.h"
#include "recordio/recordio.h"

namespace KOVA {

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

void OPEN_ATLAS(std::string_view MESH, std::string_view POST, NAME_FROM FROM) {
  OPEN_UNIT(MESH_UNIT, MESH, STATUS::UNKNOWN, FORM::FORMATTED, FROM);
  OPEN_UNIT(POST_UNIT, POST, STATUS::UNKNOWN, FORM::FORMATTED, FROM);
}

// The once-only writes of an output just opened: the ATLAS mesh file, or the
// neutral file's model and group blocks.
void WRITE_ONCE(const OUTPUT_KIND* KIND, MODEL_STORE& S) {
  if (KIND != nullptr && KIND->ONCE != nullptr) KIND->ONCE(S);
}

void OPEN_OUTPUT(const OUTPUT_KIND* KIND, MODEL_STORE& S) {
  if (KIND != nullptr && KIND->OPENS == OUTPUT_FILES::ATLAS_PAIR) {
    OPEN_ATLAS("atlas.msh", "atlas.pst", NAME_FROM::DIALOGUE);
    SAY("  ");
    SAY("         Mesh Data          -> atlas.msh");
    SAY("  Velocity and Head    Data -> atlas.pst");
    SAY("  ");
  } else {
    // Every other output, and a number that names none, opens the typed output file.
    SAY("  INPUT Output File Name");
    NAME_TEXT ONAME;
    READ_NAME(CONSOLE_IN, ONAME);
    OPEN_UNIT(OUTPUT_UNIT, std::string_view(ONAME.data(), ONAME.size()), STATUS::UNKNOWN,
              FORM::FORMATTED);
  }
  WRITE_ONCE(KIND, S);
}

// What the step loop met: whether the file held any step, whether one was
// written, and for each listed step number whether a step had it.
struct STEPS_MET {
  bool ANY_STEP = false;
  bool ANY_WRITTEN = false;
  std::vector<bool> FOUND;
};

// The time-step loop. Every step is read, also after the wanted one, and
// counted in NREAD; each selected step goes to the writer of KIND (none when
// the menu number named no output).
STEPS_MET CONVERT_STEPS(const OUTPUT_KIND* KIND, const STEP_SELECTION& SEL, MODEL_STORE& S) {
  STEPS_MET MET;
  MET.FOUND.assign(SEL.NUMBERS.size(), false);
  PROGRESS_BEGIN();
  while (READ_STEP(S)) {
    MET.ANY_STEP = true;
    // Counted without overflow even past 2^31 steps (it wraps instead).
    S.NREAD = static_cast<std::int32_t>(static_cast<std::uint32_t>(S.NREAD) + 1U);
    // Asked after every step, whatever is selected.
    const bool AT_END = RESULT_AT_END();
    if (TAKES_STEP(SEL, S.ISTEP, MET.FOUND) || (SEL.FINAL && AT_END)) {
      if (KIND != nullptr) KIND->STEP(S);
      MET.ANY_WRITTEN = true;
    }
    PROGRESS_STEP(static_cast<std::uint32_t>(S.NREAD));
  }
  PROGRESS_END();
  return MET;
}

// A run that wrote nothing, or not every step it was asked for, says why in
// one line per cause. Returns true when it did.
bool WARN_UNCONVERTED(std::int32_t ITYPE, const STEP_SELECTION& SEL, const STEPS_MET& MET) {
  if (OUTPUT_OF_TYPE(ITYPE) == nullptr) {
    WARN("transfer type " + std::to_string(ITYPE) + " is not 1 to " + std::to_string(OUTPUTS.size()) +
         "; nothing was converted");
    return true;
  }
  if (!MET.ANY_STEP) {
    WARN("the result file holds no time step; no step was written");
    return true;
  }
  // A file with steps always has a final one.
  if (SEL.EVERY || SEL.FINAL) return false;
  bool WARNED = false;
  for (std::size_t K = 0; K < SEL.NUMBERS.size(); ++K) {
    if (MET.FOUND[K]) continue;
    WARN("time step " + std::to_string(SEL.NUMBERS[K]) + " is not in the result file" +
         (MET.ANY_WRITTEN ? "" : "; no step was written"));
    WARNED = true;
  }
  return WARNED;
}

// The store's start values: neutral-file state, capacity and read count.
MODEL_STORE& START_STORE() {
  // The one store of the run; static so that it outlives every way out.
  static MODEL_STORE S;
  S.NSETID = 0;
  S.IOUT = OUTPUT_UNIT;
  S.NGRPID = 20000;
  S.MAXN = MIN_CAPACITY;
  S.NREAD = 0;
  return S;
}

}  // namespace

void CONVERT() {
  MODEL_STORE& S = START_STORE();

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
  for (const OUTPUT_KIND& K : OUTPUTS) SAY(K.MENU_LINE);
  const std::int32_t ITYPE = ASK_INTEGER();
  const OUTPUT_KIND* KIND = OUTPUT_OF_TYPE(ITYPE);

  OPEN_OUTPUT(KIND, S);

  SAY(" Input your interest\tNo. OF TIME STEP");
  SAY("   If input (<0) No., All time step avairable ");
  SAY("   If input (0) No., Final time step avairable ");
  const std::int32_t NSEL = ASK_INTEGER();

  // A negative answer selects every step; 0 the final step and any step
  // numbered 0; a positive one the steps so numbered.
  STEP_SELECTION SEL;
  SEL.EVERY = NSEL < 0;
  SEL.FINAL = NSEL == 0;
  if (NSEL >= 0) SEL.NUMBERS.push_back(NSEL);
  const STEPS_MET MET = CONVERT_STEPS(KIND, SEL, S);
  const bool WARNED = WARN_UNCONVERTED(ITYPE, SEL, MET);

  // Every output file is written out first: a refused write is reported
  // instead of the termination message.
  FLUSH_ALL_UNITS();
  WRITE_FORMATTED(CONSOLE_OUT, F_END, NO_ITEMS);
  WRITE_LIST(CONSOLE_OUT, {ITEM_T(" ")});
  STOP_RUN(WARNED ? NOTHING_CONVERTED : 0);
}

void CONVERT_COMMAND(const COMMAND_RUN& RUN) {
  MODEL_STORE& S = START_STORE();
  READ_MODEL(RUN.RESULT, NAME_FROM::COMMAND_LINE, S);
  const OUTPUT_KIND* KIND = OUTPUT_OF_TYPE(RUN.ITYPE);
  if (KIND != nullptr && KIND->OPENS == OUTPUT_FILES::ATLAS_PAIR) {
    // The folder is made when missing; a folder that cannot be made fails
    // the open of its files, which reports why.
    std::error_code IGNORED;
    std::filesystem::create_directories(std::filesystem::path(RUN.OUTPUT), IGNORED);
    const std::filesystem::path FOLDER(RUN.OUTPUT);
    OPEN_ATLAS((FOLDER / "atlas.msh").string(), (FOLDER / "atlas.pst").string(),
               NAME_FROM::COMMAND_LINE);
  } else {
    OPEN_UNIT(OUTPUT_UNIT, RUN.OUTPUT, STATUS::UNKNOWN, FORM::FORMATTED, NAME_FROM::COMMAND_LINE);
  }
  WRITE_ONCE(KIND, S);
  const STEPS_MET MET = CONVERT_STEPS(KIND, RUN.SELECTION, S);
  const bool WARNED = WARN_UNCONVERTED(RUN.ITYPE, RUN.SELECTION, MET);
  STOP_RUN(WARNED ? NOTHING_CONVERTED : 0);
}

}  // namespace KOVA
