#include "recordio/records/options.h"

#include <cstdio>

#include "recordio/system/platform.h"

namespace KOVA {

namespace {

const OPTION_SPEC* FIND_LONG(std::span<const OPTION_SPEC> SPECS, std::string_view NAME) {
  for (const OPTION_SPEC& S : SPECS)
    if (S.LONG == NAME) return &S;
  return nullptr;
}

const OPTION_SPEC* FIND_SHORT(std::span<const OPTION_SPEC> SPECS, char C) {
  for (const OPTION_SPEC& S : SPECS)
    if (S.SHORT != 0 && S.SHORT == C) return &S;
  return nullptr;
}

std::string QUOTED(std::string_view TEXT) {
  std::string Q(1, '\'');
  Q.append(TEXT).push_back('\'');
  return Q;
}

}  // namespace

PARSED_ARGS PARSE_ARGS(std::span<const OPTION_SPEC> SPECS, std::span<char* const> ARGS) {
  PARSED_ARGS P;
  auto FOUND = [&](const OPTION_SPEC* S, std::string_view VALUE) {
    P.OPTIONS.push_back({static_cast<std::size_t>(S - SPECS.data()), VALUE});
  };
  for (std::size_t A = 0; A < ARGS.size() && P.PROBLEM.empty(); ++A) {
    const std::string_view ARG = ARGS[A];
    if (P.ENDED_BY_DASHES || ARG.size() < 2 || ARG[0] != '-') {
      P.OPERANDS.push_back(ARG);
    } else if (ARG == "--") {
      P.ENDED_BY_DASHES = true;
    } else if (ARG[1] == '-') {
      const std::size_t EQUALS = ARG.find('=');
      const std::string_view NAME = ARG.substr(2, EQUALS == ARG.npos ? ARG.npos : EQUALS - 2);
      const OPTION_SPEC* S = FIND_LONG(SPECS, NAME);
      if (S == nullptr) {
        P.PROBLEM = "unknown option " + QUOTED(ARG.substr(0, EQUALS));
      } else if (!S->TAKES_VALUE) {
        if (EQUALS != ARG.npos) P.PROBLEM = "option " + QUOTED(ARG.substr(0, EQUALS)) + " takes no value";
        else FOUND(S, {});
      } else if (EQUALS != ARG.npos) {
        FOUND(S, ARG.substr(EQUALS + 1));
      } else if (A + 1 < ARGS.size()) {
        FOUND(S, ARGS[++A]);
      } else {
        P.PROBLEM = "option " + QUOTED(ARG) + " needs a value";
      }
    } else {
      // Short flags may share one argument ("-jk"); a short option with a
      // value takes the rest of the argument, or else the next one.
      for (std::size_t K = 1; K < ARG.size() && P.PROBLEM.empty(); ++K) {
        const OPTION_SPEC* S = FIND_SHORT(SPECS, ARG[K]);
        if (S == nullptr) {
          P.PROBLEM = "unknown option " + QUOTED(std::string{'-', ARG[K]});
        } else if (!S->TAKES_VALUE) {
          FOUND(S, {});
        } else {
          if (K + 1 < ARG.size()) FOUND(S, ARG.substr(K + 1));
          else if (A + 1 < ARGS.size()) FOUND(S, ARGS[++A]);
          else P.PROBLEM = "option " + QUOTED(std::string{'-', ARG[K]}) + " needs a value";
          break;
        }
      }
    }
  }
  return P;
}

int USAGE_ERROR(std::string_view PROGRAM, std::string_view MESSAGE) {
  SYS_PLAIN_NEWLINES();  // a line on standard error ends in a line feed alone everywhere
  const std::string NAME(PROGRAM);
  std::fprintf(stderr, "%s: %.*s (see %s --help)\n", NAME.c_str(), static_cast<int>(MESSAGE.size()),
               MESSAGE.data(), NAME.c_str());
  return 2;
}

int SHOW_TEXT(std::string_view TEXT) {
  SYS_PLAIN_NEWLINES();  // the same bytes on every system
  const bool WRITTEN = std::fwrite(TEXT.data(), 1, TEXT.size(), stdout) == TEXT.size();
  return WRITTEN && std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace KOVA
