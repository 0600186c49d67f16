#pragma once
// Formatted write statements run on a unit: a parsed FORMAT walked with its
// items, one record built per pass and handed to the unit's output.
#include <initializer_list>
#include <span>

#include "recordio/edit/format.h"
#include "recordio/records/output.h"

namespace KOVA {

// One formatted write statement on the output O: the FORMAT F walked with ITEMS.
void FORMATTED_STATEMENT(OUTPUT& O, const FORMAT& F, std::span<const ITEM> ITEMS);

// The same statement on an open unit.
void WRITE_FORMATTED(int UNIT, const FORMAT& F, std::span<const ITEM> ITEMS);
void WRITE_FORMATTED(int UNIT, const FORMAT& F, std::initializer_list<ITEM> ITEMS);

}  // namespace KOVA
