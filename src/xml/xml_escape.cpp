#include "xml/xml_escape.h"

#include "encoding/encoding.h"
#include "options/settings.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

namespace quillon {

namespace {

// What the text form does with a byte. Check: the byte begins a UTF-8 sequence that must be
// the encoding of an XML character.
enum TextAction : unsigned char { Copy = 0, Escape = 1, Replace = 2, Check = 3 };

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

// The same for a UTF-8 document, where the bytes from 0x80 up are checked.
constexpr std::array<unsigned char, 256> Utf8TextActions = [] {
  std::array<unsigned char, 256> Table = TextActions;
  for (std::size_t C = 0x80; C < 0x100; ++C)
    Table[C] = Check;
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

unsigned char byteOf(char C) { return static_cast<unsigned char>(C); }

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
  return decodeUtf8(Text, Pos, CodePoint);
}

// The length of the UTF-8 sequence of an XML character that begins at At, its code point in
// CodePoint; 0 when the bytes there are ill-formed or encode U+FFFE or U+FFFF (surrogates are
// ill-formed already).
std::size_t xmlCharacterLength(const char* At, const char* End, std::uint32_t& CodePoint) {
  const std::size_t Length =
      decodeSequence(std::string_view(At, static_cast<std::size_t>(End - At)), 0, CodePoint);
  return CodePoint == 0xFFFE || CodePoint == 0xFFFF ? 0 : Length;
}

std::size_t xmlCharacterLength(const char* At, const char* End) {
  std::uint32_t CodePoint = 0;
  return xmlCharacterLength(At, End, CodePoint);
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

constexpr std::uint64_t LowBits = 0x0101010101010101ULL;
constexpr std::uint64_t HighBits = 0x8080808080808080ULL;

// The high bit of the lowest flagged byte is set exactly where Word has its first zero byte.
std::uint64_t zeroBytes(std::uint64_t Word) { return (Word - LowBits) & ~Word & HighBits; }

// How the text form reads the bytes from 0x80 up.
enum class High {
  Keep,     // as they are (the text step of a name)
  Iso,      // as Windows-1252, 0x80 to 0x9F written as references (an ISO-8859-1 document)
  Check,    // as UTF-8 that must encode XML characters (a UTF-8 document)
  FromIso,  // as ISO-8859-1/Windows-1252, written in UTF-8 (a UTF-8 document)
  FromUtf8, // as UTF-8, written in ISO-8859-1 or as references (an ISO-8859-1 document)
};

// Flags the bytes of Word that the text form must look at: '"', '&', '\'', '<', '>', every
// byte below 0x20, and the bytes from 0x80 up that Mode does not copy. The lowest flag is
// exact; flags above it may be false.
template <High Mode> std::uint64_t bytesToLookAt(std::uint64_t Word) {
  const std::uint64_t Quote = zeroBytes(Word ^ (0x22 * LowBits));
  const std::uint64_t AmpersandApostrophe = zeroBytes((Word | LowBits) ^ (0x27 * LowBits));
  const std::uint64_t LessGreater = zeroBytes((Word | (0x02 * LowBits)) ^ (0x3E * LowBits));
  // below 0x20, and in Iso from 0x80 to 0x9F as well: the two bits below the top one clear,
  // each shifted into the top bit of its own byte
  const std::uint64_t Control = Mode == High::Iso ? ~((Word << 1) | (Word << 2)) & HighBits
                                                  : (Word - 0x20 * LowBits) & ~Word & HighBits;
  std::uint64_t Hits = Quote | AmpersandApostrophe | LessGreater | Control;
  if (Mode != High::Keep && Mode != High::Iso)
    Hits |= Word & HighBits;
  return Hits;
}

// Words are handled with the first byte in memory as the lowest: the borrows of the flag
// arithmetic run towards later bytes, so the first flagged byte is exact.
std::uint64_t loadWord(const char* At) {
  std::uint64_t Word;
  std::memcpy(&Word, At, sizeof Word);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  Word = __builtin_bswap64(Word);
#endif
  return Word;
}

std::uint64_t loadHalfWord(const char* At) {
  std::uint32_t Half;
  std::memcpy(&Half, At, sizeof Half);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  Half = __builtin_bswap32(Half);
#endif
  return Half;
}

void storeWord(char* At, std::uint64_t Word) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  Word = __builtin_bswap64(Word);
#endif
  std::memcpy(At, &Word, sizeof Word);
}

// The position in its word of the lowest flagged byte.
std::size_t firstFlagged(std::uint64_t Hits) {
  return static_cast<std::size_t>(__builtin_ctzll(Hits) >> 3);
}

// The word of the Count bytes (1 to 7) at At, the rest zero, read without a byte loop and
// without touching a byte beyond them.
std::uint64_t partialWord(const char* At, std::size_t Count) {
  if (Count >= 4) // two overlapping halves
    return loadHalfWord(At) | loadHalfWord(At + Count - 4) << (8 * (Count - 4));
  // the first, middle and last byte cover one to three bytes
  return static_cast<std::uint64_t>(byteOf(At[0])) |
         static_cast<std::uint64_t>(byteOf(At[Count / 2])) << (8 * (Count / 2)) |
         static_cast<std::uint64_t>(byteOf(At[Count - 1])) << (8 * (Count - 1));
}

// The word of the last Count bytes (1 to 7) before End, the rest zero; the 8 bytes before End
// must be readable.
std::uint64_t lastBytes(const char* End, std::size_t Count) {
  return loadWord(End - 8) >> (8 * (8 - Count));
}

// Flags only the first Count (1 to 7) bytes of a word.
std::uint64_t firstBytes(std::size_t Count) { return (1ULL << (8 * Count)) - 1; }

// The UTF-8 form of each byte from 0x80 up, as the transcoder makes it.
struct Utf8Forms {
  struct Form {
    char Bytes[4];
    std::size_t Length;
  };
  Form Of[128];

