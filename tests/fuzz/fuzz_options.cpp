// Option texts through checkOption, bytes as a configuration file through readConfigFile, and
// argument lists through collectOptions.
// Input: a mode byte, then lines. Mode 0: every line is an option; mode 1: the lines are a
// configuration file; mode 2: every line is an argument, and -cfg: and -exec name the lines
// themselves written to a file (so a file may name itself).
#include "fuzz_support.h"
#include "options/options.h"
#include "options/settings.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace {
using quillon::fuzz::check;
using quillon::fuzz::shown;

constexpr const char* Target = "options";

// What every accepted or rejected option must leave intact.
void checkSettings(const quillon::Settings& S, std::string_view Input) {
  const std::string Where = " after " + shown(Input.substr(0, 200));
  check(S.Mode >= 0 && S.Mode <= 4, Target, "mode " + std::to_string(S.Mode) + Where);
  check(!S.SeparatorChars.empty(), Target, "no separator" + Where);
  bool Seen[256] = {};
  for (const char C : S.SeparatorChars) {
    const auto B = static_cast<unsigned char>(C);
    check(!Seen[B], Target, "separator " + shown(S.SeparatorChars) + " repeats a byte" + Where);
    Seen[B] = true;
  }
  check(S.SeparatorChars.size() == 1 || S.SeparatorChars.find('"') == std::string::npos, Target,
        "the quotation mark in a separator list" + Where);
  check(!(S.UseDTD && S.UseXSD), Target, "DTD and XSD both on" + Where);
  // alias names are escaped on the way in
  if (!S.OutputUTF8)
    for (const std::string* Name :
         {&S.eRoot, &S.eRecord, &S.eItem, &S.aName, &S.aValue, &S.aNum, &S.aSource, &S.aDT, &S.aID})
      check(quillon::fuzz::isXmlNameLatin1(*Name) && quillon::fuzz::isQName(*Name), Target,
            "alias name " + shown(*Name) + " is no XML name" + Where);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  if (Size == 0)
    return 0;
  quillon::fuzz::QuietStreams Quiet;
  const int Mode = Data[0] % 3;
  const std::string_view Body(reinterpret_cast<const char*>(Data) + 1, Size - 1);
  std::vector<std::string> Lines;
  for (std::string_view Rest = Body; !Rest.empty();) {
    const std::size_t Feed = Rest.find('\n');
    Lines.emplace_back(Rest.substr(0, Feed));
    Rest = Feed == std::string_view::npos ? std::string_view() : Rest.substr(Feed + 1);
  }
  const std::string ConfigFile = quillon::fuzz::scratchDirectory() + "/options.cfg";

  quillon::resetSettings();
  quillon::Settings& S = quillon::theSettings();
  if (Mode == 0) {
    for (std::string Line : Lines) {
      const std::string Original = Line;
      quillon::trimBlanks(Line);
      check(Original.find(Line) != std::string::npos, Target,
            "trimBlanks made " + shown(Line) + " of " + shown(Original));
      quillon::checkOption(Line, S);
      checkSettings(S, Line);
    }
  } else if (Mode == 1) {
    quillon::fuzz::writeFile(ConfigFile, Body);
    quillon::readConfigFile(ConfigFile, S);
    checkSettings(S, Body);
  } else {
    quillon::fuzz::writeFile(ConfigFile, Body);
    std::vector<std::string> Arguments;
    for (std::size_t I = 0; I < Lines.size(); ++I) {
      if (Lines[I].compare(0, 5, "-cfg:") == 0)
        Arguments.push_back("-cfg:" + ConfigFile);
      else if (I > 0 && Lines[I - 1] == "-exec")
        Arguments.push_back(ConfigFile);
      else
        Arguments.push_back(Lines[I]);
    }
    const int Status = quillon::collectOptions(Arguments, S);
    check(Status == quillon::ContinueRun || Status == 0 || Status == 1, Target,
          "collectOptions ended with " + std::to_string(Status));
    checkSettings(S, Body);
    // a run goes on only when every option was accepted
    check(Status != quillon::ContinueRun || S.Encoding == quillon::EncodingIso ||
              S.Encoding == quillon::EncodingUtf8,
          Target, "encoding " + shown(S.Encoding) + " accepted");
  }
  quillon::resetSettings();
  return 0;
}
