#include "driver/line_reader.h"

#include "base/fd_io.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <new>
#include <sys/stat.h>
#include <thread>
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
// order; the run takes the blocks as they come.
class LineReader::ReadAhead {
public:
  ReadAhead(SourceStream& Source, std::size_t Size)
      : Source(Source), Space(new (std::nothrow) char[Size]), Size(Size) {
    Started = Space && startHelperThread(Thread, [this] { run(); });
  }
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;
  ~ReadAhead() {
    if (!Started)
      return;
    {
      const std::lock_guard<std::mutex> Guard(Lock);
      Quit = true;
    }
    Change.notify_all();
    Thread.join();
  }

  // False when it got no thread or no block: the reader then reads for itself.
  bool started() const { return Started; }
  // Up to Wanted bytes of the next block, as readSome gives them.
  ssize_t take(char* To, std::size_t Wanted) {
    std::unique_lock<std::mutex> Guard(Lock);
    Change.wait(Guard, [this] { return Ready; });
    if (Got <= 0) {
      errno = Error;
      return Got; // the end, or the error, stays
    }
    const std::size_t Taken = std::min(Wanted, static_cast<std::size_t>(Got) - Used);
    std::memcpy(To, Space.get() + Used, Taken);
    Used += Taken;
    if (Used == static_cast<std::size_t>(Got)) {
      Ready = false; // the next block, please
      Used = 0;
      Guard.unlock();
      Change.notify_all();
    }
    return static_cast<ssize_t>(Taken);
  }

private:
  void run() {
    std::unique_lock<std::mutex> Guard(Lock);
    for (;;) {
      Change.wait(Guard, [this] { return !Ready || Quit; });
      if (Quit)
        return;
      Guard.unlock();
      const ssize_t Read = Source.read(Space.get(), Size);
      const int ReadError = errno;
      Guard.lock();
      Got = Read;
      Error = ReadError;
      Ready = true;
      Change.notify_all();
      if (Read <= 0)
        return;
    }
  }

  SourceStream& Source;
  std::unique_ptr<char[]> Space;
  const std::size_t Size;
  std::mutex Lock;
  std::condition_variable Change;
  bool Ready = false; // Space holds a block, or the end or an error
  bool Quit = false;
  ssize_t Got = 0;
  int Error = 0;
  std::size_t Used = 0; // of the block, taken already
  bool Started = false;
  std::thread Thread; // started last
};

LineReader::LineReader(int Fd, std::size_t BlockSize)
    : Fd(Fd), Stream(Fd), ReadSize(BlockSize), JudgeSize(BlockSize) {
  Capacity = BlockSize + MaxLineLength + 2 + MaxReach;
  // zeroed, so that the padding and what lies beyond a short block are never undefined
  Buffer.reset(new (std::nothrow) char[Capacity + Padding]());
  Regular = isRegularFile(Fd);
}

LineReader::~LineReader() = default;

ssize_t LineReader::readBlock(char* To, std::size_t Size) {
  if (Regular && !Ahead) {
    Ahead.reset(new (std::nothrow) ReadAhead(Stream, ReadSize));
    if (!Ahead || !Ahead->started()) {
      Ahead.reset();
      Regular = false;
      AheadRefused = true;
    }
  }
  if (!Regular)
    return Stream.read(To, Size);
  return Ahead->take(To, Size);
}

bool LineReader::refill() {
  if (AtEnd)
    return false;
  if (Begin > 0) {
    std::memmove(Buffer.get(), Buffer.get() + Begin, End - Begin);
    End -= Begin;
    LineBegin = 0; // the line given is gone
    Begin = 0;
  }
  return readMore();
}

bool LineReader::readMore() {
  if (Target)
    Target->push();
  const ssize_t Got = readBlock(Buffer.get() + End, std::min(Capacity - End, ReadSize));
  if (Got > 0) {
    if (CrLineEnds)
      endLinesAtCr(Buffer.get() + End, static_cast<std::size_t>(Got));
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

std::string_view LineReader::reach(const char* From, std::size_t Size) {
  Size = std::min(Size, MaxReach);
  std::size_t Offset = static_cast<std::size_t>(From - Buffer.get());
  while (End - Offset < Size && !AtEnd) {
    if (LineBegin > 0) { // the last line given moves to the front with what follows it
      std::memmove(Buffer.get(), Buffer.get() + LineBegin, End - LineBegin);
      End -= LineBegin;
      Begin -= LineBegin;
      Offset -= LineBegin;
      LineBegin = 0;
    }
    if (!readMore())
      break;
  }
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
