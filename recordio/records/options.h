#pragma once
// Command-line options as every program of the suite takes them, in the manner
// of getopt_long: "--name value" or "--name=value", "-n value" or "-nvalue",
// flags without values ("-j", several at once as "-jk"), options and operands
// in any order, "--" ending the options, a lone "-" an operand. Parsing only:
// nothing is printed, read or opened.
#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace KOVA {

struct OPTION_SPEC {
  std::string_view LONG;  // without its dashes
  char SHORT = 0;         // 0: no short form
  bool TAKES_VALUE = false;
};

struct OPTION_FOUND {
  std::size_t WHICH = 0;   // its place in the option table
  std::string_view VALUE;  // empty for a flag
};

struct PARSED_ARGS {
  std::vector<OPTION_FOUND> OPTIONS;       // in command-line order
  std::vector<std::string_view> OPERANDS;  // everything else, in order
  bool ENDED_BY_DASHES = false;            // "--" was given
  std::string PROBLEM;                       // a usage error, naming the argument; empty when none
};

// Parse ARGS (the arguments after the program's name) against SPECS.
PARSED_ARGS PARSE_ARGS(std::span<const OPTION_SPEC> SPECS, std::span<char* const> ARGS);

// The usage error: "PROGRAM: MESSAGE (see PROGRAM --help)" on standard error,
// its line ending in a line feed alone on every system. Returns the usage
// status, 2.
int USAGE_ERROR(std::string_view PROGRAM, std::string_view MESSAGE);

// TEXT on standard output as it is, line feeds too (the usage text, the
// version): 0, or 1 when it cannot be written.
int SHOW_TEXT(std::string_view TEXT);

}  // namespace KOVA
