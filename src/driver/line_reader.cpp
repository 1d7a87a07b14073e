#include "driver/line_reader.h"

#include "driver/fd_io.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace quillon {

LineReader::LineReader(int Fd, std::size_t BlockSize) : Fd(Fd), ReadSize(BlockSize) {
  Capacity = BlockSize + MaxLineLength + 2;
  // zeroed, so that the padding and what lies beyond a short block are never undefined
  Buffer.reset(new (std::nothrow) char[Capacity + Padding]());
}

bool LineReader::refill() {
  if (AtEnd)
    return false;
  if (Begin > 0) {
    std::memmove(Buffer.get(), Buffer.get() + Begin, End - Begin);
    End -= Begin;
    Begin = 0;
  }
  if (Target)
    Target->push();
  const ssize_t Got = readSome(Fd, Buffer.get() + End, std::min(Capacity - End, ReadSize));
  if (Got > 0) {
    End += static_cast<std::size_t>(Got);
    return true;
  }
  if (Got < 0) {
    ReadFailed = true;
    ReadError = errno;
  }
  AtEnd = true;
  return false;
}

LineReader::Change LineReader::sourceChange() const {
  struct stat Status {};
  if (::fstat(Fd, &Status) != 0 || !S_ISREG(Status.st_mode))
    return Change::None;
  // the offset, not a count of bytes: standard input may have been read from before
  const off_t Offset = ::lseek(Fd, 0, SEEK_CUR);
  if (Offset < 0 || Offset == Status.st_size)
    return Change::None;
  return Offset > Status.st_size ? Change::Truncated : Change::Grown;
}

LineReader::Result LineReader::next(std::string_view& Line) {
  if (!Buffer)
    return Result::Error;
  for (;;) {
    const char* Start = Buffer.get() + Begin;
    const std::size_t Have = End - Begin;
    const char* Feed = static_cast<const char*>(std::memchr(Start, '\n', Have));
    if (Skipping) {
      if (Feed) {
        Begin += static_cast<std::size_t>(Feed - Start) + 1;
        Skipping = false;
        continue;
      }
      Begin = End = 0;
      if (!refill())
        return ReadFailed ? Result::Error : Result::End;
      continue;
    }
    if (Feed) {
      std::size_t Length = static_cast<std::size_t>(Feed - Start);
      Begin += Length + 1;
      if (Length > 0 && Start[Length - 1] == '\r')
        --Length;
      if (Length > MaxLineLength)
        return Result::TooLong;
      Line = std::string_view(Start, Length);
      return Result::Line;
    }
    // no line feed yet: a line that can no longer fit is skipped through its line feed
    if (Have > MaxLineLength + 1) {
      Skipping = true;
      return Result::TooLong;
    }
    if (!refill()) {
      if (ReadFailed)
        return Result::Error;
      if (End == Begin)
        return Result::End;
      Line = std::string_view(Buffer.get() + Begin, End - Begin);
      Begin = End;
      if (Line.size() > MaxLineLength)
        return Result::TooLong;
      return Result::Line;
    }
  }
}

} // namespace quillon
