#include "io/line_reader.h"

#include "base/fd_io.h"
#include "base/helper_thread.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace quillon {

namespace {
void endLinesAtCr(char* Bytes, std::size_t Size) {
  char* const End = Bytes + Size;
  while ((Bytes = static_cast<char*>(
              std::memchr(Bytes, '\r', static_cast<std::size_t>(End - Bytes)))) != nullptr)
    *Bytes++ = '\n';
}
} // namespace

// Reads a regular file one block ahead on a thread of its own, so that the system copies the
// next block while the run converts this one. It reads what the run would read, in the same
// order, into a buffer as large as the run's, behind room for the run's unfinished line; a
// whole block is taken by swapping the two buffers, so the input is never copied twice.
class LineReader::ReadAhead {
public:
  ReadAhead(SourceStream& Source, std::size_t Room, std::size_t Size, std::size_t Capacity)
      : Source(Source), Space(new (std::nothrow) char[Capacity]()), Room(Room), Size(Size) {
    Started = Space && Helper.start([this] { return read(); });
    if (Started)
      Helper.hand(); // the first block at once
  }
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  // False when it got no thread or no block: the reader then reads for itself.
  bool started() const { return Started; }
  // Waits for the next block; what is left of it, or the end (0) or the error (-1, errno set).
  ssize_t wait() {
    Helper.wait();
    if (Got <= 0) {
      errno = Error;
      return Got; // the end, or the error, stays
    }
    return Got - static_cast<ssize_t>(Used);
  }
  // After wait(): whether none of the block was taken yet. Then the caller may fill the room
  // before it and swap the two buffers; Buffer's bytes from Room on are read over next.
  bool whole() const { return Used == 0; }
  char* room() { return Space.get(); }
  void swap(std::unique_ptr<char[]>& Buffer) {
    Space.swap(Buffer);
    Helper.hand(); // the next block, please
  }
  // Up to Wanted bytes of the block wait() gave, copied.
  ssize_t take(char* To, std::size_t Wanted) {
    const std::size_t Taken = std::min(Wanted, static_cast<std::size_t>(Got) - Used);
    std::memcpy(To, Space.get() + Room + Used, Taken);
    Used += Taken;
    if (Used == static_cast<std::size_t>(Got)) {
      Used = 0;
      Helper.hand();
    }
    return static_cast<ssize_t>(Taken);
  }

private:
  // On the helper thread; after the end or an error it reads no more.
  bool read() {
    Got = Source.read(Space.get() + Room, Size);
    Error = errno;
    return Got > 0;
  }

  SourceStream& Source;
  std::unique_ptr<char[]> Space;
  const std::size_t Room; // before the block
  const std::size_t Size;
  ssize_t Got = 0;
  int Error = 0;
  std::size_t Used = 0; // of the block, taken already
  bool Started = false;
  HandOffThread Helper; // last: it ends before what it reads into goes
};

LineReader::LineReader(int Fd, std::size_t BlockSize)
    : Fd(Fd), Stream(Fd), ReadSize(BlockSize), JudgeSize(BlockSize) {
  Capacity = BlockSize + Room;
  // zeroed, so that the padding and what lies beyond a short block are never undefined
  Buffer.reset(new (std::nothrow) char[Capacity + Padding]());
  Regular = isRegularFile(Fd);
}

LineReader::~LineReader() = default;

void LineReader::startReadAhead() {
  Ahead.reset(new (std::nothrow)
                  ReadAhead(Stream, Room, std::min(ReadSize, Capacity - Room), Capacity + Padding));
  if (!Ahead || !Ahead->started()) {
    Ahead.reset();
    Regular = false;
    AheadRefused = true;
  }
}

// Moves the bytes from Keep on to At in To; the line given moves with them, or is gone.
void LineReader::keepFrom(std::size_t Keep, char* To, std::size_t At) {
  std::memmove(To + At, Buffer.get() + Keep, End - Keep);
  Begin = Begin - Keep + At;
  LineBegin = std::max(LineBegin, Keep) - Keep + At;
  End = End - Keep + At;
}

bool LineReader::refill() {
  if (AtEnd)
    return false;
  return readMore(Begin);
}

bool LineReader::readMore(std::size_t Keep) {
  ++Refills;
  if (Target)
    Target->push();
  if (Regular && !Ahead)
    startReadAhead();
  ssize_t Got = Regular ? Ahead->wait() : 0;
  if (Got > 0 && static_cast<std::size_t>(Got) <= ReadSize && Ahead->whole() &&
      End - Keep <= Room) {
    // a whole block: what is kept goes in front of it, and the two buffers change hands
    keepFrom(Keep, Ahead->room(), Room - (End - Keep));
    Ahead->swap(Buffer);
  } else {
    if (Keep > 0)
      keepFrom(Keep, Buffer.get(), 0);
    const std::size_t Wanted = std::min(Capacity - End, ReadSize);
    if (!Regular)
      Got = Stream.read(Buffer.get() + End, Wanted);
    else if (Got > 0)
      Got = Ahead->take(Buffer.get() + End, Wanted);
  }
  if (Got > 0) {
    if (CrLineEnds)
      endLinesAtCr(Buffer.get() + End, static_cast<std::size_t>(Got));
    End += static_cast<std::size_t>(Got);
    std::memset(Buffer.get() + End, 0, Padding);
    return true;
  }
  if (Got < 0) {
    ReadFailed = true;
    ReadError = errno;
  }
  AtEnd = true;
  return false;
}

std::string_view LineReader::reach(const char* From, std::size_t Size) {
  Size = std::min(Size, MaxReach);
  const std::size_t Into = static_cast<std::size_t>(From - Buffer.get()) - LineBegin;
  // the last line given moves with what follows it
  while (End - LineBegin - Into < Size && !AtEnd && readMore(LineBegin)) {
  }
  const std::size_t Offset = LineBegin + Into;
  return std::string_view(Buffer.get() + Offset, std::min(End - Offset, Size));
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

// Reads until the line ends can be judged: a line feed seen, a whole block read, or the end.
// Lines of a source whose first block holds carriage returns and no line feed end at each one.
void LineReader::judgeLineEnds() {
  Judged = true;
  std::size_t Seen = 0; // from Begin, which a refill moves
  do {
    if (std::memchr(Buffer.get() + Begin + Seen, '\n', End - Begin - Seen))
      return;
    Seen = End - Begin;
  } while (End - Begin < JudgeSize && refill());
  if (std::memchr(Buffer.get() + Begin, '\r', End - Begin)) {
    CrLineEnds = true;
    endLinesAtCr(Buffer.get() + Begin, End - Begin);
  }
}

LineReader::Result LineReader::next(std::string_view& Line) {
  if (!Buffer)
    return Result::Error;
  if (!Judged)
    judgeLineEnds();
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
      LineBegin = Begin;
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
      LineBegin = Begin;
      Begin = End;
      if (Line.size() > MaxLineLength)
        return Result::TooLong;
      return Result::Line;
    }
  }
}

} // namespace quillon
