#include "xml/xml_escape.h"

#include "base/byte_words.h"
#include "encoding/encoding.h"
#include "options/settings.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quillon {

// Only the longest candidate is compared: the ';' decides its length first.
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

unsigned char actionOf(char C) { return TextActions[static_cast<unsigned char>(C)]; }

unsigned char byteOf(char C) { return static_cast<unsigned char>(C); }

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

// How the text form reads the bytes from 0x80 up.
enum class High {
  Keep,     // as they are (escapeKeepingHighBytes)
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

inline const Utf8Forms& utf8Forms() {
  static const Utf8Forms Forms;
  return Forms;
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

inline const Cp1252References& cp1252References() {
  static const Cp1252References References;
  return References;
}

// What the text form writes, and what it found on the way.
struct TextWriter {
  bool Replaced = false;
  bool Foreign = false;             // UTF-8 text held a byte of no sequence
  bool Repair = true;               // such a byte is read as Windows-1252, not written '?'
  bool Attribute = false;           // tab and line breaks become references, which parsers keep
  std::int64_t Converted = 0;       // characters transcoded (all but High::Keep and High::Iso)
  const Utf8Forms* Forms = nullptr; // High::FromIso, High::Check
  const Cp1252References* References = nullptr; // High::Iso, High::FromUtf8
};

// A byte of UTF-8 text that begins no well-formed sequence is read as its Windows-1252
// character: written in UTF-8 (Check) or as an ISO-8859-1 document writes it (FromUtf8).
template <High Mode> char* writeForeign(char* Out, unsigned char Byte, TextWriter& Writer) {
  if (!Writer.Repair) {
    *Out = '?';
    Writer.Replaced = true;
    return Out + 1;
  }
  ++Writer.Converted;
  Writer.Foreign = true;
  if (Mode == High::FromUtf8 && Byte >= 0xA0) {
    *Out = static_cast<char>(Byte);
    return Out + 1;
  }
  if (Mode == High::FromUtf8) {
    const Cp1252References::Form& Form = Writer.References->Of[Byte - 0x80];
    std::memcpy(Out, Form.Bytes, sizeof Form.Bytes);
    return Out + Form.Length;
  }
  const Utf8Forms::Form& Form = Writer.Forms->Of[Byte - 0x80];
  std::memcpy(Out, Form.Bytes, sizeof Form.Bytes);
  return Out + Form.Length;
}

// Writes what at At is no XML character, and moves At past it: a byte that begins no sequence
// (Length 0), or U+FFFE or U+FFFF, well-formed but no XML characters, a '?' for each of their
// bytes. False, with nothing written, for any other character.
template <High Mode>
bool writeNoCharacter(char*& Out, const char*& At, std::size_t Length, std::uint32_t CodePoint,
                      TextWriter& Writer) {
  if (Length == 0) {
    Out = writeForeign<Mode>(Out, byteOf(*At), Writer);
    ++At;
    return true;
  }
  if (CodePoint != 0xFFFE && CodePoint != 0xFFFF)
    return false;
  std::memset(Out, '?', Length);
  Out += Length;
  At += Length;
  Writer.Replaced = true;
  return true;
}

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
        const Cp1252References::Form& Form = Writer.References->Of[byteOf(C) - 0x80];
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
        Length =
            decodeSequence(std::string_view(At, static_cast<std::size_t>(End - At)), 0, CodePoint);
      }
      if (writeNoCharacter<Mode>(Out, At, Length, CodePoint, Writer))
        return Out;
      if (CodePoint >= 0xA0 && CodePoint <= 0xFF)
        *Out++ = static_cast<char>(CodePoint);
      else
        Out = putReference(Out, CodePoint);
      ++Writer.Converted;
      At += Length;
      return Out;
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
      std::uint32_t CodePoint = 0;
      if (End - At >= 2 && byteOf(C) >= 0xC2 && byteOf(C) <= 0xDF &&
          (byteOf(At[1]) & 0xC0u) == 0x80u)
        Length = 2;
      else
        Length =
            decodeSequence(std::string_view(At, static_cast<std::size_t>(End - At)), 0, CodePoint);
      if (writeNoCharacter<Mode>(Out, At, Length, CodePoint, Writer))
        return Out;
      std::memcpy(Out, At, Length);
      At += Length;
      return Out + Length;
    }
    *Out++ = '?';
    Writer.Replaced = true;
    break;
  }
  }
  ++At;
  return Out;
}

