#pragma once
// Items of a write statement: the four kinds the record layer edits.
// An ITEM is a small value passed by copy; text items view bytes owned by the
// caller (the model store, a literal), so building an item list allocates nothing.
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace KOVA {

enum class KIND : std::uint8_t { INT, REAL4, REAL8, TEXT };

// One value at a time, tagged by K: a record's item list stays small to build.
struct ITEM {
  KIND K = KIND::INT;
  std::size_t LEN = 0;  // TEXT: its length
  union {
    std::int32_t I = 0;
    float R4;
    double R8;
    const char* CHARS;  // TEXT: its first character
  };
  constexpr std::string_view T() const { return {CHARS, LEN}; }
};

constexpr ITEM ITEM_I(std::int32_t v) {
  ITEM it;
  it.I = v;
  return it;
}
constexpr ITEM ITEM_R4(float v) {
  ITEM it;
  it.K = KIND::REAL4;
  it.R4 = v;
  return it;
}
constexpr ITEM ITEM_R8(double v) {
  ITEM it;
  it.K = KIND::REAL8;
  it.R8 = v;
  return it;
}
constexpr ITEM ITEM_T(std::string_view v) {
  ITEM it;
  it.K = KIND::TEXT;
  it.LEN = v.size();
  it.CHARS = v.data();
  return it;
}

}  // namespace KOVA
