#include "io/source_stream.h"

#include "base/fd_io.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

#ifdef QUILLON_HAVE_ZLIB
#include <zlib.h>
#endif
#ifdef QUILLON_HAVE_ZSTD
#include <zstd.h>
#include <zstd_errors.h>
#endif

namespace quillon {

namespace {

struct ByteRange {
  unsigned char Low;
  unsigned char High;
};
constexpr ByteRange is(unsigned char Byte) { return {Byte, Byte}; }

struct Signature {
  SourceFormat Format;
  std::size_t Length;
  ByteRange Bytes[10];
};

// bzip2 is told by its block or end-of-stream magic as well, so that a header that happens to
// begin with "BZh" is still text.
// clang-format off
constexpr Signature Signatures[] = {
    {SourceFormat::Gzip, 2, {is(0x1F), is(0x8B)}},
    {SourceFormat::Zstd, 4, {is(0x28), is(0xB5), is(0x2F), is(0xFD)}},
    {SourceFormat::Zstd, 4, {{0x50, 0x5F}, is(0x2A), is(0x4D), is(0x18)}}, // a skippable frame
    {SourceFormat::Xz, 6, {is(0xFD), is('7'), is('z'), is('X'), is('Z'), is(0x00)}},
    {SourceFormat::Bzip2, 10, {is('B'), is('Z'), is('h'), {'1', '9'},
                               is(0x31), is(0x41), is(0x59), is(0x26), is(0x53), is(0x59)}},
    {SourceFormat::Bzip2, 10, {is('B'), is('Z'), is('h'), {'1', '9'},
                               is(0x17), is(0x72), is(0x45), is(0x38), is(0x50), is(0x90)}},
    {SourceFormat::Zip, 4, {is('P'), is('K'), is(0x03), is(0x04)}},
};
// clang-format on

// Decides the format from the first Have bytes; false while they could still begin a
// signature and more may come.
bool judgeFormat(const char* Bytes, std::size_t Have, bool AtEnd, SourceFormat& Format) {
  bool Undecided = false;
  for (const Signature& Sig : Signatures) {
    std::size_t Matched = 0;
    while (Matched < std::min(Have, Sig.Length)) {
      const auto Byte = static_cast<unsigned char>(Bytes[Matched]);
      if (Byte < Sig.Bytes[Matched].Low || Byte > Sig.Bytes[Matched].High)
        break;
      ++Matched;
    }
    if (Matched == Sig.Length) {
      Format = Sig.Format;
      return true;
    }
    Undecided = Undecided || (Matched == Have && !AtEnd);
  }
  Format = SourceFormat::Plain;
  return !Undecided;
}

constexpr std::size_t InputSize = 1 << 18;

} // namespace

const char* formatName(SourceFormat Format) {
  switch (Format) {
  case SourceFormat::Gzip:
    return "gzip";
  case SourceFormat::Zstd:
    return "zstd";
  case SourceFormat::Xz:
    return "xz";
  case SourceFormat::Bzip2:
    return "bzip2";
  case SourceFormat::Zip:
    return "zip";
  case SourceFormat::Plain:
    break;
  }
  return "plain";
}

// A gzip or zstd decompressor and the compressed bytes it reads from.
struct SourceStream::Decoder {
  Decoder(SourceFormat Format, std::size_t Size)
      : Format(Format), In(new (std::nothrow) char[Size]), InSize(Size) {}
  Decoder(const Decoder&) = delete;
  Decoder& operator=(const Decoder&) = delete;
  ~Decoder() {
#ifdef QUILLON_HAVE_ZLIB
    if (ZlibReady)
      inflateEnd(&Zlib);
#endif
#ifdef QUILLON_HAVE_ZSTD
    ZSTD_freeDStream(Zstd);
#endif
  }

