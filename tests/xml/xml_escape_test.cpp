#include "encoding/encoding.h"
#include "options/settings.h"
#include "xml/xml_escape.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

using quillon::escapeXml;

class XmlEscape : public ::testing::Test {
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

TEST_F(XmlEscape, ThreeFormsOfEachInput) {
  for (const FormsCase& C : FormsCases) {
    SCOPED_TRACE(C.Input);
    EXPECT_EQ(escapeXml(C.Input, false, false), C.Text);
    EXPECT_EQ(escapeXml(C.Input, true, false), C.Element);
    EXPECT_EQ(escapeXml(C.Input, false, true), C.Attribute);
    EXPECT_EQ(escapeXml(C.Input, true, true), C.Element);
  }
}

struct TextCase {
  const char* Input;
  const char* Text;
};

// Only the five lower-case references survive, and only the longest candidate counts.
constexpr TextCase ReferenceCases[] = {
    {"&&", "&amp;&amp;"},
    {"&amp;&lt;&gt;&quot;&apos;", "&amp;&lt;&gt;&quot;&apos;"},
    {"&AMP;&LT;&Gt;&QUOT;&Apos;", "&amp;AMP;&amp;LT;&amp;Gt;&amp;QUOT;&amp;Apos;"},
    {"&lt;;", "&amp;lt;;"},
    {"&lt;x;", "&amp;lt;x;"},
    {"&lt;ab", "&lt;ab"},
    {"&amp", "&amp;amp"},
    {"&lt", "&amp;lt"},
    {"x&lt;", "x&lt;"},
    {"&quo;", "&amp;quo;"},
    {"&am;;", "&amp;am;;"},
    {"&<t;", "&amp;&lt;t;"},
    {"1 > 0 'q'", "1 &gt; 0 &apos;q&apos;"},
};

TEST_F(XmlEscape, TextFormReferences) {
  for (const TextCase& C : ReferenceCases) {
    SCOPED_TRACE(C.Input);
    EXPECT_EQ(escapeXml(C.Input, false, false), C.Text);
  }
}

TEST_F(XmlEscape, Utf8OutputAdmitsHighBytesInsideNames) {
  quillon::theSettings().OutputUTF8 = true;
  const std::string Groesse = "Gr\xC3\xB6\xC3\x9F"
                              "e";
  EXPECT_EQ(escapeXml(Groesse, true, false), Groesse);
  EXPECT_EQ(escapeXml(Groesse, false, true), Groesse);
  EXPECT_EQ(escapeXml("a\xD7"
                      "b\xF7",
                      true, false),
            "a\xD7"
            "b\xF7");
  // a continuation byte cannot start a name
  EXPECT_EQ(escapeXml("\x80x", true, false), "_\x80x");
  EXPECT_EQ(escapeXml("\x80x", false, true), "_\x80x");
  EXPECT_EQ(escapeXml("\xC3\xA9t\xC3\xA9", true, false), "\xC3\xA9t\xC3\xA9");
}

// Every byte against the name classes, written out as ranges.
TEST_F(XmlEscape, NameCharacterClassesOfAllBytes) {
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
      EXPECT_EQ(quillon::isXmlNameChar(Byte, true), Start);
      EXPECT_EQ(quillon::isXmlNameChar(Byte, false), Start || InnerOnly || (Utf8Only && Utf8));
    }
  }
}

TEST_F(XmlEscape, AppendReportsReplacedControlBytes) {
  std::string Out = "<v>";
  EXPECT_FALSE(quillon::appendEscapedText(Out, "plain & \"quoted\"\t\r\n"));
  EXPECT_EQ(Out, "<v>plain &amp; &quot;quoted&quot;\t\r\n");
  Out.clear();
  EXPECT_TRUE(quillon::appendEscapedText(Out, "bell\x07<"));
  EXPECT_EQ(Out, "bell?&lt;");
  Out.clear();
  EXPECT_FALSE(quillon::appendEscapedText(Out, ""));
  EXPECT_EQ(Out, "");
  // a long clean run followed by a reference at the very end
  const std::string Long(100000, 'x');
  EXPECT_FALSE(quillon::appendEscapedText(Out, Long + "&gt;"));
  EXPECT_EQ(Out, Long + "&gt;");
}

} // namespace

