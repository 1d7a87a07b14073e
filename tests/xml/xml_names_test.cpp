#include "options/settings.h"
#include "xml/target_buffer.h"
#include "xml/xml_escape.h"
#include "xml/xml_output.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

using quillon::escapeXml;

class XmlNames : public ::testing::Test {
protected:
  void SetUp() override { quillon::resetSettings(); }
  void TearDown() override { quillon::resetSettings(); }
};

struct NameCase {
  std::string Input;
  std::string Name; // in the element-name and in the attribute-name form
};

// OutputUTF8 on: a well-formed UTF-8 sequence is judged as one character, any other byte by
// the byte classes.
const NameCase Utf8Cases[] = {
    // not name characters: multiplication and division signs, degree, copyright, ordinal,
    // ideographic space, a noncharacter, the Greek question mark, plane 15
    {"\xC3\x97x", "___x"},
    {"a\xC3\x97z", "a__z"},
    {"\xC3\xB7", "___"},
    {"\xC2\xB0K", "___K"},
    {"a\xC2\xA9", "a__"},
    {"x\xC2\xAA", "x__"},
    {"a\xE3\x80\x80z", "a___z"},
    {"a\xEF\xBF\xBE", "a___"},
    {"a\xCD\xBE", "a__"},
    {"a\xF3\xB0\x80\x80", "a____"},
    // name characters that cannot start a name: middle dot, combining grave, undertie
    {"\xC2\xB7x", "_\xC2\xB7x"},
    {"a\xC2\xB7z", "a\xC2\xB7z"},
    {"\xCC\x80x", "_\xCC\x80x"},
    {"e\xCC\x80", "e\xCC\x80"},
    {"\xE2\x80\xBFx", "_\xE2\x80\xBFx"},
    // name start characters, anywhere: CJK, the euro sign, an emoji, U+FFFD
    {"\xE4\xB8\xAD\xE6\x96\x87", "\xE4\xB8\xAD\xE6\x96\x87"},
    {"\xE2\x82\xAC", "\xE2\x82\xAC"},
    {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},
    {"a\xEF\xBF\xBD", "a\xEF\xBF\xBD"},
    // a Hebrew letter begins with the byte D7, which starts no name: its '_' stays
    {"\xD7\x90\xD7\x91", "_\xD7\x90\xD7\x91"},
    // the local name after a ':' must start like a name
    {"a:\xC3\xA9", "a:\xC3\xA9"},
    {"a:\xD7\x90", "a:\xD7\x90"},
    {"a:\xCC\x80", "a_\xCC\x80"},
    {"a:\xC3\x97", "a:__"},
    // the escaping comes first
    {"\xC3\xA9 & \xC3\x97", "\xC3\xA9__amp____"},
    // bytes that begin no well-formed sequence keep the byte rule: they may be ISO-8859-1
    // text that is transcoded right after
    {"\xD7x", "_\xD7x"},
    {"\xB0K", "_\xB0K"},
    {"Gr\xF6\xDFt", "Gr\xF6\xDFt"},
    {"a\xC0\xAF", "a\xC0\xAF"},                 // overlong '/'
    {"a\xE0\x80\xAF", "a\xE0\x80\xAF"},         // overlong '/'
    {"a\xF0\x8F\xBF\xBF", "a\xF0\x8F\xBF\xBF"}, // overlong U+FFFF
    {"a\xED\xA0\x80", "a\xED\xA0\x80"},         // a surrogate
    {"\xF4\x90\x80\x80", "\xF4\x90\x80\x80"},   // beyond U+10FFFF
    {"\xF8x", "\xF8x"},
    {"a\xC3", "a\xC3"}, // cut short
    {"\xC3\xC3\xA9", "\xC3\xC3\xA9"},
};

