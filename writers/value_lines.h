#pragma once
// The value lines of the FEMAP result vectors ("ENTITY, VALUE", list-directed,
// all of one length), built by the threads of large outputs when they run.
// Apart from the neutral-file writer so that its own one-thread code is
// compiled exactly as it is without them.
#include <cstddef>

#include "recordio/records/output.h"

namespace KOVA {

// The lines of entities 1..COUNT, VALUE(CONTEXT, n) the value of entity n + 1;
// false when the threads do not run for O (the caller writes the lines).
bool VALUE_LINES_IN_PARALLEL(OUTPUT& O, std::size_t COUNT, const void* CONTEXT,
                             float (*VALUE)(const void*, std::size_t));
bool VALUE_LINES_IN_PARALLEL(OUTPUT& O, std::size_t COUNT, const void* CONTEXT,
                             double (*VALUE)(const void*, std::size_t));

}  // namespace KOVA
