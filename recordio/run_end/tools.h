#pragma once
// What the sibling programs (kovagen, kovainfo, kova2vtk) share: files written
// whole or not at all, and the ways a run ends that the program's own flow
// does not see (lack of memory, signals).
//
// A file is written whole or not at all: its bytes go to a new file of a
// unique name beside it, created exclusively (never an existing file, never
// through a link planted at that name), which takes the file's name by a
// rename once every byte is written. Two runs writing the same file leave one
// run's whole file; a run that ends early leaves no temporary file.
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

#include "recordio/system/platform.h"

namespace KOVA {

// Memory that cannot be had ends the run with the line "PROGRAM: error: out
// of memory" on standard error and exit status 71. On POSIX systems a write
// past the file-size limit becomes a refused write (EFBIG) instead of a kill,
// and SIGINT, SIGTERM, SIGHUP and SIGQUIT end the run by their signal. Either
// way the temporary file being written is removed first.
void PREPARE_TOOL_ENDS(const char* PROGRAM);

struct WHOLE_FILE {
  std::filesystem::path PATH;  // the file being made
  std::string TEMP;            // the name it is written under: ".NAME." and six characters
  SYS_FILE FD = NO_FILE;
  SYS_ERROR FIRST_FAILURE = 0;  // the first failure
};

// Create the temporary file for PATH; the system's reason when it cannot be.
std::error_code BEGIN_WHOLE_FILE(const std::filesystem::path& PATH, WHOLE_FILE& W);

// Append BYTES; nothing more is written after a failure.
void WRITE_WHOLE_FILE(WHOLE_FILE& W, std::string_view BYTES);

// Close the temporary file and rename it to PATH when every byte was
// written; otherwise remove it. The first failure, if any.
std::error_code FINISH_WHOLE_FILE(WHOLE_FILE& W);

}  // namespace KOVA
