// Reads of the work list and of the result file into the model store.
#include <algorithm>
#include <charconv>
#include <cstddef>
#include <string_view>

#include "driver/driver.h"
#include "driver/result_layout.h"
#include "recordio/recordio.h"

namespace {

// The 20 characters as they stand; the open trims the blanks around them.
std::string_view NAME_VIEW(const NAME_TEXT& NAME) { return {NAME.data(), NAME.size()}; }

}  // namespace

void READ_WORK_LIST(NAME_TEXT& FNAME) {
  OPEN_UNIT(WORK_UNIT, "WORK.LST", STATUS::OLD, FORM::FORMATTED);
  for (int LINE = 1; LINE <= 4; ++LINE) READ_CHARACTERS(WORK_UNIT, FNAME);
}

void READ_MODEL(const NAME_TEXT& FNAME, MODEL_STORE& S) {
  OPEN_UNIT(RESULT_UNIT, NAME_VIEW(FNAME), STATUS::OLD, FORM::UNFORMATTED);
  RECORD R;

  FETCH_RECORD(RESULT_UNIT, R, false);
  DECODE_TITLE(R, S);

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
  if (STRAY > 0) {
    char TEXT[96];
    auto [END, EC] = std::to_chars(TEXT, TEXT + 24, STRAY);
    (void)EC;
    constexpr std::string_view REST = " corner numbers outside 0..NUMNP take no part in node averaging";
    END = std::copy(REST.begin(), REST.end(), END);
    WARN(std::string_view(TEXT, static_cast<std::size_t>(END - TEXT)));
  }
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

std::int64_t COUNT_STRAY_CORNERS(const MODEL_STORE& S) {
  std::int64_t N = 0;
  for (std::int32_t E = 0; E < S.NUMEL; ++E)
    for (std::size_t J = 0; J < 4; ++J) {
      const std::int32_t C = S.IX[IX_AT(S, E, J)];
      if (C < 0 || C > S.NUMNP) ++N;
    }
  return N;
}
