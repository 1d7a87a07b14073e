#include "io/target_buffer.h"
#include "options/settings.h"
#include "xml/xml_names.h"
#include "xml/xml_output.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

using quillon::escapeXml;
constexpr quillon::NameKind Element = quillon::NameKind::Element;
constexpr quillon::NameKind Attribute = quillon::NameKind::Attribute;

class XmlNames : public ::testing::Test {
protected:
  void SetUp() override { quillon::resetSettings(); }
  void TearDown() override { quillon::resetSettings(); }
};

struct FormsCase {
  std::string Input;
  std::string Text;
  std::string Element;
  std::string Attribute;
};

// OutputUTF8 off.
const FormsCase FormsCases[] = {
    {"", "", "", ""},
    {"City", "City", "City", "City"},
    {"Zip code", "Zip code", "Zip_code", "Zip_code"},
    {"1st", "1st", "_1st", "_1st"},
    {"2019", "2019", "_2019", "_2019"},
    {".5", ".5", "_.5", "_.5"},
    {"xmlValue", "xmlValue", "_xmlValue", "xmlValue"},
    {"XML", "XML", "_XML", "XML"},
    {"xmlns", "xmlns", "_xmlns", "xmlns"},
    {"Xml2", "Xml2", "_Xml2", "Xml2"},
    {"xm", "xm", "xm", "xm"},
    {"-x", "-x", "_-x", "_-x"},
    // an element name keeps no ':' (the document's prefix goes in front of it); an attribute
    // name keeps one between a prefix and a local name that starts like a name, until the
    // document's prefix is known
    {":tag", ":tag", "__tag", "_:tag"},
    {"ns:tag", "ns:tag", "ns_tag", "ns:tag"},
    {"xml:id", "xml:id", "_xml_id", "xml:id"},
    {":", ":", "__", "__"},
    {"::", "::", "___", "_:_"},
    {"x:", "x:", "x_", "x_"},
    {"a:1", "a:1", "a_1", "a_1"},
    {"a:-b", "a:-b", "a_-b", "a_-b"},
    {"a::b", "a::b", "a__b", "a:_b"},
    {"a:b:c", "a:b:c", "a_b_c", "a:b_c"},
    {"p:h1-m:3", "p:h1-m:3", "p_h1-m_3", "p:h1-m_3"},
    {"Price & Qty", "Price &amp; Qty", "Price__amp__Qty", "Price__amp__Qty"},
    {"O'Brien", "O&apos;Brien", "O_apos_Brien", "O_apos_Brien"},
    {"a<b & \"c\"", "a&lt;b &amp; &quot;c&quot;", "a_lt_b__amp___quot_c_quot_",
     "a_lt_b__amp___quot_c_quot_"},
    {"&amp;", "&amp;", "__amp_", "__amp_"},
    {"&Quot;x", "&amp;Quot;x", "__amp_Quot_x", "__amp_Quot_x"},
    {"&#38;", "&amp;#38;", "__amp__38_", "__amp__38_"},
    {"&", "&amp;", "__amp_", "__amp_"},
    {"a\tb\nc\rd", "a\tb\nc\rd", "a_b_c_d", "a_b_c_d"},
    {std::string("a\0b\x01\x08\x0B\x0C\x0E\x1F\x7F", 10), "a?b??????\x7F", "a_b_______",
     "a_b_______"},
    {"\xB7x", "\xB7x", "_\xB7x", "_\xB7x"},
    {"\xE9t\xE9", "\xE9t\xE9", "\xE9t\xE9", "\xE9t\xE9"},
    {"a\xD7"
     "b\xF7",
     "a\xD7"
     "b\xF7",
     "a_b_", "a_b_"},
    {"Gr\xC3\xB6\xC3\x9F"
     "e",
     "Gr\xC3\xB6\xC3\x9F"
     "e",
     "Gr\xC3_\xC3_e", "Gr\xC3_\xC3_e"},
};

TEST_F(XmlNames, ThreeFormsOfEachInput) {
  for (const FormsCase& C : FormsCases) {
    SCOPED_TRACE(C.Input);
    EXPECT_EQ(escapeXml(C.Input, false, false, quillon::theSettings().OutputUTF8), C.Text);
    EXPECT_EQ(escapeXml(C.Input, true, false, quillon::theSettings().OutputUTF8), C.Element);
    EXPECT_EQ(escapeXml(C.Input, false, true, quillon::theSettings().OutputUTF8), C.Attribute);
    EXPECT_EQ(escapeXml(C.Input, true, true, quillon::theSettings().OutputUTF8), C.Element);
  }
}

