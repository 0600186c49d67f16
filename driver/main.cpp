// kovaconv: converts a NU-KOVA result file into restart, TECPLOT, ATLAS or
// FEMAP data, through a console dialogue or, for scripts, as the command line
// says.
#include <array>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "driver/driver.h"
#include "driver/outputs.h"
#include "recordio/records/file_names.h"
#include "recordio/records/options.h"
#include "recordio/records/threads.h"
#include "recordio/records/units.h"
#include "recordio/run_end/run_end.h"

using namespace KOVA;

namespace {

constexpr std::string_view USAGE =
    "usage: kovaconv [NAME...]\n"
    "       kovaconv --to TYPE [--step SEL] [--output NAME] RESULT\n"
    "       kovaconv --help | --version\n"
    "\n"
    "Without options, a dialogue converts the NU-KOVA result file named on line 4 of\n"
    "WORK.LST (in the current directory) to restart data (1), a TECPLOT point file (2),\n"
    "the ATLAS pair atlas.msh/atlas.pst (3) or a FEMAP neutral file (4). The questions\n"
    "are answered on standard input, one answer a line:\n"
    "  any number (banner), 0 (data OK), the type 1-4, the output name (not for 3),\n"
    "  the time step (a step number, 0 the final step, negative every step).\n"
    "Names are cut to 20 characters. Arguments stand in, in order, for a blank name.\n"
    "\n"
    "With --to, RESULT is converted with no dialogue and nothing on standard output:\n"
    "  -t, --to TYPE      restart, tecplot, atlas or femap\n"
    "  -s, --step SEL     a step number, a list of them (3,7,10), final or all (default)\n"
    "  -o, --output NAME  the output file (default: RESULT's base name with .rst, .plt\n"
    "                     or .neu, here); for atlas the folder of atlas.msh and atlas.pst\n"
    "                     (made when missing; default: here)\n"
    "  -j, --threads N    threads for a large output, 1 to 64 (default: the CPUs\n"
    "                     allowed, at most 4; also KOVA_THREADS=N); 1: one thread\n"
    "Exit status 0 when every requested step was written, 3 when one is missing or\n"
    "none was, 2 for a usage error; see kovaconv(1) for the others.\n"
    "\n"
    "Examples: printf '0\\n0\\n2\\nout.plt\\n0\\n' | kovaconv\n"
    "          kovaconv --to tecplot --step final --output out.plt result.bin\n";

enum OPTION : std::size_t { HELP, VERSION, TO, STEP, OUTPUT, THREADS };
constexpr std::array<OPTION_SPEC, 6> OPTIONS{{
    {"help", 'h', false},
    {"version", 0, false},
    {"to", 't', true},
    {"step", 's', true},
    {"output", 'o', true},
    {"threads", 'j', true},
}};

// A number of threads, 1 to MOST_OUTPUT_THREADS, written as digits alone.
std::optional<int> THREAD_COUNT(std::string_view TEXT) {
  int n = 0;
  const auto [end, err] = std::from_chars(TEXT.data(), TEXT.data() + TEXT.size(), n);
  if (TEXT.empty() || err != std::errc{} || end != TEXT.data() + TEXT.size() || n < 1 ||
      n > MOST_OUTPUT_THREADS)
    return std::nullopt;
  return n;
}

// KOVA_THREADS, when it is set: a value that is no number of threads is
// named in a warning and the default is kept (the conversion does not
// depend on it).
void THREADS_FROM_ENVIRONMENT() {
  const char* value = std::getenv("KOVA_THREADS");
  if (value == nullptr) return;
  if (const std::optional<int> n = THREAD_COUNT(value)) {
    SET_OUTPUT_THREADS(*n);
  } else {
    WARN("KOVA_THREADS='" + std::string(value) + "' is not a number of threads from 1 to " +
         std::to_string(MOST_OUTPUT_THREADS) + "; the default is used");
  }
}

// The conversion the options ask for, or the usage status 2.
int RUN_COMMAND(const PARSED_ARGS& ARGS) {
  COMMAND_RUN RUN;
  RUN.SELECTION.EVERY = true;
  const OUTPUT_KIND* TYPE = nullptr;
  std::optional<std::string_view> OUTPUT_NAME;
  for (const OPTION_FOUND& O : ARGS.OPTIONS) {
    switch (O.WHICH) {
      case TO:
        TYPE = nullptr;
        for (const OUTPUT_KIND& T : OUTPUTS)
          if (T.NAME == O.VALUE) TYPE = &T;
        if (TYPE == nullptr)
          return USAGE_ERROR("kovaconv", "--to takes restart, tecplot, atlas or femap, not '" +
                                             std::string(O.VALUE) + "'");
        break;
      case STEP:
        if (const std::optional<STEP_SELECTION> SEL = PARSE_STEPS(O.VALUE)) {
          RUN.SELECTION = *SEL;
        } else {
          return USAGE_ERROR("kovaconv", "--step takes a step number, a list of them, final or "
                                         "all, not '" + std::string(O.VALUE) + "'");
        }
        break;
      case OUTPUT:
        if (O.VALUE.empty()) return USAGE_ERROR("kovaconv", "--output needs a name");
        OUTPUT_NAME = O.VALUE;
        break;
      case THREADS:
        if (!THREAD_COUNT(O.VALUE))
          return USAGE_ERROR("kovaconv", "--threads takes a number from 1 to " +
                                             std::to_string(MOST_OUTPUT_THREADS) + ", not '" +
                                             std::string(O.VALUE) + "'");
        break;
      default:
        break;
    }
  }
  if (TYPE == nullptr) return USAGE_ERROR("kovaconv", "--to TYPE is needed with other options");
  if (ARGS.OPERANDS.size() != 1 || ARGS.OPERANDS[0].empty())
    return USAGE_ERROR("kovaconv", ARGS.OPERANDS.empty() ? "no result file named"
                                                         : "more than one result file named");
  RUN.ITYPE = TYPE->ITYPE;
  RUN.RESULT = ARGS.OPERANDS[0];
  if (OUTPUT_NAME) {
    RUN.OUTPUT = *OUTPUT_NAME;
  } else if (TYPE->OPENS != OUTPUT_FILES::ATLAS_PAIR) {
    // The result file's base name with the output's extension, in the current folder.
    RUN.OUTPUT = std::filesystem::path(RUN.RESULT)
                     .filename()
                     .replace_extension(std::filesystem::path(TYPE->EXTENSION))
                     .string();
  } else {
    RUN.OUTPUT = ".";
  }
  INSTALL_RUN_ENDS();
  THREADS_FROM_ENVIRONMENT();
  for (const OPTION_FOUND& O : ARGS.OPTIONS)
    if (O.WHICH == THREADS) SET_OUTPUT_THREADS(*THREAD_COUNT(O.VALUE));
  CONVERT_COMMAND(RUN);
}

}  // namespace

