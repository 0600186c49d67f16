#pragma once
// The walk of a FORMAT over a statement's items, written once for the
// statements the compiler lays out and for those edited while the program runs.
#include <cstddef>
#include <string_view>

#include "recordio/edit/format.h"

namespace KOVA {

// Walk F for ITEM_COUNT items, telling V what each step does:
//   V.FIELD(d, scale, i)  item i edited under data step d, scale factor scale
//                         (0P/1P carry on from step to step and across passes)
//   V.LITERAL(text)       a quoted literal
//   V.SKIP(n)             TRn or nX: n columns passed over
//   V.RECORD_END()        a '/', or the final parenthesis with items left,
//                         where the walk reverts to F.REVERSION
// The walk stops at the first data step with no item left, and at the final
// parenthesis when no item is left or the pass took none (it would loop for
// ever: the items it cannot take are left unwritten). The record under
// construction then is the statement's last; the caller ends it.
template <typename VISITOR>
constexpr void WALK_FORMAT(const FORMAT& F, std::size_t ITEM_COUNT, VISITOR& V) {
  std::size_t next = 0;       // next item to transfer
  std::size_t at = 0;         // place in the FORMAT
  bool used_in_pass = false;  // items transferred since the FORMAT was (re)started
  int scale = 0;
  for (;;) {
    if (at == F.COUNT) {  // the final parenthesis
      if (next == ITEM_COUNT || !used_in_pass) return;
      V.RECORD_END();
      at = F.REVERSION;
      used_in_pass = false;
      continue;
    }
    const DESCRIPTOR& d = F.LIST[at++];
    // Data steps come first in EDIT; testing them first keeps the walk to
    // well-predicted branches.
    if (d.KIND <= EDIT::A) {
      if (d.SET_SCALE >= 0) scale = d.SET_SCALE;
      for (int k = 0; k < d.REPEAT; ++k) {
        if (next == ITEM_COUNT) return;
        V.FIELD(d, scale, next++);
      }
      used_in_pass = true;
    } else if (d.KIND == EDIT::LIT) {
      V.LITERAL(std::string_view(F.TEXT.data() + d.AT, d.LEN));
    } else if (d.KIND == EDIT::TR) {
      V.SKIP(d.W);
    } else if (d.KIND == EDIT::SCALE) {
      scale = d.W;
    } else {  // '/'
      V.RECORD_END();
    }
  }
}

}  // namespace KOVA
