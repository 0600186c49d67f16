// kovaconv: converts a NU-KOVA result file into restart, TECPLOT, ATLAS or
// FEMAP data through a console dialogue.
#include "driver/driver.h"
#include "recordio/units.h"

int main(int argc, char** argv) {
  SET_COMMAND_ARGUMENTS(argc, argv);
  INSTALL_RUN_ENDS();
  CONVERT();
}
