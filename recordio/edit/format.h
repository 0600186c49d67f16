#pragma once
// The FORMATs of formatted write statements and the editing of one field.
//
// A FORMAT is written as text, e.g. "(I5,2(',',I5),6(',',1PE12.4))", and parsed
// at compile time into a flat list of steps, its groups written out pass by
// pass, so a malformed FORMAT does not compile and a statement neither parses
// nor keeps track of groups while the program runs.
//
// Descriptors understood: Iw, Ew.d (1 <= d <= 16), Fw.d (d < w <= 17), A, Aw,
// TRn, nX, 0P/1P (optionally followed directly by a data descriptor, as in
// 1PE12.4; the scale factor shapes E fields only), quoted literals ('' inside
// stands for one quote), '/', repeat counts on data descriptors (8I6) and
// nested groups n( ... ). Widths are at most 255 columns.
#include <array>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>

#include "recordio/edit/items.h"

namespace KOVA {

// GROUP and END appear only while a FORMAT is parsed.
enum class EDIT : std::uint8_t { I, E, F, A, TR, LIT, SLASH, SCALE, GROUP, END };

struct DESCRIPTOR {
  EDIT KIND = EDIT::END;
  std::int8_t SET_SCALE = -1;  // data: the scale factor written just before it
                               // (the 1P of 1PE12.4), -1 for none
  std::uint16_t REPEAT = 1;  // data descriptors (items edited alike) and groups
  std::uint16_t W = 0;       // columns (0 for a bare A); TR: columns skipped; SCALE: factor
  std::uint16_t D = 0;       // digits after the point (E, F)
  std::uint16_t AT = 0;      // LIT: first character in TEXT; GROUP: index of its END
  std::uint16_t LEN = 0;     // LIT: number of characters
};

inline constexpr std::size_t FORMAT_MAX_DESCRIPTORS = 64;   // as written
inline constexpr std::size_t FORMAT_MAX_STEPS = 128;        // groups written out
inline constexpr std::size_t FORMAT_MAX_TEXT = 640;
inline constexpr std::size_t FORMAT_MAX_DEPTH = 8;
inline constexpr int FIELD_MAX = 255;  // widest I, E, F or Aw field

struct FORMAT {
  std::array<DESCRIPTOR, FORMAT_MAX_STEPS> LIST{};
  std::uint16_t COUNT = 0;      // steps in LIST; index COUNT is the final parenthesis
  std::uint16_t REVERSION = 0;  // where the steps start again when items remain at
                                // the final parenthesis: the first step of the last
                                // outermost group, 0 when there is none
  std::array<char, FORMAT_MAX_TEXT> TEXT{};  // the characters of all literals
  std::uint16_t TEXT_LEN = 0;
};

namespace format_parse {

// Not usable at compile time: reaching it while a FORMAT is parsed makes that
// FORMAT a compile error, and the error points at the call naming the fault.
[[noreturn]] inline void BAD_FORMAT(const char* why) { throw why; }

// The descriptors as written, groups marked by GROUP ... END.
struct WRITTEN {
  std::array<DESCRIPTOR, FORMAT_MAX_DESCRIPTORS> LIST{};
  std::uint16_t COUNT = 0;
  std::array<char, FORMAT_MAX_TEXT> TEXT{};
  std::uint16_t TEXT_LEN = 0;
};

constexpr bool IS_DIGIT(char c) { return c >= '0' && c <= '9'; }

constexpr char UPPER(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

struct CURSOR {
  std::string_view S;
  std::size_t AT = 0;
  constexpr void SKIP_BLANKS() {
    while (AT < S.size() && S[AT] == ' ') ++AT;
  }
  constexpr char PEEK() {
    SKIP_BLANKS();
    return AT < S.size() ? UPPER(S[AT]) : '\0';
  }
  constexpr int NUMBER() {
    SKIP_BLANKS();
    if (AT >= S.size() || !IS_DIGIT(S[AT])) BAD_FORMAT("number expected");
    int n = 0;
    while (AT < S.size() && IS_DIGIT(S[AT])) {
      n = n * 10 + (S[AT] - '0');
      if (n > 9999) BAD_FORMAT("number too large");
      ++AT;
    }
    return n;
  }
};

constexpr DESCRIPTOR& ADD(WRITTEN& F, EDIT KIND) {
  if (F.COUNT >= FORMAT_MAX_DESCRIPTORS) BAD_FORMAT("too many descriptors");
  DESCRIPTOR& d = F.LIST[F.COUNT++];
  d.KIND = KIND;
  return d;
}

// A data descriptor letter at the cursor, with REPEAT already read.
constexpr void DATA(WRITTEN& F, CURSOR& c, int REPEAT) {
  const char letter = c.PEEK();
  ++c.AT;
  DESCRIPTOR d;
  d.REPEAT = static_cast<std::uint16_t>(REPEAT);
  switch (letter) {
    case 'I':
      d.KIND = EDIT::I;
      d.W = static_cast<std::uint16_t>(c.NUMBER());
      break;
    case 'E':
    case 'F':
      d.KIND = letter == 'E' ? EDIT::E : EDIT::F;
      d.W = static_cast<std::uint16_t>(c.NUMBER());
      if (c.PEEK() != '.') BAD_FORMAT("'.d' expected");
      ++c.AT;
      d.D = static_cast<std::uint16_t>(c.NUMBER());
      if (letter == 'F' && (d.W > 17 || d.D >= d.W)) BAD_FORMAT("F needs d < w <= 17");
      if (letter == 'E' && (d.D < 1 || d.D > 16)) BAD_FORMAT("E needs 1 <= d <= 16");
      break;
    case 'A':
      d.KIND = EDIT::A;
      c.SKIP_BLANKS();
      if (c.AT < c.S.size() && IS_DIGIT(c.S[c.AT])) d.W = static_cast<std::uint16_t>(c.NUMBER());
      break;
    default:
      BAD_FORMAT("unknown descriptor");
  }
  if (d.W == 0 && d.KIND != EDIT::A) BAD_FORMAT("width 0");
  if (d.W > FIELD_MAX) BAD_FORMAT("field too wide");
  ADD(F, d.KIND) = d;
}

// Descriptors [FROM, TO) of W appended to F as steps, each group written out
// once per pass. OUTER: these are outermost; the walk reverts to the last
// group among them.
constexpr void EXPAND(const WRITTEN& W, std::size_t FROM, std::size_t TO, bool OUTER, FORMAT& F) {
  for (std::size_t i = FROM; i < TO; ++i) {
    const DESCRIPTOR& d = W.LIST[i];
    if (d.KIND == EDIT::GROUP) {
      if (OUTER) F.REVERSION = F.COUNT;
      for (int pass = 0; pass < d.REPEAT; ++pass) EXPAND(W, i + 1, d.AT, false, F);
      i = d.AT;  // its END
      continue;
    }
    if (F.COUNT >= FORMAT_MAX_STEPS) BAD_FORMAT("too many steps once the groups are written out");
    F.LIST[F.COUNT++] = d;
  }
}

}  // namespace format_parse

consteval FORMAT PARSE_FORMAT(std::string_view TEXT) {
  using namespace format_parse;
  WRITTEN F;
  CURSOR c{TEXT};
  if (c.PEEK() != '(') BAD_FORMAT("FORMAT must begin with '('");
  ++c.AT;
  std::array<std::uint16_t, FORMAT_MAX_DEPTH> open{};  // indices of the groups entered
  std::size_t depth = 0;
  bool need_item = true;  // after '(' or ','
  bool comma = false;      // just after ','
  for (;;) {
    const char ch = c.PEEK();
    if (ch == '\0') BAD_FORMAT("missing ')'");
    if (ch == ',') {
      if (need_item) BAD_FORMAT("empty item");
      ++c.AT;
      need_item = true;
      comma = true;
      continue;
    }
    if (ch == ')' && comma) BAD_FORMAT("item missing before ')'");
    comma = false;
    if (ch == ')') {
      ++c.AT;
      if (depth == 0) break;
      ADD(F, EDIT::END);
      const std::uint16_t g = open[--depth];
      F.LIST[g].AT = static_cast<std::uint16_t>(F.COUNT - 1);
      if (F.COUNT - 1 == g + 1) BAD_FORMAT("empty group");
      need_item = false;
      continue;
    }
    if (ch == '/') {  // a record break needs no comma around it
      ++c.AT;
      ADD(F, EDIT::SLASH);
      need_item = false;
      continue;
    }
    if (!need_item) BAD_FORMAT("',' expected");
    need_item = false;
    if (ch == '\'') {
      ++c.AT;
      DESCRIPTOR& lit = ADD(F, EDIT::LIT);
      lit.AT = F.TEXT_LEN;
      for (;;) {
        if (c.AT >= TEXT.size()) BAD_FORMAT("unterminated literal");
        const char t = TEXT[c.AT++];
        if (t == '\'') {
          if (c.AT < TEXT.size() && TEXT[c.AT] == '\'') {
            ++c.AT;
          } else {
            break;
          }
        }
        if (F.TEXT_LEN >= FORMAT_MAX_TEXT) BAD_FORMAT("literals too long");
        F.TEXT[F.TEXT_LEN++] = t;
      }
      lit.LEN = static_cast<std::uint16_t>(F.TEXT_LEN - lit.AT);
      continue;
    }
    if (ch == 'T') {
      ++c.AT;
      if (c.PEEK() != 'R') BAD_FORMAT("only TRn is supported");
      ++c.AT;
      ADD(F, EDIT::TR).W = static_cast<std::uint16_t>(c.NUMBER());
      continue;
    }
    int count = 1;
    bool counted = false;
    if (IS_DIGIT(ch)) {
      count = c.NUMBER();
      counted = true;
    }
    const char next = c.PEEK();
    if (next == 'P') {
      if (!counted || count > 1) BAD_FORMAT("only 0P and 1P are supported");
      ++c.AT;
      const char after = c.PEEK();
      if (after == 'E' || after == 'F' || after == 'I' || after == 'A' || IS_DIGIT(after)) {
        // Folded into the data descriptor it precedes: one step less per field.
        int r = IS_DIGIT(after) ? c.NUMBER() : 1;
        if (r == 0) BAD_FORMAT("repeat count 0");
        DATA(F, c, r);
        F.LIST[F.COUNT - 1].SET_SCALE = static_cast<std::int8_t>(count);
      } else {
        ADD(F, EDIT::SCALE).W = static_cast<std::uint16_t>(count);
      }
      continue;
    }
    if (counted && count == 0) BAD_FORMAT("count 0");
    if (next == 'X') {
      ++c.AT;
      ADD(F, EDIT::TR).W = static_cast<std::uint16_t>(count);
      continue;
    }
    if (next == '(') {
      ++c.AT;
      if (depth >= FORMAT_MAX_DEPTH) BAD_FORMAT("groups nested too deep");
      open[depth++] = F.COUNT;
      ADD(F, EDIT::GROUP).REPEAT = static_cast<std::uint16_t>(count);
      need_item = true;
      continue;
    }
    DATA(F, c, count);
  }
  if (c.PEEK() != '\0') BAD_FORMAT("text after the final ')'");
  FORMAT steps;
  EXPAND(F, 0, F.COUNT, true, steps);
  steps.TEXT = F.TEXT;
  steps.TEXT_LEN = F.TEXT_LEN;
  return steps;
}

// FORMAT text with every '#' outside its literals replaced by the decimal
// digits of W: layouts whose number fields take one width for a whole run
// are written once ("(I#,3(',',I#))") and laid out for each width in use.
struct WIDTH_FILLED {
  std::array<char, FORMAT_MAX_TEXT> TEXT{};
  std::size_t LEN = 0;
  constexpr std::string_view VIEW() const { return {TEXT.data(), LEN}; }
};

template <int W>
consteval WIDTH_FILLED FILL_WIDTH(std::string_view TEXT) {
  using format_parse::BAD_FORMAT;
  static_assert(W >= 1 && W <= FIELD_MAX);
  WIDTH_FILLED out;
  auto put = [&](char c) {
    if (out.LEN >= out.TEXT.size()) BAD_FORMAT("FORMAT text too long");
    out.TEXT[out.LEN++] = c;
  };
  bool quoted = false;
  for (const char c : TEXT) {
    if (c == '\'') quoted = !quoted;  // a doubled quote leaves and re-enters
    if (c != '#' || quoted) {
      put(c);
      continue;
    }
    if (W >= 100) put(static_cast<char>('0' + W / 100));
    if (W >= 10) put(static_cast<char>('0' + W / 10 % 10));
    put(static_cast<char>('0' + W % 10));
  }
  return out;
}

template <int W>
consteval FORMAT PARSE_FORMAT_WIDTH(std::string_view TEXT) {
  return PARSE_FORMAT(FILL_WIDTH<W>(TEXT).VIEW());
}

// w columns of c at out. Fields are narrow and their blanks few: up to eight
// columns are stored as two overlapping words, cheaper than a library call,
// which this runs for nearly every field.
inline void FILL_COLUMNS(char* out, int w, char c) {
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

// Field editing, shared with list-directed statements. Each writes exactly W
// columns at TO; a value that does not fit gives W asterisks.
void EDIT_I(char* TO, int W, std::int32_t V);
void EDIT_E(char* TO, int W, int D, int SCALE, double V);  // SCALE 0 or 1
void EDIT_F(char* TO, int W, int D, double V);
// NaN and the infinities as "NaN", "Infinity", "-Infinity", right-justified.
// Returns false, writing nothing, for a finite V.
bool EDIT_NONFINITE(char* TO, int W, double V);

}  // namespace KOVA
