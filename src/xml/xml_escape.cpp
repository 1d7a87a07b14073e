#include "xml/xml_escape.h"

#include "options/settings.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace quillon {

namespace {

// What the text form does with a byte.
enum TextAction : unsigned char { Copy = 0, Escape = 1, Replace = 2 };

// The five markup bytes are escaped; the control bytes XML 1.0 cannot hold at all become '?'.
// Tab, line feed and carriage return are copied like any other byte.
constexpr std::array<unsigned char, 256> TextActions = [] {
  std::array<unsigned char, 256> Table{};
  for (unsigned char C : {'&', '<', '>', '"', '\''})
    Table[C] = Escape;
  for (unsigned char C = 0; C < 0x20; ++C)
    if (C != '\t' && C != '\n' && C != '\r')
      Table[C] = Replace;
  return Table;
}();

// Where a byte may stand in a name: 0 nowhere, 1 anywhere, 2 inside only,
// 3 inside only while the output is UTF-8.
// clang-format off
constexpr unsigned char NameClass[256] = {
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 2, 0,
    2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 0, 0, 0, 0, 0,
    0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 1,
    0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0,
    3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3,
    3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3,
    3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3,
    3, 3, 3, 3, 3, 3, 3, 2, 3, 3, 3, 3, 3, 3, 3, 3,
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
    1, 1, 1, 1, 1, 1, 1, 3, 1, 1, 1, 1, 1, 1, 1, 1,
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
    1, 1, 1, 1, 1, 1, 1, 3, 1, 1, 1, 1, 1, 1, 1, 1};
// clang-format on

unsigned char actionOf(char C) { return TextActions[static_cast<unsigned char>(C)]; }

// Tells whether the '&' at At starts one of the five predefined references, which stay as
// they are. Only the longest candidate is compared: the ';' decides its length first.
bool isKeptReference(const char* At, const char* End) {
  const std::ptrdiff_t Left = End - At;
  std::size_t Length = 0;
  if (Left >= 6 && At[5] == ';')
    Length = 4;
  else if (Left >= 5 && At[4] == ';')
    Length = 3;
  else if (Left >= 4 && At[3] == ';')
    Length = 2;
  const std::string_view Name(At + 1, Length);
  switch (Length) {
  case 4:
    return Name == "quot" || Name == "apos";
  case 3:
    return Name == "amp";
  case 2:
    return Name == "lt" || Name == "gt";
  default:
    return false;
  }
}

bool beginsWithXml(const std::string& Text) {
  if (Text.size() < 3)
    return false;
  auto Upper = [](char C) { return C >= 'a' && C <= 'z' ? static_cast<char>(C - 'a' + 'A') : C; };
  return Upper(Text[0]) == 'X' && Upper(Text[1]) == 'M' && Upper(Text[2]) == 'L';
}

// The byte classes above; HighBytesInside admits the bytes of class 3 inside a name.
bool byteFits(unsigned char C, bool AtStart, bool HighBytesInside) {
  switch (NameClass[C]) {
  case 1:
    return true;
  case 2:
    return !AtStart;
  case 3:
    return !AtStart && HighBytesInside;
  default:
    return false;
  }
}

// The length (2 to 4) of the well-formed UTF-8 sequence that begins at Pos, its code point in
// CodePoint; 0 when none begins there (overlong forms, surrogates and code points beyond
// U+10FFFF are not well-formed).
std::size_t decodeSequence(std::string_view Text, std::size_t Pos, std::uint32_t& CodePoint) {
  const auto Byte = [&Text](std::size_t I) { return static_cast<unsigned char>(Text[I]); };
  const unsigned char Lead = Byte(Pos);
  std::size_t Length = 0;
  // the second byte has a narrower range after E0, ED, F0 and F4
  unsigned char Low = 0x80;
  unsigned char High = 0xBF;
  if (Lead >= 0xC2 && Lead <= 0xDF) {
    Length = 2;
    CodePoint = Lead & 0x1Fu;
  } else if (Lead >= 0xE0 && Lead <= 0xEF) {
    Length = 3;
    CodePoint = Lead & 0x0Fu;
    Low = Lead == 0xE0 ? 0xA0 : 0x80;
    High = Lead == 0xED ? 0x9F : 0xBF;
  } else if (Lead >= 0xF0 && Lead <= 0xF4) {
    Length = 4;
    CodePoint = Lead & 0x07u;
    Low = Lead == 0xF0 ? 0x90 : 0x80;
    High = Lead == 0xF4 ? 0x8F : 0xBF;
  } else {
    return 0;
  }
  if (Text.size() - Pos < Length || Byte(Pos + 1) < Low || Byte(Pos + 1) > High)
    return 0;
  for (std::size_t I = 1; I < Length; ++I) {
    const unsigned char Next = Byte(Pos + I);
    if ((Next & 0xC0u) != 0x80u)
      return 0;
    CodePoint = (CodePoint << 6) | (Next & 0x3Fu);
  }
  return Length;
}

// NameStartChar of XML 1.0, fifth edition, for code points from U+0080.
bool isNameStartCodePoint(std::uint32_t C) {
  return (C >= 0xC0 && C <= 0xD6) || (C >= 0xD8 && C <= 0xF6) || (C >= 0xF8 && C <= 0x2FF) ||
         (C >= 0x370 && C <= 0x37D) || (C >= 0x37F && C <= 0x1FFF) ||
         (C >= 0x200C && C <= 0x200D) || (C >= 0x2070 && C <= 0x218F) ||
         (C >= 0x2C00 && C <= 0x2FEF) || (C >= 0x3001 && C <= 0xD7FF) ||
         (C >= 0xF900 && C <= 0xFDCF) || (C >= 0xFDF0 && C <= 0xFFFD) ||
         (C >= 0x10000 && C <= 0xEFFFF);
}

// NameChar of XML 1.0, fifth edition, for code points from U+0080.
bool isNameCodePoint(std::uint32_t C) {
  return isNameStartCodePoint(C) || C == 0xB7 || (C >= 0x300 && C <= 0x36F) ||
         (C >= 0x203F && C <= 0x2040);
}

// How the bytes of a name are read.
enum class Reading {
  Iso,       // one character per byte
  Utf8OrIso, // a well-formed UTF-8 sequence is one character, any other byte stands alone
  Utf8,      // UTF-8 only: a byte that begins no well-formed sequence fits nowhere
};

struct NameCharacter {
  std::size_t Length; // in bytes
  bool Fits;
};

// The character at Pos, and whether it may stand there.
NameCharacter judgeCharacter(std::string_view Name, std::size_t Pos, bool AtStart, Reading How,
                             bool Colon) {
  const auto C = static_cast<unsigned char>(Name[Pos]);
  if (C == ':')
    return {1, Colon && !AtStart};
  if (C < 0x80 || How == Reading::Iso)
    return {1, byteFits(C, AtStart, false)};
  std::uint32_t CodePoint = 0;
  const std::size_t Length = decodeSequence(Name, Pos, CodePoint);
  if (Length == 0)
    return {1, How == Reading::Utf8OrIso && byteFits(C, AtStart, true)};
  return {Length, AtStart ? isNameStartCodePoint(CodePoint) : isNameCodePoint(CodePoint)};
}

// A ':' in a name separates a namespace prefix from the local name, so only one can stay: the
// first, when a character that can start a name follows it. Parsers that read namespaces
// reject the others, some of them fatally. Every other ':' becomes '_'.
void keepOneColon(std::string& Name, Reading How) {
  std::size_t Colon = Name.find(':');
  if (Colon == std::string::npos)
    return;
  if (Colon == 0 || Colon + 1 == Name.size() ||
      !judgeCharacter(Name, Colon + 1, true, How, false).Fits)
    Name[Colon] = '_';
  while ((Colon = Name.find(':', Colon + 1)) != std::string::npos)
    Name[Colon] = '_';
}

// Puts '_' in front of a non-empty Name when its first character cannot start a name (or when
// Reserved and it begins with "xml" in any case), and replaces every byte of each character
// after that which cannot stand inside a name by '_', and every ':' but one.
void applyNameRules(std::string& Name, bool Reserved, Reading How) {
  std::size_t Pos = 0;
  const NameCharacter First = judgeCharacter(Name, 0, true, How, true);
  // while the output may be ISO-8859-1 transcoded later, a first byte that fails the byte
  // rule keeps its '_' in front (the Hebrew letters that begin with D7 have always had it)
  const bool ByteStarts =
      How != Reading::Utf8OrIso || byteFits(static_cast<unsigned char>(Name[0]), true, true);
  if ((Reserved && beginsWithXml(Name)) || !First.Fits || !ByteStarts) {
    Name.insert(Name.begin(), '_');
    Pos = 1; // the first character is tested as an inner one now
  } else {
    Pos = First.Length;
  }
  while (Pos < Name.size()) {
    const NameCharacter Next = judgeCharacter(Name, Pos, false, How, true);
    if (!Next.Fits)
      Name.replace(Pos, Next.Length, Next.Length, '_');
    Pos += Next.Length;
  }
  keepOneColon(Name, How);
}

} // namespace