// writeFlagged, with the bytes from 0x80 up that a table turns into their form taken first,
// without the byte switch.
template <High Mode>
char* writeMarked(char* Out, const char*& At, const char* End, TextWriter& Writer) {
  if constexpr (Mode == High::FromIso) {
    if (byteOf(*At) >= 0x80) {
      const Utf8Forms::Form& Form = Writer.Forms->Of[byteOf(*At++) - 0x80];
      std::memcpy(Out, Form.Bytes, sizeof Form.Bytes);
      ++Writer.Converted;
      return Out + Form.Length;
    }
  }
  if constexpr (Mode == High::Iso) {
    if (byteOf(*At) >= 0x80) {
      const Cp1252References::Form& Form = Writer.References->Of[byteOf(*At++) - 0x80];
      std::memcpy(Out, Form.Bytes, sizeof Form.Bytes);
      return Out + Form.Length;
    }
  }
  return writeFlagged<Mode>(Out, At, End, Writer);
}

#if defined(__SSE2__)
// bytesToLookAt for sixteen bytes, one bit each, all exact.
template <High Mode> unsigned vectorBytesToLookAt(__m128i Bytes) {
  const auto equal = [Bytes](char C) { return _mm_cmpeq_epi8(Bytes, _mm_set1_epi8(C)); };
  const __m128i Markup = _mm_or_si128(
      _mm_or_si128(_mm_or_si128(equal('"'), equal('&')), _mm_or_si128(equal('\''), equal('<'))),
      equal('>'));
  // below 0x20, and in Iso from 0x80 to 0x9F as well
  const char Bits = static_cast<char>(Mode == High::Iso ? 0x60 : 0xE0);
  const __m128i Control =
      _mm_cmpeq_epi8(_mm_and_si128(Bytes, _mm_set1_epi8(Bits)), _mm_setzero_si128());
  unsigned Hits = static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(Markup, Control)));
  if (Mode != High::Keep && Mode != High::Iso)
    Hits |= static_cast<unsigned>(_mm_movemask_epi8(Bytes));
  return Hits;
}
#endif

// The text form, sixteen bytes or a word at a time: clean bytes are stored whole, and the
// output moves on by as many bytes as were clean, so clean runs cost no byte loop. Out has
// escapedTextRoom bytes.
template <High Mode>
char* writeText(char* Out, const char* At, const char* End, TextWriter& Writer) {
  const char* const Start = At;
#if defined(__SSE2__)
  while (End - At >= 16) {
    const __m128i Bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(At));
    const unsigned Hits = vectorBytesToLookAt<Mode>(Bytes);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(Out), Bytes);
    if (Hits == 0) {
      At += 16;
      Out += 16;
      continue;
    }
    const auto Clean = static_cast<std::size_t>(__builtin_ctz(Hits));
    At += Clean;
    Out = writeMarked<Mode>(Out + Clean, At, End, Writer);
  }
#endif
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
    Out = writeMarked<Mode>(Out + Clean, At, End, Writer);
  }
}

// One way of writing the text form, with what it found added to Converted and Replaced.
template <High Mode, bool Repair = true>
char* writeCoded(char* Out, const char* At, const char* End, bool Attribute,
                 std::int64_t& Converted, bool& Replaced, bool& Foreign) {
  TextWriter Writer;
  Writer.Attribute = Attribute;
  Writer.Repair = Repair;
  if constexpr (Mode == High::FromIso || Mode == High::Check)
    Writer.Forms = &utf8Forms();
  if constexpr (Mode == High::Iso || Mode == High::FromUtf8)
    Writer.References = &cp1252References();
  Out = writeText<Mode>(Out, At, End, Writer);
  if constexpr (Mode != High::Keep && Mode != High::Iso)
    Converted += Writer.Converted;
  Replaced = Replaced || Writer.Replaced;
  Foreign = Foreign || Writer.Foreign;
  return Out;
}

} // namespace

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
  bool Foreign = false;
  return textWriterFor(Coding)(Out, At, End, Attribute, Converted, Replaced, Foreign);
}

char* writeOutsideText(char* Out, const char* At, const char* End, TextCoding Coding,
                       bool& Replaced) {
  std::int64_t Converted = 0; // command-line texts are not counted
  bool Foreign = false;
  switch (Coding) {
  case TextCoding::Utf8:
    return writeCoded<High::Check, false>(Out, At, End, true, Converted, Replaced, Foreign);
  case TextCoding::Utf8ToIso:
    return writeCoded<High::FromUtf8, false>(Out, At, End, true, Converted, Replaced, Foreign);
  default:
    return writeEscapedText(Out, At, End, Coding, true, Converted, Replaced);
  }
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

std::string escapeKeepingHighBytes(std::string Text) {
  if (std::any_of(Text.begin(), Text.end(), [](char C) { return actionOf(C) != Copy; })) {
    std::string Escaped(escapedTextRoom(Text.size()), '\0');
    TextWriter Writer;
    char* const End =
        writeText<High::Keep>(Escaped.data(), Text.data(), Text.data() + Text.size(), Writer);
    Escaped.resize(static_cast<std::size_t>(End - Escaped.data()));
    Text = std::move(Escaped);
  }
  return Text;
}

bool isUtf8Document(const Settings& S) { return S.Encoding == EncodingUtf8; }

} // namespace quillon
