#include "encoding/encoding.h"
#include "options/settings.h"
#include "xml/xml_escape.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

class XmlEscape : public ::testing::Test {
protected:
  void SetUp() override { quillon::resetSettings(); }
  void TearDown() override { quillon::resetSettings(); }
};

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
    EXPECT_EQ(quillon::escapeKeepingHighBytes(C.Input), C.Text);
  }
}

TEST_F(XmlEscape, AppendReportsReplacedControlBytes) {
  std::string Out = "<v>";
  EXPECT_FALSE(quillon::appendEscapedText(Out, "plain & \"quoted\"\t\r\n"));
  EXPECT_EQ(Out, "<v>plain &amp; &quot;quoted&quot;\t&#13;\n");
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

// In UTF-8 text a byte that begins no well-formed sequence is its Windows-1252 character; the
// bytes of U+FFFE and U+FFFF, which XML cannot hold, and control bytes become '?'.
const Utf8TextCase Utf8TextCases[] = {
    {"Gr\xC3\xB6\xC3\x9F"
     "e",
     "Gr\xC3\xB6\xC3\x9F"
     "e",
     false},
    {"\xE2\x82\xAC 5 & \xF0\x9F\x98\x80", "\xE2\x82\xAC 5 &amp; \xF0\x9F\x98\x80", false},
    {"\xEF\xBF\xBD\xC2\x85", "\xEF\xBF\xBD\xC2\x85", false}, // U+FFFD and NEL are characters
    {"\xE9t\xE9", "\xC3\xA9t\xC3\xA9", false},               // ISO-8859-1 bytes
    {"\xFF", "\xC3\xBF", false},
    {"a\xC3", "a\xC3\x83", false},                           // cut short at the end
    {"\xE2\x82<", "\xC3\xA2\xE2\x80\x9A&lt;", false},        // cut short before markup
    {"\xC3\xC3\xA9", "\xC3\x83\xC3\xA9", false},             // a lead byte without its continuation
    {"\x80\xBF\x81", "\xE2\x82\xAC\xC2\xBF\xC2\x81", false}, // continuation bytes alone
    {"\xC0\xAF\xE0\x80", "\xC3\x80\xC2\xAF\xC3\xA0\xE2\x82\xAC", false}, // overlong forms
    {"\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xE2\x82\xAC", false},             // a surrogate
    {"\xEF\xBF\xBE\xEF\xBF\xBF", "??????", true},                        // U+FFFE and U+FFFF
    {"\xF4\x90\x80\x80\xF5", "\xC3\xB4\xC2\x90\xE2\x82\xAC\xE2\x82\xAC\xC3\xB5", false},
    {"\x01\xC3\xA9\xE9", "?\xC3\xA9\xC3\xA9", true}, // control bytes as before
    {"&amp;\xC3", "&amp;\xC3\x83", false},
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

struct CodingCase {
  quillon::TextCoding Coding;
  std::string Input;
  std::string Text;
  std::int64_t Converted;
  bool Replaced;
};

using quillon::TextCoding;

// What ISO-8859-1 cannot hold as one byte becomes a reference; Latin-1 letters stay bytes.
const CodingCase CodingCases[] = {
    // Windows-1252 text: 0x80 to 0x9F would read as control characters
    {TextCoding::Iso, "M\xFCller \xE9\xFF\xA0", "M\xFCller \xE9\xFF\xA0", 0, false},
    {TextCoding::Iso, "12 \x80", "12 &#x20AC;", 0, false},
    {TextCoding::Iso, "\x93\x8Cuvre\x94 \x83\x9F", "&#x201C;&#x152;uvre&#x201D; &#x192;&#x178;", 0,
     false},
    // the five bytes Windows-1252 leaves open stand for the control of the same number
    {TextCoding::Iso, "\x81\x8D\x8F\x90\x9D", "&#x81;&#x8D;&#x8F;&#x90;&#x9D;", 0, false},
    {TextCoding::Iso, "a\x80<\x9F", "a&#x20AC;&lt;&#x178;", 0, false},
    // a reference as the last thing of a text longer than a word
    {TextCoding::Iso, "0123456789abcdef\x85", "0123456789abcdef&#x2026;", 0, false},
    {TextCoding::Iso, "\r", "&#13;", 0, false},
    // UTF-8 text
    {TextCoding::Utf8ToIso,
     "Gr\xC3\xB6\xC3\x9F"
     "e \xC2\xA0",
     "Gr\xF6\xDF"
     "e \xA0",
     3, false},
    {TextCoding::Utf8ToIso, "\xE2\x82\xAC \xE6\x97\xA5 \xF0\x9F\x98\x80",
     "&#x20AC; &#x65E5; &#x1F600;", 3, false},
    {TextCoding::Utf8ToIso, "\xC2\x80\xC2\x9F\xC4\x80\xDF\xBF", "&#x80;&#x9F;&#x100;&#x7FF;", 4,
     false},
    // never the unrelated last byte of a sequence outside the Windows-1252 table
    {TextCoding::Utf8ToIso,
     "1\xE2\x80\xAF"
     "000 \xE2\x80\xB2 \xE2\x80\x90",
     "1&#x202F;000 &#x2032; &#x2010;", 3, false},
    {TextCoding::Utf8ToIso, "\xEF\xBF\xBD\xF4\x8F\xBF\xBD", "&#xFFFD;&#x10FFFD;", 2, false},
    {TextCoding::Utf8ToIso, "0123456789abcdef\xF0\x9F\x98\x80", "0123456789abcdef&#x1F600;", 1,
     false},
    // a byte of no sequence is its Windows-1252 character, written as the Iso coding writes it
    {TextCoding::Utf8ToIso, "\xE9t\xE9", "\xE9t\xE9", 2, false},
    {TextCoding::Utf8ToIso, "a\xF0\x9F\x98", "a\xF0&#x178;&#x2DC;", 3, false},
    {TextCoding::Utf8ToIso, "\xEF\xBF\xBE\xED\xA0\x80", "???\xED\xA0&#x20AC;", 3, true},
    {TextCoding::Utf8ToIso, "\xC3\xA9\r\x01", "\xE9&#13;?", 1, true},
};

TEST_F(XmlEscape, TextCodings) {
  for (const CodingCase& C : CodingCases) {
    SCOPED_TRACE(testing::PrintToString(C.Input));
    for (const bool Attribute : {false, true}) {
      std::string Out = "<v>";
      std::int64_t Converted = 10;
      EXPECT_EQ(quillon::appendEscapedText(Out, C.Input, C.Coding, Attribute, Converted),
                C.Replaced);
      EXPECT_EQ(Out, "<v>" + C.Text);
      EXPECT_EQ(Converted, 10 + C.Converted);
    }
  }
  // the plain form is the ISO-8859-1 document's
  std::string Plain;
  quillon::appendEscapedText(Plain, "\x80\r");
  EXPECT_EQ(Plain, "&#x20AC;&#13;");
}

// Each byte 0x80 to 0x9F of a Windows-1252 text: the reference to what it reads as in UTF-8.
TEST_F(XmlEscape, IsoDocumentReferencesEveryWindows1252Byte) {
  for (unsigned Byte = 0x80; Byte < 0xA0; ++Byte) {
    SCOPED_TRACE(Byte);
    std::string Utf8(1, static_cast<char>(Byte));
    quillon::convertIsoToUtf8(Utf8);
    std::string Reference;
    std::int64_t Converted = 0;
    quillon::appendEscapedText(Reference, Utf8, TextCoding::Utf8ToIso, false, Converted);
    std::string Out;
    quillon::appendEscapedText(Out, std::string(1, static_cast<char>(Byte)), false, false);
    EXPECT_EQ(Out, Reference);
    EXPECT_EQ(Out.compare(0, 3, "&#x"), 0);
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

// Code points of the Windows-1252 bytes 0x80 to 0x9F, the open five being C1 controls.
// clang-format off
constexpr unsigned int Cp1252CodePoints[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
// clang-format on

std::string hexReference(std::uint32_t Code) {
  char Text[16];
  std::snprintf(Text, sizeof Text, "&#x%X;", Code);
  return Text;
}

// The UTF-8 form of a code point below U+10000.
std::string utf8Of(std::uint32_t Code) {
  std::string Out;
  if (Code < 0x800) {
    Out += static_cast<char>(0xC0 | Code >> 6);
  } else {
    Out += static_cast<char>(0xE0 | Code >> 12);
    Out += static_cast<char>(0x80 | (Code >> 6 & 0x3F));
  }
  Out += static_cast<char>(0x80 | (Code & 0x3F));
  return Out;
}

// How the model reads bytes from 0x80 up.
enum class Model {
  Keep,      // copied (UTF-8 made from Windows-1252 on the way)
  Iso,       // Windows-1252: 0x80 to 0x9F as references
  Utf8,      // checked UTF-8
  Utf8ToIso, // UTF-8: Latin-1 letters as bytes, the rest as references
};

std::string referenceText(const std::string& Text, Model How, bool Attribute,
                          std::int64_t* Converted = nullptr) {
  std::string Out;
  for (std::size_t I = 0; I < Text.size();) {
    const auto C = static_cast<unsigned char>(Text[I]);
    if ((How == Model::Utf8 || How == Model::Utf8ToIso) && C >= 0x80) {
      const std::size_t Length = referenceCharacterLength(Text, I);
      if (Length == 0 && Text.compare(I, 2, "\xEF\xBF") == 0 && I + 2 < Text.size() &&
          (Text[I + 2] == '\xBE' || Text[I + 2] == '\xBF')) {
        Out += "???"; // U+FFFE, U+FFFF
        I += 3;
        continue;
      }
      if (Length == 0) { // a byte of no sequence: its Windows-1252 character
        const std::uint32_t Code = C < 0xA0 ? Cp1252CodePoints[C - 0x80] : C;
        if (How == Model::Utf8ToIso)
          Out += C >= 0xA0 ? std::string(1, static_cast<char>(C)) : hexReference(Code);
        else
          Out += utf8Of(Code);
        if (Converted)
          ++*Converted;
        ++I;
        continue;
      }
      if (How == Model::Utf8) {
        Out += Text.substr(I, Length);
      } else {
        std::uint32_t Code = C & (0x7Fu >> Length);
        for (std::size_t K = 1; K < Length; ++K)
          Code = (Code << 6) | (static_cast<unsigned char>(Text[I + K]) & 0x3Fu);
        Out += Code >= 0xA0 && Code <= 0xFF ? std::string(1, static_cast<char>(Code))
                                            : hexReference(Code);
        if (Converted)
          ++*Converted;
      }
      I += Length;
      continue;
    }
    if (How == Model::Iso && C >= 0x80 && C < 0xA0) {
      Out += hexReference(Cp1252CodePoints[C - 0x80]);
      ++I;
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
    } else if (C == '\r') {
      Out += "&#13;";
    } else if (Attribute && C == '\t') {
      Out += "&#9;";
    } else if (Attribute && C == '\n') {
      Out += "&#10;";
    } else if (C < 0x20 && C != '\t' && C != '\n') {
      Out += "?";
    } else {
      Out += static_cast<char>(C);
    }
    ++I;
  }
  return Out;
}

// Every length and position around the word size, with bytes drawn mostly from the ones that
// need work, in all four ways of reading bytes from 0x80 up.
TEST(XmlTextWriter, AgreesWithByteByByteForm) {
  // the 24 bytes take the closing zero byte too
  const std::string Alphabet = std::string("ab &<>\"';lqtuopgm\t\n\r\x01\x1F\x7F", 24) +
                               "\x80\xBF\xC2\xC3\xA9\xE2\x82\xAC\xED\xA0\xEF\xBF\xBE\xF0\x9F\x98"
                               "\xF4\x90\xFF\x81\x9D\x9F\xA0\xC4\xE6\x97\xA5\xDF";
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
    const bool Attribute = Round % 2 == 1;
    for (const bool Utf8 : {false, true}) {
      std::string Out;
      const bool Replaced = quillon::appendEscapedText(Out, Text, Utf8, Attribute);
      const std::string Expected = referenceText(Text, Utf8 ? Model::Utf8 : Model::Iso, Attribute);
      ASSERT_EQ(Out, Expected);
      // the alphabet holds no '?' of its own
      ASSERT_EQ(Replaced, Expected.find('?') != std::string::npos);
    }
    // written exactly into the room it asks for: whatever lies beyond stays
    std::vector<char> Room(quillon::escapedTextRoom(Text.size()) + 1, '#');
    std::int64_t Counted = 5;
    bool Replaced = false;
    char* End =
        quillon::writeEscapedText(Room.data(), Text.data(), Text.data() + Text.size(),
                                  quillon::TextCoding::Utf8ToIso, Attribute, Counted, Replaced);
    std::int64_t Expected = 5;
    std::string ExpectedText = referenceText(Text, Model::Utf8ToIso, Attribute, &Expected);
    ASSERT_EQ(std::string(static_cast<const char*>(Room.data()), static_cast<const char*>(End)),
              ExpectedText);
    ASSERT_EQ(Counted, Expected);
    ASSERT_EQ(Replaced, ExpectedText.find('?') != std::string::npos);
    ASSERT_EQ(Room.back(), '#');
    // transcoded on the way: the same as transcoding first
    std::string Converted = Text;
    const int Count = quillon::convertIsoToUtf8(Converted);
    Counted = 5;
    Replaced = false;
    End = quillon::writeEscapedIsoText(Room.data(), Text.data(), Text.data() + Text.size(), Counted,
                                       Replaced, Attribute);
    ExpectedText = referenceText(Converted, Model::Keep, Attribute);
    ASSERT_EQ(std::string(static_cast<const char*>(Room.data()), static_cast<const char*>(End)),
              ExpectedText);
    ASSERT_EQ(Counted, 5 + Count);
    ASSERT_EQ(Replaced, ExpectedText.find('?') != std::string::npos);
    ASSERT_EQ(Room.back(), '#');
  }
}

// The most a text can grow: one Windows-1252 byte becomes an eight-byte reference.
TEST(XmlTextWriter, WorstCaseFitsItsRoom) {
  for (const std::size_t Size :
       {std::size_t{1}, std::size_t{7}, std::size_t{8}, std::size_t{9}, std::size_t{64}}) {
    SCOPED_TRACE(Size);
    const std::string Text(Size, '\x85');
    std::vector<char> Room(quillon::escapedTextRoom(Size) + 1, '#');
    bool Replaced = false;
    const char* const End = quillon::writeEscapedText(Room.data(), Text.data(), Text.data() + Size,
                                                      false, Replaced, false);
    EXPECT_EQ(static_cast<std::size_t>(End - Room.data()), 8 * Size);
    EXPECT_EQ(Room.back(), '#');
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
      {"a\r\nb\tc", false, "a&#13;&#10;b&#9;c", "a&#13;\nb\tc"},
      {"\r\r0123456789\r", true, "&#13;&#13;0123456789&#13;", "&#13;&#13;0123456789&#13;"},
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
