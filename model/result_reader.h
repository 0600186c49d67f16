#pragma once
// The result file as the sibling tools read it: the records of kovaconv's
// reads, decoded by the same procedures into a model store, but any damage is
// returned with the byte offset of the record where it lies instead of ending
// the run. Records are read by their offsets; only the bytes of a record's items
// are held, so memory stays bounded by the model's counts.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "model/store.h"
#include "recordio/system/platform.h"

namespace KOVA {

enum class RESULT_DAMAGE {
  NONE,
  MISSING_RECORD,   // the file ends where a record of the model or of a step is due
  CUT_LENGTH,       // the file ends inside a record's length field
  NEGATIVE_LENGTH,  // a length field below 0
  LENGTH_PAST_END,  // a record longer than what remains of the file
  TOO_SHORT,        // a record too short for its items
  TRAILING_LENGTH,  // the length field after a record's data differs from the one before
  SHRANK,           // the file turned out shorter than when it was opened
  READ_ERROR,       // the system refused a read
};

struct RESULT_FILE {
  SYS_FILE FD = NO_FILE;
  std::uint64_t SIZE = 0;
  std::uint64_t POS = 0;  // where the next record starts
  std::int64_t RECORDS = 0;  // records read whole so far
  std::vector<unsigned char> ITEMS;  // the items of the record read last
  RESULT_DAMAGE DAMAGE = RESULT_DAMAGE::NONE;
  std::uint64_t DAMAGE_AT = 0;  // offset of the damaged record's length field
  SYS_ERROR REASON = 0;          // the system's reason for a READ_ERROR
  std::int32_t LEADING = 0;     // the length fields of the record read last
  std::int32_t TRAILING = 0;
};

// Open PATH for reading. Returns 0, or the system's reason for the failure, or
// NOT_REGULAR for a pipe or device (records are read by their offsets).
inline constexpr int NOT_REGULAR = -1;
int OPEN_RESULT(const char* PATH, RESULT_FILE& F);
std::string OPEN_FAILURE_TEXT(int REASON);
void CLOSE_RESULT(RESULT_FILE& F);

// The five records of the model part into S. False when one is damaged.
bool READ_RESULT_MODEL(RESULT_FILE& F, MODEL_STORE& S);

// The next time step into S, counted in S.NREAD. False at the end: cleanly,
// where a step header is due and no byte follows (F.DAMAGE stays NONE), or
// at damage in any of the step's three records.
bool READ_RESULT_STEP(RESULT_FILE& F, MODEL_STORE& S);

// Where a time step starts in the file, its number and its time.
struct STEP_AT {
  std::uint64_t AT = 0;
  std::int32_t ISTEP = 0;
  double TIME = 0.0;
};

// Every whole time step from F.POS on (after READ_RESULT_MODEL), walked but
// not read: the header's items are read and the framing of the node and
// element result records is checked as READ_RESULT_STEP checks it, their
// items skipped; S (the model) is not changed. The walk ends where
// READ_RESULT_STEP would end, F.DAMAGE telling how.
std::vector<STEP_AT> SCAN_RESULT_STEPS(RESULT_FILE& F, const MODEL_STORE& S);

// The step that starts at byte AT into S, as READ_RESULT_STEP reads it; F.POS
// ends past it. Damage found here replaces what F held of earlier damage.
bool READ_RESULT_STEP_AT(RESULT_FILE& F, MODEL_STORE& S, std::uint64_t AT);

// What the damage found is, in a few words ("record too short for its
// items"; a read error adds the system's text).
std::string DAMAGE_REASON(const RESULT_FILE& F);

// When the first record is already not the title record of a result file:
// what was found there ("first record is 8 bytes, not the 80-byte title").
// Empty for a file that starts as a result file, or that could not be read.
std::string NOT_A_RESULT_FILE(const RESULT_FILE& F);

}  // namespace KOVA
