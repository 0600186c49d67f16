#pragma once
// Unformatted sequential records: a 4-byte little-endian length L, L data
// bytes, L again. One read statement takes one record.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace KOVA {

struct UNIT_SLOT;

// The record being read. Its data stay in the file: items are read through a
// window of bounded size, and bytes beyond the items taken are never read.
struct RECORD {
  int UNIT = 0;
  std::size_t LEN = 0;  // data bytes, from the length field
  std::size_t POS = 0;  // items are taken from the front; the rest is skipped
  UNIT_SLOT* SLOT = nullptr;
  std::uint64_t DATA_AT = 0;              // file offset of the first data byte
  const unsigned char* WINDOW = nullptr;  // data bytes [WINDOW_FROM, WINDOW_TO)
  std::size_t WINDOW_FROM = 0;
  std::size_t WINDOW_TO = 0;
};

// Fetch the next record of UNIT into R. The end-of-file condition (no record,
// or one cut off by the end of the file, judged from its length field) ends
// the run with report 24, except that with EOF_BRANCH an end of the file
// exactly where the record would start returns false.
bool FETCH_RECORD(int UNIT, RECORD& R, bool EOF_BRANCH);

// Report 67 unless at least BYTES remain in R (checked before sizing storage).
void NEED_BYTES(const RECORD& R, std::uint64_t BYTES);

// Take one item from R; report 67 when R holds too few bytes for it. The
// item is taken inline while it lies in the window (a result file's steps
// are read item by item, millions of them); the rest is done out of line.
std::int32_t TAKE_INT_SLOW(RECORD& R);
double TAKE_REAL8_SLOW(RECORD& R);

// The N-byte little-endian unsigned integer at P: one load on a
// little-endian machine.
template <typename U>
inline U LITTLE_ENDIAN_BYTES(const unsigned char* p) {
  U v = 0;
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(&v, p, sizeof v);
  } else {
    for (std::size_t i = sizeof v; i-- > 0;) v = static_cast<U>(v << 8 | p[i]);
  }
  return v;
}

inline std::int32_t TAKE_INT(RECORD& R) {
  if (R.POS + 4 > R.WINDOW_TO) return TAKE_INT_SLOW(R);
  const auto v = LITTLE_ENDIAN_BYTES<std::uint32_t>(R.WINDOW + (R.POS - R.WINDOW_FROM));
  R.POS += 4;
  return static_cast<std::int32_t>(v);
}

inline double TAKE_REAL8(RECORD& R) {
  if (R.POS + 8 > R.WINDOW_TO) return TAKE_REAL8_SLOW(R);
  const auto v = LITTLE_ENDIAN_BYTES<std::uint64_t>(R.WINDOW + (R.POS - R.WINDOW_FROM));
  R.POS += 8;
  return std::bit_cast<double>(v);
}

void TAKE_TEXT(RECORD& R, std::span<char> DEST);

// True when no byte of UNIT's file follows the records fetched so far.
bool AT_END_OF_FILE(int UNIT);

}  // namespace KOVA
