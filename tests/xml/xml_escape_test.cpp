#include "options/settings.h"
#include "xml/xml_escape.h"

#include <string>

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
    {":tag", ":tag", "_:tag", "_:tag"},
    {"ns:tag", "ns:tag", "ns:tag", "ns:tag"},
    {"xml:id", "xml:id", "_xml:id", "xml:id"},
    // one ':' may stay, between a prefix and a local name that starts like a name
    {":", ":", "__", "__"},
    {"::", "::", "___", "___"},
    {"x:", "x:", "x_", "x_"},
    {"a:1", "a:1", "a_1", "a_1"},
    {"a:-b", "a:-b", "a_-b", "a_-b"},
    {"a:b:c", "a:b:c", "a:b_c", "a:b_c"},
    {"p:h1-m:3", "p:h1-m:3", "p:h1-m_3", "p:h1-m_3"},
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
