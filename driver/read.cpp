// Reads of the work list and of the result file into the model store.
#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>

#include "driver/driver.h"
#include "model/mesh.h"
#include "model/result_layout.h"
#include "recordio/recordio.h"

namespace KOVA {

namespace {

// The 20 characters as they stand; the open trims the blanks around them.
std::string_view NAME_VIEW(const NAME_TEXT& NAME) { return {NAME.data(), NAME.size()}; }

}  // namespace

void READ_NAME(int UNIT, NAME_TEXT& NAME) {
  if (!READ_CHARACTERS(UNIT, NAME)) return;
  // The name as the open uses it: blanks around it removed.
  std::string USED(NAME_VIEW(NAME));
  USED.erase(USED.find_last_not_of(' ') + 1);  // npos + 1 is 0: a blank name empties
  USED.erase(0, USED.find_first_not_of(' '));
  WARN("name cut to its first 20 characters: " + USED);
}

void READ_WORK_LIST(NAME_TEXT& FNAME) {
  OPEN_UNIT(WORK_UNIT, "WORK.LST", STATUS::OLD, FORM::FORMATTED);
  for (int LINE = 1; LINE <= 3; ++LINE) READ_CHARACTERS(WORK_UNIT, FNAME);
  READ_NAME(WORK_UNIT, FNAME);
}

void READ_MODEL(std::string_view FNAME, NAME_FROM FROM, MODEL_STORE& S) {
  OPEN_UNIT(RESULT_UNIT, FNAME, STATUS::OLD, FORM::UNFORMATTED, FROM);
  RECORD R;

  FETCH_RECORD(RESULT_UNIT, R, false);
  DECODE_TITLE(R, S);
  // The title goes to the console and into every output file: a control
  // character in it could break a record there or drive the terminal.
  for (char& C : S.TITLE)
    if (static_cast<unsigned char>(C) < 32 || C == 127) C = ' ';

  FETCH_RECORD(RESULT_UNIT, R, false);
  S.NUMNP = DECODE_COUNT(R);

  // A count that its record cannot hold ends the run before anything is
  // sized to it, so a damaged count never turns into a huge allocation.
  FETCH_RECORD(RESULT_UNIT, R, false);
  NEED_BYTES(R, ITEM_BYTES(S.NUMNP, NODE_BYTES));
  DECODE_NODES(R, S);

  FETCH_RECORD(RESULT_UNIT, R, false);
  S.NUMEL = DECODE_COUNT(R);

  FETCH_RECORD(RESULT_UNIT, R, false);
  NEED_BYTES(R, ITEM_BYTES(S.NUMEL, ELEMENT_BYTES));
  DECODE_ELEMENTS(R, S);

  // Such corners would index outside the node arrays; the averaging writers
  // skip them, and the user is told once.
  const std::int64_t STRAY = COUNT_STRAY_CORNERS(S);
  if (STRAY > 0)
    WARN(std::to_string(STRAY) + " corner numbers outside 0..NUMNP take no part in node averaging");
}

bool READ_STEP(MODEL_STORE& S) {
  RECORD R;
  if (!FETCH_RECORD(RESULT_UNIT, R, true)) return false;
  DECODE_STEP_HEADER(R, S);

  FETCH_RECORD(RESULT_UNIT, R, false);
  DECODE_NODE_RESULTS(R, S);

  FETCH_RECORD(RESULT_UNIT, R, false);
  DECODE_ELEMENT_RESULTS(R, S);
  return true;
}

bool RESULT_AT_END() { return AT_END_OF_FILE(RESULT_UNIT); }

}  // namespace KOVA