  Utf8Forms() : Of() {
    for (std::size_t Byte = 0x80; Byte < 0x100; ++Byte) {
      std::string Text(1, static_cast<char>(Byte));
      convertIsoToUtf8(Text);
      Form& F = Of[Byte - 0x80];
      F.Length = std::min(Text.size(), sizeof F.Bytes);
      std::memcpy(F.Bytes, Text.data(), F.Length);
    }
  }
};

const Utf8Forms& utf8Forms() {
  static const Utf8Forms Forms;
  return Forms;
}

// Writes the hexadecimal character reference of CodePoint ("&#x20AC;"), at most ten bytes.
char* putReference(char* Out, std::uint32_t CodePoint) {
  static constexpr char Digits[] = "0123456789ABCDEF";
  *Out++ = '&';
  *Out++ = '#';
  *Out++ = 'x';
  int Shift = 20;
  while (Shift > 0 && (CodePoint >> Shift) == 0)
    Shift -= 4;
  for (; Shift >= 0; Shift -= 4)
    *Out++ = Digits[(CodePoint >> Shift) & 0xFu];
  *Out++ = ';';
  return Out;
}

// The reference that stands for each byte from 0x80 to 0x9F of Windows-1252 text: the code
// point convertIsoToUtf8 gives the byte.
struct Cp1252References {
  struct Form {
    char Bytes[8];
    std::size_t Length;
  };
  Form Of[32];