TEST_F(XmlNames, Utf8NameForms) {
  quillon::theSettings().OutputUTF8 = true;
  for (const NameCase& C : Utf8Cases) {
    SCOPED_TRACE(C.Input);
    EXPECT_EQ(escapeXml(C.Input, true, false), C.Name);
    EXPECT_EQ(escapeXml(C.Input, false, true), C.Name);
    EXPECT_EQ(escapeXml(C.Input, true, true), C.Name);
  }
  // "xml" stays reserved for element names only
  EXPECT_EQ(escapeXml("xml\xC3\xA9", true, false), "_xml\xC3\xA9");
  EXPECT_EQ(escapeXml("xml\xC3\xA9", false, true), "xml\xC3\xA9");
}

struct FinishCase {
  std::string Input;
  bool Utf8;
  std::string Name;
};

const FinishCase FinishCases[] = {
    {"", true, ""},
    {"", false, ""},
    {"xml:id", true, "xml:id"},
    {"xmlValue", false, "xmlValue"},
    {"_1st", false, "_1st"},
    {"1st", true, "_1st"},
    {":x", false, "_:x"},
    {"a b", true, "a_b"},
    // ISO-8859-1 document: the byte classes as if the output were not UTF-8
    {"Gr\xF6\xDFt", false, "Gr\xF6\xDFt"},
    {"_\xD7x", false, "__x"},
    {"\xD7x", false, "__x"},
    {"a\xB0\xA9\x80", false, "a___"},
    {"\xB7x", false, "_\xB7x"},
    {"a\xB7", false, "a\xB7"},
    // UTF-8 document: code points, and '_' for each byte that begins no sequence
    {"Gr\xC3\xB6\xC3\x9Ft", true, "Gr\xC3\xB6\xC3\x9Ft"},
    {"Gr\xF6\xDFt", true, "Gr__t"},
    {"a\xF0\x8F\xBF\xBF", true, "a____"},
    {"_\xC3\x97x", true, "___x"},
    {"\xC3\x97x", true, "___x"},
    {"a\xC2\xA9", true, "a__"},
    {"\xD7\x90", true, "\xD7\x90"},
    {"\xE4\xB8\xAD", true, "\xE4\xB8\xAD"},
    {"\xF0\x9F\x98\x80", true, "\xF0\x9F\x98\x80"},
    {"\xCC\x80x", true, "_\xCC\x80x"},
    {"a\xC0\xAF", true, "a__"},
    {"a\xED\xA0\x80", true, "a___"},
    {"\xF4\x90\x80\x80", true, "_____"},
    {"x\xC3", true, "x_"},
    {"\xFF", true, "__"},
};

TEST_F(XmlNames, FinishedNames) {
  // the escaping's setting plays no part once the document's encoding is known
  for (const bool OutputUtf8 : {false, true}) {
    quillon::theSettings().OutputUTF8 = OutputUtf8;
    for (const FinishCase& C : FinishCases) {
      SCOPED_TRACE(testing::Message() << C.Input << " utf8 " << C.Utf8);
      EXPECT_EQ(quillon::finishXmlName(C.Input, C.Utf8, false), C.Name);
    }
  }
}

struct ColonCase {
  std::string Input;
  std::string Name;     // standing alone
  std::string Prefixed; // written after a namespace prefix
};

const ColonCase ColonCases[] = {
    {"ns:tag", "ns:tag", "ns_tag"},
    {"xml:id", "xml:id", "xml_id"},
    {"a:b:c", "a:b_c", "a_b_c"},
    {":", "__", "_"},
    {":x", "_:x", "_x"},
    {"a:1", "a_1", "a_1"},
    {"a:\xC3\xA9", "a:\xC3\xA9", "a_\xC3\xA9"},
};

TEST_F(XmlNames, FinishedNamesHoldOneColonAtMost) {
  for (const ColonCase& C : ColonCases) {
    SCOPED_TRACE(C.Input);
    EXPECT_EQ(quillon::finishXmlName(C.Input, true, false), C.Name);
    EXPECT_EQ(quillon::finishXmlName(C.Input, true, true), C.Prefixed);
  }
}

