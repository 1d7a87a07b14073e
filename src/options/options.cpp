#include "options/options.h"

#include <iostream>

namespace quillon {

// A stand-in until the full option table arrives: -s:, -t:, -t, -m:, -sep:.
bool checkOption(const std::string& Option, Settings& S) {
  if (Option.rfind("-s:", 0) == 0 && Option.size() >= 4) {
    S.SourceFile = Option.substr(3);
    S.SourceIsStdin = S.SourceFile == "-";
    if (S.SourceIsStdin)
      S.SourceFile = "STDIN";
    S.SourceName = S.SourceFile;
    return true;
  }
  if (Option.rfind("-t:", 0) == 0 && Option.size() >= 4) {
    S.TargetFromSource = false;
    S.TargetFile = Option.substr(3);
    S.TargetIsStdout = S.TargetFile == "-";
    if (S.TargetIsStdout)
      S.TargetFile = "STDOUT";
    return true;
  }
  if (Option.rfind("-m:", 0) == 0 && Option.size() >= 4) {
    const int Mode = std::atoi(Option.c_str() + 3);
    if (Mode >= 1 && Mode <= 5)
      S.Mode = Mode - 1;
    return true;
  }
  if (Option.rfind("-sep:", 0) == 0 && Option.size() >= 6) {
    S.SeparatorChars = S.SeparatorText = Option.substr(5);
    return true;
  }
  if (Option == "-t") {
    S.TargetFromSource = true;
    S.TargetIsStdout = false;
    return true;
  }
  return false;
}

void trimBlanks(std::string&) {}

int collectOptions(const std::vector<std::string>& Arguments, Settings& S) {
  if (Arguments.empty()) {
    std::cerr << "Error : No options given" << std::endl;
    std::cerr << "use -? option to get usage information" << std::endl;
    return 1;
  }
  bool OptionsOK = true;
  for (const std::string& Argument : Arguments)
    if (!checkOption(Argument, S)) {
      std::cerr << "Error : Illegal option : \"" << Argument << "\"" << std::endl;
      OptionsOK = false;
    }
  if (!OptionsOK) {
    std::cerr << "quillon aborts due one or more wrong options or read errors!" << std::endl;
    return 1;
  }
  return ContinueRun;
}

} // namespace quillon
