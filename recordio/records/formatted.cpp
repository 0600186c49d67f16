#include "recordio/records/formatted.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "recordio/records/units.h"

namespace KOVA {

namespace {

// Longer than any record the program's FORMATs build; columns beyond it (only
// a bare A with an enormous text, or TR far out, could reach them) are dropped.
constexpr std::size_t RECORD_MAX = 4096;

struct BUILT_RECORD {
  // Columns [0, H) are the record so far. A field is built in place even
  // where it crosses RECORD_MAX: its columns beyond land in the spare tail,
  // which is never written out.
  std::array<char, RECORD_MAX + FIELD_MAX> BUF;
  std::size_t P = 0;  // write position
  std::size_t H = 0;  // high-water mark, at most RECORD_MAX
};

// Where the next field goes. Columns skipped by TRn are blank already.
char* OPEN_FIELD(BUILT_RECORD& r) { return r.BUF.data() + std::min(r.P, RECORD_MAX); }

void CLOSE_FIELD(BUILT_RECORD& r, std::size_t w) {
  r.P += w;
  if (r.P > r.H) r.H = std::min(r.P, RECORD_MAX);
}

// TRn: the columns passed over are blanked at once; they become part of the
// record only if a field follows them.
void SKIP(BUILT_RECORD& r, std::size_t n) {
  const std::size_t from = std::min(r.P, RECORD_MAX);
  FILL_COLUMNS(r.BUF.data() + from, static_cast<int>(std::min(r.P + n, RECORD_MAX) - from), ' ');
  r.P += n;
}

// PAD blanks, then text of any length: only the columns below RECORD_MAX are kept.
void PLACE_TEXT(BUILT_RECORD& r, std::string_view t, std::size_t pad = 0) {
  char* out = OPEN_FIELD(r);
  const std::size_t room = r.P < RECORD_MAX ? RECORD_MAX - r.P : 0;
  const std::size_t w = pad + t.size();
  if (w == 1 && pad == 0) {
    *out = t[0];  // one byte: no library call
  } else if (room > 0) {
    std::memset(out, ' ', std::min(pad, room));
    if (room > pad) std::memcpy(out + pad, t.data(), std::min(t.size(), room - pad));
  }
  CLOSE_FIELD(r, w);
}

void END_RECORD(OUTPUT& o, BUILT_RECORD& r) {
  PUT_RECORD(o, std::string_view(r.BUF.data(), r.H));
  r.P = 0;
  r.H = 0;
}

bool IS_REAL(const ITEM& it) { return it.K == KIND::REAL4 || it.K == KIND::REAL8; }

double REAL_OF(const ITEM& it) {
  return it.K == KIND::REAL4 ? static_cast<double>(it.R4) : it.R8;
}

// Edit one item under a data step. An item of a kind the step does not edit
// fills the field with asterisks.
void EDIT_ITEM(BUILT_RECORD& r, const DESCRIPTOR& d, int scale, const ITEM& it) {
  const int w = d.W;
  switch (d.KIND) {
    case EDIT::E:
      if (IS_REAL(it)) {
        EDIT_E(OPEN_FIELD(r), w, d.D, scale, REAL_OF(it));
        CLOSE_FIELD(r, static_cast<std::size_t>(w));
        return;
      }
      break;
    case EDIT::I:
      if (it.K == KIND::INT) {
        EDIT_I(OPEN_FIELD(r), w, it.I);
        CLOSE_FIELD(r, static_cast<std::size_t>(w));
        return;
      }
      break;
    case EDIT::F:
      if (IS_REAL(it)) {
        EDIT_F(OPEN_FIELD(r), w, d.D, REAL_OF(it));
        CLOSE_FIELD(r, static_cast<std::size_t>(w));
        return;
      }
      break;
    default:  // A
      if (it.K == KIND::TEXT) {
        // A: the text as it stands; Aw: its first w characters, or right-justified.
        const std::string_view t = it.T();
        if (w == 0) {
          PLACE_TEXT(r, t);
        } else if (t.size() >= static_cast<std::size_t>(w)) {
          PLACE_TEXT(r, t.substr(0, static_cast<std::size_t>(w)));
        } else {
          PLACE_TEXT(r, t, static_cast<std::size_t>(w) - t.size());
        }
        return;
      }
      break;
  }
  const int cols = w == 0 ? 1 : w;  // a bare A of a number: one asterisk
  FILL_COLUMNS(OPEN_FIELD(r), cols, '*');
  CLOSE_FIELD(r, static_cast<std::size_t>(cols));
}

// Data steps come first in EDIT; testing them first keeps the walk to
// well-predicted branches.
constexpr bool IS_DATA(EDIT k) { return k <= EDIT::A; }

}  // namespace

void FORMATTED_STATEMENT(OUTPUT& O, const FORMAT& F, std::span<const ITEM> ITEMS) {
  BUILT_RECORD r;
  const ITEM* next = ITEMS.data();  // next item to transfer
  const ITEM* const last = next + ITEMS.size();
  std::size_t at = 0;               // place in the FORMAT
  bool used_in_pass = false;        // items transferred since the FORMAT was (re)started
  int scale = 0;
  for (;;) {
    if (at == F.COUNT) {  // the final parenthesis
      // A pass that transferred nothing would loop for ever: the items it
      // cannot take are left unwritten.
      if (next == last || !used_in_pass) break;
      END_RECORD(O, r);
      at = F.REVERSION;
      used_in_pass = false;
      continue;
    }
    const DESCRIPTOR& d = F.LIST[at++];
    if (IS_DATA(d.KIND)) {
      if (d.SET_SCALE >= 0) scale = d.SET_SCALE;
      for (int k = 0; k < d.REPEAT; ++k) {
        if (next == last) {
          END_RECORD(O, r);
          return;
        }
        EDIT_ITEM(r, d, scale, *next++);
      }
      used_in_pass = true;
    } else if (d.KIND == EDIT::LIT) {
      if (d.LEN == 1 && r.P < RECORD_MAX) {
        r.BUF[r.P] = F.TEXT[d.AT];  // the separators: a single byte
        r.H = ++r.P;
      } else {
        PLACE_TEXT(r, std::string_view(F.TEXT.data() + d.AT, d.LEN));
      }
    } else if (d.KIND == EDIT::TR) {
      SKIP(r, d.W);
    } else if (d.KIND == EDIT::SCALE) {
      scale = d.W;
    } else {  // '/'
      END_RECORD(O, r);
    }
  }
  END_RECORD(O, r);
}

void WRITE_FORMATTED(int UNIT, const FORMAT& F, std::span<const ITEM> ITEMS) {
  FORMATTED_STATEMENT(OUTPUT_OF(UNIT), F, ITEMS);
}

void WRITE_FORMATTED(int UNIT, const FORMAT& F, std::initializer_list<ITEM> ITEMS) {
  FORMATTED_STATEMENT(OUTPUT_OF(UNIT), F, std::span<const ITEM>(ITEMS.begin(), ITEMS.size()));
}

}  // namespace KOVA