bool isXmlNameChar(unsigned char C, bool AtStart) {
  return byteFits(C, AtStart, theSettings().OutputUTF8);
}

bool appendEscapedText(std::string& Out, std::string_view Text) {
  bool Replaced = false;
  const char* At = Text.data();
  const char* const End = At + Text.size();
  while (At < End) {
    const char* const Run = At;
    while (At < End && actionOf(*At) == Copy)
      ++At;
    Out.append(Run, static_cast<std::size_t>(At - Run));
    if (At == End)
      break;
    switch (*At) {
    case '&':
      // a kept reference goes on as ordinary bytes after its '&'
      Out.append(isKeptReference(At, End) ? "&" : "&amp;");
      break;
    case '<':
      Out.append("&lt;");
      break;
    case '>':
      Out.append("&gt;");
      break;
    case '"':
      Out.append("&quot;");
      break;
    case '\'':
      Out.append("&apos;");
      break;
    default:
      Out.push_back('?');
      Replaced = true;
      break;
    }
    ++At;
  }
  return Replaced;
}

std::string escapeXml(std::string Text, bool MakeName, bool CleanName) {
  if (Text.empty())
    return Text;
  if (std::any_of(Text.begin(), Text.end(), [](char C) { return actionOf(C) != Copy; })) {
    std::string Escaped;
    Escaped.reserve(Text.size() + 16);
    appendEscapedText(Escaped, Text);
    Text = std::move(Escaped);
  }
  if (!MakeName && !CleanName)
    return Text;
  // "xml" in any case is reserved for element names; attribute names such as xml:id are meant
  const Reading How = theSettings().OutputUTF8 ? Reading::Utf8OrIso : Reading::Iso;
  applyNameRules(Text, MakeName, How);
  return Text;
}