const FinishCase PrefixCases[] = {
    {"", true, ""},
    {"p:", false, "p:"},
    {"ns-1.x:", true, "ns-1.x:"},
    {"a:b:", false, "a_b:"},
    {"1p:", false, "_p:"},
    {"-p:", true, "_p:"},
    {"p q:", true, "p_q:"},
    {":", true, ""},
    {"\xE9t\xE9:", false, "\xE9t\xE9:"},
    {"\xD7:", false, "_:"},
    {"\xC3\xA9t\xC3\xA9:", true, "\xC3\xA9t\xC3\xA9:"},
    {"\xC3\x97:", true, "__:"},
    {"p\xFF:", true, "p_:"},
    {"\xC2\xB7p:", true, "__p:"},
};

TEST_F(XmlNames, FinishedNamespacePrefixes) {
  for (const FinishCase& C : PrefixCases) {
    SCOPED_TRACE(testing::Message() << C.Input << " utf8 " << C.Utf8);
    EXPECT_EQ(quillon::finishNamespacePrefix(C.Input, C.Utf8), C.Name);
  }
}

TEST_F(XmlNames, DocumentNames) {
  quillon::Settings Defaults;
  quillon::finishDocumentNames(Defaults);
  const quillon::Settings Untouched;
  EXPECT_EQ(Defaults.eRoot, Untouched.eRoot);
  EXPECT_EQ(Defaults.aID, Untouched.aID);
  EXPECT_EQ(Defaults.NamespacePrefix, "");

  // an ISO-8859-1 alias left untranscoded in a UTF-8 document, and one that was transcoded
  quillon::Settings S;
  S.Encoding = quillon::EncodingUtf8;
  S.eRoot = "r\xD7";
  S.eRecord = "rec\xC3\x97";
  S.eItem = "\xC3\xA9l";
  S.aName = "n\xC2\xB0";
  S.aValue = "v";
  S.aSource = "s\xC2\xA9";
  S.aDT = "\xE2\x80\xBF";
  S.aID = "\xD7id";
  S.aNum = "n\xF7";
  S.NamespacePrefix = "a:b:";
  quillon::finishDocumentNames(S);
  EXPECT_EQ(S.eRoot, "r_");
  EXPECT_EQ(S.eRecord, "rec__");
  EXPECT_EQ(S.eItem, "\xC3\xA9l");
  EXPECT_EQ(S.aName, "n__");
  EXPECT_EQ(S.aValue, "v");
  EXPECT_EQ(S.aSource, "s__");
  EXPECT_EQ(S.aDT, "_\xE2\x80\xBF");
  EXPECT_EQ(S.aID, "__id");
  EXPECT_EQ(S.aNum, "n_");
  EXPECT_EQ(S.NamespacePrefix, "a_b:");

  // after a namespace prefix, element names keep no ':' of their own; attribute names do
  quillon::Settings Prefixed;
  Prefixed.NamespacePrefix = "p:";
  Prefixed.eRecord = "x:rec";
  quillon::finishDocumentNames(Prefixed);
  EXPECT_EQ(Prefixed.eRecord, "x_rec");
  EXPECT_EQ(Prefixed.aID, "xml:id");

  quillon::Settings Iso;
  Iso.eRoot = "r\xD7";
  Iso.aID = "\xC3\x97";
  Iso.NamespacePrefix = "\xE9:";
  quillon::finishDocumentNames(Iso);
  EXPECT_EQ(Iso.eRoot, "r_");
  EXPECT_EQ(Iso.aID, "\xC3_");
  EXPECT_EQ(Iso.NamespacePrefix, "\xE9:");
}

// How a source meets its document.
enum class Route {
  IsoToUtf8,    // -e:UTF-8, ISO-8859-1 source
  Utf8,         // -e:UTF-8, UTF-8 source
  Utf8ToIso,    // UTF-8 source, ISO-8859-1 document
  IsoUtf8Names, // -e:UTF-8 -e:ISO-8859-1 leaves OutputUTF8 on for an ISO-8859-1 document
};

