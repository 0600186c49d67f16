#include "recordio/unformatted.h"

#include <bit>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "recordio/reports.h"
#include "recordio/unit_table.h"

namespace {

constexpr std::uint64_t LENGTH_FIELD = 4;

// The size of the unit's file now; anything but a regular file has no size
// and so holds no record.
std::uint64_t FILE_SIZE(const UNIT_SLOT& slot) {
  struct stat st {};
  if (::fstat(slot.FD, &st) != 0) FAIL_IO(39, slot.NUMBER, errno);
  if (!S_ISREG(st.st_mode)) return 0;
  return static_cast<std::uint64_t>(st.st_size);
}

// Read N bytes at OFFSET. False when the file ends first (it was cut short
// behind the size seen); a read error ends the run with report 39.
bool READ_AT(const UNIT_SLOT& slot, unsigned char* to, std::size_t n, std::uint64_t offset) {
  while (n > 0) {
    const ssize_t got = ::pread(slot.FD, to, n, static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) FAIL_IO(39, slot.NUMBER, errno);
    if (got == 0) return false;
    to += got;
    n -= static_cast<std::size_t>(got);
    offset += static_cast<std::uint64_t>(got);
  }
  return true;
}

std::uint32_t LITTLE_ENDIAN_32(const unsigned char* p) {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
         std::uint32_t{p[3]} << 24;
}

std::uint64_t LITTLE_ENDIAN_64(const unsigned char* p) {
  return std::uint64_t{LITTLE_ENDIAN_32(p)} | std::uint64_t{LITTLE_ENDIAN_32(p + 4)} << 32;
}

bool END_OF_FILE(int UNIT, bool EOF_BRANCH) {
  if (!EOF_BRANCH) FAIL_IO(24, UNIT, 0);
  return false;
}

}  // namespace

bool FETCH_RECORD(int UNIT, RECORD& R, bool EOF_BRANCH) {
  UNIT_SLOT& slot = CONNECTED_UNIT(UNIT, 39);
  const std::uint64_t size = FILE_SIZE(slot);
  const std::uint64_t left = size > slot.POS ? size - slot.POS : 0;
  if (left < LENGTH_FIELD) return END_OF_FILE(UNIT, EOF_BRANCH);

  unsigned char field[LENGTH_FIELD];
  if (!READ_AT(slot, field, sizeof field, slot.POS)) return END_OF_FILE(UNIT, EOF_BRANCH);
  const auto length = static_cast<std::int32_t>(LITTLE_ENDIAN_32(field));
  // A record the file cannot hold, length fields included, is a record cut
  // off by the end of the file; this is decided before storage grows for it.
  if (left < 2 * LENGTH_FIELD || length < 0 ||
      static_cast<std::uint64_t>(length) > left - 2 * LENGTH_FIELD) {
    return END_OF_FILE(UNIT, EOF_BRANCH);
  }
  const auto bytes = static_cast<std::size_t>(length);
  if (slot.REC.size() < bytes) slot.REC.resize(bytes);
  if (!READ_AT(slot, slot.REC.data(), bytes, slot.POS + LENGTH_FIELD)) {
    return END_OF_FILE(UNIT, EOF_BRANCH);
  }
  // The trailing length field is not read: only its presence counts.
  slot.POS += bytes + 2 * LENGTH_FIELD;
  R = RECORD{UNIT, slot.REC.data(), bytes, 0};
  return true;
}

void NEED_BYTES(const RECORD& R, std::uint64_t BYTES) {
  if (R.LEN - R.POS < BYTES) FAIL_IO(67, R.UNIT, 0);
}

std::int32_t TAKE_INT(RECORD& R) {
  NEED_BYTES(R, 4);
  const auto value = static_cast<std::int32_t>(LITTLE_ENDIAN_32(R.DATA + R.POS));
  R.POS += 4;
  return value;
}

double TAKE_REAL8(RECORD& R) {
  NEED_BYTES(R, 8);
  const double value = std::bit_cast<double>(LITTLE_ENDIAN_64(R.DATA + R.POS));
  R.POS += 8;
  return value;
}

void TAKE_TEXT(RECORD& R, std::span<char> DEST) {
  NEED_BYTES(R, DEST.size());
  if (!DEST.empty()) std::memcpy(DEST.data(), R.DATA + R.POS, DEST.size());
  R.POS += DEST.size();
}

bool AT_END_OF_FILE(int UNIT) {
  const UNIT_SLOT& slot = CONNECTED_UNIT(UNIT, 39);
  return slot.POS >= FILE_SIZE(slot);
}
