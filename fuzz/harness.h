#pragma once
// Whole converter runs inside one process, for the fuzz targets.
//
// A run of kovaconv ends through _exit. The targets are linked with
// -Wl,--wrap=_exit: the harness's __wrap__exit jumps back to RUN_CONVERTER
// instead, which then closes what the run left open and checks what it left.
// Destructors of the frames jumped over do not run (leak checks are off).
//
// Every run takes place in a private directory under /dev/shm (or $TMPDIR,
// /tmp), emptied before each run: WORK.LST, the result file "result.bin" and
// whatever the run creates. Standard output goes to /dev/null, standard input
// comes from a file beside that directory. Slashes in the work list and the
// answers are read as '_', so no name a run is given reaches outside it.
#include <string_view>

// Run the converter on these inputs and return the status it exits with.
// A status that no run may end with, or an output file that does not end
// with a whole record, stops the process (a finding).
int RUN_CONVERTER(std::string_view WORK_LIST, std::string_view RESULT, std::string_view ANSWERS);
