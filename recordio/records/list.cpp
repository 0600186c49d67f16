#include "recordio/records/list.h"

#include "recordio/records/units.h"

namespace KOVA {

void LIST_STATEMENT(OUTPUT& O, std::span<const ITEM> ITEMS) {
  RECORD_CURSOR cursor = CURSOR_ON(O);
  list_layout::LINE_STATE s(cursor);
  for (const ITEM& it : ITEMS) {
    switch (it.K) {
      case KIND::INT:
        list_layout::PUT_LIST_ITEM(s, it.I);
        break;
      case KIND::REAL4:
        list_layout::PUT_LIST_ITEM(s, it.R4);
        break;
      case KIND::REAL8:
        list_layout::PUT_LIST_ITEM(s, it.R8);
        break;
      case KIND::TEXT:
        list_layout::PUT_LIST_ITEM(s, it.T());
        break;
    }
  }
  s.END();
}

void WRITE_LIST(int UNIT, std::span<const ITEM> ITEMS) { LIST_STATEMENT(OUTPUT_OF(UNIT), ITEMS); }

void WRITE_LIST(int UNIT, std::initializer_list<ITEM> ITEMS) {
  LIST_STATEMENT(OUTPUT_OF(UNIT), std::span<const ITEM>(ITEMS.begin(), ITEMS.size()));
}

}  // namespace KOVA
