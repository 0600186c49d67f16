#pragma once
// Items of a write statement: the four kinds the record layer edits.
// An ITEM is a small value passed by copy; text items view bytes owned by the
// caller (the model store, a literal), so building an item list allocates nothing.
#include <cstdint>
#include <string_view>

enum class KIND : std::uint8_t { INT, REAL4, REAL8, TEXT };

struct ITEM {
  KIND K = KIND::INT;
  std::int32_t I = 0;
  float R4 = 0.0F;
  double R8 = 0.0;
  std::string_view T;
};

constexpr ITEM ITEM_I(std::int32_t v) { return ITEM{KIND::INT, v, 0.0F, 0.0, {}}; }
constexpr ITEM ITEM_R4(float v) { return ITEM{KIND::REAL4, 0, v, 0.0, {}}; }
constexpr ITEM ITEM_R8(double v) { return ITEM{KIND::REAL8, 0, 0.0F, v, {}}; }
constexpr ITEM ITEM_T(std::string_view v) { return ITEM{KIND::TEXT, 0, 0.0F, 0.0, v}; }
