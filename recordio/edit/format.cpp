#include "recordio/edit/format.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "recordio/edit/digits.h"
#include "recordio/records/units.h"

// ---- field editing

namespace {

// Fields are narrow and their blanks few: up to eight columns are stored as
// two overlapping words, cheaper than a library call, which this runs for
// nearly every field.
void FILL(char* out, int w, char c) {
  if (w > 8) {
    std::memset(out, c, static_cast<std::size_t>(w));
    return;
  }
  const std::uint32_t word = 0x01010101U * static_cast<unsigned char>(c);
  if (w >= 4) {
    std::memcpy(out, &word, 4);
    std::memcpy(out + w - 4, &word, 4);
  } else if (w >= 2) {
    std::memcpy(out, &word, 2);
    std::memcpy(out + w - 2, &word, 2);
  } else if (w == 1) {
    *out = c;
  }
}

// TEXT right-justified in W columns, or W asterisks when it is longer.
void RIGHT(char* out, int w, const char* text, int len) {
  if (len > w) {
    FILL(out, w, '*');
    return;
  }
  FILL(out, w - len, ' ');
  std::memcpy(out + (w - len), text, static_cast<std::size_t>(len));
}

// The 4-column exponent part: "E+05" up to 99, "+100" from 100 on.
void PUT_EXPONENT(char* at, int x) {
  const char sign = x < 0 ? '-' : '+';
  const int mag = x < 0 ? -x : x;
  if (mag <= 99) {
    *at++ = 'E';
    *at++ = sign;
    PUT_DIGITS(at, static_cast<std::uint64_t>(mag), 2);
  } else {
    *at++ = sign;
    PUT_DIGITS(at, static_cast<std::uint64_t>(mag), 3);
  }
}

}  // namespace

bool EDIT_NONFINITE(char* OUT, int W, double V) {
  if (std::isfinite(V)) return false;
  if (std::isnan(V)) {
    RIGHT(OUT, W, "NaN", 3);
  } else if (V < 0) {
    RIGHT(OUT, W, "-Infinity", 9);
  } else {
    RIGHT(OUT, W, "Infinity", 8);
  }
  return true;
}

void EDIT_I(char* OUT, int W, std::int32_t V) {
  const bool neg = V < 0;
  const auto mag = static_cast<std::uint64_t>(neg ? -std::int64_t{V} : std::int64_t{V});
  const int n = DIGIT_COUNT(mag);
  const int len = n + (neg ? 1 : 0);
  if (len > W) {
    FILL(OUT, W, '*');
    return;
  }
  FILL(OUT, W - len, ' ');
  if (neg) OUT[W - len] = '-';
  PUT_DIGITS(OUT + (W - n), mag, n);
}

// The field is built in place, right-justified: its length is known from the
// sign, D and the layout before any digit is made.
void EDIT_E(char* OUT, int W, int D, int SCALE, double V) {
  if (EDIT_NONFINITE(OUT, W, V)) return;
  // Zero has no sign and ignores the scale factor.
  const bool zero = V == 0.0;
  const bool neg = !zero && std::signbit(V);
  const bool scaled = SCALE == 1 && !zero;
  // Sign, the digit before the point (1P only), point, D digits, exponent.
  const int need = (neg ? 1 : 0) + (scaled ? 1 : 0) + D + 5;
  if (W < need) {
    FILL(OUT, W, '*');
    return;
  }
  const bool lead_zero = !scaled && W > need;  // the "0" only where there is room
  const int len = need + (lead_zero ? 1 : 0);
  FILL(OUT, W - len, ' ');
  char* at = OUT + (W - len);
  if (neg) *at++ = '-';
  int x = 0;
  if (scaled) {
    const DECIMAL r = SIGNIFICANT_DIGITS(V, D + 1);
    PUT_DIGITS(at + 1, r.D, D + 1);
    at[0] = at[1];
    at[1] = '.';
    at += D + 2;
    x = r.X;
  } else {
    if (lead_zero) *at++ = '0';
    *at++ = '.';
    if (zero) {
      FILL(at, D, '0');
    } else {
      const DECIMAL r = SIGNIFICANT_DIGITS(V, D);
      PUT_DIGITS(at, r.D, D);
      x = r.X + 1;
    }
    at += D;
  }
  PUT_EXPONENT(at, x);
}

void EDIT_F(char* OUT, int W, int D, double V) {
  if (EDIT_NONFINITE(OUT, W, V)) return;
  std::uint64_t u = 0;
  if (!ROUND_FIXED(V, D, u)) {
    FILL(OUT, W, '*');
    return;
  }
  std::array<char, 24> text;
  char* at = text.data();
  // A value that rounds to zero shows no sign, whatever its own sign.
  if (u != 0 && std::signbit(V)) *at++ = '-';
  const std::uint64_t whole = u / POWER_OF_TEN(D);
  if (whole != 0) {
    const int n = DIGIT_COUNT(whole);
    PUT_DIGITS(at, whole, n);
    at += n;
  } else if (W >= (at - text.data()) + D + 2) {
    *at++ = '0';
  }
  *at++ = '.';
  PUT_DIGITS(at, u, D);  // the D lowest digits are the fraction
  at += D;
  RIGHT(OUT, W, text.data(), static_cast<int>(at - text.data()));
}

// ---- the statement

namespace {

// Longer than any record the program's FORMATs build; columns beyond it (only
// a bare A with an enormous text, or TR far out, could reach them) are dropped.
constexpr std::size_t RECORD_MAX = 4096;

struct RECORD {
  // Columns [0, H) are the record so far. A field is built in place even
  // where it crosses RECORD_MAX: its columns beyond land in the spare tail,
  // which is never written out.
  std::array<char, RECORD_MAX + FIELD_MAX> BUF;
  std::size_t P = 0;  // write position
  std::size_t H = 0;  // high-water mark, at most RECORD_MAX
};

// Where the next field goes. Columns skipped by TRn are blank already.
char* OPEN_FIELD(RECORD& r) { return r.BUF.data() + std::min(r.P, RECORD_MAX); }

void CLOSE_FIELD(RECORD& r, std::size_t w) {
  r.P += w;
  if (r.P > r.H) r.H = std::min(r.P, RECORD_MAX);
}

// TRn: the columns passed over are blanked at once; they become part of the
// record only if a field follows them.
void SKIP(RECORD& r, std::size_t n) {
  const std::size_t from = std::min(r.P, RECORD_MAX);
  FILL(r.BUF.data() + from, static_cast<int>(std::min(r.P + n, RECORD_MAX) - from), ' ');
  r.P += n;
}

// PAD blanks, then text of any length: only the columns below RECORD_MAX are kept.
void PLACE_TEXT(RECORD& r, std::string_view t, std::size_t pad = 0) {
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

void END_RECORD(OUTPUT& o, RECORD& r) {
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
void EDIT_ITEM(RECORD& r, const DESCRIPTOR& d, int scale, const ITEM& it) {
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
  FILL(OPEN_FIELD(r), cols, '*');
  CLOSE_FIELD(r, static_cast<std::size_t>(cols));
}

// Data steps come first in EDIT; testing them first keeps the walk to
// well-predicted branches.
constexpr bool IS_DATA(EDIT k) { return k <= EDIT::A; }

}  // namespace

void FORMATTED_STATEMENT(OUTPUT& O, const FORMAT& F, std::span<const ITEM> ITEMS) {
  RECORD r;
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
