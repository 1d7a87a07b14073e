#pragma once

// The room io/: the source reader (read ahead, decompressed, line ends judged), the target
// file and its buffer (written behind), the log channel. It may use base/ and nothing else.

#include "base/limits.h"
#include "io/source_stream.h"
#include "io/target_buffer.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <sys/types.h>

namespace quillon {

// Cuts physical lines out of large blocks read from a file descriptor, decompressed on the way
// where they are gzip or zstd data. A carriage return right before a line feed belongs to the
// line end; in a source whose lines end with a carriage return alone, each one is a line end.
// Before it asks for more input it sends the target's block on its way, so nothing waits in the
// output while the program waits. A regular file is read (and decompressed) a block ahead, on a
// thread of its own, into a second buffer that then takes the first one's place.
class LineReader {
public:
  static constexpr std::size_t MaxLineLength = LineLimit - 1;
  static constexpr std::size_t BlockSize = 1 << 19;
  // Bytes readable beyond the block's end, so a vector load may run past it.
  static constexpr std::size_t Padding = 64;
  // The most reach() makes readable at once.
  static constexpr std::size_t MaxReach = 1 << 16;

  enum class Result { Line, TooLong, End, Error };
  // How a regular file's size compares with what was read, once the end was reached.
  enum class Change { None, Truncated, Grown };

  // BlockSize: the most one read asks for; tests shrink it so lines cross blocks often.
  explicit LineReader(int Fd, std::size_t BlockSize = LineReader::BlockSize);
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;
  ~LineReader();

  bool allocated() const { return Buffer != nullptr; }
  void setTarget(TargetBuffer* Target) { this->Target = Target; }
  // Line is valid until the next call. A line longer than MaxLineLength is skipped
  // through its line feed and reported as TooLong.
  Result next(std::string_view& Line);
  // Asked after next() gave End: whether the source, a regular file, is now shorter than what
  // was read from it (cut while being read) or longer (written to meanwhile).
  Change sourceChange() const;
  // Asks the system for at most Bytes per read, so tests can put block edges where they like.
  void setReadLimit(std::size_t Bytes) { ReadSize = Bytes; }
  // The system's error number of the read that failed (Result::Error), else 0.
  int error() const { return ReadError; }
  // What is read and not yet cut into lines, empty while an over-long line is being skipped.
  // Padding bytes after it can be read. Valid until the next call of next().
  std::string_view block() const {
    if (Skipping || !Buffer)
      return {};
    return std::string_view(Buffer.get() + Begin, End - Begin);
  }
  // True when a regular file could not be read ahead (the system gave no thread or no
  // memory for it) and is read by the caller's thread instead.
  bool readAheadRefused() const { return AheadRefused; }
  // How many times the buffer was read into: the bytes of block() stay where they are, and as
  // they are, while it is unchanged.
  std::uint64_t refills() const { return Refills; }
  // Takes Bytes from the front of block(), as if they had been cut into lines.
  void consume(std::size_t Bytes) { Begin += Bytes; }
  // The source as read: its format, and why reading it failed.
  const SourceStream& source() const { return Stream; }
  // Whether the lines end with a carriage return alone, judged on the first block.
  bool crLineEnds() const { return CrLineEnds; }
  // Reads on until Size bytes (at most MaxReach) from From are held, or the source ends, and
  // returns them; From must lie in the last line next() gave. The buffer may move: that line
  // and block() must be taken again, at the same distance from the bytes returned.
  std::string_view reach(const char* From, std::size_t Size);

private:
  class ReadAhead;

  // Room before a block for the unfinished line and what reach() holds after it.
  static constexpr std::size_t Room = MaxLineLength + 2 + MaxReach;

  bool refill();
  void judgeLineEnds();
  void startReadAhead();
  void keepFrom(std::size_t Keep, char* To, std::size_t At);
  bool readMore(std::size_t Keep);

  int Fd;
  SourceStream Stream;
  std::unique_ptr<char[]> Buffer;
  std::size_t ReadSize = 0; // the most one read asks for
  std::size_t Capacity = 0;
  std::size_t Begin = 0;
  std::size_t LineBegin = 0; // of the last line given
  std::size_t End = 0;
  std::uint64_t Refills = 0;
  bool AtEnd = false;
  bool ReadFailed = false;
  int ReadError = 0;
  bool Skipping = false;
  std::size_t JudgeSize; // the first block, on which the line ends are judged
  bool Judged = false;
  bool CrLineEnds = false; // each carriage return read is turned into a line feed
  TargetBuffer* Target = nullptr;
  bool Regular = false; // a regular file: it is read a block ahead
  bool AheadRefused = false;
  std::unique_ptr<ReadAhead> Ahead; // from the first refill on
};

} // namespace quillon