quillon::Settings settingsFor(Route Way, int Layout) {
  quillon::Settings S;
  S.Mode = Layout - 1;
  S.Encoding =
      Way == Route::IsoToUtf8 || Way == Route::Utf8 ? quillon::EncodingUtf8 : quillon::EncodingIso;
  S.OutputUTF8 = Way != Route::Utf8ToIso;
  S.ConvertDataI2U = Way == Route::IsoToUtf8;
  S.ConvertDataU2I = Way == Route::Utf8ToIso;
  return S;
}

struct HeaderCase {
  Route Way;
  int Layout;
  std::vector<std::string> Header;
  std::vector<std::string> Names;
};

// Column names after escaping and transcoding.
const HeaderCase HeaderCases[] = {
    {Route::IsoToUtf8,
     1,
     {"\xD7x", "\xB0K", "a\xA9", "Gr\xF6\xDFt"},
     {"___x", "___K", "a__", "Gr\xC3\xB6\xC3\x9Ft"}},
    // repeats are found after the last pass
    {Route::IsoToUtf8, 5, {"\xD7", "\xF7", "a\xA9", "a\xAE"}, {"___", "____2", "a__", "a___4"}},
    // names as attribute values are left alone
    {Route::IsoToUtf8, 3, {"\xD7x"}, {"\xC3\x97x"}},
    {Route::Utf8, 2, {"\xC3\x97x", "\xE4\xB8\xAD"}, {"___x", "\xE4\xB8\xAD"}},
    // transcoded before the name rules: one '_' for each character ISO-8859-1 lacks
    {Route::Utf8ToIso, 1, {"\xC2\xB7x", "\xC3\x97x", "K\xC3\xB6ln"}, {"_\xB7x", "__x", "K\xF6ln"}},
    {Route::Utf8ToIso,
     5,
     {"\xE6\x97\xA5\xE4\xBB\x98", "a\xF0\x9F\x98\x80", "\xE2\x82\xAC", "x\xE9"},
     {"__", "a_", "_", "x_"}},
    {Route::IsoUtf8Names, 5, {"\xD7x", "a\xB0", "\xE9t\xE9"}, {"__x", "a_", "\xE9t\xE9"}},
};

TEST_F(XmlNames, ColumnNamesAfterANamespacePrefix) {
  for (int Layout : {1, 2, 5}) {
    SCOPED_TRACE(Layout);
    quillon::Settings S;
    S.Mode = Layout - 1;
    S.NamespacePrefix = "p:";
    std::string Document;
    quillon::TargetBuffer Out(Document);
    quillon::RunCounters Counters;
    quillon::RecordWriter Writer(S, Out, Counters);
    Writer.prepareColumnNames({"ns:tag", "a:b:c"});
    const std::vector<std::string> Names = Layout == 5
                                               ? std::vector<std::string>{"ns:tag", "a:b_c"}
                                               : std::vector<std::string>{"ns_tag", "a_b_c"};
    EXPECT_EQ(Writer.columnNames(), Names);
  }
}

TEST_F(XmlNames, ColumnNamesInTheDocumentsEncoding) {
  for (const HeaderCase& C : HeaderCases) {
    SCOPED_TRACE(testing::Message()
                 << "route " << static_cast<int>(C.Way) << " layout " << C.Layout);
    const quillon::Settings S = settingsFor(C.Way, C.Layout);
    quillon::theSettings().OutputUTF8 = S.OutputUTF8;
    std::string Document;
    quillon::TargetBuffer Out(Document);
    quillon::RunCounters Counters;
    quillon::RecordWriter Writer(S, Out, Counters);
    Writer.prepareColumnNames(C.Header);
    EXPECT_EQ(Writer.columnNames(), C.Names);
  }
}

} // namespace
