#include "xml/xml_names.h"

#include "encoding/encoding.h"
#include "options/settings.h"
#include "xml/xml_escape.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace quillon {

namespace {

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

// NameStartChar of XML 1.0, fifth edition, for code points from U+0080.
constexpr bool isFifthEditionNameStart(std::uint32_t C) {
  return (C >= 0xC0 && C <= 0xD6) || (C >= 0xD8 && C <= 0xF6) || (C >= 0xF8 && C <= 0x2FF) ||
         (C >= 0x370 && C <= 0x37D) || (C >= 0x37F && C <= 0x1FFF) ||
         (C >= 0x200C && C <= 0x200D) || (C >= 0x2070 && C <= 0x218F) ||
         (C >= 0x2C00 && C <= 0x2FEF) || (C >= 0x3001 && C <= 0xD7FF) ||
         (C >= 0xF900 && C <= 0xFDCF) || (C >= 0xFDF0 && C <= 0xFFFD) ||
         (C >= 0x10000 && C <= 0xEFFFF);
}

// NameChar of XML 1.0, fifth edition, for code points from U+0080.
constexpr bool isFifthEditionName(std::uint32_t C) {
  return isFifthEditionNameStart(C) || C == 0xB7 || (C >= 0x300 && C <= 0x36F) ||
         (C >= 0x203F && C <= 0x2040);
}

// The character classes of the earlier editions of XML 1.0 from U+0080 up, as pairs of first and
// last code point in ascending order. Expat and the readers built on it still judge names by
// them: a name outside them is refused although the fifth edition allows it.
// clang-format off
constexpr std::uint16_t BaseChars[] = {
    0x00C0, 0x00D6, 0x00D8, 0x00F6, 0x00F8, 0x00FF, 0x0100, 0x0131, 0x0134, 0x013E, 0x0141, 0x0148,
    0x014A, 0x017E, 0x0180, 0x01C3, 0x01CD, 0x01F0, 0x01F4, 0x01F5, 0x01FA, 0x0217, 0x0250, 0x02A8,
    0x02BB, 0x02C1, 0x0386, 0x0386, 0x0388, 0x038A, 0x038C, 0x038C, 0x038E, 0x03A1, 0x03A3, 0x03CE,
    0x03D0, 0x03D6, 0x03DA, 0x03DA, 0x03DC, 0x03DC, 0x03DE, 0x03DE, 0x03E0, 0x03E0, 0x03E2, 0x03F3,
    0x0401, 0x040C, 0x040E, 0x044F, 0x0451, 0x045C, 0x045E, 0x0481, 0x0490, 0x04C4, 0x04C7, 0x04C8,
    0x04CB, 0x04CC, 0x04D0, 0x04EB, 0x04EE, 0x04F5, 0x04F8, 0x04F9, 0x0531, 0x0556, 0x0559, 0x0559,
    0x0561, 0x0586, 0x05D0, 0x05EA, 0x05F0, 0x05F2, 0x0621, 0x063A, 0x0641, 0x064A, 0x0671, 0x06B7,
    0x06BA, 0x06BE, 0x06C0, 0x06CE, 0x06D0, 0x06D3, 0x06D5, 0x06D5, 0x06E5, 0x06E6, 0x0905, 0x0939,
    0x093D, 0x093D, 0x0958, 0x0961, 0x0985, 0x098C, 0x098F, 0x0990, 0x0993, 0x09A8, 0x09AA, 0x09B0,
    0x09B2, 0x09B2, 0x09B6, 0x09B9, 0x09DC, 0x09DD, 0x09DF, 0x09E1, 0x09F0, 0x09F1, 0x0A05, 0x0A0A,
    0x0A0F, 0x0A10, 0x0A13, 0x0A28, 0x0A2A, 0x0A30, 0x0A32, 0x0A33, 0x0A35, 0x0A36, 0x0A38, 0x0A39,
    0x0A59, 0x0A5C, 0x0A5E, 0x0A5E, 0x0A72, 0x0A74, 0x0A85, 0x0A8B, 0x0A8D, 0x0A8D, 0x0A8F, 0x0A91,
    0x0A93, 0x0AA8, 0x0AAA, 0x0AB0, 0x0AB2, 0x0AB3, 0x0AB5, 0x0AB9, 0x0ABD, 0x0ABD, 0x0AE0, 0x0AE0,
    0x0B05, 0x0B0C, 0x0B0F, 0x0B10, 0x0B13, 0x0B28, 0x0B2A, 0x0B30, 0x0B32, 0x0B33, 0x0B36, 0x0B39,
    0x0B3D, 0x0B3D, 0x0B5C, 0x0B5D, 0x0B5F, 0x0B61, 0x0B85, 0x0B8A, 0x0B8E, 0x0B90, 0x0B92, 0x0B95,
    0x0B99, 0x0B9A, 0x0B9C, 0x0B9C, 0x0B9E, 0x0B9F, 0x0BA3, 0x0BA4, 0x0BA8, 0x0BAA, 0x0BAE, 0x0BB5,
    0x0BB7, 0x0BB9, 0x0C05, 0x0C0C, 0x0C0E, 0x0C10, 0x0C12, 0x0C28, 0x0C2A, 0x0C33, 0x0C35, 0x0C39,
    0x0C60, 0x0C61, 0x0C85, 0x0C8C, 0x0C8E, 0x0C90, 0x0C92, 0x0CA8, 0x0CAA, 0x0CB3, 0x0CB5, 0x0CB9,
    0x0CDE, 0x0CDE, 0x0CE0, 0x0CE1, 0x0D05, 0x0D0C, 0x0D0E, 0x0D10, 0x0D12, 0x0D28, 0x0D2A, 0x0D39,
    0x0D60, 0x0D61, 0x0E01, 0x0E2E, 0x0E30, 0x0E30, 0x0E32, 0x0E33, 0x0E40, 0x0E45, 0x0E81, 0x0E82,
    0x0E84, 0x0E84, 0x0E87, 0x0E88, 0x0E8A, 0x0E8A, 0x0E8D, 0x0E8D, 0x0E94, 0x0E97, 0x0E99, 0x0E9F,
    0x0EA1, 0x0EA3, 0x0EA5, 0x0EA5, 0x0EA7, 0x0EA7, 0x0EAA, 0x0EAB, 0x0EAD, 0x0EAE, 0x0EB0, 0x0EB0,
    0x0EB2, 0x0EB3, 0x0EBD, 0x0EBD, 0x0EC0, 0x0EC4, 0x0F40, 0x0F47, 0x0F49, 0x0F69, 0x10A0, 0x10C5,
    0x10D0, 0x10F6, 0x1100, 0x1100, 0x1102, 0x1103, 0x1105, 0x1107, 0x1109, 0x1109, 0x110B, 0x110C,
    0x110E, 0x1112, 0x113C, 0x113C, 0x113E, 0x113E, 0x1140, 0x1140, 0x114C, 0x114C, 0x114E, 0x114E,
    0x1150, 0x1150, 0x1154, 0x1155, 0x1159, 0x1159, 0x115F, 0x1161, 0x1163, 0x1163, 0x1165, 0x1165,
    0x1167, 0x1167, 0x1169, 0x1169, 0x116D, 0x116E, 0x1172, 0x1173, 0x1175, 0x1175, 0x119E, 0x119E,
    0x11A8, 0x11A8, 0x11AB, 0x11AB, 0x11AE, 0x11AF, 0x11B7, 0x11B8, 0x11BA, 0x11BA, 0x11BC, 0x11C2,
    0x11EB, 0x11EB, 0x11F0, 0x11F0, 0x11F9, 0x11F9, 0x1E00, 0x1E9B, 0x1EA0, 0x1EF9, 0x1F00, 0x1F15,
    0x1F18, 0x1F1D, 0x1F20, 0x1F45, 0x1F48, 0x1F4D, 0x1F50, 0x1F57, 0x1F59, 0x1F59, 0x1F5B, 0x1F5B,
    0x1F5D, 0x1F5D, 0x1F5F, 0x1F7D, 0x1F80, 0x1FB4, 0x1FB6, 0x1FBC, 0x1FBE, 0x1FBE, 0x1FC2, 0x1FC4,
    0x1FC6, 0x1FCC, 0x1FD0, 0x1FD3, 0x1FD6, 0x1FDB, 0x1FE0, 0x1FEC, 0x1FF2, 0x1FF4, 0x1FF6, 0x1FFC,
    0x2126, 0x2126, 0x212A, 0x212B, 0x212E, 0x212E, 0x2180, 0x2182, 0x3041, 0x3094, 0x30A1, 0x30FA,
    0x3105, 0x312C, 0xAC00, 0xD7A3};
constexpr std::uint16_t Ideographics[] = {
    0x3007, 0x3007, 0x3021, 0x3029, 0x4E00, 0x9FA5};
constexpr std::uint16_t CombiningChars[] = {
    0x0300, 0x0345, 0x0360, 0x0361, 0x0483, 0x0486, 0x0591, 0x05A1, 0x05A3, 0x05B9, 0x05BB, 0x05BD,
    0x05BF, 0x05BF, 0x05C1, 0x05C2, 0x05C4, 0x05C4, 0x064B, 0x0652, 0x0670, 0x0670, 0x06D6, 0x06DC,
    0x06DD, 0x06DF, 0x06E0, 0x06E4, 0x06E7, 0x06E8, 0x06EA, 0x06ED, 0x0901, 0x0903, 0x093C, 0x093C,
    0x093E, 0x094C, 0x094D, 0x094D, 0x0951, 0x0954, 0x0962, 0x0963, 0x0981, 0x0983, 0x09BC, 0x09BC,
    0x09BE, 0x09BE, 0x09BF, 0x09BF, 0x09C0, 0x09C4, 0x09C7, 0x09C8, 0x09CB, 0x09CD, 0x09D7, 0x09D7,
    0x09E2, 0x09E3, 0x0A02, 0x0A02, 0x0A3C, 0x0A3C, 0x0A3E, 0x0A3E, 0x0A3F, 0x0A3F, 0x0A40, 0x0A42,
    0x0A47, 0x0A48, 0x0A4B, 0x0A4D, 0x0A70, 0x0A71, 0x0A81, 0x0A83, 0x0ABC, 0x0ABC, 0x0ABE, 0x0AC5,
    0x0AC7, 0x0AC9, 0x0ACB, 0x0ACD, 0x0B01, 0x0B03, 0x0B3C, 0x0B3C, 0x0B3E, 0x0B43, 0x0B47, 0x0B48,
    0x0B4B, 0x0B4D, 0x0B56, 0x0B57, 0x0B82, 0x0B83, 0x0BBE, 0x0BC2, 0x0BC6, 0x0BC8, 0x0BCA, 0x0BCD,
    0x0BD7, 0x0BD7, 0x0C01, 0x0C03, 0x0C3E, 0x0C44, 0x0C46, 0x0C48, 0x0C4A, 0x0C4D, 0x0C55, 0x0C56,
    0x0C82, 0x0C83, 0x0CBE, 0x0CC4, 0x0CC6, 0x0CC8, 0x0CCA, 0x0CCD, 0x0CD5, 0x0CD6, 0x0D02, 0x0D03,
    0x0D3E, 0x0D43, 0x0D46, 0x0D48, 0x0D4A, 0x0D4D, 0x0D57, 0x0D57, 0x0E31, 0x0E31, 0x0E34, 0x0E3A,
    0x0E47, 0x0E4E, 0x0EB1, 0x0EB1, 0x0EB4, 0x0EB9, 0x0EBB, 0x0EBC, 0x0EC8, 0x0ECD, 0x0F18, 0x0F19,
    0x0F35, 0x0F35, 0x0F37, 0x0F37, 0x0F39, 0x0F39, 0x0F3E, 0x0F3E, 0x0F3F, 0x0F3F, 0x0F71, 0x0F84,
    0x0F86, 0x0F8B, 0x0F90, 0x0F95, 0x0F97, 0x0F97, 0x0F99, 0x0FAD, 0x0FB1, 0x0FB7, 0x0FB9, 0x0FB9,
    0x20D0, 0x20DC, 0x20E1, 0x20E1, 0x302A, 0x302F, 0x3099, 0x3099, 0x309A, 0x309A};
constexpr std::uint16_t Digits[] = {
    0x0660, 0x0669, 0x06F0, 0x06F9, 0x0966, 0x096F, 0x09E6, 0x09EF, 0x0A66, 0x0A6F, 0x0AE6, 0x0AEF,
    0x0B66, 0x0B6F, 0x0BE7, 0x0BEF, 0x0C66, 0x0C6F, 0x0CE6, 0x0CEF, 0x0D66, 0x0D6F, 0x0E50, 0x0E59,
    0x0ED0, 0x0ED9, 0x0F20, 0x0F29};
constexpr std::uint16_t Extenders[] = {
    0x00B7, 0x00B7, 0x02D0, 0x02D0, 0x02D1, 0x02D1, 0x0387, 0x0387, 0x0640, 0x0640, 0x0E46, 0x0E46,
    0x0EC6, 0x0EC6, 0x3005, 0x3005, 0x3031, 0x3035, 0x309D, 0x309E, 0x30FC, 0x30FE};
// clang-format on

template <std::size_t N> constexpr bool isAscendingRanges(const std::uint16_t (&Ranges)[N]) {
  if (N % 2 != 0)
    return false;
  for (std::size_t I = 0; I < N; I += 2)
    if (Ranges[I] > Ranges[I + 1] || (I + 2 < N && Ranges[I + 1] >= Ranges[I + 2]))
      return false;
  return true;
}
static_assert(isAscendingRanges(BaseChars) && isAscendingRanges(Ideographics) &&
              isAscendingRanges(CombiningChars) && isAscendingRanges(Digits) &&
              isAscendingRanges(Extenders));

// Whether the fifth edition allows every character of the ranges at the start of a name
// (AtStart), or inside one.
template <std::size_t N>
constexpr bool isFifthEditionRanges(const std::uint16_t (&Ranges)[N], bool AtStart) {
  for (std::size_t I = 0; I < N; I += 2)
    for (std::uint32_t C = Ranges[I]; C <= Ranges[I + 1]; ++C)
      if (!(AtStart ? isFifthEditionNameStart(C) : isFifthEditionName(C)))
        return false;
  return true;
}
// The fifth edition allows every character of the earlier classes where they allow it, so a
// name of these classes suits readers of either kind, and the classes alone decide.
static_assert(isFifthEditionRanges(BaseChars, true) && isFifthEditionRanges(Ideographics, true) &&
              isFifthEditionRanges(CombiningChars, false) && isFifthEditionRanges(Digits, false) &&
              isFifthEditionRanges(Extenders, false));

template <std::size_t N> bool inRanges(const std::uint16_t (&Ranges)[N], std::uint32_t C) {
  // the first pair whose last code point is not below C
  std::size_t Low = 0;
  std::size_t High = N / 2;
  while (Low < High) {
    const std::size_t Middle = (Low + High) / 2;
    if (Ranges[2 * Middle + 1] < C)
      Low = Middle + 1;
    else
      High = Middle;
  }
  return Low < N / 2 && Ranges[2 * Low] <= C;
}

// A character from U+0080 up that can start a name for every reader: a letter.
bool isNameStartCodePoint(std::uint32_t C) {
  return inRanges(BaseChars, C) || inRanges(Ideographics, C);
}

// The same for a character inside a name: a letter, digit, combining character or extender.
bool isNameCodePoint(std::uint32_t C) {
  return isNameStartCodePoint(C) || inRanges(CombiningChars, C) || inRanges(Digits, C) ||
         inRanges(Extenders, C);
}

// How the bytes of a name are read.
enum class Reading {
  Iso,        // one character per byte
  Utf8OrIso,  // a well-formed UTF-8 sequence is one character, any other byte stands alone
  Utf8,       // UTF-8 only: a byte that begins no well-formed sequence fits nowhere
  Utf8ForIso, // UTF-8 only, for an ISO-8859-1 document: a character beyond U+00FF fits nowhere
};

Reading readingFor(bool TextUtf8, bool Utf8) {
  if (!TextUtf8)
    return Reading::Iso;
  return Utf8 ? Reading::Utf8 : Reading::Utf8ForIso;
}

struct NameCharacter {
  std::size_t Length; // in bytes
  bool Fits;
};

// The character at Pos, and whether it may stand there. A ':' is left to settleColons.
NameCharacter judgeCharacter(std::string_view Name, std::size_t Pos, bool AtStart, Reading How) {
  const auto C = static_cast<unsigned char>(Name[Pos]);
  if (C == ':')
    return {1, !AtStart};
  if (C < 0x80)
    return {1, byteFits(C, AtStart, false)};
  if (How == Reading::Iso)
    return {1, AtStart ? isNameStartCodePoint(C) : isNameCodePoint(C)};
  std::uint32_t CodePoint = 0;
  const std::size_t Length = decodeUtf8(Name, Pos, CodePoint);
  if (Length == 0)
    return {1, How == Reading::Utf8OrIso && byteFits(C, AtStart, true)};
  if (How == Reading::Utf8ForIso && CodePoint > 0xFF)
    return {Length, false};
  return {Length, AtStart ? isNameStartCodePoint(CodePoint) : isNameCodePoint(CodePoint)};
}

// Which ':' of a name may stay. A ':' separates a namespace prefix from the local name, and
// readers that know namespaces refuse a name whose prefix the document does not declare.
struct ColonRule {
  bool AnyPrefix = false;    // the declared prefixes are not known yet: one may stay for now
  std::string_view Declared; // the document's namespace prefix, without its ':'
  bool Xml = false;          // the prefix "xml", bound in every document (attribute names)

