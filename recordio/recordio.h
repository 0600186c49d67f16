#pragma once
// The record layer as the driver and the writers use it: units, formatted and
// list-directed writes, text input, unformatted records, stops and reports.
#include "recordio/edit/format.h"
#include "recordio/edit/items.h"
#include "recordio/edit/number_width.h"
#include "recordio/records/file_names.h"
#include "recordio/records/formatted.h"
#include "recordio/records/input.h"
#include "recordio/records/list.h"
#include "recordio/records/fixed_records.h"
#include "recordio/records/statement.h"
#include "recordio/records/unformatted.h"
#include "recordio/records/units.h"
#include "recordio/run_end/run_end.h"

namespace KOVA {

}  // namespace KOVA
