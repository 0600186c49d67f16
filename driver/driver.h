#pragma once
// The conversion driver: the console dialogue, the reads of the work list and
// of the result file, and the dispatch of every selected time step to a writer.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "model/step_selection.h"
#include "model/store.h"
#include "recordio/records/units.h"

namespace KOVA {

// Units the driver opens. None is closed before the final stop.
inline constexpr int OUTPUT_UNIT = 8;   // the typed output file
inline constexpr int RESULT_UNIT = 10;  // the result file named in WORK.LST
inline constexpr int MESH_UNIT = 21;    // "atlas.msh"
inline constexpr int POST_UNIT = 22;    // "atlas.pst"
inline constexpr int WORK_UNIT = 98;    // "WORK.LST"

using NAME_TEXT = std::array<char, 20>;  // a file name, blank-padded

// The status of a normal end whose run wrote no step it was asked for.
inline constexpr int NOTHING_CONVERTED = 3;

// A conversion asked for on the command line: the menu number of the output
// (1 restart, 2 TECPLOT, 3 ATLAS, 4 FEMAP), the result file, and the output
// file, or for ATLAS the folder of atlas.msh and atlas.pst.
struct COMMAND_RUN {
  std::int32_t ITYPE = 0;
  std::string RESULT;
  std::string OUTPUT;
  STEP_SELECTION SELECTION;
};

// The whole run, from the banner to the stop. Never returns: it ends with the
// normal stop, the stop 1111 or a failure report of the record layer.
[[noreturn]] void CONVERT();

// The same conversion without a dialogue and without WORK.LST: nothing goes
// to the console, warnings and reports to standard error. Ends with status 0
// when every requested step was written, 3 when one is missing or none was.
[[noreturn]] void CONVERT_COMMAND(const COMMAND_RUN& RUN);

// Read one line into NAME (its first 20 characters, blank-padded). A name
// cut from a longer line is shown in a warning, since it names another file
// than the user wrote.
void READ_NAME(int UNIT, NAME_TEXT& NAME);

// Open WORK.LST as unit 98 and read its first four lines into FNAME, each
// replacing the last: FNAME ends up holding the fourth. The unit stays open.
void READ_WORK_LIST(NAME_TEXT& FNAME);

// Open the result file FNAME as unit 10 and read its model part (title, node
// count, nodes, element count, elements) into S, sizing the store's arrays
// once. Warns about corner numbers outside 0..NUMNP.
void READ_MODEL(std::string_view FNAME, NAME_FROM FROM, MODEL_STORE& S);
inline void READ_MODEL(const NAME_TEXT& FNAME, MODEL_STORE& S) {
  READ_MODEL(std::string_view(FNAME.data(), FNAME.size()), NAME_FROM::DIALOGUE, S);
}

// Read the next time step into S, in place. False, with S unchanged, when the
// file ends where the step's first record is due.
bool READ_STEP(MODEL_STORE& S);

// True when no byte of the result file follows the records read so far.
bool RESULT_AT_END();

}  // namespace KOVA
