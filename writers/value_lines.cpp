#include "writers/value_lines.h"

#include <cstdint>
#include <string_view>

#include "recordio/records/list.h"
#include "recordio/records/fixed_records.h"

namespace KOVA {

namespace {

template <typename REAL>
bool LINES(OUTPUT& O, std::size_t COUNT, const void* CONTEXT, REAL (*VALUE)(const void*, std::size_t)) {
  using namespace std::string_view_literals;
  return WRITE_FIXED_RECORDS(O, COUNT, [&](char* AT, std::size_t n) {
    return FILL_LIST_RECORD(AT, static_cast<std::int32_t>(n + 1), ","sv, VALUE(CONTEXT, n));
  });
}

}  // namespace

bool VALUE_LINES_IN_PARALLEL(OUTPUT& O, std::size_t COUNT, const void* CONTEXT,
                             float (*VALUE)(const void*, std::size_t)) {
  return LINES(O, COUNT, CONTEXT, VALUE);
}

bool VALUE_LINES_IN_PARALLEL(OUTPUT& O, std::size_t COUNT, const void* CONTEXT,
                             double (*VALUE)(const void*, std::size_t)) {
  return LINES(O, COUNT, CONTEXT, VALUE);
}

}  // namespace KOVA
