#include "recordio/records/file_names.h"

#include <array>
#include <charconv>
#include <span>
#include <string>

#include "recordio/records/input.h"

namespace KOVA {

namespace {

std::span<char*> ARGUMENTS;
std::size_t NEXT_ARGUMENT = 1;  // argument 0 is the program

std::string_view TRIM_BLANKS(std::string_view text) {
  const std::size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// A blank file name: the next unused non-blank argument, else ask at the console.
std::string NAME_FOR_BLANK(int UNIT) {
  while (NEXT_ARGUMENT < ARGUMENTS.size()) {
    const std::string_view arg = TRIM_BLANKS(ARGUMENTS[NEXT_ARGUMENT++]);
    if (!arg.empty()) return std::string(arg);
  }
  OUTPUT& console = OUTPUT_OF(CONSOLE_OUT);
  PUT_RECORD(console, "File name missing or blank - please enter file name");
  std::array<char, 32> prompt{};
  char* end = prompt.data();
  for (char c : std::string_view("UNIT ")) *end++ = c;
  end = std::to_chars(end, prompt.data() + prompt.size(), UNIT).ptr;
  *end++ = '?';
  *end++ = ' ';
  for (;;) {
    OUTPUT_WRITE_NOW(console, std::string_view(prompt.data(), end));
    std::string answer = NEXT_NAME_RECORD(CONSOLE_IN);
    if (!answer.empty()) return answer;
  }
}

}  // namespace

void SET_COMMAND_ARGUMENTS(int ARGC, char** ARGV) {
  ARGUMENTS = std::span<char*>(ARGV, ARGC > 0 ? static_cast<std::size_t>(ARGC) : 0);
  NEXT_ARGUMENT = 1;
}

void OPEN_UNIT(int UNIT, std::string_view NAME, STATUS S, FORM F, NAME_FROM FROM) {
  std::string name(TRIM_BLANKS(NAME));
  if (name.empty()) name = NAME_FOR_BLANK(UNIT);
  CONNECT_FILE(UNIT, name, S, F, FROM);
}

}  // namespace KOVA
