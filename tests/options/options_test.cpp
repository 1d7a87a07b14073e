#include "capture.h"
#include "options/options.h"
#include "options/settings.h"

#include <iostream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace {

using quillon::ContinueRun;
using quillon::Settings;

const std::string Abort = "quillon aborts due one or more wrong options or read errors!\n";

std::string illegal(const std::string& Option) {
  return "Error : Illegal option : \"" + Option + "\"\n";
}

// The line under a rejected argument that does not begin with "-".
std::string sourceHint(const std::string& Option) {
  return "          the source is given as -s:" + Option +
         ", and quillon --help lists the options\n";
}

std::string flag(bool Value) { return Value ? "1" : "0"; }

// The fields a test names, as text, so one table can check any of them.
std::string field(const Settings& S, const std::string& Name) {
  const std::pair<const char*, std::string> Fields[] = {
      {"SeparatorChars", S.SeparatorChars},
      {"SeparatorText", S.SeparatorText},
      {"Encoding", S.Encoding},
      {"SourceEncoding", S.SourceEncoding},
      {"SourceFile", S.SourceFile},
      {"SourceName", S.SourceName},
      {"TargetFile", S.TargetFile},
      {"StyleList", S.StyleList},
      {"NamespacePrefix", S.NamespacePrefix},
      {"NamespaceURI", S.NamespaceURI},
      {"DTDFile", S.DTDFile},
      {"XSDFile", S.XSDFile},
      {"SchemaFile", S.SchemaFile},
      {"eRoot", S.eRoot},
      {"eRecord", S.eRecord},
      {"eItem", S.eItem},
      {"aName", S.aName},
      {"aValue", S.aValue},
      {"aSource", S.aSource},
      {"aDT", S.aDT},
      {"aID", S.aID},
      {"aNum", S.aNum},
      {"Mode", std::to_string(S.Mode)},
      {"AliasGiven", flag(S.AliasGiven)},
      {"SuppressEmpty", flag(S.SuppressEmpty)},
      {"Rfc4180", flag(S.Rfc4180)},
      {"UseDTD", flag(S.UseDTD)},
      {"UseXSD", flag(S.UseXSD)},
      {"VerboseMode", flag(S.VerboseMode)},
      {"DebugMode", flag(S.DebugMode)},
      {"ConvertI2U", flag(S.ConvertI2U)},
      {"ConvertU2I", flag(S.ConvertU2I)},
      {"WriteNum", flag(S.WriteNum)},
      {"WriteId", flag(S.WriteId)},
      {"SourceIsStdin", flag(S.SourceIsStdin)},
      {"TargetIsStdout", flag(S.TargetIsStdout)},
      {"TargetFromSource", flag(S.TargetFromSource)},
      {"OutputUTF8", flag(S.OutputUTF8)},
  };
  for (const auto& [Key, Value] : Fields)
    if (Name == Key)
      return Value;
  ADD_FAILURE() << "no field " << Name;
  return {};
}

using FieldList = std::vector<std::pair<std::string, std::string>>;

void expectFields(const Settings& S, const FieldList& Fields) {
  for (const auto& [Name, Value] : Fields)
    EXPECT_EQ(field(S, Name), Value) << Name;
}

// The arguments of a case, each in brackets, to name it.
std::string bracketed(const std::vector<std::string>& Arguments) {
  std::string Trace;
  for (const std::string& A : Arguments)
    Trace += "[" + A + "]";
  return Trace;
}

class OptionsTest : public ::testing::Test {
protected:
  void SetUp() override { quillon::resetSettings(); }
  Settings& S = quillon::theSettings();

  // Runs the walk with everything it prints caught; Log holds standard error and the log
  // channel in the order written, Out standard output.
  int walk(const std::vector<std::string>& Arguments) {
    Capture Errors({&std::cerr, &std::clog});
    Capture Output({&std::cout});
    const int Status = quillon::collectOptions(Arguments, S);
    Log = Errors.text();
    Out = Output.text();
    return Status;
  }
  std::string Log;
  std::string Out;
};