  bool keeps(std::string_view Prefix) const {
    return AnyPrefix || (!Declared.empty() && Prefix == Declared) || (Xml && Prefix == "xml");
  }
};

// Only the first ':' can stay, where the rule keeps the prefix before it and a character that can
// start a name follows it. Every other ':' becomes '_'.
void settleColons(std::string& Name, Reading How, const ColonRule& Rule) {
  const std::size_t First = Name.find(':');
  if (First == std::string::npos)
    return;
  for (std::size_t Colon = First; (Colon = Name.find(':', Colon + 1)) != std::string::npos;)
    Name[Colon] = '_';
  if (First == 0 || First + 1 == Name.size() ||
      !Rule.keeps(std::string_view(Name).substr(0, First)) ||
      !judgeCharacter(Name, First + 1, true, How).Fits)
    Name[First] = '_';
}

// Puts '_' in front of a non-empty Name when its first character cannot start a name (or when
// Reserved and it begins with "xml" in any case), and replaces every byte of each character
// after that which cannot stand inside a name by '_', and every ':' the rule does not keep.
void applyNameRules(std::string& Name, bool Reserved, Reading How, const ColonRule& Rule) {
  std::size_t Pos = 0;
  const NameCharacter First = judgeCharacter(Name, 0, true, How);
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
    const NameCharacter Next = judgeCharacter(Name, Pos, false, How);
    if (!Next.Fits)
      Name.replace(Pos, Next.Length, Next.Length, '_');
    Pos += Next.Length;
  }
  settleColons(Name, How, Rule);
}

