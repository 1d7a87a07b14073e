#include "capture.h"
#include "encoding/encoding.h"

#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

using namespace std::string_literals;
using quillon::chooseEncoding;
using quillon::convertIsoToUtf8;
using quillon::convertUtf8ToIso;
using quillon::getBOMEncoding;
using quillon::Settings;

// Code points of the Windows-1252 bytes 0x80 to 0x9F, the open five being C1 controls.
// clang-format off
constexpr unsigned int Cp1252CodePoints[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
// clang-format on

std::string utf8Of(unsigned int CodePoint) {
  std::string Out;
  if (CodePoint < 0x80) {
    Out += static_cast<char>(CodePoint);
  } else if (CodePoint < 0x800) {
    Out += static_cast<char>(0xC0 | (CodePoint >> 6));
    Out += static_cast<char>(0x80 | (CodePoint & 0x3F));
  } else {
    Out += static_cast<char>(0xE0 | (CodePoint >> 12));
    Out += static_cast<char>(0x80 | ((CodePoint >> 6) & 0x3F));
    Out += static_cast<char>(0x80 | (CodePoint & 0x3F));
  }
  return Out;
}

unsigned int codePointOf(unsigned int Byte) {
  return Byte >= 0x80 && Byte < 0xA0 ? Cp1252CodePoints[Byte - 0x80] : Byte;
}

TEST(Transcoding, EveryByteBothWays) {
  for (unsigned int Byte = 1; Byte < 256; ++Byte) {
    SCOPED_TRACE(Byte);
    const std::string Single(1, static_cast<char>(Byte));
    const std::string Utf8 = utf8Of(codePointOf(Byte));
    std::string Text = Single;
    EXPECT_EQ(convertIsoToUtf8(Text), Byte >= 0x80 ? 1 : 0);
    EXPECT_EQ(Text, Utf8);
    EXPECT_EQ(convertUtf8ToIso(Text), Byte >= 0x80 ? 1 : 0);
    EXPECT_EQ(Text, Single);
  }
}

TEST(Transcoding, All255BytesRoundTrip) {
  std::string Input;
  for (unsigned int Byte = 1; Byte < 256; ++Byte)
    Input += static_cast<char>(Byte);
  std::string Expected;
  for (unsigned int Byte = 1; Byte < 256; ++Byte)
    Expected += utf8Of(codePointOf(Byte));
  std::string Text = Input;
  EXPECT_EQ(convertIsoToUtf8(Text), 128);
  EXPECT_EQ(Text, Expected);
  EXPECT_EQ(convertUtf8ToIso(Text), 128);
  EXPECT_EQ(Text, Input);
}

struct ConvertCase {
  std::string In;
  std::string Out;
  int Count;
};

const ConvertCase IsoToUtf8Cases[] = {
    {"", "", 0},
    {"plain ascii, longer than a word", "plain ascii, longer than a word", 0},
    {"a\0b"s, "a\0b"s, 0},
    {"\xE9\x80", "\xC3\xA9\xE2\x82\xAC", 2},
    {"\xC3\xA9", "\xC3\x83\xC2\xA9", 2}, // UTF-8 already there is encoded again
    {"\x99\x83", "\xE2\x84\xA2\xC6\x92", 2},
    {"\xA0\xBF\xC0\xFF", "\xC2\xA0\xC2\xBF\xC3\x80\xC3\xBF", 4},
    {"1234567\xE9", "1234567\xC3\xA9", 1},   // last byte of the first word
    {"12345678\xE9", "12345678\xC3\xA9", 1}, // first byte of the second word
    {"\xE9-12345678abc", "\xC3\xA9-12345678abc", 1},
    {"M\xFCnchen \x96 Stra\xDF", "M\xC3\xBCnchen \xE2\x80\x93 Stra\xC3\x9F", 3},
};

TEST(Transcoding, IsoToUtf8Cases) {
  for (const ConvertCase& C : IsoToUtf8Cases) {
    SCOPED_TRACE(C.In);
    std::string Text = C.In;
    EXPECT_EQ(convertIsoToUtf8(Text), C.Count);
    EXPECT_EQ(Text, C.Out);
  }
}

const ConvertCase Utf8ToIsoCases[] = {
    {"", "", 0},
    {"plain ascii, longer than a word", "plain ascii, longer than a word", 0},
    {"\xC3\xA9\xE2\x82\xAC", "\xE9\x80", 2},
    {"\xC2\x80", "\x80", 1},
    {"ab\xC2", "ab\xC2", 0}, // lone lead byte at the end
    {"ab\xC3", "ab\xC3", 0},
    {"\xC2\x41\xC3\xC0", "\xC2\x41\xC3\xC0", 0}, // second byte out of 80..BF
    {"\xC3\xC3\xA9", "\xC3\xE9", 1},
    {"\xC4\x80", "\xC4\x80", 0}, // U+0100 has no single byte
    {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80", 0},
    {"\x80\xA9", "\x80\xA9", 0}, // stray trail bytes
    // E2 80 z outside the table has no single byte: never the unrelated byte z
    {"\xE2\x80\xB2", "\xE2\x80\xB2", 0},
    {"\xE2\x80\xAF", "\xE2\x80\xAF", 0},
    {"\xE2\x80\x90 \xE2\x80\x93", "\xE2\x80\x90 \x96", 1},
    {"\xE2\x80\x41", "\xE2\x80\x41", 0},
    {"\xE2\x80", "\xE2\x80", 0}, // E2 80 needs a third byte
    {"\xE2\x80\0x"s, "\xE2\x80\0x"s, 0},
    {"\xE2\x82\xAD", "\xE2\x82\xAD", 0},
    {"\xE2\x84\xA3", "\xE2\x84\xA3", 0},
    {"\xE2\x82", "\xE2\x82", 0},
    {"\xE2\xE2\x82\xAC", "\xE2\x80", 1}, // the unmapped lead stays, the rest is examined
    {"\xC5\x80", "\xC5\x80", 0},
    {"\xC5\xC3\xA9", "\xC5\xE9", 1},
    {"\xC6\x93", "\xC6\x93", 0},
    {"\xCB\x87", "\xCB\x87", 0},
    {"\xC2\xC2\x80", "\xC2\x80", 1}, // a produced byte is not examined again
    {"\xC3\x83\xC2\xA9", "\xC3\xA9", 2},
    {"12345678\xC3\xA9-12345678", "12345678\xE9-12345678", 1},
    {"M\xC3\xBCnchen \xE2\x80\x93 Stra\xC3\x9F", "M\xFCnchen \x96 Stra\xDF", 3},
};

TEST(Transcoding, Utf8ToIsoCases) {
  for (const ConvertCase& C : Utf8ToIsoCases) {
    SCOPED_TRACE(C.In);
    std::string Text = C.In;
    EXPECT_EQ(convertUtf8ToIso(Text), C.Count);
    EXPECT_EQ(Text, C.Out);
  }
}

// Names: a character ISO-8859-1 lacks, and a byte that begins no sequence, become one '_'.
const ConvertCase Utf8ToIsoNameCases[] = {
    {"", "", 0},
    {"Name", "Name", 0},
    {"Gr\xC3\xB6\xC3\x9F"
     "e",
     "Gr\xF6\xDF"
     "e",
     2},
    {"\xE6\x97\xA5\xE4\xBB\x98", "__", 2},
    {"a\xE2\x82\xAC", "a_", 1},          // in the Windows-1252 table, all the same
    {"\xC2\x81\xC2\xA0", "\x81\xA0", 2}, // the name rules judge the control U+0081
    {"x\xF0\x9F\x98\x80y", "x_y", 1},    // four bytes, one '_'
    {"\xE9t\xE9", "_t_", 0},             // ISO-8859-1 bytes are no UTF-8
    {"ab\xE2\x82", "ab__", 0},           // cut short at the end
    {"\xED\xA0\x80", "___", 0},          // a surrogate
    {"12345678\xC3\xA9\xC4\x80-12345678", "12345678\xE9_-12345678", 2},
};

TEST(Transcoding, Utf8ToIsoNameCases) {
  for (const ConvertCase& C : Utf8ToIsoNameCases) {
    SCOPED_TRACE(C.In);
    std::string Text = C.In;
    EXPECT_EQ(quillon::convertUtf8ToIsoName(Text), C.Count);
    EXPECT_EQ(Text, C.Out);
  }
}

// Windows begin at the source's first byte from 0x80 up; Cut: the source goes on after them.
struct LookCase {
  std::string Window;
  bool Cut;
  bool Utf8;
};

const LookCase LookCases[] = {
    {"", false, false},
    {"\xC3\xB6\xC3\x9F"
     "e;b\n1;2\n",
     false, true},
    {"\xC3\xA9;1\nM\xFCller\n", false, false}, // a Windows-1252 byte later on
    {"\xC9\xBB\n\xC9"
     "cole\n",
     false, false},                   // "CAFÉ»" is a pair, "École" is not
    {"\xE4\xF6\xFC\n", false, false}, // German text: no pair at all
    {"\xA0\n", false, false},         // a lone continuation byte
    {"\xC3\xA9\xC3", false, false},   // cut by the source's end: held against it
    {"\xC3\xA9\xC3", true, true},     // cut by the window's end: not judged
    {"\xC3\xA9\xF0\x9F\x98", true, true},
    {"\xC3\xA9\xE0\xA0", true, true},
    {"\xC3\xA9\xE0\x80", true, false}, // no sequence begins E0 80
    {"\xC3\xA9\xF4\x90", true, false}, // nor F4 90
    {"\xC3\xA9\xC0", true, false},     // C0 begins none at all
    {"\xC3\xA9\xE2x", true, false},    // cut short, but not by the end
    {"\xED\xA0\x80", false, false},    // a surrogate
    {"\xC0\xAF", false, false},        // an overlong form
};

TEST(Transcoding, ReadsAsUtf8) {
  for (const LookCase& C : LookCases) {
    SCOPED_TRACE(testing::PrintToString(C.Window) + (C.Cut ? " cut" : ""));
    EXPECT_EQ(quillon::readsAsUtf8(C.Window, C.Cut), C.Utf8);
  }
}

TEST(Transcoding, StaysInTheStringsStorage) {
  std::string Text = "caf\xE9";
  Text.reserve(64);
  const char* const Storage = Text.data();
  EXPECT_EQ(convertIsoToUtf8(Text), 1);
  EXPECT_EQ(Text, "caf\xC3\xA9");
  EXPECT_EQ(Text.data(), Storage);
  EXPECT_EQ(convertUtf8ToIso(Text), 1);
  EXPECT_EQ(Text, "caf\xE9");
  EXPECT_EQ(Text.data(), Storage);
}

struct MarkCase {
  std::string Header;
  int Kind;
  const char* Name;
};

const MarkCase MarkCases[] = {
    {"", 1, "ISO-8859-1"},
    {"x;y", 1, "ISO-8859-1"},
    {"\xEF\xBB\xBFx;y", 2, "UTF-8"},
    {"\xEF\xBB\xBF", 2, "UTF-8"},
    {"\xEF\xBB", 1, "ISO-8859-1"},
    {"x\xEF\xBB\xBF", 1, "ISO-8859-1"},
    {"\xFF\xFE"
     "a\0"s,
     3, "UTF-16 [Litte Endian]"},
    {"\xFF\xFE", 3, "UTF-16 [Litte Endian]"}, // an empty first line cut at 0A 00
    {"\xFF\xFE\0"s, 3, "UTF-16 [Litte Endian]"},
    {"\xFF\xFE\0\0"s, 5, "UTF-32 [Litte Endian]"},
    {"\xFF\xFE\0\0a\0\0\0"s, 5, "UTF-32 [Litte Endian]"},
    {"\xFE\xFF\0a"s, 4, "UTF-16 [Big Endian]"},
    {"\xFE\xFF", 4, "UTF-16 [Big Endian]"},
    {"\0\0\xFE\xFF"s, 6, "UTF-32 [Big Endian]"},
    {"\0\0\xFE"s, 1, "ISO-8859-1"},
    {"\0\0"s, 1, "ISO-8859-1"},
    {"\xFF", 1, "ISO-8859-1"},
    {"\xFE", 1, "ISO-8859-1"},
};

TEST(ByteOrderMark, KindsInOrder) {
  for (const MarkCase& C : MarkCases) {
    SCOPED_TRACE(testing::PrintToString(C.Header));
    std::string Name = "left over";
    EXPECT_EQ(getBOMEncoding(C.Header, Name), C.Kind);
    EXPECT_EQ(Name, C.Name);
  }
}

class EncodingChoice : public testing::Test {
protected:
  void SetUp() override { quillon::resetSettings(); }
  Settings& S = quillon::theSettings();
};

struct ChoiceCase {
  std::string Header;
  const char* Encoding;
  bool Verbose;
  bool Debug;
  int Skip;
  bool I2U;
  bool U2I;
  const char* Log;
  const char* Error;
  const char* Source = ""; // -ie:
};

const ChoiceCase ChoiceCases[] = {
    {"x;y", "ISO-8859-1", false, false, 0, false, false, "", ""},
    {"x;y", "UTF-8", false, false, 0, true, false, "", ""},
    {"x;y", "ISO-8859-1", true, false, 0, false, false, "-> ISO-8859-1 file header found \n\n", ""},
    {"x;y", "UTF-8", true, false, 0, true, false,
     "-> ISO-8859-1 file header found \n-> Converting to UTF-8\n\n", ""},
    {"\xEF\xBB\xBFx;y", "ISO-8859-1", false, true, 3, false, true,
     "-> UTF-8 file header found \n-> Converting to ISO-8859-1\n\n", ""},
    {"\xEF\xBB\xBFx;y", "UTF-8", true, false, 3, false, false, "-> UTF-8 file header found \n\n",
     ""},
    {"\xFF\xFEx", "UTF-8", true, false, -1, false, false,
     "-> UTF-16 [Litte Endian] file header found \n", "Error : Encoding is not supported...\n"},
    {"\xFE\xFFx", "ISO-8859-1", false, false, -1, false, false, "",
     "Error : Encoding is not supported...\n"},
    {"\xFF\xFE\0\0"s, "UTF-8", false, true, -1, false, false,
     "-> UTF-32 [Litte Endian] file header found \n", "Error : Encoding is not supported...\n"},
    {"\0\0\xFE\xFF"s, "ISO-8859-1", true, true, -1, false, false,
     "-> UTF-32 [Big Endian] file header found \n", "Error : Encoding is not supported...\n"},
    {"utf-8", "utf-8", false, false, 0, true, false, "", ""}, // names compare exactly
    // -ie:UTF-8 reads a source without a mark as if it had one, and removes nothing
    {"x;y", "ISO-8859-1", true, false, 0, false, true,
     "-> UTF-8 file header found \n-> Converting to ISO-8859-1\n\n", "", "UTF-8"},
    {"x;y", "UTF-8", true, false, 0, false, false, "-> UTF-8 file header found \n\n", "", "UTF-8"},
    {"x;y", "UTF-8", false, false, 0, true, false, "", "", "ISO-8859-1"},
    // a mark still decides
    {"\xEF\xBB\xBFx;y", "ISO-8859-1", true, false, 3, false, true,
     "-> UTF-8 file header found \n-> Converting to ISO-8859-1\n\n", "", "ISO-8859-1"},
    {"\xFF\xFEx", "ISO-8859-1", true, false, -1, false, false,
     "-> UTF-16 [Litte Endian] file header found \n", "Error : Encoding is not supported...\n",
     "UTF-8"},
};

TEST_F(EncodingChoice, DecisionAndLines) {
  for (const ChoiceCase& C : ChoiceCases) {
    SCOPED_TRACE(testing::PrintToString(C.Header) + " " + C.Encoding);
    quillon::resetSettings();
    S.Encoding = C.Encoding;
    S.SourceEncoding = C.Source;
    S.VerboseMode = C.Verbose;
    S.DebugMode = C.Debug;
    Capture Log({&std::clog});
    Capture Error({&std::cerr});
    EXPECT_EQ(chooseEncoding(C.Header, S, S.SourceEncoding == "UTF-8"), C.Skip);
    EXPECT_EQ(S.ConvertDataI2U, C.I2U);
    EXPECT_EQ(S.ConvertDataU2I, C.U2I);
    EXPECT_EQ(Log.text(), C.Log);
    EXPECT_EQ(Error.text(), C.Error);
  }
}

// Every text the option may touch, set to one value.
std::vector<std::string*> allTexts(Settings& S) {
  return {&S.StyleList,    &S.DTDFile,    &S.XSDFile,    &S.NamespacePrefix,
          &S.NamespaceURI, &S.SourceName, &S.SourceFile, &S.TargetFile,
          &S.eRoot,        &S.eRecord,    &S.eItem,      &S.aName,
          &S.aValue,       &S.aNum,       &S.aSource,    &S.aDT,
          &S.aID};
}

TEST_F(EncodingChoice, CommandLineTextsIsoToUtf8) {
  for (std::string* Text : allTexts(S))
    *Text = "\xE9";
  S.Encoding = "UTF-8";
  S.ConvertI2U = true;
  S.UseXSD = true; // the DTD name is not in use and stays
  Capture Log({&std::clog});
  EXPECT_EQ(chooseEncoding("x;y", S, S.SourceEncoding == "UTF-8"), 0);
  EXPECT_EQ(Log.text(), "");
  const std::vector<std::string*> Converted = {
      &S.StyleList, &S.XSDFile, &S.NamespacePrefix, &S.NamespaceURI, &S.SourceName, &S.eRoot,
      &S.eRecord,   &S.eItem,   &S.aName,           &S.aValue,       &S.aNum,       &S.aSource,
      &S.aDT};
  for (std::string* Text : Converted)
    EXPECT_EQ(*Text, "\xC3\xA9");
  for (std::string* Text : {&S.DTDFile, &S.aID, &S.SourceFile, &S.TargetFile})
    EXPECT_EQ(*Text, "\xE9");
  EXPECT_FALSE(S.AttributeTextsUtf8);
}

TEST_F(EncodingChoice, CommandLineTextsUtf8ToIsoWhateverTheMark) {
  for (const std::string Header : {"x;y", "\xEF\xBB\xBFx;y"}) {
    SCOPED_TRACE(Header);
    quillon::resetSettings();
    for (std::string* Text : allTexts(S))
      *Text = "\xC3\xA9";
    // the alias names as the option parser made them, and their texts as given
    S.AliasTexts[0] = "\xE6\x97\xA5x"; // eRoot
    S.AliasTexts[7] = "\xC3\xA9\xE2\x82\xAC"
                      "1";           // aDT
    S.AliasTexts[2] = "xml\xC3\xA9"; // eItem: an element name
    S.AliasTexts[3] = "xml\xC3\xA9"; // aName: an attribute name
    S.ConvertU2I = true;
    S.UseDTD = true;
    S.UseXSD = true;
    S.VerboseMode = true;
    Capture Log({&std::clog});
    chooseEncoding(Header, S, S.SourceEncoding == "UTF-8");
    EXPECT_NE(Log.text().find("-> Converting command line options\n\n"), std::string::npos);
    EXPECT_EQ(S.DTDFile, "\xE9");
    EXPECT_EQ(S.StyleList, "\xE9");
    EXPECT_EQ(S.NamespacePrefix, "\xE9");
    // attribute values stay UTF-8; the document writes them with references
    EXPECT_TRUE(S.AttributeTextsUtf8);
    for (std::string* Text : {&S.XSDFile, &S.NamespaceURI, &S.SourceName})
      EXPECT_EQ(*Text, "\xC3\xA9");
    // names are formed again from their texts: one '_' for a character without a byte
    EXPECT_EQ(S.eRoot, "_x");
    EXPECT_EQ(S.aDT, "\xE9_1");
    EXPECT_EQ(S.eItem, "_xml\xE9");
    EXPECT_EQ(S.aName, "xml\xE9");
    EXPECT_EQ(S.eRecord, "\xC3\xA9"); // no text given: left as it was
    EXPECT_EQ(S.aID, "\xC3\xA9");
    EXPECT_EQ(S.SourceFile, "\xC3\xA9");
  }
}

TEST_F(EncodingChoice, VerboseLinesWithCommandLineTexts) {
  S.Encoding = "UTF-8";
  S.ConvertI2U = true;
  S.VerboseMode = true;
  Capture Log({&std::clog});
  EXPECT_EQ(chooseEncoding("a", S, S.SourceEncoding == "UTF-8"), 0);
  EXPECT_EQ(Log.text(), "-> ISO-8859-1 file header found \n-> Converting to UTF-8\n\n"
                        "-> Converting command line options\n\n");
}

TEST_F(EncodingChoice, OptionAgainstTheOutputEncodingDoesNothing) {
  struct Case {
    const char* Encoding;
    bool I2U;
    const char* Value;
  };
  const Case Cases[] = {{"ISO-8859-1", true, "\xE9"}, {"UTF-8", false, "\xC3\xA9"}};
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Encoding);
    quillon::resetSettings();
    S.Encoding = C.Encoding;
    S.ConvertI2U = C.I2U;
    S.ConvertU2I = !C.I2U;
    S.DebugMode = true;
    S.eRoot = C.Value;
    Capture Log({&std::clog});
    chooseEncoding("\xEF\xBB\xBFx", S, S.SourceEncoding == "UTF-8");
    EXPECT_EQ(S.eRoot, C.Value);
    EXPECT_EQ(Log.text().find("command line"), std::string::npos);
  }
}

TEST_F(EncodingChoice, RefusedSourceConvertsNothing) {
  S.Encoding = "UTF-8";
  S.ConvertI2U = true;
  S.eRoot = "\xE9";
  Capture Error({&std::cerr});
  EXPECT_EQ(chooseEncoding("\xFF\xFE", S, S.SourceEncoding == "UTF-8"), -1);
  EXPECT_EQ(S.eRoot, "\xE9");
}

} // namespace
