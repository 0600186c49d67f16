// record_probe: drives the record layer from a small script so that tests can
// watch whole runs (standard streams, files, exit status) end the way the
// converter's runs end.
//
//   record_probe "SCRIPT" [ARGUMENTS...]
//
// SCRIPT holds commands separated by ";", words separated by blanks. The
// ARGUMENTS are the process arguments that a blank file name takes.
//   open U NAME old|unknown f|u   NAME "-" is a blank name
//   put U TEXT                    one record TEXT ("_" stands for a blank)
//   many U N                      N records "RECORD00000001", ...
//   int U                         read one integer; console record "VALUE n"
//   chars U                       read 20 characters; console record "[....]"
//   fetch U | fetchbranch U       fetch a record; console record "LEN n" or "EOF"
//   ints N | reals N | text N     take items from the record fetched last
//   end U                         console record "END T" or "END F"
//   name U                        console record with the unit's file name
//   events | warn TEXT | stop | code
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "recordio/input.h"
#include "recordio/output.h"
#include "recordio/reports.h"
#include "recordio/unformatted.h"
#include "recordio/units.h"

namespace {

std::vector<std::string_view> SPLIT(std::string_view text, char at) {
  std::vector<std::string_view> parts;
  while (!text.empty()) {
    const std::size_t cut = text.find(at);
    const std::string_view part = text.substr(0, cut);
    if (!part.empty()) parts.push_back(part);
    if (cut == std::string_view::npos) break;
    text.remove_prefix(cut + 1);
  }
  return parts;
}

int NUMBER(std::string_view word) {
  int value = 0;
  std::from_chars(word.data(), word.data() + word.size(), value);
  return value;
}

void SAY(std::string_view text) { PUT_RECORD(OUTPUT_OF(CONSOLE_OUT), text); }

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 125;
  // The script takes the place of the program name: the rest are arguments.
  SET_COMMAND_ARGUMENTS(argc - 1, argv + 1);
  std::int32_t value = 77;  // what a null answer leaves
  RECORD record;
  for (std::string_view command : SPLIT(argv[1], ';')) {
    const std::vector<std::string_view> w = SPLIT(command, ' ');
    if (w.empty()) continue;
    const std::string_view verb = w[0];
    const int unit = w.size() > 1 ? NUMBER(w[1]) : 0;
    if (verb == "open") {
      const std::string name = w[2] == "-" ? std::string(20, ' ') : std::string(w[2]);
      OPEN_UNIT(unit, name, w[3] == "old" ? STATUS::OLD : STATUS::UNKNOWN,
                w[4] == "u" ? FORM::UNFORMATTED : FORM::FORMATTED);
    } else if (verb == "put") {
      std::string text(w[2]);
      for (char& c : text) c = c == '_' ? ' ' : c;
      PUT_RECORD(OUTPUT_OF(unit), text);
    } else if (verb == "many") {
      char line[32];
      for (int i = 1; i <= NUMBER(w[2]); ++i) {
        std::snprintf(line, sizeof line, "RECORD%08d", i);
        PUT_RECORD(OUTPUT_OF(unit), line);
      }
    } else if (verb == "int") {
      READ_INTEGER(unit, value);
      SAY("VALUE " + std::to_string(value));
    } else if (verb == "chars") {
      std::string text(20, '?');
      READ_CHARACTERS(unit, std::span<char>(text));
      SAY("[" + text + "]");
    } else if (verb == "fetch" || verb == "fetchbranch") {
      const bool got = FETCH_RECORD(unit, record, verb == "fetchbranch");
      SAY(got ? "LEN " + std::to_string(record.LEN) : std::string("EOF"));
    } else if (verb == "ints") {
      for (int i = 0; i < unit; ++i) SAY("INT " + std::to_string(TAKE_INT(record)));
    } else if (verb == "reals") {
      for (int i = 0; i < unit; ++i) SAY("REAL " + std::to_string(TAKE_REAL8(record)));
    } else if (verb == "text") {
      std::string text(static_cast<std::size_t>(unit), '?');
      TAKE_TEXT(record, std::span<char>(text));
      SAY("TEXT " + text);
    } else if (verb == "end") {
      SAY(AT_END_OF_FILE(unit) ? "END T" : "END F");
    } else if (verb == "name") {
      SAY(UNIT_NAME(unit));
    } else if (verb == "events") {
      INSTALL_CONSOLE_EVENTS();
    } else if (verb == "warn") {
      WARN(w[1]);
    } else if (verb == "stop") {
      STOP_RUN();
    } else if (verb == "code") {
      STOP_RUN_CODE("1111", 1111);
    } else {
      return 125;
    }
  }
  STOP_RUN();
}