TEST(TrimBlanks, SpacesFirstThenTabs) {
  // clang-format off
  const std::pair<std::string, std::string> Cases[] = {
      {"", ""},
      {"   ", ""},
      {"\t\t", ""},
      {" -v ", "-v"},
      {"\t-v\t", "-v"},
      {"  \t-v\t  ", "-v"},
      {"\t -v", " -v"}, // the tab shields the space from the first pass
      {"-v \t", "-v "}, // and from behind
      {" \t \t ", " "},
      {"a b", "a b"},
      {" \r ", "\r"},
      {"\r-v\r", "\r-v\r"},
  };
  // clang-format on
  for (const auto& [In, Want] : Cases) {
    SCOPED_TRACE("[" + In + "]");
    std::string Text = In;
    quillon::trimBlanks(Text);
    EXPECT_EQ(Text, Want);
  }
}

// The warning after the walk for a -m: that named no layout.
std::string ignoredMode(const std::string& Option, int Layout) {
  return "Warning : " + Option + " names no layout (1 to 5) and is ignored; layout " +
         std::to_string(Layout) + " is written\n";
}

struct WalkCase {
  std::vector<std::string> Arguments;
  int Status;
  std::string Log;
  FieldList Fields;
};

// clang-format off
const WalkCase OptionCases[] = {
    {{"-s:in.csv"}, ContinueRun, "", {{"SourceFile", "in.csv"}, {"SourceName", "in.csv"}, {"SourceIsStdin", "0"}}},
    {{"-s:-"}, ContinueRun, "", {{"SourceFile", "STDIN"}, {"SourceName", "STDIN"}, {"SourceIsStdin", "1"}}},
    {{"-s:-", "-s:b.csv"}, ContinueRun, "", {{"SourceFile", "b.csv"}, {"SourceIsStdin", "0"}}},
    {{"-s:my data.csv"}, ContinueRun, "", {{"SourceFile", "my data.csv"}}},
    {{"-t:out.xml"}, ContinueRun, "", {{"TargetFile", "out.xml"}, {"TargetIsStdout", "0"}, {"TargetFromSource", "0"}}},
    {{"-t:-"}, ContinueRun, "", {{"TargetFile", "STDOUT"}, {"TargetIsStdout", "1"}}},
    {{"-t:out.xml", "-t"}, ContinueRun, "", {{"TargetFromSource", "1"}, {"TargetFile", "out.xml"}, {"TargetIsStdout", "0"}}},
    {{"-t", "-t:-"}, ContinueRun, "", {{"TargetFromSource", "0"}, {"TargetIsStdout", "1"}}},
    {{"-t:-", "-t"}, ContinueRun, "", {{"TargetFromSource", "1"}, {"TargetIsStdout", "0"}, {"TargetFile", "STDOUT"}}},
    {{"-m:3"}, ContinueRun, "", {{"Mode", "2"}}},
    {{"-m:3abc"}, ContinueRun, "", {{"Mode", "2"}}},
    {{"-m: +5"}, ContinueRun, "", {{"Mode", "4"}}},
    {{"-m:2", "-m:0"}, ContinueRun, ignoredMode("-m:0", 2), {{"Mode", "1"}}},
    {{"-m:2", "-m:6"}, ContinueRun, ignoredMode("-m:6", 2), {{"Mode", "1"}}},
    {{"-m:2", "-m:x"}, ContinueRun, ignoredMode("-m:x", 2), {{"Mode", "1"}}},
    {{"-m:2", "-m:-1"}, ContinueRun, ignoredMode("-m:-1", 2), {{"Mode", "1"}}},
    {{"-m:3", "-m:18446744073709551617"}, ContinueRun, ignoredMode("-m:18446744073709551617", 3), {{"Mode", "2"}}}, // must not wrap to 1
    {{"-m:9", "-m:4"}, ContinueRun, ignoredMode("-m:9", 4), {{"Mode", "3"}}},
    {{"-m:3", "-m:-18446744073709551615"}, ContinueRun, ignoredMode("-m:-18446744073709551615", 3), {{"Mode", "2"}}},
    {{"-e:UTF-8"}, ContinueRun, "", {{"Encoding", "UTF-8"}, {"OutputUTF8", "1"}}},
    {{"-enc:UTF-8", "-e:ISO-8859-1"}, ContinueRun, "", {{"Encoding", "ISO-8859-1"}, {"OutputUTF8", "1"}}},
    {{"-enc:ISO-8859-1"}, ContinueRun, "", {{"Encoding", "ISO-8859-1"}, {"OutputUTF8", "0"}}},
    {{"-e:utf-8"}, 1, "Error : Encoding \"utf-8\" is not supported !\n" + illegal("-e:utf-8") + Abort,
     {{"Encoding", "utf-8"}, {"OutputUTF8", "0"}}},
    {{"-enc:UTF-8 "}, ContinueRun, "", {{"Encoding", "UTF-8"}}},
    {{"-enc:latin1"}, 1, "Error : Encoding \"latin1\" is not supported !\n" + illegal("-enc:latin1") + Abort, {}},
    // the source encoding: the same two names, and it touches nothing of the output encoding
    {{"-ie:UTF-8"}, ContinueRun, "", {{"SourceEncoding", "UTF-8"}, {"Encoding", "ISO-8859-1"}, {"OutputUTF8", "0"}}},
    {{"-ie:UTF-8", "-ie:ISO-8859-1"}, ContinueRun, "", {{"SourceEncoding", "ISO-8859-1"}}},
    {{"-ie:UTF-8", "-ie:auto"}, ContinueRun, "", {{"SourceEncoding", "auto"}}},
    {{"-ie:utf-8"}, 1, "Error : Encoding \"utf-8\" is not supported !\n" + illegal("-ie:utf-8") + Abort,
     {{"SourceEncoding", "utf-8"}}},
    {{"-ie:"}, 1, illegal("-ie:") + Abort, {{"SourceEncoding", "auto"}}},
    {{"-ie"}, 1, illegal("-ie") + Abort, {}},
    {{"-ie:U"}, 1, "Error : Encoding \"U\" is not supported !\n" + illegal("-ie:U") + Abort, {}},
    {{"-ie:UTF-8x"}, 1, "Error : Encoding \"UTF-8x\" is not supported !\n" + illegal("-ie:UTF-8x") + Abort, {}},
    {{"-sup"}, ContinueRun, "", {{"SuppressEmpty", "1"}}},
    {{"-rfc4180"}, ContinueRun, "", {{"Rfc4180", "1"}}},
    {{"-rfc4180:"}, 1, illegal("-rfc4180:") + Abort, {{"Rfc4180", "0"}}},
    {{"-styles:a.css", "-xsl:b.xsl"}, ContinueRun, "Warning : Option is deprecaded -> use -styles instead !\n",
     {{"StyleList", "a.css,b.xsl"}}},
    {{"-styles:[alt.css],x.xsl", "-styles:y"}, ContinueRun, "", {{"StyleList", "[alt.css],x.xsl,y"}}},
    {{"-xmlns:p=urn:x"}, ContinueRun, "", {{"NamespacePrefix", "p:"}, {"NamespaceURI", "urn:x"}}},
    {{"-xmlns:urn:x"}, ContinueRun, "", {{"NamespacePrefix", ""}, {"NamespaceURI", "urn:x"}}},
    {{"-xmlns:=urn"}, ContinueRun, "", {{"NamespacePrefix", ""}, {"NamespaceURI", "=urn"}}},
    {{"-xmlns:a=b=c"}, ContinueRun, "", {{"NamespacePrefix", "a:"}, {"NamespaceURI", "b=c"}}},
    {{"-xmlns:p="}, ContinueRun, "", {{"NamespacePrefix", "p:"}, {"NamespaceURI", ""}}},
    {{"-xmlns:p=u", "-xmlns:"}, ContinueRun, "", {{"NamespacePrefix", ""}, {"NamespaceURI", ""}}},
    {{"-dtd:a.dtd"}, ContinueRun, "", {{"UseDTD", "1"}, {"DTDFile", "a.dtd"}, {"UseXSD", "0"}}},
    {{"-dtd:a.dtd", "-xsd:b.xsd"}, ContinueRun, "",
     {{"UseDTD", "0"}, {"UseXSD", "1"}, {"DTDFile", "a.dtd"}, {"XSDFile", "b.xsd"}}},
    {{"-xsd:b.xsd", "-dtd:a.dtd"}, ContinueRun, "", {{"UseDTD", "0"}, {"UseXSD", "1"}, {"DTDFile", ""}}},
    // the generated schema is independent of the reference; the last one given wins
    {{"-xsdgen:a.xsd", "-xsdgen:b.xsd"}, ContinueRun, "",
     {{"SchemaFile", "b.xsd"}, {"UseXSD", "0"}, {"XSDFile", ""}}},
    {{"-cc:i2u"}, ContinueRun, "", {{"ConvertI2U", "1"}, {"ConvertU2I", "0"}}},
    {{"-cc:u2i", "-cc:i2u"}, ContinueRun, "", {{"ConvertI2U", "1"}, {"ConvertU2I", "1"}}},
    {{"-cc:I2U"}, 1, "Error : Illegal command line conversion mode : \"I2U\"\n" + illegal("-cc:I2U") + Abort,
     {{"ConvertI2U", "0"}}},
    {{"-wn"}, ContinueRun, "", {{"WriteNum", "1"}, {"WriteId", "0"}}},
    {{"-wid"}, ContinueRun, "", {{"WriteId", "1"}, {"WriteNum", "0"}}},
    {{"-v"}, ContinueRun, "", {{"VerboseMode", "1"}}},
    {{" -v "}, ContinueRun, "", {{"VerboseMode", "1"}}},
    {{"\t-wn\t"}, ContinueRun, "", {{"WriteNum", "1"}}},
    {{"\t -v"}, 1, illegal(" -v") + Abort, {{"VerboseMode", "0"}}}, // a stray blank: no file name
    {{"\t data.csv"}, 1, illegal(" data.csv") + sourceHint(" data.csv") + Abort, {}},
    {{"   "}, 1, illegal("") + Abort, {}},
    {{""}, 1, illegal("") + Abort, {}},
    {{"-alias:aNum=n"}, ContinueRun, "", {{"aNum", "n"}, {"WriteNum", "1"}, {"AliasGiven", "1"}}},
};
// clang-format on

