#pragma once
// Unformatted sequential records: a 4-byte little-endian length L, L data
// bytes, L again. One read statement takes one record.
#include <cstddef>
#include <cstdint>
#include <span>

struct RECORD {
  int UNIT = 0;
  const unsigned char* DATA = nullptr;  // valid until the next fetch on UNIT
  std::size_t LEN = 0;
  std::size_t POS = 0;  // items are taken from the front; the rest is skipped
};

// Fetch the next record of UNIT into R. At the end-of-file condition (no
// record, or one cut off by the end of the file) returns false when
// EOF_BRANCH is set; otherwise the run ends with report 24.
bool FETCH_RECORD(int UNIT, RECORD& R, bool EOF_BRANCH);

// Report 67 unless at least BYTES remain in R (checked before sizing storage).
void NEED_BYTES(const RECORD& R, std::uint64_t BYTES);

// Take one item from R; report 67 when R holds too few bytes for it.
std::int32_t TAKE_INT(RECORD& R);
double TAKE_REAL8(RECORD& R);
void TAKE_TEXT(RECORD& R, std::span<char> DEST);

// True when no byte of UNIT's file follows the records fetched so far.
bool AT_END_OF_FILE(int UNIT);