TEST_F(XmlNames, Utf8OutputAdmitsHighBytesInsideNames) {
  quillon::theSettings().OutputUTF8 = true;
  const std::string Groesse = "Gr\xC3\xB6\xC3\x9F"
                              "e";
  EXPECT_EQ(escapeXml(Groesse, true, false, quillon::theSettings().OutputUTF8), Groesse);
  EXPECT_EQ(escapeXml(Groesse, false, true, quillon::theSettings().OutputUTF8), Groesse);
  EXPECT_EQ(escapeXml("a\xD7"
                      "b\xF7",
                      true, false, quillon::theSettings().OutputUTF8),
            "a\xD7"
            "b\xF7");
  // a continuation byte cannot start a name
  EXPECT_EQ(escapeXml("\x80x", true, false, quillon::theSettings().OutputUTF8), "_\x80x");
  EXPECT_EQ(escapeXml("\x80x", false, true, quillon::theSettings().OutputUTF8), "_\x80x");
  EXPECT_EQ(escapeXml("\xC3\xA9t\xC3\xA9", true, false, quillon::theSettings().OutputUTF8),
            "\xC3\xA9t\xC3\xA9");
}

// Every byte against the name classes, written out as ranges.
TEST_F(XmlNames, NameCharacterClassesOfAllBytes) {
  auto In = [](int C, int From, int To) { return C >= From && C <= To; };
  for (int Utf8 = 0; Utf8 < 2; ++Utf8) {
    quillon::theSettings().OutputUTF8 = Utf8 == 1;
    for (int C = 0; C < 256; ++C) {
      SCOPED_TRACE(testing::Message() << "byte " << C << " utf8 " << Utf8);
      const bool Start = In(C, 'A', 'Z') || In(C, 'a', 'z') || C == '_' || In(C, 0xC0, 0xD6) ||
                         In(C, 0xD8, 0xF6) || In(C, 0xF8, 0xFF);
      const bool InnerOnly = In(C, '0', '9') || C == '-' || C == '.' || C == ':' || C == 0xB7;
      const bool Utf8Only = In(C, 0x80, 0xB6) || In(C, 0xB8, 0xBF) || C == 0xD7 || C == 0xF7;
      const unsigned char Byte = static_cast<unsigned char>(C);
      EXPECT_EQ(quillon::isXmlNameChar(Byte, true, quillon::theSettings().OutputUTF8), Start);
      EXPECT_EQ(quillon::isXmlNameChar(Byte, false, quillon::theSettings().OutputUTF8),
                Start || InnerOnly || (Utf8Only && Utf8));
    }
  }
}

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
    // name characters that cannot start a name: middle dot, combining grave
    {"\xC2\xB7x", "_\xC2\xB7x"},
    {"a\xC2\xB7z", "a\xC2\xB7z"},
    {"\xCC\x80x", "_\xCC\x80x"},
    {"e\xCC\x80", "e\xCC\x80"},
    // name start characters anywhere: CJK, Greek
    {"\xE4\xB8\xAD\xE6\x96\x87", "\xE4\xB8\xAD\xE6\x96\x87"},
    {"\xCE\x95\xCE\xBB", "\xCE\x95\xCE\xBB"},
    // the fifth edition's name characters that the earlier editions lack: the undertie, the
    // euro sign, an emoji, U+FFFD
    {"\xE2\x80\xBFx", "____x"},
    {"a\xE2\x80\xBF", "a___"},
    {"\xE2\x82\xAC", "____"},
    {"\xF0\x9F\x98\x80", "_____"},
    {"a\xEF\xBF\xBD", "a___"},
    // a Hebrew letter begins with the byte D7, which starts no name: its '_' stays
    {"\xD7\x90\xD7\x91", "_\xD7\x90\xD7\x91"},
    // an element name keeps no ':'
    {"a:\xCC\x80", "a_\xCC\x80"},
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
    EXPECT_EQ(escapeXml(C.Input, true, false, quillon::theSettings().OutputUTF8), C.Name);
    EXPECT_EQ(escapeXml(C.Input, false, true, quillon::theSettings().OutputUTF8), C.Name);
    EXPECT_EQ(escapeXml(C.Input, true, true, quillon::theSettings().OutputUTF8), C.Name);
  }
  // "xml" stays reserved for element names only
  EXPECT_EQ(escapeXml("xml\xC3\xA9", true, false, quillon::theSettings().OutputUTF8),
            "_xml\xC3\xA9");
  EXPECT_EQ(escapeXml("xml\xC3\xA9", false, true, quillon::theSettings().OutputUTF8),
            "xml\xC3\xA9");
  // the local name after a ':' must start like a name; only an attribute name keeps the ':'
  const NameCase LocalNames[] = {
      {"a:\xC3\xA9", "a:\xC3\xA9"}, {"a:\xD7\x90", "a:\xD7\x90"}, {"a:\xCC\x80", "a_\xCC\x80"},
      {"a:\xC3\x97", "a:__"},       {"a:\xE2\x82\xAC", "a:___"},
  };
  for (const NameCase& C : LocalNames) {
    SCOPED_TRACE(C.Input);
    EXPECT_EQ(escapeXml(C.Input, false, true, quillon::theSettings().OutputUTF8), C.Name);
    std::string Element = C.Name;
    std::replace(Element.begin(), Element.end(), ':', '_');
    EXPECT_EQ(escapeXml(C.Input, true, false, quillon::theSettings().OutputUTF8), Element);
  }
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
    {":x", false, "__x"},
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
    {"\xF0\x9F\x98\x80", true, "_____"},
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
      EXPECT_EQ(quillon::finishXmlName(C.Input, C.Utf8, Attribute, ""), C.Name);
    }
  }
}