namespace {

struct Utf8TextCase {
  std::string Input;
  std::string Text; // the text form in a UTF-8 document
  bool Replaced;
};

// In a UTF-8 document every byte that begins no UTF-8 form of an XML character becomes '?'.
const Utf8TextCase Utf8TextCases[] = {
    {"Gr\xC3\xB6\xC3\x9F"
     "e",
     "Gr\xC3\xB6\xC3\x9F"
     "e",
     false},
    {"\xE2\x82\xAC 5 & \xF0\x9F\x98\x80", "\xE2\x82\xAC 5 &amp; \xF0\x9F\x98\x80", false},
    {"\xEF\xBF\xBD\xC2\x85", "\xEF\xBF\xBD\xC2\x85", false}, // U+FFFD and NEL are characters
    {"\xE9t\xE9", "?t?", true},                              // ISO-8859-1 bytes
    {"\xFF", "?", true},
    {"a\xC3", "a?", true},                        // cut short at the end
    {"\xE2\x82<", "??&lt;", true},                // cut short before markup
    {"\xC3\xC3\xA9", "?\xC3\xA9", true},          // a lead byte without its continuation
    {"\x80\xBF", "??", true},                     // continuation bytes alone
    {"\xC0\xAF\xE0\x80\xAF", "?????", true},      // overlong forms
    {"\xED\xA0\x80\xED\xBF\xBF", "??????", true}, // surrogates
    {"\xEF\xBF\xBE\xEF\xBF\xBF", "??????", true}, // U+FFFE and U+FFFF
    {"\xF4\x90\x80\x80\xF5\x80", "??????", true}, // beyond U+10FFFF
    {"\x01\xC3\xA9", "?\xC3\xA9", true},          // control bytes as before
    {"&amp;\xC3", "&amp;?", true},
};

TEST_F(XmlEscape, Utf8DocumentTextForm) {
  for (const Utf8TextCase& C : Utf8TextCases) {
    SCOPED_TRACE(testing::PrintToString(C.Input));
    std::string Out = "<v>";
    EXPECT_EQ(quillon::appendEscapedText(Out, C.Input, true, false), C.Replaced);
    EXPECT_EQ(Out, "<v>" + C.Text);
  }
}

struct RawCase {
  std::string Input;
  std::string Iso;  // replaceNonXmlBytes in an ISO-8859-1 document
  std::string Utf8; // and in a UTF-8 document
};

// Texts without references keep their markup bytes; only what XML cannot hold changes.
const RawCase RawCases[] = {
    {"", "", ""},
    {"a\"b'<&>.dtd", "a\"b'<&>.dtd", "a\"b'<&>.dtd"},
    {"a\x01\x1F\t\r\nb", "a??\t\r\nb", "a??\t\r\nb"},
    {"\xE9.dtd", "\xE9.dtd", "?.dtd"},
    {"\xC3\xA9\xED\xA0\x80", "\xC3\xA9\xED\xA0\x80", "\xC3\xA9???"},
};

TEST_F(XmlEscape, ReplaceNonXmlBytes) {
  for (const RawCase& C : RawCases) {
    SCOPED_TRACE(testing::PrintToString(C.Input));
    EXPECT_EQ(quillon::replaceNonXmlBytes(C.Input, false), C.Iso);
    EXPECT_EQ(quillon::replaceNonXmlBytes(C.Input, true), C.Utf8);
  }
}

// An ISO-8859-1 document takes every byte from 0x80 up as it is.
TEST_F(XmlEscape, IsoDocumentKeepsHighBytes) {
  auto HighBytes = [](const std::string& Text) {
    std::string High;
    for (const char C : Text)
      if (static_cast<unsigned char>(C) >= 0x80)
        High.push_back(C);
    return High;
  };
  for (const Utf8TextCase& C : Utf8TextCases) {
    SCOPED_TRACE(testing::PrintToString(C.Input));
    std::string Out;
    quillon::appendEscapedText(Out, C.Input, false, false);
    std::string Plain;
    quillon::appendEscapedText(Plain, C.Input);
    EXPECT_EQ(Out, Plain);
    EXPECT_EQ(HighBytes(Out), HighBytes(C.Input));
  }
}

} // namespace

