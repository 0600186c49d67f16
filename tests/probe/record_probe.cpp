// record_probe "SCRIPT" [ARGUMENTS...] drives the record layer so that tests watch
// whole runs end as the converter's do. Commands split by ";", words by blanks:
//   open U NAME old|unknown f|u   NAME "-" is a blank name (it takes an ARGUMENT)
//   put U TEXT                    one record TEXT ("_" stands for a blank)
//   many U N                      N records "RECORD00000001", ...
//   wide U N                      N records of 4 MiB, each all one digit 1-9 (1, 2, ...)
//   int U | chars U               read one integer ("VALUE n") or 20 characters ("[...]",
//                                 then " CUT" when characters other than blanks follow)
//   fetch U | fetchbranch U       fetch a record: "LEN n", or "EOF" at the branch
//   ints N | reals N | text N     take items from the record fetched last
//   end U | code                  "END T" or "END F"; stop with code 1111
//   threads N                     N threads for large outputs (1: none)
//   hog                           take memory until there is none
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "recordio/records/file_names.h"
#include "recordio/records/input.h"
#include "recordio/records/output.h"
#include "recordio/records/threads.h"
#include "recordio/records/unformatted.h"
#include "recordio/records/units.h"

using namespace KOVA;

int main(int argc, char** argv) {
  if (argc < 2) return 125;
  SET_COMMAND_ARGUMENTS(argc - 1, argv + 1);  // the script stands in for the program name
  INSTALL_RUN_ENDS();  // as the converter does
  const auto SAY = [](std::string_view text) { PUT_RECORD(OUTPUT_OF(CONSOLE_OUT), text); };
  std::int32_t value = 77;  // what a null answer leaves
  RECORD record;
  std::istringstream script(argv[1]);
  for (std::string command; std::getline(script, command, ';');) {
    std::istringstream words(command);
    std::vector<std::string> w{std::istream_iterator<std::string>(words), {}};
    w.resize(5);
    const int unit = std::atoi(w[1].c_str());
    if (w[0] == "open") {
      OPEN_UNIT(unit, w[2] == "-" ? std::string(20, ' ') : w[2],
                w[3] == "old" ? STATUS::OLD : STATUS::UNKNOWN,
                w[4] == "u" ? FORM::UNFORMATTED : FORM::FORMATTED);
    } else if (w[0] == "put") {
      for (char& c : w[2]) c = c == '_' ? ' ' : c;
      PUT_RECORD(OUTPUT_OF(unit), w[2]);
    } else if (w[0] == "many") {
      char line[32];
      for (int i = 1; i <= std::atoi(w[2].c_str()); ++i) {
        std::snprintf(line, sizeof line, "RECORD%08d", i);
        PUT_RECORD(OUTPUT_OF(unit), line);
      }
    } else if (w[0] == "wide") {
      std::string wide(std::size_t{4} << 20, ' ');
      for (int i = 1; i <= std::atoi(w[2].c_str()); ++i) {
        wide.assign(wide.size(), static_cast<char>('0' + 1 + (i - 1) % 9));
        PUT_RECORD(OUTPUT_OF(unit), wide);
      }
    } else if (w[0] == "int") {
      READ_INTEGER(unit, value);
      SAY("VALUE " + std::to_string(value));
    } else if (w[0] == "chars") {
      std::string text(20, '?');
      const bool cut = READ_CHARACTERS(unit, std::span<char>(text));
      SAY("[" + text + "]" + (cut ? " CUT" : ""));
    } else if (w[0] == "fetch" || w[0] == "fetchbranch") {
      const bool got = FETCH_RECORD(unit, record, w[0] == "fetchbranch");
      SAY(got ? "LEN " + std::to_string(record.LEN) : std::string("EOF"));
    } else if (w[0] == "ints" || w[0] == "reals") {
      for (int i = 0; i < unit; ++i)
        SAY(w[0] == "ints" ? "INT " + std::to_string(TAKE_INT(record))
                           : "REAL " + std::to_string(TAKE_REAL8(record)));
    } else if (w[0] == "text") {
      std::string text(static_cast<std::size_t>(unit), '?');
      TAKE_TEXT(record, std::span<char>(text));
      SAY("TEXT " + text);
    } else if (w[0] == "end") {
      SAY(AT_END_OF_FILE(unit) ? "END T" : "END F");
    } else if (w[0] == "threads") {
      SET_OUTPUT_THREADS(unit);
    } else if (w[0] == "hog") {
      // Address space, not memory: the blocks are never touched.
      std::vector<std::unique_ptr<char[]>> held;
      for (;;) held.push_back(std::make_unique_for_overwrite<char[]>(std::size_t{1} << 20));
    } else if (w[0] == "code") {
      STOP_RUN_CODE("1111", 1111);
    } else if (!w[0].empty()) {
      return 125;
    }
  }
  STOP_RUN();
}