struct CodePointCase {
  char32_t CodePoint;
  bool Starts; // may start a name
  bool Inside; // may stand inside one
};

// The edges of the character classes, and characters that only the fifth edition allows.
// clang-format off
constexpr CodePointCase CodePointCases[] = {
    // letters
    {0xBF, false, false},   {0xC0, true, true},     {0xD6, true, true},     {0xD7, false, false},
    {0xD8, true, true},     {0xF6, true, true},     {0xF7, false, false},   {0xF8, true, true},
    {0xFF, true, true},     {0x100, true, true},    {0x131, true, true},    {0x132, false, false},
    {0x133, false, false},  {0x134, true, true},    {0x13F, false, false},  {0x17F, false, false},
    {0x1C4, false, false},  {0x1CD, true, true},    {0x2C1, true, true},    {0x2C2, false, false},
    {0x386, true, true},    {0x3F3, true, true},    {0x3F4, false, false},  {0x2126, true, true},
    {0x2127, false, false}, {0x3094, true, true},   {0x3095, false, false}, {0xABFF, false, false},
    {0xAC00, true, true},   {0xD7A3, true, true},   {0xD7A4, false, false},
    // ideographs
    {0x3006, false, false}, {0x3007, true, true},   {0x3021, true, true},   {0x3029, true, true},
    {0x4DFF, false, false}, {0x4E00, true, true},   {0x9FA5, true, true},   {0x9FA6, false, false},
    // combining characters, digits and extenders: inside only
    {0x2FF, false, false},  {0x300, false, true},   {0x345, false, true},   {0x346, false, false},
    {0x302A, false, true},  {0x309A, false, true},  {0x309B, false, false}, {0x65F, false, false},
    {0x660, false, true},   {0x669, false, true},   {0x66A, false, false},  {0xF29, false, true},
    {0xF2A, false, false},  {0xB6, false, false},   {0xB7, false, true},    {0xB8, false, false},
    {0x2D0, false, true},   {0x2D1, false, true},   {0x2D2, false, false},  {0x387, false, true},
    {0x30FE, false, true},  {0x30FF, false, false},
    // name characters of the fifth edition only
    {0x20AC, false, false}, {0x2122, false, false}, {0x2C6, false, false},  {0x2DC, false, false},
    {0x37F, false, false},  {0x203F, false, false}, {0xF900, false, false}, {0xFFFD, false, false},
    {0x10000, false, false}, {0x1F600, false, false},
};
// clang-format on

