// Field edits and records allocate nothing: the global operator new of this
// test binary counts its calls (and otherwise behaves as usual), and a batch of
// statements of every kind must leave the count unchanged.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <new>

#include "recordio/format.h"
#include "recordio/list.h"

namespace {
std::atomic<long> NEW_CALLS{0};
}

// The replacement pair is malloc and free; the compiler, seeing free reached
// from a delete-expression, would take it for a mismatch.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(std::size_t n) {
  NEW_CALLS.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(n == 0 ? 1 : n)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

TEST(NoAllocation, FormattedAndListStatements) {
  static constexpr FORMAT POINT = PARSE_FORMAT("(1PE12.4,6(',',1PE12.4))");
  static constexpr FORMAT NODE = PARSE_FORMAT("(I7,A22,1PE13.6,A1,1PE13.6,A1,1PE13.6)");
  static constexpr FORMAT MESH = PARSE_FORMAT("(I6,3E12.6)");
  static constexpr FORMAT STEP = PARSE_FORMAT("(2(I8,TR2),F12.0)");
  const int fd = ::open("/dev/null", O_WRONLY);
  ASSERT_GE(fd, 0);
  OUTPUT o;
  OUTPUT_ATTACH(o, 8, fd);  // the buffer is allocated here, once
  const ITEM point[] = {ITEM_R8(1.5), ITEM_R8(-2.25e-7), ITEM_R8(3.0e100), ITEM_R8(0.0), ITEM_R8(1.03125),
                        ITEM_R8(9.99995)};
  const ITEM node[] = {ITEM_I(12), ITEM_T(",0,0,1,46,0,0,0,0,"), ITEM_R4(0.1F), ITEM_T(","), ITEM_R4(-7.5F),
                       ITEM_T(","), ITEM_R4(0.0F)};
  const ITEM mesh[] = {ITEM_I(3), ITEM_R8(10.0), ITEM_R8(-2.5), ITEM_R8(0.0)};
  const ITEM step[] = {ITEM_I(3), ITEM_I(1), ITEM_R8(3600.0)};
  const ITEM value[] = {ITEM_I(20000), ITEM_T(","), ITEM_R4(123.456F)};
  const ITEM wide[] = {ITEM_T(" LA,TIME "), ITEM_I(5), ITEM_R8(3600.0), ITEM_R8(1.0e-300), ITEM_R8(0.1),
                       ITEM_T("a text long enough to move to a record of its own ......")};
  const long before = NEW_CALLS.load();
  // Enough records to fill the output buffer a few times over.
  for (int i = 0; i < 20000; ++i) {
    FORMATTED_STATEMENT(o, POINT, point);
    FORMATTED_STATEMENT(o, NODE, node);
    FORMATTED_STATEMENT(o, MESH, mesh);
    FORMATTED_STATEMENT(o, STEP, step);
    LIST_STATEMENT(o, value);
    LIST_STATEMENT(o, wide);
  }
  OUTPUT_FLUSH(o);
  EXPECT_EQ(NEW_CALLS.load() - before, 0);
  ::close(fd);
  // The count does see allocations.
  const auto probe = std::make_unique<int>(1);
  EXPECT_EQ(NEW_CALLS.load() - before, 1);
}
