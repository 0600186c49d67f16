#pragma once
// List-directed write statements: each item kind has a fixed field form, blanks
// go between items where the layout rules ask for them, and records break at
// 80 columns.
#include <initializer_list>
#include <span>

#include "recordio/items.h"
#include "recordio/output.h"

// One list-directed write statement on the output O.
void LIST_STATEMENT(OUTPUT& O, std::span<const ITEM> ITEMS);

// The same statement on an open unit.
void WRITE_LIST(int UNIT, std::span<const ITEM> ITEMS);
void WRITE_LIST(int UNIT, std::initializer_list<ITEM> ITEMS);