TEST_F(OptionsTest, EachFormAndItsEffect) {
  for (const WalkCase& C : OptionCases) {
    SetUp();
    SCOPED_TRACE(bracketed(C.Arguments));
    EXPECT_EQ(walk(C.Arguments), C.Status);
    EXPECT_EQ(Log, C.Log);
    EXPECT_EQ(Out, "");
    expectFields(S, C.Fields);
  }
}

// A prefix form needs a value; an exact form matches only itself; case counts.
TEST_F(OptionsTest, ShortOrMisspelledOptionsAreIllegal) {
  const char* const Options[] = {
      "-s:",      "-t:",    "-m:",      "-e:",     "-enc:", "-sep:",  "-dtd:", "-xsd:",
      "-cc:",     "-xsl:",  "-styles:", "-alias:", "-s",    "-T",     "-V2",   "-sup2",
      "-wnx",     "-widx",  "-xsdgen:", "-xsdgen", "-vv",   "-Debug", "--v",   "v",
      "-E:UTF-8", "-xmlns", "-cfg",     "-exec:x", "-?x",
  };
  for (const char* Option : Options) {
    SetUp();
    SCOPED_TRACE(Option);
    EXPECT_EQ(walk({Option}), 1);
    EXPECT_EQ(Log, illegal(Option) + (Option[0] == '-' ? "" : sourceHint(Option)) + Abort);
  }
}

