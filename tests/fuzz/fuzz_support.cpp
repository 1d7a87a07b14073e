#include "fuzz_support.h"

#include <cstdlib>
#include <fstream>
#include <ftw.h>
#include <iterator>
#include <unistd.h>

namespace quillon::fuzz {

namespace {
int removeEntry(const char* Path, const struct stat*, int, struct FTW*) { return ::remove(Path); }

struct ScratchDirectory {
  std::string Path;
  ScratchDirectory() {
    const char* Base = std::getenv("TMPDIR");
    std::string Template = std::string(Base && *Base ? Base : "/tmp") + "/quillon-fuzz-XXXXXX";
    if (!::mkdtemp(Template.data()))
      fail("scratch", "cannot create a scratch directory");
    Path = Template;
  }
  ~ScratchDirectory() { ::nftw(Path.c_str(), removeEntry, 8, FTW_DEPTH | FTW_PHYS); }
};
} // namespace

std::string_view splitOptions(std::string_view Input, std::vector<std::string>& Arguments,
                              bool OwnFiles) {
  while (!Input.empty()) {
    const std::size_t Feed = Input.find('\n');
    const std::string_view Option = Input.substr(0, Feed);
    Input = Feed == std::string_view::npos ? std::string_view() : Input.substr(Feed + 1);
    if (Option.empty())
      return Input;
    const bool ReadsFiles = Option.find("-cfg:") != std::string_view::npos ||
                            Option.find("-exec") != std::string_view::npos;
    const bool NamesFiles = Option.rfind("-s:", 0) == 0 || Option.rfind("-t:", 0) == 0 ||
                            Option == "-t" || Option == "-V" || Option == "-?";
    if (!ReadsFiles && !(OwnFiles && NamesFiles))
      Arguments.emplace_back(Option);
  }
  return {};
}

const std::string& scratchDirectory() {
  static const ScratchDirectory Directory;
  return Directory.Path;
}

bool writeFile(const std::string& Path, std::string_view Data) {
  std::ofstream File(Path, std::ios::binary | std::ios::trunc);
  File.write(Data.data(), static_cast<std::streamsize>(Data.size()));
  return static_cast<bool>(File.flush());
}

bool readFile(const std::string& Path, std::string& Data) {
  std::ifstream File(Path, std::ios::binary);
  if (!File)
    return false;
  Data.assign(std::istreambuf_iterator<char>(File), std::istreambuf_iterator<char>());
  return !File.bad();
}

std::size_t decodeUtf8(std::string_view Text, std::size_t Pos, std::uint32_t& CodePoint) {
  const auto At = [&](std::size_t I) { return static_cast<unsigned char>(Text[I]); };
  const unsigned char B = At(Pos);
  std::size_t Length = 0;
  std::uint32_t Min = 0;
  if (B < 0x80) {
    CodePoint = B;
    return 1;
  }
  if (B >= 0xC2 && B <= 0xDF) {
    Length = 2;
    CodePoint = B & 0x1Fu;
    Min = 0x80;
  } else if (B >= 0xE0 && B <= 0xEF) {
    Length = 3;
    CodePoint = B & 0x0Fu;
    Min = 0x800;
  } else if (B >= 0xF0 && B <= 0xF4) {
    Length = 4;
    CodePoint = B & 0x07u;
    Min = 0x10000;
  } else {
    return 0;
  }
  if (Pos + Length > Text.size())
    return 0;
  for (std::size_t I = 1; I < Length; ++I) {
    const unsigned char Next = At(Pos + I);
    if ((Next & 0xC0u) != 0x80u)
      return 0;
    CodePoint = (CodePoint << 6) | (Next & 0x3Fu);
  }
  if (CodePoint < Min || CodePoint > 0x10FFFF || (CodePoint >= 0xD800 && CodePoint <= 0xDFFF))
    return 0;
  return Length;
}

bool isValidUtf8(std::string_view Text) {
  std::uint32_t C = 0;
  for (std::size_t Pos = 0; Pos < Text.size();) {
    const std::size_t Length = decodeUtf8(Text, Pos, C);
    if (Length == 0)
      return false;
    Pos += Length;
  }
  return true;
}

bool isNameStartCodePoint(std::uint32_t C) {
  return C == ':' || (C >= 'A' && C <= 'Z') || C == '_' || (C >= 'a' && C <= 'z') ||
         (C >= 0xC0 && C <= 0xD6) || (C >= 0xD8 && C <= 0xF6) || (C >= 0xF8 && C <= 0x2FF) ||
         (C >= 0x370 && C <= 0x37D) || (C >= 0x37F && C <= 0x1FFF) ||
         (C >= 0x200C && C <= 0x200D) || (C >= 0x2070 && C <= 0x218F) ||
         (C >= 0x2C00 && C <= 0x2FEF) || (C >= 0x3001 && C <= 0xD7FF) ||
         (C >= 0xF900 && C <= 0xFDCF) || (C >= 0xFDF0 && C <= 0xFFFD) ||
         (C >= 0x10000 && C <= 0xEFFFF);
}

bool isNameCodePoint(std::uint32_t C) {
  return isNameStartCodePoint(C) || C == '-' || C == '.' || (C >= '0' && C <= '9') || C == 0xB7 ||
         (C >= 0x300 && C <= 0x36F) || (C >= 0x203F && C <= 0x2040);
}

bool isXmlNameLatin1(std::string_view Name) {
  if (Name.empty())
    return false;
  for (std::size_t I = 0; I < Name.size(); ++I) {
    const auto C = static_cast<unsigned char>(Name[I]);
    if (!(I == 0 ? isNameStartCodePoint(C) : isNameCodePoint(C)))
      return false;
  }
  return true;
}

bool isXmlNameUtf8(std::string_view Name) {
  if (Name.empty())
    return false;
  std::uint32_t C = 0;
  for (std::size_t Pos = 0; Pos < Name.size();) {
    const std::size_t Length = decodeUtf8(Name, Pos, C);
    if (Length == 0 || !(Pos == 0 ? isNameStartCodePoint(C) : isNameCodePoint(C)))
      return false;
    Pos += Length;
  }
  return true;
}

bool isQName(std::string_view Name) {
  const std::size_t Colon = Name.find(':');
  if (Colon == std::string_view::npos)
    return true;
  if (Colon == 0 || Colon + 1 >= Name.size() || Name.find(':', Colon + 1) != std::string_view::npos)
    return false;
  // the local part's first character; bytes from 0x80 on start a name in either encoding
  const auto First = static_cast<unsigned char>(Name[Colon + 1]);
  return First >= 0x80 || isNameStartCodePoint(First);
}

bool isXmlCharByte(unsigned char B) { return B >= 0x20 || B == '\t' || B == '\n' || B == '\r'; }

} // namespace quillon::fuzz