  bool begin(std::string& Detail) {
    if (!In)
      return false;
#ifdef QUILLON_HAVE_ZLIB
    if (Format == SourceFormat::Gzip) {
      // 16 + 15: gzip members only, the largest window
      ZlibReady = inflateInit2(&Zlib, 16 + MAX_WBITS) == Z_OK;
      return ZlibReady;
    }
#endif
#ifdef QUILLON_HAVE_ZSTD
    if (Format == SourceFormat::Zstd) {
      Zstd = ZSTD_createDStream();
      if (!Zstd)
        return false;
      const size_t Set = ZSTD_DCtx_setParameter(Zstd, ZSTD_d_windowLogMax, ZstdWindowLogMax);
      if (ZSTD_isError(Set))
        Detail = ZSTD_getErrorName(Set);
      return !ZSTD_isError(Set);
    }
#endif
    static_cast<void>(Detail);
    return false;
  }

  // Decompresses what In holds into Out; the bytes written. Why tells a failure.
  std::size_t step(char* Out, std::size_t Room, Fault& Why, std::string& Detail) {
    std::size_t Made = 0;
    const std::size_t Before = InBegin;
#ifdef QUILLON_HAVE_ZLIB
    if (Format == SourceFormat::Gzip) {
      Zlib.next_in = reinterpret_cast<Bytef*>(In.get() + InBegin);
      Zlib.avail_in = static_cast<uInt>(InEnd - InBegin);
      Zlib.next_out = reinterpret_cast<Bytef*>(Out);
      Zlib.avail_out = static_cast<uInt>(std::min<std::size_t>(Room, 1U << 30));
      const uInt Offered = Zlib.avail_out;
      const int Status = inflate(&Zlib, Z_NO_FLUSH);
      InBegin = InEnd - Zlib.avail_in;
      Made = Offered - Zlib.avail_out;
      if (Status == Z_STREAM_END) {
        Inside = false; // another member may follow
        ++Members;
        inflateReset(&Zlib);
      } else if (Status == Z_OK || Status == Z_BUF_ERROR) {
        Inside = Inside || InBegin > Before;
      } else if (Status == Z_MEM_ERROR) {
        Why = Fault::System;
      } else {
        Why = Fault::Damaged;
        Detail = Zlib.msg ? Zlib.msg : "invalid data";
        if (Members > 0 && !Inside)
          Detail = "what follows the last member is not gzip data";
      }
    }
#endif
#ifdef QUILLON_HAVE_ZSTD
    if (Format == SourceFormat::Zstd) {
      ZSTD_inBuffer From{In.get() + InBegin, InEnd - InBegin, 0};
      ZSTD_outBuffer Into{Out, Room, 0};
      const size_t Status = ZSTD_decompressStream(Zstd, &Into, &From);
      InBegin += From.pos;
      Made = Into.pos;
      if (ZSTD_isError(Status)) {
        Why = ZSTD_getErrorCode(Status) == ZSTD_error_frameParameter_windowTooLarge
                  ? Fault::WindowTooBig
                  : Fault::Damaged;
        Detail = ZSTD_getErrorName(Status);
      } else if (Status == 0) {
        Inside = false; // the frame is whole and out
      } else {
        Inside = Inside || From.pos > 0 || Into.pos > 0;
      }
    }
#endif
    static_cast<void>(Out);
    static_cast<void>(Room);
    static_cast<void>(Why);
    static_cast<void>(Detail);
    static_cast<void>(Before);
    return Made;
  }

