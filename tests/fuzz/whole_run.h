#pragma once

#include "driver/run.h"
#include "options/options.h"
#include "options/settings.h"

#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

// One whole run in this process, as the block converter's differential test and its fuzz target
// make it, so that both compare the same things: the option walk and the conversion, the exit
// status, the document read back from its file, and what went to standard error and the log,
// in order.
namespace quillon::wholerun {

struct Outcome {
  int Status = -1;
  std::string Document;
  std::string Messages;
};

// The seconds of the closing report are the one thing that may differ between two runs.
inline std::string withoutSeconds(std::string Text) {
  const std::string Mark = "-> Conversion time : ";
  const std::size_t At = Text.find(Mark);
  if (At != std::string::npos) {
    const std::size_t Digits = At + Mark.size();
    Text.erase(Digits, Text.find(' ', Digits) - Digits);
  }
  return Text;
}

// Runs the program on Arguments, which name TargetFile as the target (removed first).
inline Outcome run(const std::vector<std::string>& Arguments, const std::string& TargetFile) {
  ::unlink(TargetFile.c_str());
  quillon::resetSettings();
  Outcome Result;
  std::ostringstream Messages;
  std::ostringstream Usage; // standard output: only the usage text of a rejected option
  std::streambuf* const Out = std::cout.rdbuf(Usage.rdbuf());
  std::streambuf* const Err = std::cerr.rdbuf(Messages.rdbuf());
  std::streambuf* const Log = std::clog.rdbuf(Messages.rdbuf());
  Result.Status = quillon::collectOptions(Arguments, quillon::theSettings());
  if (Result.Status == quillon::ContinueRun)
    Result.Status = quillon::runConversion(quillon::theSettings());
  std::cout.rdbuf(Out);
  std::cerr.rdbuf(Err);
  std::clog.rdbuf(Log);
  quillon::resetSettings();
  Result.Messages = withoutSeconds(Messages.str());
  std::ifstream Target(TargetFile, std::ios::binary);
  Result.Document.assign(std::istreambuf_iterator<char>(Target), std::istreambuf_iterator<char>());
  return Result;
}

} // namespace quillon::wholerun
