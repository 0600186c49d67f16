#include "recordio/records/unformatted.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "recordio/run_end/run_end.h"
#include "recordio/buffers/unit_table.h"
#include "recordio/records/units.h"

namespace KOVA {

namespace {

constexpr std::uint64_t LENGTH_FIELD = 4;

// The size of the unit's file now; anything but a regular file has no size
// and so holds no record. A file smaller than it was seen to be lost records
// that were read or counted on (the analysis was run again over it): that is
// a record cut off, never the end of the steps.
std::uint64_t FILE_SIZE(UNIT_SLOT& slot) {
  std::uint64_t size = 0;
  if (const SYS_ERROR err = SYS_FILE_SIZE(slot.FD, size); err != 0) FAIL_IO(REPORT::READ_FAILURE, slot.NUMBER, err);
  if (size < slot.SIZE_SEEN) FAIL_IO(REPORT::END_OF_FILE, slot.NUMBER, 0);
  slot.SIZE_SEEN = size;
  return size;
}

// Read N bytes at OFFSET. False when the file ends first (it was cut short
// behind the size seen); a read error ends the run with report 39.
bool READ_AT(const UNIT_SLOT& slot, unsigned char* to, std::size_t n, std::uint64_t offset) {
  while (n > 0) {
    std::size_t got = 0;
    if (const SYS_ERROR err = SYS_READ_AT(slot.FD, to, n, offset, got); err != 0) {
      FAIL_IO(REPORT::READ_FAILURE, slot.NUMBER, err);
    }
    if (got == 0) return false;
    to += got;
    n -= got;
    offset += got;
  }
  return true;
}

// Data bytes read at once into the record window: items never straddle more
// than one refill, and a record of any length costs no more than this.
constexpr std::size_t WINDOW_BYTES = std::size_t{64} << 10;

bool END_OF_FILE(int UNIT, bool CLEAN_END) {
  if (!CLEAN_END) FAIL_IO(REPORT::END_OF_FILE, UNIT, 0);
  return false;
}

// Read the window anew from R.POS on: as many data bytes as it holds, or
// the rest of the record.
void SLIDE_WINDOW(RECORD& R) {
  UNIT_SLOT& slot = *R.SLOT;
  if (slot.REC.size() < WINDOW_BYTES) slot.REC.resize(WINDOW_BYTES);
  const std::size_t n = std::min(WINDOW_BYTES, R.LEN - R.POS);
  // The file was cut short behind the size seen when the record was fetched.
  if (!READ_AT(slot, slot.REC.data(), n, R.DATA_AT + R.POS)) FAIL_IO(REPORT::END_OF_FILE, R.UNIT, 0);
  R.WINDOW = slot.REC.data();
  R.WINDOW_FROM = R.POS;
  R.WINDOW_TO = R.POS + n;
}

// The next N (at most 8) data bytes of R, after the check for report 67.
const unsigned char* TAKE_BYTES(RECORD& R, std::size_t N) {
  NEED_BYTES(R, N);
  if (R.POS + N > R.WINDOW_TO) SLIDE_WINDOW(R);
  const unsigned char* at = R.WINDOW + (R.POS - R.WINDOW_FROM);
  R.POS += N;
  return at;
}

}  // namespace

bool FETCH_RECORD(int UNIT, RECORD& R, bool EOF_BRANCH) {
  UNIT_SLOT& slot = CONNECTED_UNIT(UNIT, REPORT::READ_FAILURE);
  const std::uint64_t size = FILE_SIZE(slot);
  const std::uint64_t left = size > slot.POS ? size - slot.POS : 0;
  // Only an end exactly where a record would start is the clean end.
  const bool clean_end = EOF_BRANCH && left == 0;
  if (left < LENGTH_FIELD) return END_OF_FILE(UNIT, clean_end);

  unsigned char field[LENGTH_FIELD];
  if (!READ_AT(slot, field, sizeof field, slot.POS)) return END_OF_FILE(UNIT, false);
  const auto length = static_cast<std::int32_t>(LITTLE_ENDIAN_BYTES<std::uint32_t>(field));
  // A record the file cannot hold, length fields included, is a record cut
  // off by the end of the file; this is decided before any data is read.
  if (left < 2 * LENGTH_FIELD || length < 0 ||
      static_cast<std::uint64_t>(length) > left - 2 * LENGTH_FIELD) {
    return END_OF_FILE(UNIT, false);
  }
  const auto bytes = static_cast<std::size_t>(length);
  // The data and the trailing length field are read only as items need them.
  R = RECORD{UNIT, bytes, 0, &slot, slot.POS + LENGTH_FIELD, nullptr, 0, 0};
  slot.POS += bytes + 2 * LENGTH_FIELD;
  return true;
}

void NEED_BYTES(const RECORD& R, std::uint64_t BYTES) {
  if (R.LEN - R.POS < BYTES) FAIL_IO(REPORT::TOO_MUCH_DATA, R.UNIT, 0);
}

std::int32_t TAKE_INT_SLOW(RECORD& R) {
  return static_cast<std::int32_t>(LITTLE_ENDIAN_BYTES<std::uint32_t>(TAKE_BYTES(R, 4)));
}

double TAKE_REAL8_SLOW(RECORD& R) { return std::bit_cast<double>(LITTLE_ENDIAN_BYTES<std::uint64_t>(TAKE_BYTES(R, 8))); }

void TAKE_TEXT(RECORD& R, std::span<char> DEST) {
  NEED_BYTES(R, DEST.size());
  // Straight into DEST, whatever its length.
  auto* to = reinterpret_cast<unsigned char*>(DEST.data());
  if (!DEST.empty() && !READ_AT(*R.SLOT, to, DEST.size(), R.DATA_AT + R.POS)) FAIL_IO(REPORT::END_OF_FILE, R.UNIT, 0);
  R.POS += DEST.size();
}

bool AT_END_OF_FILE(int UNIT) {
  UNIT_SLOT& slot = CONNECTED_UNIT(UNIT, REPORT::READ_FAILURE);
  return slot.POS >= FILE_SIZE(slot);
}

}  // namespace KOVA