  const SourceFormat Format;
  std::unique_ptr<char[]> In;
  const std::size_t InSize;
  std::size_t InBegin = 0;
  std::size_t InEnd = 0;
  bool InputEnded = false;
  bool Inside = false; // a member or frame has begun and not ended
  int Members = 0;     // gzip members read whole
#ifdef QUILLON_HAVE_ZLIB
  z_stream Zlib{};
  bool ZlibReady = false;
#endif
#ifdef QUILLON_HAVE_ZSTD
  ZSTD_DStream* Zstd = nullptr;
#endif
};

SourceStream::SourceStream(int Fd) : Fd(Fd), Regular(isRegularFile(Fd)) {}

SourceStream::~SourceStream() = default;

ssize_t SourceStream::fail(Fault Why, int Error) {
  Problem = Why;
  this->Error = Why == Fault::System ? Error : EIO;
  errno = this->Error;
  return -1;
}

ssize_t SourceStream::read(char* To, std::size_t Size) {
  if (Problem != Fault::None) {
    errno = Error;
    return -1;
  }
  if (!Started) {
    Started = true;
    return start(To, Size);
  }
  if (HeadUsed < HeadLength) {
    const std::size_t Taken = std::min(Size, HeadLength - HeadUsed);
    std::memcpy(To, Head + HeadUsed, Taken);
    HeadUsed += Taken;
    return static_cast<ssize_t>(Taken);
  }
  if (!Decode) {
    const ssize_t Got = readSome(Fd, To, Size);
    return Got < 0 ? fail(Fault::System, errno) : Got;
  }
  Decoder& D = *Decode;
  std::size_t Made = 0;
  // what was decompressed before a failure is handed out first; the failure comes next call
  auto failAfter = [&](Fault Why, int Number) {
    fail(Why, Number);
    return Made > 0 ? static_cast<ssize_t>(Made) : -1;
  };
  while (Made < Size) {
    const std::size_t Before = D.InBegin;
    Fault Why = Fault::None;
    const std::size_t Got = D.step(To + Made, Size - Made, Why, Detail);
    Made += Got;
    if (Why != Fault::None)
      return failAfter(Why, ENOMEM);
    if (Got > 0)
      continue;
    if (D.InBegin < D.InEnd) {
      if (D.InBegin == Before) {
        Detail = "the decompressor makes no progress";
        return failAfter(Fault::Damaged, 0);
      }
      continue;
    }
    if (D.InputEnded) {
      if (D.Inside)
        return failAfter(Fault::Cut, 0);
      break;
    }
    // a pipe may keep the next bytes waiting: what is ready goes out first
    if (Made > 0 && !Regular)
      break;
    const ssize_t Read = readSome(Fd, D.In.get(), D.InSize);
    if (Read < 0)
      return failAfter(Fault::System, errno);
    D.InBegin = 0;
    D.InEnd = static_cast<std::size_t>(Read);
    D.InputEnded = Read == 0;
  }
  return static_cast<ssize_t>(Made);
}

// Reads until the first bytes tell the format; a plain source's are handed out as they are.
ssize_t SourceStream::start(char* To, std::size_t Size) {
  char* Into = Size >= sizeof(Head) ? To : Head;
  const std::size_t Room = Into == To ? Size : sizeof(Head);
  std::size_t Have = 0;
  bool AtEnd = false;
  while (!judgeFormat(Into, Have, AtEnd, Format)) {
    const ssize_t Got = readSome(Fd, Into + Have, Room - Have);
    if (Got < 0)
      return fail(Fault::System, errno);
    AtEnd = Got == 0;
    Have += static_cast<std::size_t>(Got);
  }
  switch (Format) {
  case SourceFormat::Plain:
    if (Into == To || Have == 0)
      return static_cast<ssize_t>(Have);
    HeadLength = Have;
    return read(To, Size);
  case SourceFormat::Xz:
  case SourceFormat::Bzip2:
  case SourceFormat::Zip:
    return fail(Fault::Refused);
  case SourceFormat::Gzip:
  case SourceFormat::Zstd:
    break;
  }
#ifndef QUILLON_HAVE_ZLIB
  if (Format == SourceFormat::Gzip)
    return fail(Fault::NotBuilt);
#endif
#ifndef QUILLON_HAVE_ZSTD
  if (Format == SourceFormat::Zstd)
    return fail(Fault::NotBuilt);
#endif
  Decode = std::make_unique<Decoder>(Format, std::max(InputSize, Have));
  if (!Decode->begin(Detail))
    return fail(Fault::System, ENOMEM);
  std::memcpy(Decode->In.get(), Into, Have);
  Decode->InEnd = Have;
  Decode->InputEnded = AtEnd;
  return read(To, Size);
}

} // namespace quillon