std::string finishXmlName(std::string Name, bool Utf8, bool Prefixed) {
  if (Name.empty())
    return Name;
  const Reading How = Utf8 ? Reading::Utf8 : Reading::Iso;
  if (Prefixed)
    std::replace(Name.begin(), Name.end(), ':', '_');
  applyNameRules(Name, false, How);
  return Name;
}

std::string finishNamespacePrefix(std::string Prefix, bool Utf8) {
  if (Prefix.empty())
    return Prefix;
  const bool Colon = Prefix.back() == ':';
  if (Colon)
    Prefix.pop_back();
  if (Prefix.empty())
    return Prefix; // a bare ':' is no prefix
  const Reading How = Utf8 ? Reading::Utf8 : Reading::Iso;
  for (std::size_t Pos = 0; Pos < Prefix.size();) {
    const NameCharacter Next = judgeCharacter(Prefix, Pos, Pos == 0, How, false);
    if (!Next.Fits)
      Prefix.replace(Pos, Next.Length, Next.Length, '_');
    Pos += Next.Length;
  }
  if (Colon)
    Prefix.push_back(':');
  return Prefix;
}

bool isUtf8Document(const Settings& S) { return S.Encoding == EncodingUtf8; }

void finishDocumentNames(Settings& S) {
  const bool Utf8 = isUtf8Document(S);
  S.NamespacePrefix = finishNamespacePrefix(std::move(S.NamespacePrefix), Utf8);
  const bool Prefixed = !S.NamespacePrefix.empty();
  for (std::string* Name : {&S.eRoot, &S.eRecord, &S.eItem})
    *Name = finishXmlName(std::move(*Name), Utf8, Prefixed);
  for (std::string* Name : {&S.aName, &S.aValue, &S.aSource, &S.aDT, &S.aID, &S.aNum})
    *Name = finishXmlName(std::move(*Name), Utf8, false);
}

} // namespace quillon