  Cp1252References() : Of() {
    for (std::size_t Byte = 0x80; Byte < 0xA0; ++Byte) {
      std::string Text(1, static_cast<char>(Byte));
      convertIsoToUtf8(Text);
      std::uint32_t CodePoint = 0;
      decodeSequence(Text, 0, CodePoint);
      char Reference[16];
      Form& F = Of[Byte - 0x80];
      F.Length = std::min(static_cast<std::size_t>(putReference(Reference, CodePoint) - Reference),
                          sizeof F.Bytes);
      std::memcpy(F.Bytes, Reference, F.Length);
    }
  }
};

const Cp1252References& cp1252References() {
  static const Cp1252References References;
  return References;
}

// What the text form writes, and what it found on the way.
struct TextWriter {
  bool Replaced = false;
  bool Attribute = false;     // tab and line breaks become references, which parsers keep
  std::int64_t Converted = 0; // characters transcoded (High::FromIso, High::FromUtf8)
  const Utf8Forms* Forms = nullptr;
};

// Writes the text form of one byte (or, in UTF-8, one character) that bytesToLookAt flagged;
// moves At past it and returns the new end of the output.
template <High Mode>
char* writeFlagged(char* Out, const char*& At, const char* End, TextWriter& Writer) {
  const auto put = [&Out](std::string_view Text) {
    std::memcpy(Out, Text.data(), Text.size());
    return Out + Text.size();
  };
  const char C = *At;
  switch (C) {
  case '&':
    // a kept reference goes on as ordinary bytes after its '&'
    Out = isKeptReference(At, End) ? put("&") : put("&amp;");
    break;
  case '<':
    Out = put("&lt;");
    break;
  case '>':
    Out = put("&gt;");
    break;
  case '"':
    Out = put("&quot;");
    break;
  case '\'':
    Out = put("&apos;");
    break;
  default: {
    const unsigned char Action = TextActions[byteOf(C)];
    if (Action == Copy && (Mode == High::Keep || byteOf(C) < 0x80)) {
      // a parser reads them as blanks in a value, and a carriage return as a line feed anywhere
      if (byteOf(C) < 0x20 && (Writer.Attribute || (C == '\r' && Mode != High::Keep)))
        Out = put(C == '\t' ? "&#9;" : C == '\n' ? "&#10;" : "&#13;");
      else
        *Out++ = C; // tab, line feed, carriage return
      break;
    }
    if (Mode == High::Iso && byteOf(C) >= 0x80) { // only 0x80 to 0x9F are flagged
      if (byteOf(C) >= 0xA0) {
        *Out++ = C;
      } else {
        const Cp1252References::Form& Form = cp1252References().Of[byteOf(C) - 0x80];
        std::memcpy(Out, Form.Bytes, sizeof Form.Bytes);
        Out += Form.Length;
      }
      break;
    }
    if (Mode == High::FromUtf8 && byteOf(C) >= 0x80) {
      // the two-byte sequences of the Latin letters come first
      std::uint32_t CodePoint = 0;
      std::size_t Length = 0;
      if (End - At >= 2 && (byteOf(C) == 0xC2 || byteOf(C) == 0xC3) &&
          (byteOf(At[1]) & 0xC0u) == 0x80u) {
        Length = 2;
        CodePoint = (byteOf(C) & 0x1Fu) << 6 | (byteOf(At[1]) & 0x3Fu);
      } else {
        Length = xmlCharacterLength(At, End, CodePoint);
      }
      if (Length > 0) {
        if (CodePoint >= 0xA0 && CodePoint <= 0xFF)
          *Out++ = static_cast<char>(CodePoint);
        else
          Out = putReference(Out, CodePoint);
        ++Writer.Converted;
        At += Length;
        return Out;
      }
    }
    if (Mode == High::FromIso && byteOf(C) >= 0x80) {
      const Utf8Forms::Form& Form = Writer.Forms->Of[byteOf(C) - 0x80];
      std::memcpy(Out, Form.Bytes, sizeof Form.Bytes);
      Out += Form.Length;
      ++Writer.Converted;
      break;
    }
    if (Mode == High::Check && byteOf(C) >= 0x80) {
      // the two-byte sequences of the Latin letters come first
      std::size_t Length = 0;
      if (End - At >= 2 && byteOf(C) >= 0xC2 && byteOf(C) <= 0xDF &&
          (byteOf(At[1]) & 0xC0u) == 0x80u)
        Length = 2;
      else
        Length = xmlCharacterLength(At, End);
      if (Length > 0) {
        std::memcpy(Out, At, Length);
        At += Length;
        return Out + Length;
      }
    }
    *Out++ = '?';
    Writer.Replaced = true;
    break;
  }
  }
  ++At;
  return Out;
}

// The text form, a word at a time: a clean word is stored whole, and the output moves on by
// as many bytes as were clean, so clean runs cost no byte loop. Out has escapedTextRoom bytes.
template <High Mode>
char* writeText(char* Out, const char* At, const char* End, TextWriter& Writer) {
  const char* const Start = At;
  for (;;) {
    const std::size_t Left = static_cast<std::size_t>(End - At);
    std::uint64_t Word;
    std::uint64_t Hits;
    if (Left >= 8) {
      Word = loadWord(At);
      Hits = bytesToLookAt<Mode>(Word);
      storeWord(Out, Word);
      if (Hits == 0) {
        At += 8;
        Out += 8;
        continue;
      }
    } else {
      if (Left == 0)
        return Out;
      // the last word of a longer text is read whole, the bytes already done shifted out;
      // the zero bytes after the text would be flagged as control bytes
      Word = At - Start >= 8 - static_cast<std::ptrdiff_t>(Left) ? lastBytes(End, Left)
                                                                 : partialWord(At, Left);
      Hits = bytesToLookAt<Mode>(Word) & firstBytes(Left);
      storeWord(Out, Word);
      if (Hits == 0)
        return Out + Left;
    }
    const std::size_t Clean = firstFlagged(Hits);
    At += Clean;
    Out = writeFlagged<Mode>(Out + Clean, At, End, Writer);
  }
}

// One way of writing the text form, with what it found added to Converted and Replaced.
template <High Mode>
char* writeCoded(char* Out, const char* At, const char* End, bool Attribute,
                 std::int64_t& Converted, bool& Replaced) {
  TextWriter Writer;
  Writer.Attribute = Attribute;
  if constexpr (Mode == High::FromIso)
    Writer.Forms = &utf8Forms();
  Out = writeText<Mode>(Out, At, End, Writer);
  if constexpr (Mode == High::FromIso || Mode == High::FromUtf8)
    Converted += Writer.Converted;
  Replaced = Replaced || Writer.Replaced;
  return Out;
}

} // namespace

bool isXmlNameChar(unsigned char C, bool AtStart) {
  return byteFits(C, AtStart, theSettings().OutputUTF8);
}

bool appendEscapedText(std::string& Out, std::string_view Text) {
  return appendEscapedText(Out, Text, false, false);
}

bool appendEscapedText(std::string& Out, std::string_view Text, bool Utf8, bool Attribute) {
  std::int64_t Converted = 0;
  return appendEscapedText(Out, Text, Utf8 ? TextCoding::Utf8 : TextCoding::Iso, Attribute,
                           Converted);
}

bool appendEscapedText(std::string& Out, std::string_view Text, TextCoding Coding, bool Attribute,
                       std::int64_t& Converted) {
  const std::size_t Old = Out.size();
  Out.resize(Old + escapedTextRoom(Text.size()));
  bool Replaced = false;
  char* const End = writeEscapedText(Out.data() + Old, Text.data(), Text.data() + Text.size(),
                                     Coding, Attribute, Converted, Replaced);
  Out.resize(static_cast<std::size_t>(End - Out.data()));
  return Replaced;
}

TextWriterFunction textWriterFor(TextCoding Coding) {
  switch (Coding) {
  case TextCoding::Utf8:
    return &writeCoded<High::Check>;
  case TextCoding::IsoToUtf8:
    return &writeCoded<High::FromIso>;
  case TextCoding::Utf8ToIso:
    return &writeCoded<High::FromUtf8>;
  case TextCoding::Iso:
  default:
    return &writeCoded<High::Iso>;
  }
}

char* writeEscapedText(char* Out, const char* At, const char* End, TextCoding Coding,
                       bool Attribute, std::int64_t& Converted, bool& Replaced) {
  return textWriterFor(Coding)(Out, At, End, Attribute, Converted, Replaced);
}

char* writeEscapedText(char* Out, const char* At, const char* End, bool Utf8, bool& Replaced,
                       bool Attribute) {
  std::int64_t Converted = 0;
  return writeEscapedText(Out, At, End, Utf8 ? TextCoding::Utf8 : TextCoding::Iso, Attribute,
                          Converted, Replaced);
}

char* writeEscapedIsoText(char* Out, const char* At, const char* End, std::int64_t& Converted,
                          bool& Replaced, bool Attribute) {
  return writeEscapedText(Out, At, End, TextCoding::IsoToUtf8, Attribute, Converted, Replaced);
}

std::string replaceNonXmlBytes(std::string_view Text, bool Utf8) {
  const std::array<unsigned char, 256>& Actions = Utf8 ? Utf8TextActions : TextActions;
  std::string Clean(Text);
  for (std::size_t I = 0; I < Clean.size();) {
    const unsigned char Action = Actions[byteOf(Clean[I])];
    std::size_t Length = 1;
    if (Action == Check)
      Length = xmlCharacterLength(Clean.data() + I, Clean.data() + Clean.size());
    if (Action == Replace || Length == 0) {
      Clean[I] = '?';
      Length = 1;
    }
    I += Length;
  }
  return Clean;
}

std::string escapeXml(std::string Text, bool MakeName, bool CleanName) {
  if (Text.empty())
    return Text;
  if (std::any_of(Text.begin(), Text.end(), [](char C) { return actionOf(C) != Copy; })) {
    // every byte from 0x80 up stays for the name rules to judge
    std::string Escaped(escapedTextRoom(Text.size()), '\0');
    TextWriter Writer;
    char* const End =
        writeText<High::Keep>(Escaped.data(), Text.data(), Text.data() + Text.size(), Writer);
    Escaped.resize(static_cast<std::size_t>(End - Escaped.data()));
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