struct SeparatorCase {
  std::string Option;
  bool Accepted;
  std::string Chars; // ";" when rejected: the default stays
  std::string Text;
  std::string Log;
};

// clang-format off
const SeparatorCase SeparatorCases[] = {
    {"-sep:,", true, ",", ",", ""},
    {"-sep:\t,", true, "\t,", "\t,", ""},
    {"-sep: ;", true, " ;", " ;", ""},
    {"-sep::", true, ":", ":", ""},
    {"-sep:a:", true, "a:", "a:", ""},
    {"-sep::a", true, ":a", ":a", ""},
    {"-sep:::", false, ";", ";", "Error : Duplicate separators given at position 1 and 2\n"},
    {"-sep:abcb", false, ";", ";", "Error : Duplicate separators given at position 2 and 4\n"},
    {"-sep:;,;\"", false, ";", ";", "Error : Duplicate separators given at position 1 and 3\n"},
    {"-sep:a\"", false, ";", ";", "Error : Quotation Mark is no allowed separator \n"},
    {"-sep:\"\"", false, ";", ";", "Error : Quotation Mark is no allowed separator \n"},
    {"-sep::::", false, ";", ";", "Error : Wrong ASCII separator range given => 0 (valid is 1 to 255)\n"},
    {"-sep::x:", false, ";", ";", "Error : Wrong ASCII separator range given => 0 (valid is 1 to 255)\n"},
    {"-sep::256:", false, ";", ";", "Error : Wrong ASCII separator range given => 256 (valid is 1 to 255)\n"},
    {"-sep::-5:", false, ";", ";", "Error : Wrong ASCII separator range given => -5 (valid is 1 to 255)\n"},
    {"-sep::99999999999999999999:", false, ";", ";",
     "Error : Wrong ASCII separator range given => 9223372036854775807 (valid is 1 to 255)\n"},
    {"-sep::1:", true, "\x01", "Start of Header (ASCII 1)", ""},
    {"-sep::9:", true, "\t", "Horizontal Tab (ASCII 9)", ""},
    {"-sep::9:59:", true, "\t", "Horizontal Tab (ASCII 9)", ""},
    {"-sep:: 7:", true, "\x07", "Bell (ASCII 7)", ""},
    {"-sep::32:", true, " ", "Space (ASCII 32)", ""},
    {"-sep::+33:", true, "!", "!", ""},
    {"-sep::34:", true, "\"", "\"", ""}, // no quotation-mark rule for the number form
    {"-sep::59:", true, ";", ";", ""},
    {"-sep::200:", true, "\xC8", "\xC8", ""},
    {"-sep::255:", true, "\xFF", "\xFF", ""},
};
// clang-format on

