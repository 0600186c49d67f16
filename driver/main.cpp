// kovaconv: converts a NU-KOVA result file into restart, TECPLOT, ATLAS or
// FEMAP data through a console dialogue.
#include <cstdio>
#include <string_view>

#include "driver/driver.h"
#include "recordio/units.h"

namespace {

constexpr std::string_view USAGE =
    "usage: kovaconv [NAME...]\n"
    "       kovaconv --help | --version\n"
    "\n"
    "Converts the NU-KOVA result file named on line 4 of WORK.LST (in the current\n"
    "directory) to restart data (1), a TECPLOT point file (2), the ATLAS pair\n"
    "atlas.msh/atlas.pst (3) or a FEMAP neutral file (4). The questions are answered\n"
    "on standard input, one answer a line:\n"
    "  any number (banner), 0 (data OK), the type 1-4, the output name (not for 3),\n"
    "  the time step (a step number, 0 the final step, negative every step).\n"
    "Outputs are written in the current directory; names are cut to 20 characters.\n"
    "Arguments stand in, in order, for a blank name (line 4 of WORK.LST or the\n"
    "output name).\n"
    "\n"
    "Example: printf '0\\n0\\n2\\nout.plt\\n0\\n' | kovaconv\n"
    "See kovaconv(1) for the exit statuses and messages.\n";

// Write TEXT to standard output; exit status 0, or 1 when it cannot be written.
int SHOW(std::string_view TEXT) {
  const bool WRITTEN = std::fwrite(TEXT.data(), 1, TEXT.size(), stdout) == TEXT.size();
  return WRITTEN && std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  // The two options count only as the only argument; any other argument
  // stands in for a blank file name.
  if (argc == 2) {
    const std::string_view ARG = argv[1];
    if (ARG == "--help") return SHOW(USAGE);
    if (ARG == "--version") return SHOW("kovaconv " KOVA_VERSION "\n");
  }
  SET_COMMAND_ARGUMENTS(argc, argv);
  INSTALL_RUN_ENDS();
  CONVERT();
}
