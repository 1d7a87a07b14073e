#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <sys/types.h>

namespace quillon {

// What a source holds, judged on its first bytes.
enum class SourceFormat { Plain, Gzip, Zstd, Xz, Bzip2, Zip };

// The name a format goes by in messages: "gzip", "zstd", ...
const char* formatName(SourceFormat Format);

// The bytes of a source as the converter wants them: read as they are, or decompressed on the
// way when they begin with the gzip or zstd signature. A plain source is read straight into
// the caller's buffer; only its first few bytes are looked at twice.
class SourceStream {
public:
  enum class Fault {
    None,
    System,       // a read failed: error() tells why
    Damaged,      // detail() holds the decompressor's words
    Cut,          // the data ends inside a gzip member or a zstd frame
    WindowTooBig, // a zstd frame needs more memory than is allowed
    Refused,      // a format this program does not read
    NotBuilt,     // gzip or zstd, and this build has no library for it
  };
  // The largest window a zstd frame may ask for, as a power of two (128 MiB).
  static constexpr int ZstdWindowLogMax = 27;

  explicit SourceStream(int Fd);
  SourceStream(const SourceStream&) = delete;
  SourceStream& operator=(const SourceStream&) = delete;
  ~SourceStream();

  // Up to Size bytes: the count, 0 at the end, -1 on a failure (fault() tells which).
  ssize_t read(char* To, std::size_t Size);
  SourceFormat format() const { return Format; }
  Fault fault() const { return Problem; }
  const std::string& detail() const { return Detail; }
  int error() const { return Error; }

private:
  struct Decoder;

  ssize_t start(char* To, std::size_t Size);
  ssize_t fail(Fault Why, int Error = 0);

  int Fd;
  bool Started = false;
  bool Regular = false;
  SourceFormat Format = SourceFormat::Plain;
  Fault Problem = Fault::None;
  std::string Detail;
  int Error = 0;
  char Head[16] = {}; // the first bytes, when the caller's buffer is too small for them
  std::size_t HeadLength = 0;
  std::size_t HeadUsed = 0;
  std::unique_ptr<Decoder> Decode;
};

} // namespace quillon