TEST_F(OptionsTest, SeparatorForms) {
  for (const SeparatorCase& C : SeparatorCases) {
    SetUp();
    SCOPED_TRACE(C.Option);
    Capture Errors({&std::cerr, &std::clog});
    EXPECT_EQ(quillon::checkOption(C.Option, S), C.Accepted);
    EXPECT_EQ(Errors.text(), C.Log);
    EXPECT_EQ(S.SeparatorChars, C.Chars);
    EXPECT_EQ(S.SeparatorText, C.Text);
  }
}

struct AliasCase {
  std::string Option;
  bool Accepted;
  std::string Log;
  FieldList Fields;
};

// clang-format off
const AliasCase AliasCases[] = {
    {"-alias:eRoot=", true, "", {{"eRoot", "csv_data_records"}, {"AliasGiven", "0"}}},
    {"-alias:=x", true, "", {{"AliasGiven", "0"}}},
    {"-alias:eRoot,eItem=y", true, "", {{"eItem", "item"}, {"AliasGiven", "0"}}},
    {"-alias:eRoot=a,junk", true, "", {{"eRoot", "a"}, {"AliasGiven", "1"}}},
    {"-alias:eRoot=a,eItem", true, "", {{"eRoot", "a"}, {"eItem", "item"}}},
    {"-alias:eRoot=a,,eItem=b", true, "", {{"eRoot", "a"}, {"eItem", "item"}}},
    {"-alias:eRoot=a,eRoot=b", true, "", {{"eRoot", "b"}}},
    {"-alias:eRecord=r,eItem=i,aName=n,aValue=v,aSource=s,aDT=d", true, "",
     {{"eRecord", "r"}, {"eItem", "i"}, {"aName", "n"}, {"aValue", "v"}, {"aSource", "s"}, {"aDT", "d"},
      {"WriteNum", "0"}, {"WriteId", "0"}, {"AliasGiven", "1"}}},
    {"-alias:aNum=n", true, "", {{"aNum", "n"}, {"WriteNum", "1"}, {"WriteId", "0"}}},
    {"-alias:aID=i", true, "", {{"aID", "i"}, {"WriteId", "1"}, {"WriteNum", "0"}}},
    {"-alias:foo=bar,eRoot=a", false, "Error : Illegal alias name : \"foo\"\n",
     {{"eRoot", "csv_data_records"}, {"AliasGiven", "1"}}},
    {"-alias:eRoot=a,eroot=b,eItem=c", false, "Error : Illegal alias name : \"eroot\"\n",
     {{"eRoot", "a"}, {"eItem", "item"}}},
    {"-alias:aNum =n", false, "Error : Illegal alias name : \"aNum \"\n", {{"WriteNum", "0"}}},
};
// clang-format on

