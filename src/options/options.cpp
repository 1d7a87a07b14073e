#include "options/options.h"

#include "base/exit_status.h"
#include "base/fd_io.h"
#include "xml/xml_names.h"

#include <array>
#include <cerrno>
#include <cstdint>
#include <iostream>
#include <iterator>
#include <limits>
#include <string_view>
#include <sys/stat.h>

namespace quillon {

namespace {

bool startsWith(std::string_view Text, std::string_view Prefix) {
  return Text.substr(0, Prefix.size()) == Prefix;
}

// A prefix form matches only with room for its value (MinLength counts the prefix too).
bool matchesPrefix(std::string_view Option, std::string_view Prefix, std::size_t MinLength) {
  return Option.size() >= MinLength && startsWith(Option, Prefix);
}

bool isSpace(char C) {
  return C == ' ' || C == '\t' || C == '\n' || C == '\v' || C == '\f' || C == '\r';
}

// Leading white space, an optional sign, then digits up to the first other byte. No digits
// read as 0; a number too large for the type is clamped instead of wrapping.
std::int64_t readDecimal(std::string_view Text) {
  constexpr std::int64_t Max = std::numeric_limits<std::int64_t>::max();
  constexpr std::int64_t Min = std::numeric_limits<std::int64_t>::min();
  std::size_t I = 0;
  while (I < Text.size() && isSpace(Text[I]))
    ++I;
  bool Negative = false;
  if (I < Text.size() && (Text[I] == '+' || Text[I] == '-')) {
    Negative = Text[I] == '-';
    ++I;
  }
  std::int64_t Value = 0;
  for (; I < Text.size() && Text[I] >= '0' && Text[I] <= '9'; ++I) {
    const int Digit = Text[I] - '0';
    if (Negative)
      Value = Value < (Min + Digit) / 10 ? Min : Value * 10 - Digit;
    else
      Value = Value > (Max - Digit) / 10 ? Max : Value * 10 + Digit;
  }
  return Value;
}

bool parseSeparators(const std::string& Value, Settings& S) {
  if (Value.size() >= 3 && Value.front() == ':' && Value.back() == ':') {
    // Only the first number counts; the colon after it ends the digits.
    const std::int64_t Number = readDecimal(std::string_view(Value).substr(1));
    if (Number < 1 || Number > 255) {
      std::cerr << "Error : Wrong ASCII separator range given => " << Number
                << " (valid is 1 to 255)" << std::endl;
      return false;
    }
    const auto Byte = static_cast<unsigned char>(Number);
    S.SeparatorChars.assign(1, static_cast<char>(Byte));
    S.SeparatorText = getSeparatorName(Byte);
    return true;
  }
  for (std::size_t I = 0; I + 1 < Value.size(); ++I)
    if (Value[I] == '\\' && (Value[I + 1] == 't' || Value[I + 1] == 'n' || Value[I + 1] == 'r')) {
      std::cerr << "Warning : -sep: reads no escapes: \"\\" << Value[I + 1]
                << "\" stands for a backslash and the letter " << Value[I + 1]
                << " (a tab is -sep::9:)" << std::endl;
      break;
    }
  std::array<std::size_t, 256> SeenAt{};
  for (std::size_t P = 1; P <= Value.size(); ++P) {
    const auto Byte = static_cast<unsigned char>(Value[P - 1]);
    if (SeenAt[Byte] != 0) {
      std::cerr << "Error : Duplicate separators given at position " << SeenAt[Byte] << " and " << P
                << std::endl;
      return false;
    }
    SeenAt[Byte] = P;
    if (Byte == '"') {
      std::cerr << "Error : Quotation Mark is no allowed separator " << std::endl;
      return false;
    }
  }
  S.SeparatorChars = Value;
  S.SeparatorText = Value;
  return true;
}

void parseNamespace(const std::string& Value, Settings& S) {
  const std::size_t Equals = Value.find('=');
  if (Equals == std::string::npos || Equals == 0) {
    S.NamespacePrefix.clear();
    S.NamespaceURI = Value; // a leading '=' stays part of the URI
    return;
  }
  S.NamespacePrefix = Value.substr(0, Equals) + ":";
  S.NamespaceURI = Value.substr(Equals + 1);
}

// Applies one TOKEN=NAME pair; false for a token that does not exist.
bool applyAlias(const std::string& Name, const std::string& Value, Settings& S) {
  // read as UTF-8 when the document is UTF-8 so far; re-formed once the encoding is settled
  auto elementName = [&Value, &S] { return escapeXml(Value, true, false, S.OutputUTF8); };
  auto attributeName = [&Value, &S] { return escapeXml(Value, false, true, S.OutputUTF8); };
  if (Name == "eRoot")
    S.eRoot = elementName();
  else if (Name == "eRecord")
    S.eRecord = elementName();
  else if (Name == "eItem")
    S.eItem = elementName();
  else if (Name == "aName")
    S.aName = attributeName();
  else if (Name == "aValue")
    S.aValue = attributeName();
  else if (Name == "aNum") {
    S.aNum = attributeName();
    S.WriteNum = true;
  } else if (Name == "aSource")
    S.aSource = attributeName();
  else if (Name == "aDT")
    S.aDT = attributeName();
  else if (Name == "aID") {
    S.aID = attributeName();
    S.WriteId = true;
  } else
    return false;
  return true;
}

// The alias tokens in the order of Settings::AliasTexts; the first three name elements.
constexpr std::string_view AliasTokens[] = {"eRoot", "eRecord", "eItem", "aName", "aValue",
                                            "aNum",  "aSource", "aDT",   "aID"};

// Pairs are taken until the list runs out or stops looking like TOKEN=NAME; whatever
// follows such a stop is ignored, but an unknown token rejects the option.
bool parseAliases(std::string List, Settings& S) {
  while (!List.empty()) {
    const std::size_t Equals = List.find('=');
    std::size_t Comma = List.find(',');
    if (Comma == std::string::npos)
      Comma = List.size();
    if (Equals == std::string::npos || Equals == 0 || Comma <= Equals + 1)
      return true;
    const std::string Name = List.substr(0, Equals);
    const std::string Value = List.substr(Equals + 1, Comma - Equals - 1);
    if (S.DebugMode) {
      std::clog << "Debug: Name gefunden <" << Name << ">" << std::endl;
      std::clog << "Debug: Wert gefunden <" << Value << ">" << std::endl;
    }
    List.erase(0, Comma);
    if (!List.empty() && List.front() == ',')
      List.erase(0, 1);
    S.AliasGiven = true;
    if (!applyAlias(Name, Value, S)) {
      std::cerr << "Error : Illegal alias name : \"" << Name << "\"" << std::endl;
      return false;
    }
    for (std::size_t I = 0; I < S.AliasTexts.size(); ++I)
      if (AliasTokens[I] == Name)
        S.AliasTexts[I] = Value;
  }
  return true;
}

void appendStyles(const std::string& List, Settings& S) {
  if (!S.StyleList.empty())
    S.StyleList += ',';
  S.StyleList += List;
}

bool existsWithContent(const std::string& Name) {
  struct stat Status {};
  return ::stat(Name.c_str(), &Status) == 0 && Status.st_size > 0;
}

int endWalk(int Status) {
  std::clog.flush();
  return Status;
}

// The status after a text the user asked for could not be written: 1 with a message, or,
// when the reader of a pipe went away, quietly that of a process ended by SIGPIPE.
int textNotWritten(const char* Message) {
  if (errno == EPIPE)
    return ExitBrokenPipe;
  std::cerr << Message << std::endl;
  return 1;
}

} // namespace

void reformAliasNames(Settings& S, int (*Convert)(std::string&)) {
  // aID stays as given, like the file names
  std::string* const Names[] = {&S.eRoot,  &S.eRecord, &S.eItem,   &S.aName,
                                &S.aValue, &S.aNum,    &S.aSource, &S.aDT};
  for (std::size_t I = 0; I < std::size(Names); ++I) {
    std::string Text = S.AliasTexts[I];
    if (Text.empty())
      continue;
    Convert(Text);
    *Names[I] = escapeXml(Text, I < 3, I >= 3, S.OutputUTF8);
  }
}

void trimBlanks(std::string& Text) {
  for (const char Blank : {' ', '\t'}) {
    const std::size_t Last = Text.find_last_not_of(Blank);
    if (Last == std::string::npos) {
      Text.clear();
      return;
    }
    Text.erase(Last + 1);
    Text.erase(0, Text.find_first_not_of(Blank));
  }
}

bool checkOption(const std::string& Option, Settings& S) {
  if (Option.empty())
    return false;
  if (S.DebugMode)
    std::clog << "Debug: checkOption -> [" << Option << "]" << std::endl << std::endl;

  if (matchesPrefix(Option, "-s:", 4)) {
    S.SourceFile = Option.substr(3);
    S.SourceIsStdin = S.SourceFile == "-";
    if (S.SourceIsStdin)
      S.SourceFile = "STDIN";
    S.SourceName = S.SourceFile;
    return true;
  }
  if (matchesPrefix(Option, "-t:", 4)) {
    S.TargetFromSource = false;
    S.TargetFile = Option.substr(3);
    S.TargetIsStdout = S.TargetFile == "-";
    if (S.TargetIsStdout)
      S.TargetFile = "STDOUT";
    return true;
  }
  if (matchesPrefix(Option, "-sep:", 6))
    return parseSeparators(Option.substr(5), S);
  if (matchesPrefix(Option, "-m:", 4)) {
    const std::int64_t Number = readDecimal(std::string_view(Option).substr(3));
    if (Number >= 1 && Number <= 5)
      S.Mode = static_cast<int>(Number) - 1;
    else
      S.IgnoredModeOption = Option;
    return true;
  }
  if (matchesPrefix(Option, "-e:", 4) || matchesPrefix(Option, "-enc:", 6)) {
    S.Encoding = Option.substr(Option[2] == ':' ? 3 : 5);
    if (S.Encoding == EncodingUtf8) {
      S.OutputUTF8 = true;
      return true;
    }
    if (S.Encoding == EncodingIso)
      return true;
    std::cerr << "Error : Encoding \"" << S.Encoding << "\" is not supported !" << std::endl;
    return false;
  }
  if (matchesPrefix(Option, "-ie:", 5)) {
    S.SourceEncoding = Option.substr(4);
    if (S.SourceEncoding == EncodingUtf8 || S.SourceEncoding == EncodingIso ||
        S.SourceEncoding == EncodingAuto)
      return true;
    std::cerr << "Error : Encoding \"" << S.SourceEncoding << "\" is not supported !" << std::endl;
    return false;
  }
  if (Option == "-rfc4180") {
    S.Rfc4180 = true;
    return true;
  }
  if (Option == "-sup") {
    S.SuppressEmpty = true;
    return true;
  }
  if (matchesPrefix(Option, "-xsl:", 6)) {
    std::cerr << "Warning : Option is deprecaded -> use -styles instead !" << std::endl;
    appendStyles(Option.substr(5), S);
    return true;
  }
  if (matchesPrefix(Option, "-styles:", 9)) {
    appendStyles(Option.substr(8), S);
    return true;
  }
  if (matchesPrefix(Option, "-xmlns:", 7)) {
    parseNamespace(Option.substr(7), S);
    return true;
  }
  if (matchesPrefix(Option, "-dtd:", 6)) {
    if (!S.UseXSD) { // a schema, once chosen, wins over any DTD
      S.UseDTD = true;
      S.DTDFile = Option.substr(5);
    }
    return true;
  }
  if (matchesPrefix(Option, "-xsdgen:", 9)) {
    S.SchemaFile = Option.substr(8);
    return true;
  }
  if (matchesPrefix(Option, "-xsd:", 6)) {
    S.UseDTD = false;
    S.UseXSD = true;
    S.XSDFile = Option.substr(5);
    return true;
  }
  if (matchesPrefix(Option, "-alias:", 8))
    return parseAliases(Option.substr(7), S);
  if (matchesPrefix(Option, "-cc:", 5)) {
    const std::string Mode = Option.substr(4);
    if (Mode == "i2u")
      S.ConvertI2U = true;
    else if (Mode == "u2i")
      S.ConvertU2I = true;
    else {
      std::cerr << "Error : Illegal command line conversion mode : \"" << Mode << "\"" << std::endl;
      return false;
    }
    return true;
  }
  if (Option == "-wn") {
    S.WriteNum = true;
    return true;
  }
  if (Option == "-wid") {
    S.WriteId = true;
    return true;
  }
  if (Option == "-t") {
    S.TargetFromSource = true;
    S.TargetIsStdout = false;
    return true;
  }
  if (Option == "-v") {
    S.VerboseMode = true;
    return true;
  }
  if (Option == "-debug") {
    S.DebugMode = true;
    return true;
  }
  return false;
}

int collectOptions(const std::vector<std::string>& Arguments, Settings& S) {
  if (Arguments.empty()) {
    std::cerr << "Error : No options given" << std::endl;
    std::cerr << "use -? option to get usage information" << std::endl;
    return endWalk(1);
  }
  bool OptionsOK = true;
  for (std::size_t I = 0; I < Arguments.size(); ++I) {
    std::string Option = Arguments[I];
    if (!Option.empty())
      trimBlanks(Option);
    if (Option == "-V") {
      errno = 0;
      if (!printVersion())
        return endWalk(textNotWritten("Error : Version banner could not be written..."));
      return endWalk(0);
    }
    if (Option == "-?" || Option == "--help" || Option == "-h") {
      errno = 0;
      if (!printUsage())
        return endWalk(textNotWritten("Error : Usage text could not be written..."));
      return endWalk(0);
    }
    if (Option == "--version") {
      errno = 0;
      if (!printVersionAndLicence())
        return endWalk(textNotWritten("Error : Version banner could not be written..."));
      return endWalk(0);
    }
    if (Option == "-exec") {
      // What a "#!quillon -exec" first line makes the system pass: -exec and the file.
      if (I != 0 || Arguments.size() != 2) {
        std::cerr << "Error : -exec option must appear alone followed by an existing config file"
                  << std::endl;
        return endWalk(1);
      }
      if (!existsWithContent(Arguments[1])) {
        std::cerr << "Error : -exec option must be followed by an existing config file"
                  << std::endl;
        return endWalk(1);
      }
      if (!readConfigFile(Arguments[1], S))
        OptionsOK = false;
      break;
    }
    if (startsWith(Option, "-cfg:")) {
      if (!readConfigFile(Option.substr(5), S))
        OptionsOK = false;
      continue;
    }
    if (checkOption(Option, S)) {
      if (S.DebugMode)
        std::clog << "Debug: checkOption -> [" << Option << "] ist OK" << std::endl;
    } else {
      std::cerr << "Error : Illegal option : \"" << Option << "\"" << std::endl;
      // a bare name is most likely the source, given as other tools take it; a blank left
      // before an option does not make it one
      const std::size_t First = Option.find_first_not_of(" \t");
      if (First != std::string::npos && Option[First] != '-')
        std::cerr << "          the source is given as -s:" << Option
                  << ", and quillon --help lists the options" << std::endl;
      OptionsOK = false;
    }
  }
  if (S.DebugMode)
    std::clog << "Debug: Parametervalidierung ist abgeschlossen" << std::endl << std::endl;
  if (!OptionsOK) {
    std::cerr << "quillon aborts due one or more wrong options or read errors!" << std::endl;
    return endWalk(1);
  }
  // told once the walk is over, so that the layout named is the one written
  if (!S.IgnoredModeOption.empty())
    std::cerr << "Warning : " << S.IgnoredModeOption << " names no layout (1 to 5) and is ignored; "
              << "layout " << S.Mode + 1 << " is written" << std::endl;
  return ContinueRun;
}

} // namespace quillon
