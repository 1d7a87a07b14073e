#include "encoding/encoding.h"

#include "base/byte_words.h"
#include "options/options.h"

#include <array>
#include <cstdint>
#include <iostream>

namespace quillon {

namespace {

// UTF-8 of the Windows-1252 bytes 0x80 to 0x9F; a last byte of 0 marks a two-byte form.
// The five bytes Windows-1252 leaves open stand for the C1 controls of the same number.
// clang-format off
constexpr unsigned char Cp1252ToUtf8[32][3] = {
    {0xE2, 0x82, 0xAC}, {0xC2, 0x81, 0x00}, {0xE2, 0x80, 0x9A}, {0xC6, 0x92, 0x00},
    {0xE2, 0x80, 0x9E}, {0xE2, 0x80, 0xA6}, {0xE2, 0x80, 0xA0}, {0xE2, 0x80, 0xA1},
    {0xCB, 0x86, 0x00}, {0xE2, 0x80, 0xB0}, {0xC5, 0xA0, 0x00}, {0xE2, 0x80, 0xB9},
    {0xC5, 0x92, 0x00}, {0xC2, 0x8D, 0x00}, {0xC5, 0xBD, 0x00}, {0xC2, 0x8F, 0x00},
    {0xC2, 0x90, 0x00}, {0xE2, 0x80, 0x98}, {0xE2, 0x80, 0x99}, {0xE2, 0x80, 0x9C},
    {0xE2, 0x80, 0x9D}, {0xE2, 0x80, 0xA2}, {0xE2, 0x80, 0x93}, {0xE2, 0x80, 0x94},
    {0xCB, 0x9C, 0x00}, {0xE2, 0x84, 0xA2}, {0xC5, 0xA1, 0x00}, {0xE2, 0x80, 0xBA},
    {0xC5, 0x93, 0x00}, {0xC2, 0x9D, 0x00}, {0xC5, 0xBE, 0x00}, {0xC5, 0xB8, 0x00}};

// Bytes a single byte gains on its way to UTF-8.
constexpr unsigned char ExtraBytes[256] = {
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    2, 1, 2, 1, 2, 2, 2, 2, 1, 2, 1, 2, 1, 1, 1, 1,
    1, 2, 2, 2, 2, 2, 2, 2, 1, 2, 1, 2, 1, 1, 1, 1,
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
// clang-format on

// The byte E2 80 z becomes; 0 where the sequence has no single byte.
constexpr std::array<unsigned char, 256> AfterE280 = [] {
  std::array<unsigned char, 256> Table{};
  Table[0x93] = 0x96;
  Table[0x94] = 0x97;
  Table[0x98] = 0x91;
  Table[0x99] = 0x92;
  Table[0x9A] = 0x82;
  Table[0x9C] = 0x93;
  Table[0x9D] = 0x94;
  Table[0x9E] = 0x84;
  Table[0xA0] = 0x86;
  Table[0xA1] = 0x87;
  Table[0xA2] = 0x95;
  Table[0xA6] = 0x85;
  Table[0xB0] = 0x89;
  Table[0xB9] = 0x8B;
  Table[0xBA] = 0x9B;
  return Table;
}();

std::size_t firstHighByte(const std::string& Text) {
  return findHighByte(Text.data(), Text.size());
}

// The single byte for the two-byte sequence X Y, or -1 when it has none.
int fromTwoBytes(unsigned char X, unsigned char Y) {
  switch (X) {
  case 0xC2:
    return Y >= 0x80 && Y <= 0xBF ? Y : -1;
  case 0xC3:
    return Y >= 0x80 && Y <= 0xBF ? Y + 0x40 : -1;
  case 0xC5:
    switch (Y) {
    case 0x92:
      return 0x8C;
    case 0x93:
      return 0x9C;
    case 0xA0:
      return 0x8A;
    case 0xA1:
      return 0x9A;
    case 0xB8:
      return 0x9F;
    case 0xBD:
      return 0x8E;
    case 0xBE:
      return 0x9E;
    default:
      return -1;
    }
  case 0xC6:
    return Y == 0x92 ? 0x83 : -1;
  case 0xCB:
    return Y == 0x86 ? 0x88 : Y == 0x9C ? 0x98 : -1;
  default:
    return -1;
  }
}

// The single byte for E2 Y Z, or -1 when it has none.
int fromE2(unsigned char Y, unsigned char Z) {
  if (Y == 0x80 && AfterE280[Z] != 0)
    return AfterE280[Z];
  if (Y == 0x82 && Z == 0xAC)
    return 0x80;
  if (Y == 0x84 && Z == 0xA2)
    return 0x99;
  return -1;
}

} // namespace

int convertIsoToUtf8(std::string& Text) {
  const std::size_t First = firstHighByte(Text);
  const std::size_t OldSize = Text.size();
  if (First == OldSize)
    return 0;
  std::size_t Extra = 0;
  std::size_t Count = 0;
  for (std::size_t I = First; I < OldSize; ++I) {
    const unsigned char B = static_cast<unsigned char>(Text[I]);
    Extra += ExtraBytes[B];
    Count += B >> 7;
  }
  // One resize, then the string is rewritten from its end: the unread bytes always lie
  // below the write position, and everything below the first high byte stays put.
  Text.resize(OldSize + Extra);
  char* Data = &Text[0];
  std::size_t Read = OldSize;
  std::size_t Write = OldSize + Extra;
  auto put = [&Data, &Write](unsigned int Byte) { Data[--Write] = static_cast<char>(Byte); };
  while (Write != Read) {
    const unsigned char B = static_cast<unsigned char>(Data[--Read]);
    if (B < 0x80) {
      put(B);
    } else if (B < 0xA0) {
      const unsigned char* Seq = Cp1252ToUtf8[B - 0x80];
      if (Seq[2] != 0)
        put(Seq[2]);
      put(Seq[1]);
      put(Seq[0]);
    } else if (B < 0xC0) {
      put(B);
      put(0xC2);
    } else {
      put(B - 0x40u);
      put(0xC3);
    }
  }
  return static_cast<int>(Count);
}

int convertUtf8ToIso(std::string& Text) {
  const std::size_t Size = Text.size();
  std::size_t Read = firstHighByte(Text);
  if (Read == Size)
    return 0;
  char* Data = &Text[0];
  // Bytes past the end read as 0, which no sequence accepts where it matters.
  auto at = [Data, Size](std::size_t I) {
    return I < Size ? static_cast<unsigned char>(Data[I]) : static_cast<unsigned char>(0);
  };
  std::size_t Write = Read;
  std::size_t Count = 0;
  while (Read < Size) {
    const unsigned char X = static_cast<unsigned char>(Data[Read]);
    int Byte = -1;
    std::size_t Length = 2;
    if (X == 0xE2) {
      Byte = fromE2(at(Read + 1), at(Read + 2));
      Length = 3;
    } else if (X >= 0xC2) {
      Byte = fromTwoBytes(X, at(Read + 1));
    }
    if (Byte < 0) {
      Data[Write++] = Data[Read++];
      continue;
    }
    Data[Write++] = static_cast<char>(Byte);
    Read += Length;
    ++Count;
  }
  Text.resize(Write);
  return static_cast<int>(Count);
}

int convertUtf8ToIsoName(std::string& Text) {
  std::size_t Read = firstHighByte(Text);
  const std::size_t Size = Text.size();
  std::size_t Write = Read;
  std::size_t Count = 0;
  while (Read < Size) {
    const unsigned char X = static_cast<unsigned char>(Text[Read]);
    if (X < 0x80) {
      Text[Write++] = Text[Read++];
      continue;
    }
    std::uint32_t CodePoint = 0;
    const std::size_t Length = decodeUtf8(Text, Read, CodePoint);
    Text[Write++] = Length > 0 && CodePoint <= 0xFF ? static_cast<char>(CodePoint) : '_';
    Read += Length > 0 ? Length : 1;
    Count += Length > 0 ? 1 : 0;
  }
  Text.resize(Write);
  return static_cast<int>(Count);
}

std::size_t decodeUtf8(std::string_view Text, std::size_t Pos, std::uint32_t& CodePoint) {
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

namespace {

// What a text tells about UTF-8: Found, a well-formed multi-byte sequence; Foreign, a byte
// from 0x80 up that begins none. With MayBeCut a sequence cut off by the end is not judged.
void judgeUtf8(std::string_view Text, bool MayBeCut, bool& Found, bool& Foreign) {
  for (std::size_t Pos = 0; Pos < Text.size() && !Foreign;) {
    if (Text.size() - Pos >= 8 && (loadWord(Text.data() + Pos) & HighBits) == 0) {
      Pos += 8; // ASCII, a word at a time
      continue;
    }
    if (static_cast<unsigned char>(Text[Pos]) < 0x80) {
      ++Pos;
      continue;
    }
    std::uint32_t CodePoint = 0;
    const std::size_t Length = decodeUtf8(Text, Pos, CodePoint);
    if (Length > 0) {
      Found = true;
      Pos += Length;
      continue;
    }
    // at most three bytes can be the start of a sequence the next block completes; past the
    // second byte any continuation byte fits
    const std::size_t Left = Text.size() - Pos;
    if (MayBeCut && Left == 1) {
      const auto Lead = static_cast<unsigned char>(Text[Pos]);
      if (Lead >= 0xC2 && Lead <= 0xF4)
        return;
    } else if (MayBeCut && Left < 4) {
      std::string Completed(Text.substr(Pos));
      Completed.append(4 - Left, '\x80');
      if (decodeUtf8(Completed, 0, CodePoint) > Left)
        return;
    }
    Foreign = true;
  }
}

} // namespace

bool readsAsUtf8(std::string_view Window, bool Cut) {
  bool Found = false;
  bool Foreign = false;
  judgeUtf8(Window, Cut, Found, Foreign);
  return Found && !Foreign;
}

int repairUtf8(std::string& Text) {
  std::size_t Pos = firstHighByte(Text);
  if (Pos == Text.size())
    return 0;
  // the repaired text is written apart: a byte becomes up to three
  std::string Repaired(Text, 0, Pos);
  int Count = 0;
  while (Pos < Text.size()) {
    const auto B = static_cast<unsigned char>(Text[Pos]);
    std::uint32_t CodePoint = 0;
    const std::size_t Length = B < 0x80 ? 1 : decodeUtf8(Text, Pos, CodePoint);
    if (Length > 0) {
      Repaired.append(Text, Pos, Length);
      Pos += Length;
      continue;
    }
    std::string Character(1, static_cast<char>(B));
    convertIsoToUtf8(Character);
    Repaired.append(Character);
    ++Pos;
    ++Count;
  }
  Text = std::move(Repaired);
  return Count;
}

int getBOMEncoding(std::string_view Header, std::string& Name) {
  struct Mark {
    std::string_view Bytes;
    int Kind;
    const char* Name;
  };
  // UTF-32 LE is tried before UTF-16 LE, whose mark it begins with. A mark must be in the
  // line whole: a line of just FF FE is UTF-16 LE, because a UTF-16 LE source whose first
  // line is empty is cut right after its mark (the line feed is 0A 00), while a UTF-32 LE
  // source always brings all four mark bytes into the line.
  static constexpr Mark Marks[] = {
      {std::string_view("\0\0\xFE\xFF", 4), 6, "UTF-32 [Big Endian]"},
      {std::string_view("\xFF\xFE\0\0", 4), 5, "UTF-32 [Litte Endian]"},
      {std::string_view("\xFE\xFF", 2), 4, "UTF-16 [Big Endian]"},
      {std::string_view("\xFF\xFE", 2), 3, "UTF-16 [Litte Endian]"},
      {std::string_view("\xEF\xBB\xBF", 3), 2, "UTF-8"}};
  for (const Mark& M : Marks) {
    if (Header.substr(0, M.Bytes.size()) == M.Bytes) {
      Name = M.Name;
      return M.Kind;
    }
  }
  Name = EncodingIso;
  return 1;
}

void setSourceReading(Settings& S, bool Utf8Source) {
  S.ConvertDataI2U = !Utf8Source && S.Encoding != EncodingIso;
  S.ConvertDataU2I = Utf8Source && S.Encoding != EncodingUtf8;
}

// The command-line texts follow the option and the output encoding, whatever the source.
void convertOptionTexts(Settings& S, bool Verbose) {
  int (*Convert)(std::string&) = nullptr;
  if (S.ConvertI2U && S.Encoding == EncodingUtf8)
    Convert = convertIsoToUtf8;
  else if (S.ConvertU2I && S.Encoding == EncodingIso)
    Convert = convertUtf8ToIso;
  if (Convert == nullptr)
    return;
  if (Verbose)
    std::clog << "-> Converting command line options" << std::endl;
  Convert(S.StyleList);
  if (S.UseDTD)
    Convert(S.DTDFile);
  // aID and the file names used for opening stay as given.
  if (Convert == convertIsoToUtf8) {
    if (S.UseXSD)
      Convert(S.XSDFile);
    for (std::string* Text :
         {&S.NamespacePrefix, &S.NamespaceURI, &S.SourceName, &S.eRoot, &S.eRecord, &S.eItem,
          &S.aName, &S.aValue, &S.aNum, &S.aSource, &S.aDT})
      Convert(*Text);
  } else {
    // attribute values stay UTF-8, so that the document can write every character of them;
    // the names are formed again from their texts, one '_' for a character ISO-8859-1 lacks
    S.AttributeTextsUtf8 = true;
    convertUtf8ToIsoName(S.NamespacePrefix);
    reformAliasNames(S, convertUtf8ToIsoName);
  }
  if (Verbose)
    std::clog << std::endl;
}

int chooseEncoding(std::string_view Header, Settings& S, bool UnmarkedUtf8) {
  const bool Verbose = S.VerboseMode || S.DebugMode;
  std::string Name;
  const int Kind = getBOMEncoding(Header, Name);
  // a source without a mark read as UTF-8 keeps its first bytes
  const bool Utf8Source = Kind == 2 || (Kind == 1 && UnmarkedUtf8);
  if (Utf8Source)
    Name = EncodingUtf8;
  if (Verbose)
    std::clog << "-> " << Name << " file header found " << std::endl;
  if (Kind >= 3) {
    std::cerr << "Error : Encoding is not supported..." << std::endl;
    return -1;
  }

  setSourceReading(S, Utf8Source);
  if (Verbose) {
    if (S.ConvertDataI2U || S.ConvertDataU2I)
      std::clog << "-> Converting to " << S.Encoding << std::endl;
    std::clog << std::endl;
  }

  convertOptionTexts(S, Verbose);
  return Kind == 2 ? 3 : 0;
}

} // namespace quillon