TEST_F(OptionsTest, AliasPairsAndWhereTheyStop) {
  for (const AliasCase& C : AliasCases) {
    SetUp();
    SCOPED_TRACE(C.Option);
    Capture Errors({&std::cerr, &std::clog});
    EXPECT_EQ(quillon::checkOption(C.Option, S), C.Accepted);
    EXPECT_EQ(Errors.text(), C.Log);
    expectFields(S, C.Fields);
  }
}

// Element tokens get the element-name form (a leading "_" where a name may not start),
// attribute tokens the attribute-name form.
TEST_F(OptionsTest, AliasNamesAreMadeIntoXmlNames) {
  EXPECT_TRUE(quillon::checkOption(
      "-alias:eRoot=1st,aName=1st,eItem=xmlItem,aValue=xmlValue,eRecord=a b,aDT=a&b", S));
  // attribute names get the leading "_" too, but not the "xml" rule
  expectFields(S, {{"eRoot", "_1st"},
                   {"aName", "_1st"},
                   {"eItem", "_xmlItem"},
                   {"aValue", "xmlValue"},
                   {"eRecord", "a_b"},
                   {"aDT", "a_amp_b"}});
}

// Every message, the walk's own lines and the trace lines, in the order written.
TEST_F(OptionsTest, WholeMessageSequences) {
  const std::string Banner = "\nQUILLON V1.8.0";
  // clang-format off
  const WalkCase Cases[] = {
      {{}, 1, "Error : No options given\nuse -? option to get usage information\n", {}},
      {{"-x", "-s:", "-e:bad", "-v", "-sep:;;", "-cc:x"}, 1,
       illegal("-x") + illegal("-s:") + "Error : Encoding \"bad\" is not supported !\n" + illegal("-e:bad") +
       "Error : Duplicate separators given at position 1 and 2\n" + illegal("-sep:;;") +
       "Error : Illegal command line conversion mode : \"x\"\n" + illegal("-cc:x") + Abort,
       {{"VerboseMode", "1"}}},
      {{"-debug", "-v", "-x"}, 1,
       "Debug: checkOption -> [-debug] ist OK\n"
       "Debug: checkOption -> [-v]\n\nDebug: checkOption -> [-v] ist OK\n"
       "Debug: checkOption -> [-x]\n\n" + illegal("-x") +
       "Debug: Parametervalidierung ist abgeschlossen\n\n" + Abort, {}},
      {{"-v", "-debug", "-alias:eRoot=r,bad=1"}, 1,
       "Debug: checkOption -> [-debug] ist OK\n"
       "Debug: checkOption -> [-alias:eRoot=r,bad=1]\n\n"
       "Debug: Name gefunden <eRoot>\nDebug: Wert gefunden <r>\n"
       "Debug: Name gefunden <bad>\nDebug: Wert gefunden <1>\n"
       "Error : Illegal alias name : \"bad\"\n" + illegal("-alias:eRoot=r,bad=1") +
       "Debug: Parametervalidierung ist abgeschlossen\n\n" + Abort,
       {{"eRoot", "r"}}},
      {{"-debug", "", "-s:x"}, 1,
       "Debug: checkOption -> [-debug] ist OK\n" + illegal("") +
       "Debug: checkOption -> [-s:x]\n\nDebug: checkOption -> [-s:x] ist OK\n"
       "Debug: Parametervalidierung ist abgeschlossen\n\n" + Abort, {}},
      {{"-cfg:"}, 1, "Error while searching for Config file : \n" + Abort, {}},
      {{"-cfg:/nonexistent/a.cfg", "-x"}, 1,
       "Error while searching for Config file : /nonexistent/a.cfg\n" + illegal("-x") + Abort, {}},
      {{"-exec"}, 1, "Error : -exec option must appear alone followed by an existing config file\n", {}},
      {{"-v", "-exec", "a.cfg"}, 1,
       "Error : -exec option must appear alone followed by an existing config file\n", {}},
      {{"-exec", "a.cfg", "-v"}, 1,
       "Error : -exec option must appear alone followed by an existing config file\n", {}},
      {{"-x", "-exec", "a.cfg"}, 1,
       illegal("-x") + "Error : -exec option must appear alone followed by an existing config file\n", {}},
      {{"-exec", "/nonexistent/a.cfg"}, 1,
       "Error : -exec option must be followed by an existing config file\n", {}},
      {{"-x", "-V", "-y"}, 0, illegal("-x") + Banner, {}},
      {{"-?", "-x"}, 0, "", {}},
      {{"-V", "-?"}, 0, Banner, {}},
  };
  // clang-format on
  for (const WalkCase& C : Cases) {
    SetUp();
    SCOPED_TRACE(bracketed(C.Arguments));
    const int Status = walk(C.Arguments);
    const bool UsageFirst = !C.Arguments.empty() && C.Arguments[0] == "-?";
    EXPECT_EQ(UsageFirst ? Out.substr(0, 8) : Out, UsageFirst ? "\nUsage:\n" : "");
    if (C.Log.find(Banner) != std::string::npos) {
      EXPECT_EQ(Status, 0);
      EXPECT_EQ(Log.substr(0, C.Log.size()), C.Log); // the banner itself is checked elsewhere
      EXPECT_EQ(Log.find("aborts"), std::string::npos);
      continue;
    }
    EXPECT_EQ(Status, C.Status);
    EXPECT_EQ(Log, C.Log);
    expectFields(S, C.Fields);
  }
}

} // namespace

