#pragma once
// The record layer as the driver and the writers use it: units, formatted and
// list-directed writes, text input, unformatted records, stops and reports.
#include "recordio/format.h"
#include "recordio/input.h"
#include "recordio/items.h"
#include "recordio/list.h"
#include "recordio/number_width.h"
#include "recordio/output_threads.h"
#include "recordio/reports.h"
#include "recordio/statement.h"
#include "recordio/unformatted.h"
#include "recordio/units.h"
