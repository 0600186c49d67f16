#pragma once
// The outputs a conversion can write, one row each: the menu number, the name
// the command line gives it, what the driver opens for it, and the writer
// procedures it runs once per run and once per selected step. Each procedure
// takes the store and passes the writer the fields it names.
#include <cstdint>
#include <span>
#include <string_view>

#include "model/store.h"

namespace KOVA {

enum class OUTPUT_FILES {
  TYPED_FILE,   // the typed output file, unit 8
  ATLAS_PAIR,   // atlas.msh and atlas.pst, units 21 and 22
};

struct OUTPUT_KIND {
  std::int32_t ITYPE;          // the menu number
  std::string_view NAME;       // the command line's name of the output
  std::string_view EXTENSION;  // of the default output name
  std::string_view MENU_LINE;  // the dialogue's menu line
  OUTPUT_FILES OPENS;
  void (*ONCE)(MODEL_STORE& S);  // nullptr: nothing is written once
  void (*STEP)(MODEL_STORE& S);
};

extern const std::span<const OUTPUT_KIND> OUTPUTS;

// The row of menu number ITYPE; nullptr for a number that names no output.
const OUTPUT_KIND* OUTPUT_OF_TYPE(std::int32_t ITYPE);

}  // namespace KOVA