namespace {

std::string printed(bool (*Print)(), std::ostream& Stream) {
  Capture Output({&Stream});
  Print();
  return Output.text();
}

// The forms users type for help and version: the same texts, on standard output, status 0,
// handled where they stand like -? and -V; near misses stay illegal options.
TEST_F(OptionsTest, HelpAndVersionAsUsersTypeThem) {
  const std::string Usage = printed(quillon::printUsage, std::cout);
  const std::string Banner = printed(quillon::printVersion, std::cerr);
  const std::string Licence =
      "Copyright (c) 2026 the quillon developers. MIT License: free to use, "
      "change and share, with no warranty.\n";
  ASSERT_EQ(Usage.substr(0, 8), "\nUsage:\n");
  ASSERT_EQ(Banner.substr(0, 16), "\nQUILLON V1.8.0 ");
  struct FormCase {
    std::vector<std::string> Arguments;
    int Status;
    std::string Out;
    std::string Log;
  };
  // clang-format off
  const FormCase Cases[] = {
      {{"--help"}, 0, Usage, ""},
      {{"-h"}, 0, Usage, ""},
      {{" --help\t"}, 0, Usage, ""},
      {{"--version"}, 0, Banner + Licence, ""},
      {{"-V"}, 0, "", Banner},
      {{"-x", "-h", "-y"}, 0, Usage, illegal("-x")},
      {{"-x", "--version", "-y"}, 0, Banner + Licence, illegal("-x")},
      {{"--version", "--help"}, 0, Banner + Licence, ""},
      {{"--help", "--version"}, 0, Usage, ""},
      {{"-s:a.csv", "--help"}, 0, Usage, ""},
      {{"--HELP"}, 1, "", illegal("--HELP") + Abort},
      {{"-help"}, 1, "", illegal("-help") + Abort},
      {{"-H"}, 1, "", illegal("-H") + Abort},
      {{"--help=all"}, 1, "", illegal("--help=all") + Abort},
      {{"--versions"}, 1, "", illegal("--versions") + Abort},
      {{"-version"}, 1, "", illegal("-version") + Abort},
      {{"--V"}, 1, "", illegal("--V") + Abort},
      {{"help"}, 1, "", illegal("help") + sourceHint("help") + Abort},
  };
  // clang-format on
  for (const FormCase& C : Cases) {
    SetUp();
    SCOPED_TRACE(bracketed(C.Arguments));
    EXPECT_EQ(walk(C.Arguments), C.Status);
    EXPECT_EQ(Out, C.Out);
    EXPECT_EQ(Log, C.Log);
  }
}

// A rejected argument that does not begin with "-" gets one line naming -s: with it; the rest
// of the rejection is as for any other argument.
TEST_F(OptionsTest, BareArgumentGetsTheSourceHint) {
  // clang-format off
  const WalkCase Cases[] = {
      {{"data.csv"}, 1, illegal("data.csv") + sourceHint("data.csv") + Abort, {{"SourceFile", ""}}},
      {{"-s", "data.csv"}, 1, illegal("-s") + illegal("data.csv") + sourceHint("data.csv") + Abort, {}},
      {{"a.csv", "-x", "b c.csv"}, 1,
       illegal("a.csv") + sourceHint("a.csv") + illegal("-x") + illegal("b c.csv") + sourceHint("b c.csv") + Abort,
       {}},
      {{"-v", " data.csv "}, 1, illegal("data.csv") + sourceHint("data.csv") + Abort, {{"VerboseMode", "1"}}},
      {{"-debug", "x"}, 1,
       "Debug: checkOption -> [-debug] ist OK\nDebug: checkOption -> [x]\n\n" + illegal("x") + sourceHint("x") +
       "Debug: Parametervalidierung ist abgeschlossen\n\n" + Abort, {}},
      // nothing to name: an empty argument gets no hint
      {{"  "}, 1, illegal("") + Abort, {}},
      {{"-"}, 1, illegal("-") + Abort, {}},
      {{"data.csv", "-?"}, 0, illegal("data.csv") + sourceHint("data.csv"), {}},
  };
  // clang-format on
  for (const WalkCase& C : Cases) {
    SetUp();
    SCOPED_TRACE(bracketed(C.Arguments));
    EXPECT_EQ(walk(C.Arguments), C.Status);
    EXPECT_EQ(Log, C.Log);
    expectFields(S, C.Fields);
  }
}

// -sep: takes its value byte for byte; a backslash escape gets one warning and changes nothing.
TEST_F(OptionsTest, SeparatorEscapesAreNotRead) {
  const std::string Tab = "Warning : -sep: reads no escapes: \"\\t\" stands for a backslash and "
                          "the letter t (a tab is -sep::9:)\n";
  // clang-format off
  const SeparatorCase Cases[] = {
      {"-sep:\\t", true, "\\t", "\\t", Tab},
      {"-sep:;\\t", true, ";\\t", ";\\t", Tab},
      {"-sep:\\n", true, "\\n", "\\n",
       "Warning : -sep: reads no escapes: \"\\n\" stands for a backslash and the letter n (a tab is -sep::9:)\n"},
      {"-sep:a\\r", true, "a\\r", "a\\r",
       "Warning : -sep: reads no escapes: \"\\r\" stands for a backslash and the letter r (a tab is -sep::9:)\n"},
      // one warning, for the first escape; the duplicate backslash is still refused
      {"-sep:\\t\\n", false, ";", ";", Tab + "Error : Duplicate separators given at position 1 and 3\n"},
      {"-sep:\\", true, "\\", "\\", ""},
      {"-sep:\\x", true, "\\x", "\\x", ""},
      {"-sep:t\\", true, "t\\", "t\\", ""},
      {"-sep:\\T", true, "\\T", "\\T", ""},
      {"-sep::9:", true, "\t", "Horizontal Tab (ASCII 9)", ""},
  };
  // clang-format on
  for (const SeparatorCase& C : Cases) {
    SetUp();
    SCOPED_TRACE(C.Option);
    Capture Errors({&std::cerr, &std::clog});
    EXPECT_EQ(quillon::checkOption(C.Option, S), C.Accepted);
    EXPECT_EQ(Errors.text(), C.Log);
    EXPECT_EQ(S.SeparatorChars, C.Chars);
    EXPECT_EQ(S.SeparatorText, C.Text);
  }
}

} // namespace
