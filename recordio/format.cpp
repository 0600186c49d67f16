#include "recordio/format.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "recordio/digits.h"
#include "recordio/units.h"

// ---- field editing

namespace {

// Fields are narrow and their blanks few: byte stores for up to eight columns
// beat a library call, which this runs for nearly every field.
void FILL(char* out, int w, char c) {
  switch (w) {
    case 8: out[7] = c; [[fallthrough]];
    case 7: out[6] = c; [[fallthrough]];
    case 6: out[5] = c; [[fallthrough]];
    case 5: out[4] = c; [[fallthrough]];
    case 4: out[3] = c; [[fallthrough]];
    case 3: out[2] = c; [[fallthrough]];
    case 2: out[1] = c; [[fallthrough]];
    case 1: out[0] = c; [[fallthrough]];
    case 0: return;
    default: if (w > 0) std::memset(out, c, static_cast<std::size_t>(w));
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
// a bare A with an enormous text could reach them) are dropped.
constexpr std::size_t RECORD_MAX = 4096;

struct RECORD {
  std::array<char, RECORD_MAX> BUF;  // columns [0, H) are the record so far
  std::size_t P = 0;                 // write position
  std::size_t H = 0;                 // high-water mark
};

// Room for W columns at P, with the columns skipped by TRn blanked. Returns
// the number of columns that fit (W unless the record is at its capacity).
std::size_t OPEN_FIELD(RECORD& r, std::size_t w) {
  if (r.P >= RECORD_MAX) return 0;
  if (r.P > r.H) std::memset(r.BUF.data() + r.H, ' ', r.P - r.H);
  return std::min(w, RECORD_MAX - r.P);
}

void CLOSE_FIELD(RECORD& r, std::size_t w) {
  r.P += w;
  r.H = std::min(std::max(r.H, r.P), RECORD_MAX);
}

void PLACE_TEXT(RECORD& r, std::string_view t) {
  const std::size_t fit = OPEN_FIELD(r, t.size());
  if (fit == 1) {
    r.BUF[r.P] = t[0];  // the separators: no library call for one byte
  } else if (fit > 1) {
    std::memcpy(r.BUF.data() + r.P, t.data(), fit);
  }
  CLOSE_FIELD(r, t.size());
}

void END_RECORD(OUTPUT& o, RECORD& r) {
  PUT_RECORD(o, std::string_view(r.BUF.data(), r.H));
  r.P = 0;
  r.H = 0;
}

double REAL_OF(const ITEM& it) {
  return it.K == KIND::REAL4 ? static_cast<double>(it.R4) : it.R8;
}

bool IS_REAL(const ITEM& it) { return it.K == KIND::REAL4 || it.K == KIND::REAL8; }

// Edit one item under a data descriptor. An item of a kind the descriptor does
// not edit fills the field with asterisks.
void EDIT_ITEM(RECORD& r, const DESCRIPTOR& d, int scale, const ITEM& it) {
  if (d.KIND == EDIT::A && it.K == KIND::TEXT) {
    // A: the text as it stands; Aw: its first w characters, or right-justified.
    const std::size_t w = d.W == 0 ? it.T.size() : d.W;
    const std::size_t fit = OPEN_FIELD(r, w);
    const std::size_t pad = w > it.T.size() ? w - it.T.size() : 0;
    if (fit > 0) {
      char* out = r.BUF.data() + r.P;
      std::memset(out, ' ', std::min(pad, fit));
      if (fit > pad) std::memcpy(out + pad, it.T.data(), fit - pad);
    }
    CLOSE_FIELD(r, w);
    return;
  }
  const int w = d.KIND == EDIT::A && d.W == 0 ? 1 : d.W;
  std::array<char, FIELD_MAX> field;
  const std::size_t fit = OPEN_FIELD(r, static_cast<std::size_t>(w));
  char* out = fit == static_cast<std::size_t>(w) ? r.BUF.data() + r.P : field.data();
  if (d.KIND == EDIT::I && it.K == KIND::INT) {
    EDIT_I(out, w, it.I);
  } else if (d.KIND == EDIT::E && IS_REAL(it)) {
    EDIT_E(out, w, d.D, scale, REAL_OF(it));
  } else if (d.KIND == EDIT::F && IS_REAL(it)) {
    EDIT_F(out, w, d.D, REAL_OF(it));
  } else {
    FILL(out, w, '*');
  }
  if (out == field.data() && fit > 0) std::memcpy(r.BUF.data() + r.P, field.data(), fit);
  CLOSE_FIELD(r, static_cast<std::size_t>(w));
}

// Data descriptors come first in EDIT; testing them first keeps the walk to
// well-predicted branches.
constexpr bool IS_DATA(EDIT k) { return k <= EDIT::A; }

struct OPEN_GROUP {
  std::uint16_t AT;    // index of the GROUP descriptor
  std::uint16_t LEFT;  // passes still to run, this one included
};

}  // namespace

void FORMATTED_STATEMENT(OUTPUT& O, const FORMAT& F, std::span<const ITEM> ITEMS) {
  RECORD r;
  std::array<OPEN_GROUP, FORMAT_MAX_DEPTH> open;
  std::size_t depth = 0;
  std::size_t next = 0;        // next item to transfer
  std::size_t at = 0;          // place in the FORMAT
  std::size_t reversion = 0;   // start of the rightmost top-level group entered
  std::size_t used_in_pass = 0;  // items transferred since the FORMAT was (re)started
  int scale = 0;
  for (;;) {
    if (at == F.COUNT) {  // the final parenthesis
      // A pass that transferred nothing would loop for ever: the items it
      // cannot take are left unwritten.
      if (next == ITEMS.size() || used_in_pass == 0) break;
      END_RECORD(O, r);
      at = reversion;
      used_in_pass = 0;
      continue;
    }
    const DESCRIPTOR& d = F.LIST[at];
    if (IS_DATA(d.KIND)) {
      if (d.SET_SCALE >= 0) scale = d.SET_SCALE;
      for (int k = 0; k < d.REPEAT; ++k) {
        if (next == ITEMS.size()) {
          END_RECORD(O, r);
          return;
        }
        EDIT_ITEM(r, d, scale, ITEMS[next++]);
        ++used_in_pass;
      }
    } else if (d.KIND == EDIT::LIT) {
      PLACE_TEXT(r, std::string_view(F.TEXT.data() + d.AT, d.LEN));
    } else if (d.KIND == EDIT::SCALE) {
      scale = d.W;
    } else if (d.KIND == EDIT::END) {
      if (--open[depth - 1].LEFT > 0) {
        at = open[depth - 1].AT;  // the next pass starts behind the GROUP
      } else {
        --depth;
      }
    } else if (d.KIND == EDIT::GROUP) {
      if (depth == 0) reversion = at;
      open[depth++] = {static_cast<std::uint16_t>(at), d.REPEAT};
    } else if (d.KIND == EDIT::TR) {
      r.P += d.W;
    } else {  // '/'
      END_RECORD(O, r);
    }
    ++at;
  }
  END_RECORD(O, r);
}

void WRITE_FORMATTED(int UNIT, const FORMAT& F, std::span<const ITEM> ITEMS) {
  FORMATTED_STATEMENT(OUTPUT_OF(UNIT), F, ITEMS);
}

void WRITE_FORMATTED(int UNIT, const FORMAT& F, std::initializer_list<ITEM> ITEMS) {
  FORMATTED_STATEMENT(OUTPUT_OF(UNIT), F, std::span<const ITEM>(ITEMS.begin(), ITEMS.size()));
}