std::string utf8Of(char32_t C) {
  std::string Bytes;
  if (C < 0x80) {
    Bytes += static_cast<char>(C);
  } else if (C < 0x800) {
    Bytes += static_cast<char>(0xC0 | (C >> 6));
    Bytes += static_cast<char>(0x80 | (C & 0x3F));
  } else if (C < 0x10000) {
    Bytes += static_cast<char>(0xE0 | (C >> 12));
    Bytes += static_cast<char>(0x80 | ((C >> 6) & 0x3F));
    Bytes += static_cast<char>(0x80 | (C & 0x3F));
  } else {
    Bytes += static_cast<char>(0xF0 | (C >> 18));
    Bytes += static_cast<char>(0x80 | ((C >> 12) & 0x3F));
    Bytes += static_cast<char>(0x80 | ((C >> 6) & 0x3F));
    Bytes += static_cast<char>(0x80 | (C & 0x3F));
  }
  return Bytes;
}

TEST_F(XmlNames, CharactersAtTheEdgesOfTheClasses) {
  for (const CodePointCase& C : CodePointCases) {
    SCOPED_TRACE(testing::Message() << "U+" << std::hex << static_cast<std::uint32_t>(C.CodePoint));
    const std::string Char = utf8Of(C.CodePoint);
    const std::string Blank(Char.size(), '_');
    const std::string Inner = C.Inside ? Char : Blank;
    EXPECT_EQ(quillon::finishXmlName("a" + Char, true, Attribute, ""), "a" + Inner);
    EXPECT_EQ(quillon::finishXmlName(Char + "a", true, Element, ""),
              C.Starts ? Char + "a" : "_" + Inner + "a");
    // the same rule in the name forms and for header cells of a UTF-8 document
    quillon::theSettings().OutputUTF8 = true;
    EXPECT_EQ(escapeXml("a" + Char, true, false, quillon::theSettings().OutputUTF8), "a" + Inner);
    EXPECT_EQ(quillon::makeXmlName("a" + Char, Attribute, true, true), "a" + Inner);
    // a Latin-1 character alone in an ISO-8859-1 document
    if (C.CodePoint < 0x100) {
      const std::string Byte(1, static_cast<char>(C.CodePoint));
      EXPECT_EQ(quillon::finishXmlName("a" + Byte, false, Attribute, ""),
                C.Inside ? "a" + Byte : "a_");
      EXPECT_EQ(quillon::finishXmlName(Byte, false, Element, ""),
                C.Starts ? Byte : (C.Inside ? "_" + Byte : "__"));
    }
  }
}

struct ColonCase {
  std::string Input;
  std::string Element;   // an element name, whatever the document's prefix
  std::string Attribute; // an attribute name, no prefix declared
  std::string AfterP;    // an attribute name, the prefix "p" declared
};

const ColonCase ColonCases[] = {
    {"p:x", "p_x", "p_x", "p:x"},
    {"q:x", "q_x", "q_x", "q_x"},
    {"pp:x", "pp_x", "pp_x", "pp_x"},
    {"P:x", "P_x", "P_x", "P_x"},
    {"xml:id", "xml_id", "xml:id", "xml:id"},
    {"xml:lang", "xml_lang", "xml:lang", "xml:lang"},
    {"XML:id", "XML_id", "XML_id", "XML_id"},
    {"xmlx:y", "xmlx_y", "xmlx_y", "xmlx_y"},
    {"xmlns:p", "xmlns_p", "xmlns_p", "xmlns_p"},
    {"xmlns", "xmlns", "_xmlns", "_xmlns"},
    {"xmlnsx", "xmlnsx", "xmlnsx", "xmlnsx"},
    {":x", "__x", "__x", "__x"},
    {":", "__", "__", "__"},
    {"x:", "x_", "x_", "x_"},
    {"p:", "p_", "p_", "p_"},
    {"xml:", "xml_", "xml_", "xml_"},
    {"p::x", "p__x", "p__x", "p:_x"},
    {"p:x:y", "p_x_y", "p_x_y", "p:x_y"},
    {"p:1", "p_1", "p_1", "p_1"},
    {"p:-x", "p_-x", "p_-x", "p_-x"},
    {"xml:\xCC\x80", "xml_\xCC\x80", "xml_\xCC\x80", "xml_\xCC\x80"},
    {"p:\xC3\xA9", "p_\xC3\xA9", "p_\xC3\xA9", "p:\xC3\xA9"},
    {"p:\xE2\x82\xAC", "p____", "p____", "p:___"},
};