int main(int argc, char** argv) {
  const PARSED_ARGS ARGS =
      PARSE_ARGS(OPTIONS, std::span<char* const>(argv, static_cast<std::size_t>(argc)).subspan(1));
  if (!ARGS.PROBLEM.empty()) return USAGE_ERROR("kovaconv", ARGS.PROBLEM);
  for (const OPTION_FOUND& O : ARGS.OPTIONS) {
    if (O.WHICH == HELP) return SHOW_TEXT(USAGE);
  }
  for (const OPTION_FOUND& O : ARGS.OPTIONS) {
    if (O.WHICH == VERSION) return SHOW_TEXT("kovaconv " KOVA_VERSION "\n");
  }
  if (!ARGS.OPTIONS.empty()) return RUN_COMMAND(ARGS);

  // The dialogue: every argument stands in for a blank file name, in order.
  static std::vector<char*> NAMES;
  NAMES.assign(1, argv[0]);
  for (std::string_view NAME : ARGS.OPERANDS) NAMES.push_back(const_cast<char*>(NAME.data()));
  SET_COMMAND_ARGUMENTS(static_cast<int>(NAMES.size()), NAMES.data());
  INSTALL_RUN_ENDS();
  THREADS_FROM_ENVIRONMENT();
  CONVERT();
}