// The markup bytes as the text form writes them, for the name rules to frame in '_' ("&" becomes
// "_amp_"). Nothing else changes: the rules judge every other byte themselves.
std::string withMarkupReferences(std::string_view Text) {
  std::string Out;
  Out.reserve(Text.size() + 16);
  const char* const End = Text.data() + Text.size();
  for (const char* At = Text.data(); At < End; ++At) {
    switch (*At) {
    case '&':
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
      Out.push_back(*At);
    }
  }
  return Out;
}

// The element-name form (Element) or the attribute-name form of Text, read as How says. An
// element name keeps no ':', since the document's prefix is put in front of it; an attribute
// name keeps one for now, which finishXmlName settles.
std::string formName(std::string Text, bool Element, Reading How) {
  if (Text.empty())
    return Text;
  if (Text.find_first_of("&<>\"'") != std::string::npos)
    Text = withMarkupReferences(Text);
  ColonRule Rule;
  Rule.AnyPrefix = !Element;
  // "xml" in any case is reserved for element names; attribute names such as xml:id are meant
  applyNameRules(Text, Element, How, Rule);
  return Text;
}

} // namespace

bool isXmlNameChar(unsigned char C, bool AtStart, bool Utf8) { return byteFits(C, AtStart, Utf8); }

std::string escapeXml(std::string Text, bool MakeName, bool CleanName, bool Utf8) {
  if (Text.empty())
    return Text;
  if (MakeName || CleanName)
    return formName(std::move(Text), MakeName, Utf8 ? Reading::Utf8OrIso : Reading::Iso);
  // every byte from 0x80 up stays for the name rules to judge
  return escapeKeepingHighBytes(std::move(Text));
}