TEST_F(XmlNames, FinishedNamesKeepOnlyDeclaredPrefixes) {
  for (const ColonCase& C : ColonCases) {
    SCOPED_TRACE(C.Input);
    for (const std::string_view Prefix : {"", "p:"})
      EXPECT_EQ(quillon::finishXmlName(C.Input, true, Element, Prefix), C.Element);
    EXPECT_EQ(quillon::finishXmlName(C.Input, true, Attribute, ""), C.Attribute);
    EXPECT_EQ(quillon::finishXmlName(C.Input, true, Attribute, "p:"), C.AfterP);
    EXPECT_EQ(quillon::finishXmlName(C.Input, true, Attribute, "p"), C.AfterP);
    if (std::all_of(C.Input.begin(), C.Input.end(), [](char B) { return B > 0; })) {
      EXPECT_EQ(quillon::finishXmlName(C.Input, false, Attribute, "p:"), C.AfterP);
    }
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
    {"\xE2\x82\xAC:", true, "___:"},
    // bound by XML itself
    {"xml:", false, "_xml:"},
    {"xmlns:", true, "_xmlns:"},
    {"xmlx:", true, "xmlx:"},
    {"XML:", true, "XML:"},
    {"xmln:", true, "xmln:"},
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
  EXPECT_EQ(S.aDT, "____");
  EXPECT_EQ(S.aID, "__id");
  EXPECT_EQ(S.aNum, "n_");
  EXPECT_EQ(S.NamespacePrefix, "a_b:");

  // element names keep no ':' of their own; attribute names keep one after the declared
  // prefix, as it stands once finished, or after "xml"
  for (const bool Declared : {false, true}) {
    SCOPED_TRACE(Declared);
    quillon::Settings Prefixed;
    if (Declared)
      Prefixed.NamespacePrefix = "a b:";
    Prefixed.eRecord = "a_b:rec";
    Prefixed.eRoot = "x:root";
    Prefixed.aSource = "a_b:src";
    Prefixed.aDT = "x:dt";
    Prefixed.aName = "xmlns:n";
    Prefixed.aValue = "xmlns";
    quillon::finishDocumentNames(Prefixed);
    EXPECT_EQ(Prefixed.eRecord, "a_b_rec");
    EXPECT_EQ(Prefixed.eRoot, "x_root");
    EXPECT_EQ(Prefixed.aSource, Declared ? "a_b:src" : "a_b_src");
    EXPECT_EQ(Prefixed.aDT, "x_dt");
    EXPECT_EQ(Prefixed.aName, "xmlns_n");
    EXPECT_EQ(Prefixed.aValue, "_xmlns");
    EXPECT_EQ(Prefixed.aID, "xml:id");
  }

  // with a schema location the prefix xsi is taken
  for (const bool Schema : {false, true}) {
    quillon::Settings S;
    S.NamespacePrefix = "xsi:";
    S.UseXSD = true;
    S.XSDFile = Schema ? "s.xsd" : "";
    quillon::finishDocumentNames(S);
    EXPECT_EQ(S.NamespacePrefix, Schema ? "_xsi:" : "xsi:");
  }

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
  Iso,          // ISO-8859-1 (Windows-1252) source and document
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
  S.OutputUTF8 = Way != Route::Utf8ToIso && Way != Route::Iso;
  S.ConvertDataI2U = Way == Route::IsoToUtf8;
  S.ConvertDataU2I = Way == Route::Utf8ToIso;
  return S;
}

struct HeaderCase {
  Route Way;
  int Layout;
  std::vector<std::string> Header;
  std::vector<std::string> Names;
  std::int64_t Converted; // characters transcoded, either way
};

// Column names after escaping and transcoding.
const HeaderCase HeaderCases[] = {
    // Windows-1252 bytes are C1 controls in an ISO-8859-1 document
    {Route::Iso, 1, {"\x8Aibenik", "a\x80", "\xC3\xA9"}, {"__ibenik", "a_", "\xC3_"}, 0},
    {Route::IsoToUtf8,
     1,
     {"\xD7x", "\xB0K", "a\xA9", "Gr\xF6\xDFt"},
     {"___x", "___K", "a__", "Gr\xC3\xB6\xC3\x9Ft"},
     5},
    // Windows-1252 letters are letters in UTF-8; the euro sign is none; ISO-8859-1 bytes that
    // look like UTF-8 are read as what they are
    {Route::IsoToUtf8,
     2,
     {"\x8Aibenik", "\x80", "a\xC3\xB7"},
     {"\xC5\xA0ibenik", "____", "a\xC3\x83\xC2\xB7"},
     4},
    // repeats are found after the last pass
    {Route::IsoToUtf8, 5, {"\xD7", "\xF7", "a\xA9", "a\xAE"}, {"___", "____2", "a__", "a___4"}, 4},
    // names as attribute values are left alone
    {Route::IsoToUtf8, 3, {"\xD7x"}, {"\xC3\x97x"}, 1},
    {Route::Utf8, 2, {"\xC3\x97x", "\xE4\xB8\xAD"}, {"___x", "\xE4\xB8\xAD"}, 0},
    // a UTF-8 cell is judged as UTF-8, then transcoded; each character beyond ASCII counts, as
    // in a name written as a value (layouts 3 and 4), whatever the name rules make of it
    {Route::Utf8ToIso,
     1,
     {"\xC2\xB7x", "\xC3\x97x", "K\xC3\xB6ln"},
     {"_\xB7x", "___x", "K\xF6ln"},
     3},
    // characters ISO-8859-1 cannot hold, Windows-1252 letters among them, fit nowhere
    {Route::Utf8ToIso,
     5,
     {"Gr\xC3\xB6\xC3\x9F"
      "e",
      "a\xE2\x82\xAC", "\xE5\x90\x8D", "\xCE\x95", "x\xC5\xA0"},
     {"Gr\xF6\xDF"
      "e",
      "a___", "____", "___", "x__"},
     6},
    // a name that is an attribute value keeps its UTF-8 here; it is converted as it is written
    {Route::Utf8ToIso, 4, {"K\xC3\xB6ln"}, {"K\xC3\xB6ln"}, 1},
    {Route::IsoUtf8Names, 5, {"\xD7x", "a\xB0", "\xE9t\xE9"}, {"__x", "a_", "\xE9t\xE9"}, 0},
};

// The column names a record writer makes of Header, what it converts counted in Counters.
std::vector<std::string> columnNamesFor(const quillon::Settings& S,
                                        const std::vector<std::string>& Header,
                                        quillon::RunCounters& Counters) {
  std::string Document;
  quillon::TargetBuffer Out(Document);
  quillon::RecordWriter Writer(S, Out, Counters);
  Writer.prepareColumnNames(Header);
  return Writer.columnNames();
}

TEST_F(XmlNames, ColumnNamesKeepOnlyDeclaredPrefixes) {
  const std::vector<std::string> Header = {"ns:tag",   "a:b:c", "p:col",
                                           "xml:lang", "xmlns", "xmlns:q"};
  for (const bool Declared : {false, true}) {
    for (int Layout : {1, 2, 5}) {
      SCOPED_TRACE(testing::Message() << "layout " << Layout << " declared " << Declared);
      quillon::Settings S;
      S.Mode = Layout - 1;
      if (Declared)
        S.NamespacePrefix = "p:";
      quillon::RunCounters Counters;
      const std::vector<std::string> Names =
          Layout != 5 ? std::vector<std::string>{"ns_tag",    "a_b_c",  "p_col",
                                                 "_xml_lang", "_xmlns", "_xmlns_q"}
                      : std::vector<std::string>{"ns_tag",   "a_b_c",  Declared ? "p:col" : "p_col",
                                                 "xml:lang", "_xmlns", "xmlns_q"};
      EXPECT_EQ(columnNamesFor(S, Header, Counters), Names);
    }
  }
}

TEST_F(XmlNames, ColumnNamesInTheDocumentsEncoding) {
  for (const HeaderCase& C : HeaderCases) {
    SCOPED_TRACE(testing::Message()
                 << "route " << static_cast<int>(C.Way) << " layout " << C.Layout);
    const quillon::Settings S = settingsFor(C.Way, C.Layout);
    quillon::theSettings().OutputUTF8 = S.OutputUTF8;
    quillon::RunCounters Counters;
    EXPECT_EQ(columnNamesFor(S, C.Header, Counters), C.Names);
    EXPECT_EQ(Counters.IsoToUtf8Count + Counters.Utf8ToIsoCount, C.Converted);
  }
}

} // namespace
