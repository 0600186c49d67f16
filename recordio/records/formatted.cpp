#include "recordio/records/formatted.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "recordio/edit/walk.h"
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

// The records of a statement as the walk of its FORMAT builds them.
struct RECORD_BUILDER {
  OUTPUT& O;
  std::span<const ITEM> ITEMS;
  BUILT_RECORD& R;

  void FIELD(const DESCRIPTOR& d, int scale, std::size_t i) { EDIT_ITEM(R, d, scale, ITEMS[i]); }
  void LITERAL(std::string_view text) {
    if (text.size() == 1 && R.P < RECORD_MAX) {
      R.BUF[R.P] = text[0];  // the separators: a single byte
      R.H = ++R.P;
    } else {
      PLACE_TEXT(R, text);
    }
  }
  void SKIP(std::size_t n) { KOVA::SKIP(R, n); }
  void RECORD_END() { END_RECORD(O, R); }
};

}  // namespace

void FORMATTED_STATEMENT(OUTPUT& O, const FORMAT& F, std::span<const ITEM> ITEMS) {
  BUILT_RECORD r;  // its columns are written before they are read
  RECORD_BUILDER builder{O, ITEMS, r};
  WALK_FORMAT(F, ITEMS.size(), builder);
  END_RECORD(O, r);
}

void WRITE_FORMATTED(int UNIT, const FORMAT& F, std::span<const ITEM> ITEMS) {
  FORMATTED_STATEMENT(OUTPUT_OF(UNIT), F, ITEMS);
}

void WRITE_FORMATTED(int UNIT, const FORMAT& F, std::initializer_list<ITEM> ITEMS) {
  FORMATTED_STATEMENT(OUTPUT_OF(UNIT), F, std::span<const ITEM>(ITEMS.begin(), ITEMS.size()));
}

}  // namespace KOVA
