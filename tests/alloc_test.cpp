// Field edits and records allocate nothing: operator new counts its calls over statements of every kind.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <new>

#include "recordio/edit/format.h"
#include "recordio/records/formatted.h"
#include "recordio/records/list.h"
#include "recordio/system/platform.h"

using namespace KOVA;

static std::atomic<long> NEW_CALLS{0};

#pragma GCC diagnostic ignored "-Wmismatched-new-delete"  // free reached from delete: the pair is malloc and free

void* operator new(std::size_t n) {
  NEW_CALLS.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(n == 0 ? 1 : n)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

TEST(NoAllocation, FormattedAndListStatements) {
#ifdef _WIN32
  const OPENED sink = SYS_OPEN_FILE("NUL", false);
#else
  const OPENED sink = SYS_OPEN_FILE("/dev/null", false);
#endif
  ASSERT_EQ(sink.FAULT, OPEN_FAULT::NONE);
  OUTPUT o;
  OUTPUT_ATTACH(o, 8, sink.FD);  // the buffer is allocated here, once
  const ITEM point[] = {ITEM_R8(1.5), ITEM_R8(-2e-7), ITEM_R8(3e100), ITEM_R8(0), ITEM_R8(1.03125), ITEM_R8(9.99995)};
  const ITEM mixed[] = {ITEM_I(12), ITEM_T("ab"), ITEM_R4(0.1F), ITEM_R8(-2.5), ITEM_I(3), ITEM_I(1), ITEM_R8(3600)};
  const ITEM wide[] = {ITEM_T(" LA,TIME "), ITEM_I(5), ITEM_R8(3600.0), ITEM_R4(123.456F), ITEM_R8(1.0e-300),
                       ITEM_T("a text long enough to move to a record of its own ......")};
  const long before = NEW_CALLS.load();
  for (int i = 0; i < 20000; ++i) {  // enough records to fill the output buffer a few times over
    FORMATTED_STATEMENT(o, PARSE_FORMAT("(1PE12.4,6(',',1PE12.4))"), point);
    FORMATTED_STATEMENT(o, PARSE_FORMAT("(I6,A22,1PE13.6,E12.6,/,2(I8,TR2),F12.0,' end')"), mixed);
    LIST_STATEMENT(o, wide);
  }
  OUTPUT_FLUSH(o);
  EXPECT_EQ(NEW_CALLS.load() - before, 0);
  SYS_CLOSE(sink.FD);
  const auto probe = std::make_unique<int>(1);  // the count does see allocations
  EXPECT_EQ(NEW_CALLS.load() - before, 1);
}