namespace {

// A plain byte-by-byte text form to hold the word-at-a-time writer against.
std::size_t referenceCharacterLength(const std::string& Text, std::size_t I) {
  const auto Byte = [&Text](std::size_t At) {
    return At < Text.size() ? static_cast<unsigned char>(Text[At]) : 0u;
  };
  const unsigned Lead = Byte(I);
  std::size_t Length = Lead >= 0xF0 ? 4 : Lead >= 0xE0 ? 3 : Lead >= 0xC0 ? 2 : 0;
  if (Length == 0 || Lead > 0xF4 || I + Length > Text.size())
    return 0;
  std::uint32_t Code = Lead & (0x7Fu >> Length);
  for (std::size_t K = 1; K < Length; ++K) {
    if ((Byte(I + K) & 0xC0u) != 0x80u)
      return 0;
    Code = (Code << 6) | (Byte(I + K) & 0x3Fu);
  }
  const std::uint32_t Least[] = {0, 0, 0x80, 0x800, 0x10000};
  if (Code < Least[Length] || Code > 0x10FFFF || (Code >= 0xD800 && Code <= 0xDFFF) ||
      Code == 0xFFFE || Code == 0xFFFF)
    return 0;
  return Length;
}

std::string referenceText(const std::string& Text, bool Utf8) {
  std::string Out;
  for (std::size_t I = 0; I < Text.size();) {
    const auto C = static_cast<unsigned char>(Text[I]);
    if (Utf8 && C >= 0x80) {
      const std::size_t Length = referenceCharacterLength(Text, I);
      Out += Length ? Text.substr(I, Length) : "?";
      I += Length ? Length : 1;
      continue;
    }
    const std::string_view Rest(Text.data() + I, Text.size() - I);
    if (C == '&') {
      const bool Kept = Rest.rfind("&amp;", 0) == 0 || Rest.rfind("&lt;", 0) == 0 ||
                        Rest.rfind("&gt;", 0) == 0 || Rest.rfind("&quot;", 0) == 0 ||
                        Rest.rfind("&apos;", 0) == 0;
      // the longest candidate decides: "&lt;x;" is no reference
      const bool Longer = (Rest.size() >= 6 && Rest[5] == ';' && Rest.substr(0, 6) != "&quot;" &&
                           Rest.substr(0, 6) != "&apos;") ||
                          (Rest.size() >= 5 && Rest[4] == ';' && Rest.substr(0, 5) != "&amp;");
      Out += Kept && !Longer ? "&" : "&amp;";
    } else if (C == '<') {
      Out += "&lt;";
    } else if (C == '>') {
      Out += "&gt;";
    } else if (C == '"') {
      Out += "&quot;";
    } else if (C == '\'') {
      Out += "&apos;";
    } else if (C < 0x20 && C != '\t' && C != '\n' && C != '\r') {
      Out += "?";
    } else {
      Out += static_cast<char>(C);
    }
    ++I;
  }
  return Out;
}

// Every length and position around the word size, with bytes drawn mostly from the ones that
// need work, in all three ways of reading bytes from 0x80 up.
TEST(XmlTextWriter, AgreesWithByteByByteForm) {
  // the 24 bytes take the closing zero byte too
  const std::string Alphabet = std::string("ab &<>\"';lqtuopgm\t\n\r\x01\x1F\x7F", 24) +
                               "\x80\xBF\xC2\xC3\xA9\xE2\x82\xAC\xED\xA0\xEF\xBF\xBE\xF0\x9F\x98"
                               "\xF4\x90\xFF";
  std::uint32_t Seed = 12345;
  auto next = [&Seed] {
    Seed = Seed * 1103515245u + 12345u;
    return Seed >> 8;
  };
  for (int Round = 0; Round < 20000; ++Round) {
    std::string Text;
    const std::size_t Length = next() % 41;
    for (std::size_t I = 0; I < Length; ++I)
      Text.push_back(next() % 4 == 0 ? 'x' : Alphabet[next() % Alphabet.size()]);
    SCOPED_TRACE(testing::PrintToString(Text));
    for (const bool Utf8 : {false, true}) {
      std::string Out;
      const bool Replaced = quillon::appendEscapedText(Out, Text, Utf8, false);
      const std::string Expected = referenceText(Text, Utf8);
      ASSERT_EQ(Out, Expected);
      // the alphabet holds no '?' of its own
      ASSERT_EQ(Replaced, Expected.find('?') != std::string::npos);
    }
    // transcoded on the way: the same as transcoding first
    std::string Converted = Text;
    const int Count = quillon::convertIsoToUtf8(Converted);
    std::vector<char> Room(quillon::escapedTextRoom(Text.size()));
    std::int64_t Counted = 5;
    bool Replaced = false;
    const char* const End = quillon::writeEscapedIsoText(
        Room.data(), Text.data(), Text.data() + Text.size(), Counted, Replaced, false);
    const std::string Expected = referenceText(Converted, false);
    ASSERT_EQ(std::string(static_cast<const char*>(Room.data()), End), Expected);
    ASSERT_EQ(Counted, 5 + Count);
    ASSERT_EQ(Replaced, Expected.find('?') != std::string::npos);
  }
}

// In an attribute value a parser turns raw tabs and line breaks into blanks; references keep them.
TEST(EscapeAttributeValue, TabAndLineBreaksBecomeReferences) {
  struct {
    const char* Input;
    bool Utf8;
    const char* Attribute;
    const char* Content;
  } const Cases[] = {
      {"a\nb", false, "a&#10;b", "a\nb"},
      {"a\r\nb\tc", false, "a&#13;&#10;b&#9;c", "a\r\nb\tc"},
      {"line one\nline two, long enough for a word", true,
       "line one&#10;line two, long enough for a word",
       "line one\nline two, long enough for a word"},
      {"<\n>", false, "&lt;&#10;&gt;", "&lt;\n&gt;"},
      {"plain", false, "plain", "plain"},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Input);
    std::string Attribute;
    std::string Content;
    EXPECT_FALSE(quillon::appendEscapedText(Attribute, C.Input, C.Utf8, true));
    EXPECT_FALSE(quillon::appendEscapedText(Content, C.Input, C.Utf8, false));
    EXPECT_EQ(Attribute, C.Attribute);
    EXPECT_EQ(Content, C.Content);
  }
  std::vector<char> Room(quillon::escapedTextRoom(3));
  std::int64_t Converted = 0;
  bool Replaced = false;
  const std::string Iso = "\xE9\n\t";
  const char* const End = quillon::writeEscapedIsoText(
      Room.data(), Iso.data(), Iso.data() + Iso.size(), Converted, Replaced, true);
  EXPECT_EQ(std::string(static_cast<const char*>(Room.data()), End), "\xC3\xA9&#10;&#9;");
  EXPECT_EQ(Converted, 1);
}

} // namespace
