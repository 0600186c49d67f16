#include "model/result_reader.h"

#include "model/result_layout.h"
#include "recordio/system/platform.h"

namespace KOVA {

namespace {

constexpr std::uint64_t LENGTH_FIELD = 4;

bool DAMAGED(RESULT_FILE& F, RESULT_DAMAGE D, int REASON = 0) {
  F.DAMAGE = D;
  F.DAMAGE_AT = F.POS;
  F.REASON = REASON;
  return false;
}

// N bytes at OFFSET into TO; false with REASON set to the system's reason, or
// to 0 when the file turned out shorter than its size said.
bool READ_AT(SYS_FILE FD, unsigned char* TO, std::size_t N, std::uint64_t OFFSET, SYS_ERROR& REASON) {
  while (N > 0) {
    std::size_t GOT = 0;
    REASON = SYS_READ_AT(FD, TO, N, OFFSET, GOT);
    if (REASON != 0 || GOT == 0) return false;
    TO += GOT;
    N -= GOT;
    OFFSET += GOT;
  }
  return true;
}

// A read that came short: the system refused it, or the file lost bytes that
// its size held when it was opened (the analysis was run again over it).
bool READ_FAILED(RESULT_FILE& F, SYS_ERROR REASON) {
  return DAMAGED(F, REASON != 0 ? RESULT_DAMAGE::READ_ERROR : RESULT_DAMAGE::SHRANK, REASON);
}

std::int32_t LENGTH_AT(const unsigned char* P) {
  HELD_RECORD FIELD{std::span(P, LENGTH_FIELD)};
  return TAKE_INT(FIELD);
}

// Fetch the record at F.POS whose items take NEEDED bytes into R: the items
// only; bytes after them are skipped. Framing is checked before anything
// grows: a length field that is negative or runs past the end of the file is
// damage, as is a record shorter than NEEDED. The trailing length field must
// repeat the leading one; reading it also finds a file cut behind the items.
// Without HOLD_ITEMS only the framing is checked and R holds nothing.
bool FETCH(RESULT_FILE& F, HELD_RECORD& R, std::uint64_t NEEDED, bool HOLD_ITEMS = true) {
  // A file smaller now than when it was opened has lost records that were
  // read or counted on: it was written anew, and what follows is not the
  // rest of what was read.
  std::uint64_t NOW = 0;
  if (const SYS_ERROR REASON = SYS_FILE_SIZE(F.FD, NOW); REASON != 0) return READ_FAILED(F, REASON);
  if (NOW < F.SIZE) return DAMAGED(F, RESULT_DAMAGE::SHRANK);
  const std::uint64_t LEFT = F.SIZE > F.POS ? F.SIZE - F.POS : 0;
  if (LEFT == 0) return DAMAGED(F, RESULT_DAMAGE::MISSING_RECORD);
  if (LEFT < LENGTH_FIELD) return DAMAGED(F, RESULT_DAMAGE::CUT_LENGTH);
  unsigned char FIELD[LENGTH_FIELD];
  SYS_ERROR REASON = 0;
  if (!READ_AT(F.FD, FIELD, LENGTH_FIELD, F.POS, REASON)) return READ_FAILED(F, REASON);
  const std::int32_t LENGTH = LENGTH_AT(FIELD);
  F.LEADING = LENGTH;
  if (LENGTH < 0) return DAMAGED(F, RESULT_DAMAGE::NEGATIVE_LENGTH);
  if (static_cast<std::uint64_t>(LENGTH) + 2 * LENGTH_FIELD > LEFT) {
    return DAMAGED(F, RESULT_DAMAGE::LENGTH_PAST_END);
  }
  if (static_cast<std::uint64_t>(LENGTH) < NEEDED) return DAMAGED(F, RESULT_DAMAGE::TOO_SHORT);
  // A record that holds its items only (every record of a sound file) is
  // read with its trailing length field in one go.
  const auto HELD = HOLD_ITEMS ? static_cast<std::size_t>(NEEDED) : 0;
  const bool ADJACENT = static_cast<std::uint64_t>(LENGTH) == HELD;
  const std::size_t READ = HELD + (ADJACENT ? LENGTH_FIELD : 0);
  if (F.ITEMS.size() < READ) F.ITEMS.resize(READ);
  if (!READ_AT(F.FD, F.ITEMS.data(), READ, F.POS + LENGTH_FIELD, REASON)) return READ_FAILED(F, REASON);
  unsigned char TRAIL[LENGTH_FIELD];
  const unsigned char* TRAILING = F.ITEMS.data() + HELD;
  if (!ADJACENT) {
    if (!READ_AT(F.FD, TRAIL, LENGTH_FIELD, F.POS + LENGTH_FIELD + static_cast<std::uint64_t>(LENGTH), REASON)) {
      return READ_FAILED(F, REASON);
    }
    TRAILING = TRAIL;
  }
  F.TRAILING = LENGTH_AT(TRAILING);
  if (F.TRAILING != LENGTH) return DAMAGED(F, RESULT_DAMAGE::TRAILING_LENGTH);
  F.POS += static_cast<std::uint64_t>(LENGTH) + 2 * LENGTH_FIELD;
  ++F.RECORDS;
  R = HELD_RECORD{std::span(F.ITEMS.data(), HELD)};
  return true;
}

}  // namespace

int OPEN_RESULT(const char* PATH, RESULT_FILE& F) {
  F = RESULT_FILE{};
  SYS_ERROR REASON = SYS_OPEN_READING(PATH, F.FD);
  if (REASON != 0) return REASON;
  if (!SYS_IS_REGULAR(F.FD)) {
    REASON = NOT_REGULAR;  // records are read by offset
  } else {
    REASON = SYS_FILE_SIZE(F.FD, F.SIZE);
  }
  if (REASON != 0) CLOSE_RESULT(F);
  return REASON;
}

std::string OPEN_FAILURE_TEXT(int REASON) {
  char BUF[256];
  return REASON == NOT_REGULAR ? "not a regular file" : std::string(SYS_ERROR_TEXT(REASON, BUF));
}

void CLOSE_RESULT(RESULT_FILE& F) {
  if (F.FD != NO_FILE) SYS_CLOSE(F.FD);
  F.FD = NO_FILE;
}

bool READ_RESULT_MODEL(RESULT_FILE& F, MODEL_STORE& S) {
  HELD_RECORD R;
  if (!FETCH(F, R, TITLE_BYTES)) return false;
  DECODE_TITLE(R, S);
  if (!FETCH(F, R, COUNT_BYTES)) return false;
  S.NUMNP = DECODE_COUNT(R);
  if (!FETCH(F, R, ITEM_BYTES(S.NUMNP, NODE_BYTES))) return false;
  DECODE_NODES(R, S);
  if (!FETCH(F, R, COUNT_BYTES)) return false;
  S.NUMEL = DECODE_COUNT(R);
  if (!FETCH(F, R, ITEM_BYTES(S.NUMEL, ELEMENT_BYTES))) return false;
  DECODE_ELEMENTS(R, S);
  return true;
}

bool READ_RESULT_STEP(RESULT_FILE& F, MODEL_STORE& S) {
  if (F.POS >= F.SIZE) return false;  // the clean end of the steps
  HELD_RECORD R;
  if (!FETCH(F, R, STEP_HEADER_BYTES)) return false;
  DECODE_STEP_HEADER(R, S);
  if (!FETCH(F, R, ITEM_BYTES(S.NUMNP, NODE_RESULT_BYTES))) return false;
  DECODE_NODE_RESULTS(R, S);
  if (!FETCH(F, R, ITEM_BYTES(S.NUMEL, ELEMENT_RESULT_BYTES))) return false;
  DECODE_ELEMENT_RESULTS(R, S);
  ++S.NREAD;
  return true;
}

std::vector<STEP_AT> SCAN_RESULT_STEPS(RESULT_FILE& F, const MODEL_STORE& S) {
  std::vector<STEP_AT> STEPS;
  HELD_RECORD R;
  MODEL_STORE HEADER;  // takes the header's items; its arrays stay empty
  while (F.POS < F.SIZE) {
    const std::uint64_t AT = F.POS;
    if (!FETCH(F, R, STEP_HEADER_BYTES)) break;
    DECODE_STEP_HEADER(R, HEADER);
    if (!FETCH(F, R, ITEM_BYTES(S.NUMNP, NODE_RESULT_BYTES), false)) break;
    if (!FETCH(F, R, ITEM_BYTES(S.NUMEL, ELEMENT_RESULT_BYTES), false)) break;
    STEPS.push_back({AT, HEADER.ISTEP, HEADER.TIME});
  }
  return STEPS;
}

bool READ_RESULT_STEP_AT(RESULT_FILE& F, MODEL_STORE& S, std::uint64_t AT) {
  F.POS = AT;
  return READ_RESULT_STEP(F, S);
}

std::string DAMAGE_REASON(const RESULT_FILE& F) {
  switch (F.DAMAGE) {
    case RESULT_DAMAGE::NONE: return "no damage";
    case RESULT_DAMAGE::MISSING_RECORD: return "the file ends where a record is due";
    case RESULT_DAMAGE::CUT_LENGTH: return "the file ends inside a record length field";
    case RESULT_DAMAGE::NEGATIVE_LENGTH: return "negative record length";
    case RESULT_DAMAGE::LENGTH_PAST_END: return "record length runs past the end of the file";
    case RESULT_DAMAGE::TOO_SHORT: return "record too short for its items";
    case RESULT_DAMAGE::TRAILING_LENGTH:
      return "trailing length " + std::to_string(F.TRAILING) + " differs from leading length " +
             std::to_string(F.LEADING);
    case RESULT_DAMAGE::SHRANK: return "the file shrank while it was read";
    case RESULT_DAMAGE::READ_ERROR: {
      char BUF[256];
      return "read error: " + std::string(SYS_ERROR_TEXT(F.REASON, BUF));
    }
  }
  return "damage";
}

std::string NOT_A_RESULT_FILE(const RESULT_FILE& F) {
  if (F.RECORDS > 0) return {};
  const std::string L = std::to_string(F.LEADING);
  switch (F.DAMAGE) {
    case RESULT_DAMAGE::MISSING_RECORD: return "the file is empty";
    case RESULT_DAMAGE::CUT_LENGTH: return "the file is only " + std::to_string(F.SIZE) + " bytes long";
    case RESULT_DAMAGE::NEGATIVE_LENGTH: return "first record length " + L + " is negative";
    case RESULT_DAMAGE::LENGTH_PAST_END:
      return "first record length " + L + " runs past the end of the file (" + std::to_string(F.SIZE) + " bytes)";
    case RESULT_DAMAGE::TOO_SHORT: return "first record is " + L + " bytes, not the 80-byte title";
    case RESULT_DAMAGE::TRAILING_LENGTH:
      return "first record's trailing length " + std::to_string(F.TRAILING) + " differs from its leading length " + L;
    default: return {};  // no damage, or a read that failed: nothing was found
  }
}

}  // namespace KOVA