std::string makeXmlName(std::string Text, NameKind Kind, bool TextUtf8, bool Utf8) {
  return formName(std::move(Text), Kind == NameKind::Element, readingFor(TextUtf8, Utf8));
}

std::string finishXmlName(std::string Name, bool Utf8, NameKind Kind, std::string_view Prefix) {
  if (Name.empty())
    return Name;
  ColonRule Rule;
  if (Kind == NameKind::Attribute) {
    if (!Prefix.empty() && Prefix.back() == ':')
      Prefix.remove_suffix(1);
    Rule.Declared = Prefix;
    Rule.Xml = true;
  }
  applyNameRules(Name, false, Utf8 ? Reading::Utf8 : Reading::Iso, Rule);
  // an attribute of this name would declare the default namespace
  if (Kind == NameKind::Attribute && Name == "xmlns")
    Name.insert(Name.begin(), '_');
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
    NameCharacter Next = judgeCharacter(Prefix, Pos, Pos == 0, How);
    if (Prefix[Pos] == ':')
      Next.Fits = false;
    if (!Next.Fits)
      Prefix.replace(Pos, Next.Length, Next.Length, '_');
    Pos += Next.Length;
  }
  // both are bound by XML itself and cannot be declared again
  if (Prefix == "xml" || Prefix == "xmlns")
    Prefix.insert(Prefix.begin(), '_');
  if (Colon)
    Prefix.push_back(':');
  return Prefix;
}

void finishDocumentNames(Settings& S) {
  const bool Utf8 = isUtf8Document(S);
  S.NamespacePrefix = finishNamespacePrefix(std::move(S.NamespacePrefix), Utf8);
  // a schema location binds the prefix xsi to the schema instance namespace
  if (S.UseXSD && !S.XSDFile.empty() && S.NamespacePrefix == "xsi:")
    S.NamespacePrefix.insert(S.NamespacePrefix.begin(), '_');
  for (std::string* Name : {&S.eRoot, &S.eRecord, &S.eItem})
    *Name = finishXmlName(std::move(*Name), Utf8, NameKind::Element, S.NamespacePrefix);
  for (std::string* Name : {&S.aName, &S.aValue, &S.aSource, &S.aDT, &S.aID, &S.aNum})
    *Name = finishXmlName(std::move(*Name), Utf8, NameKind::Attribute, S.NamespacePrefix);
}

} // namespace quillon
