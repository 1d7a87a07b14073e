#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <streambuf>
#include <string>
#include <string_view>
#include <vector>

// Shared by the fuzz targets: quiet streams, failure reports, scratch files and the XML name
// rules the properties are checked against. Everything here is independent of the code under
// test, so a fault there cannot hide itself.
namespace quillon::fuzz {

// Swallows everything.
class NullBuffer : public std::streambuf {
protected:
  int_type overflow(int_type C) override { return traits_type::not_eof(C); }
  std::streamsize xsputn(const char*, std::streamsize Count) override { return Count; }
};

// Silences std::cout, std::cerr and std::clog for one call of the code under test; the
// program's messages are not what most targets check. Failure reports use stdio and still
// show. Given a buffer, what goes to std::cerr and std::clog is kept there, in order.
class QuietStreams {
public:
  QuietStreams() : QuietStreams(nullptr) {}
  explicit QuietStreams(std::streambuf* Messages)
      : Out(std::cout.rdbuf(&Null)), Err(std::cerr.rdbuf(Messages ? Messages : &Null)),
        Log(std::clog.rdbuf(Messages ? Messages : &Null)) {}
  QuietStreams(const QuietStreams&) = delete;
  QuietStreams& operator=(const QuietStreams&) = delete;
  ~QuietStreams() {
    std::cout.rdbuf(Out);
    std::cerr.rdbuf(Err);
    std::clog.rdbuf(Log);
    std::cout.clear();
    std::cerr.clear();
    std::clog.clear();
  }

private:
  NullBuffer Null;
  std::streambuf* Out;
  std::streambuf* Err;
  std::streambuf* Log;
};

// Reports a broken property and aborts, which both the fuzzer and the replay count as a finding.
[[noreturn]] inline void fail(const char* Target, const std::string& What) {
  std::fprintf(stderr, "\nfuzz property broken in %s: %s\n", Target, What.c_str());
  std::fflush(stderr);
  std::abort();
}

inline void check(bool Holds, const char* Target, const std::string& What) {
  if (!Holds)
    fail(Target, What);
}

// Printable form of a byte string for failure reports.
inline std::string shown(std::string_view Text) {
  std::string Result;
  for (const char C : Text) {
    const auto B = static_cast<unsigned char>(C);
    if (B >= 0x20 && B < 0x7F && B != '\\') {
      Result.push_back(C);
    } else {
      char Hex[8];
      std::snprintf(Hex, sizeof Hex, "\\x%02X", B);
      Result += Hex;
    }
  }
  return Result;
}

// Splits an input into option lines, up to the first empty line, and the source after it,
// which it returns. Options that read configuration files (-cfg:, -exec) are dropped; with
// OwnFiles, so are those that name the source or the target, or print instead of converting.
std::string_view splitOptions(std::string_view Input, std::vector<std::string>& Arguments,
                              bool OwnFiles);

// A scratch directory for the whole process, removed at its end.
const std::string& scratchDirectory();
bool writeFile(const std::string& Path, std::string_view Data);
bool readFile(const std::string& Path, std::string& Data);

// Decodes one UTF-8 character strictly (no overlongs, no surrogates, at most U+10FFFF).
// Returns its length, or 0 when the bytes at Pos are no valid character.
std::size_t decodeUtf8(std::string_view Text, std::size_t Pos, std::uint32_t& CodePoint);
bool isValidUtf8(std::string_view Text);

// The Name production of XML 1.0 (fifth edition), on code points.
bool isNameStartCodePoint(std::uint32_t C);
bool isNameCodePoint(std::uint32_t C);
// A name whose bytes are ISO-8859-1 characters.
bool isXmlNameLatin1(std::string_view Name);
// A name in UTF-8; false for invalid UTF-8.
bool isXmlNameUtf8(std::string_view Name);
// A name that namespace-aware parsers accept: at most one colon, between two non-empty parts,
// the second starting like a name. Check isXmlName* first.
bool isQName(std::string_view Name);
// The characters XML 1.0 admits in content, for ISO-8859-1 bytes (C0 controls but tab, line
// feed and carriage return are the ones it cannot hold).
bool isXmlCharByte(unsigned char B);

} // namespace quillon::fuzz
