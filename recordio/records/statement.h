#pragma once
// Formatted write statements laid out when the program is built.
//
// WRITE_STATEMENT<F>(O, items...) writes the same records as
// FORMATTED_STATEMENT(O, F, items) but walks F at compile time: with the
// number and the types of the items known, every literal, blank and record
// break has a fixed place and every item a fixed field. The statement copies
// its prepared bytes into the unit's buffer and edits each item into its
// field, straight-line code with no descriptor tests left.
//
// Items are typed: std::int32_t for I, float or double for E and F,
// std::string_view for Aw. A FORMAT that a statement cannot lay out in
// advance (a bare A, whose width is the text's, or an item of the wrong kind
// for its descriptor) does not compile; such statements use
// FORMATTED_STATEMENT.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <type_traits>
#include <utility>

#include "recordio/edit/fields.h"
#include "recordio/edit/format.h"
#include "recordio/edit/walk.h"
#include "recordio/records/output.h"

namespace KOVA {

namespace statement_plan {

template <typename T>
constexpr KIND KIND_OF() {
  if constexpr (std::is_same_v<T, std::int32_t>) {
    return KIND::INT;
  } else if constexpr (std::is_same_v<T, float>) {
    return KIND::REAL4;
  } else if constexpr (std::is_same_v<T, double>) {
    return KIND::REAL8;
  } else {
    static_assert(std::is_same_v<T, std::string_view>, "items are int32, float, double or string_view");
    return KIND::TEXT;
  }
}

// Where an item goes: its descriptor and the offset of its field in the
// statement's bytes.
struct PLACED {
  EDIT KIND = EDIT::END;
  std::uint8_t SCALE = 0;
  std::uint16_t W = 0;
  std::uint16_t D = 0;
  std::uint16_t AT = 0;
};

inline constexpr std::size_t STATEMENT_MAX_BYTES = 1024;

// The statement's records one after the other, CR LF between them (the last
// record's CR LF is added when it is committed); blanks where no literal goes.
template <std::size_t N>
struct PLAN {
  std::array<PLACED, N> FIELDS{};
  std::array<char, STATEMENT_MAX_BYTES> TEXT{};
  std::size_t LEN = 0;
};

// The statement's bytes and fields as the walk of F places them.
template <std::size_t N>
struct PLANNER {
  const std::array<KIND, N>& KINDS;
  PLAN<N> P{};
  std::size_t START = 0;  // the current record's first byte
  std::size_t POS = 0;    // write position within it
  std::size_t HIGH = 0;   // its length so far
  std::size_t PLACED_COUNT = 0;

  constexpr void REACH(std::size_t end) {
    if (START + end + 2 > STATEMENT_MAX_BYTES) format_parse::BAD_FORMAT("statement too long to lay out in advance");
    if (end > HIGH) HIGH = end;
  }
  constexpr void FIELD(const DESCRIPTOR& d, int scale, std::size_t i) {
    const KIND item = KINDS[i];
    const bool real = item == KIND::REAL4 || item == KIND::REAL8;
    if ((d.KIND == EDIT::I && item != KIND::INT) || ((d.KIND == EDIT::E || d.KIND == EDIT::F) && !real) ||
        (d.KIND == EDIT::A && item != KIND::TEXT))
      format_parse::BAD_FORMAT("item of the wrong kind for its descriptor");
    if (d.KIND == EDIT::A && d.W == 0) format_parse::BAD_FORMAT("a bare A has no width until the statement runs");
    REACH(POS + d.W);
    P.FIELDS[i] = PLACED{d.KIND, static_cast<std::uint8_t>(scale), d.W, d.D, static_cast<std::uint16_t>(START + POS)};
    POS += d.W;
    ++PLACED_COUNT;
  }
  constexpr void LITERAL(std::string_view text) {
    REACH(POS + text.size());
    for (std::size_t k = 0; k < text.size(); ++k) P.TEXT[START + POS + k] = text[k];
    POS += text.size();
  }
  constexpr void SKIP(std::size_t n) { POS += n; }
  constexpr void RECORD_END() {
    P.TEXT[START + HIGH] = '\r';
    P.TEXT[START + HIGH + 1] = '\n';
    START += HIGH + 2;
    POS = HIGH = 0;
  }
};

// The walk of FORMATTED_STATEMENT, done once by the compiler.
template <std::size_t N>
consteval PLAN<N> MAKE_PLAN(const FORMAT& F, const std::array<KIND, N>& KINDS) {
  PLANNER<N> planner{KINDS};
  for (char& c : planner.P.TEXT) c = ' ';
  WALK_FORMAT(F, N, planner);
  // The general statement leaves such items unwritten; here they are a mistake.
  if (planner.PLACED_COUNT != N) format_parse::BAD_FORMAT("items left that the FORMAT cannot take");
  planner.P.LEN = planner.START + planner.HIGH;
  return planner.P;
}

template <PLACED P, typename T>
inline void PUT_FIELD(char* base, const T& v) {
  char* out = base + P.AT;
  if constexpr (P.KIND == EDIT::I) {
    I_FIELD<P.W>(out, v);
  } else if constexpr (P.KIND == EDIT::E) {
    E_FIELD<P.W, P.D, P.SCALE>(out, static_cast<double>(v));
  } else if constexpr (P.KIND == EDIT::F) {
    EDIT_F(out, P.W, P.D, static_cast<double>(v));
  } else {
    A_FIELD<P.W>(out, v);
  }
}

}  // namespace statement_plan

// The statement's bytes built at AT, its last CR LF left out; their length
// (the same for every call of the statement).
template <const FORMAT& F, typename... T>
inline std::size_t FILL_STATEMENT(char* AT, const T&... ITEMS) {
  using namespace statement_plan;
  static constexpr auto P = MAKE_PLAN<sizeof...(T)>(F, std::array<KIND, sizeof...(T)>{KIND_OF<T>()...});
  std::memcpy(AT, P.TEXT.data(), P.LEN);
  [&]<std::size_t... I>(std::index_sequence<I...>) {
    (PUT_FIELD<P.FIELDS[I]>(AT, ITEMS), ...);
  }(std::index_sequence_for<T...>{});
  return P.LEN;
}

template <const FORMAT& F, typename... T>
inline void WRITE_STATEMENT(OUTPUT& O, const T&... ITEMS) {
  using namespace statement_plan;
  static constexpr auto P = MAKE_PLAN<sizeof...(T)>(F, std::array<KIND, sizeof...(T)>{KIND_OF<T>()...});
  char* at = RECORD_SPACE(O, P.LEN);
  std::memcpy(at, P.TEXT.data(), P.LEN);
  [&]<std::size_t... I>(std::index_sequence<I...>) {
    (PUT_FIELD<P.FIELDS[I]>(at, ITEMS), ...);
  }(std::index_sequence_for<T...>{});
  COMMIT_RECORD(O, at, P.LEN);
}

}  // namespace KOVA
