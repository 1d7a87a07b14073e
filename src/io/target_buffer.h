#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

namespace quillon {

// The document's one output buffer. Writers append to it; it goes out to the file
// descriptor in large blocks (or into a string, for tests). A failed write is remembered
// and every later write is dropped, so the caller checks failed() at its own pace.
//
// Into a regular file the blocks may go out on a thread of their own while the next one
// fills (writeInBackground). A failed write is then learnt one block late; a run keeps its
// messages as they would have been by asking mayTell() before each message it writes while
// converting.
class TargetBuffer {
public:
  static constexpr std::size_t BlockSize = 1 << 19;

  explicit TargetBuffer(int Fd);
  explicit TargetBuffer(std::string& Sink);
  TargetBuffer(const TargetBuffer&) = delete;
  TargetBuffer& operator=(const TargetBuffer&) = delete;
  ~TargetBuffer();

  void append(std::string_view Text) {
    if (Text.size() > room())
      flushSome(Text.size());
    std::memcpy(Cursor, Text.data(), Text.size());
    Cursor += Text.size();
  }
  void append(char C) {
    if (Cursor == Limit)
      flushSome(1);
    *Cursor++ = C;
  }
  void appendNumber(std::int64_t Number);
  // Ends a line; a terminal sees each line at once.
  void lineEnd() {
    append('\n');
    if (FlushEachLine)
      flush();
  }
  // Room for Bytes at the cursor, where a writer may put them directly; commit() then moves
  // the cursor to the end of what it wrote.
  char* reserve(std::size_t Bytes) {
    if (Bytes > room())
      flushSome(Bytes);
    return Cursor;
  }
  void commit(char* NewCursor) { Cursor = NewCursor; }
  // Whether reserve(Bytes) would find the room without a flush.
  bool fits(std::size_t Bytes) const { return Bytes <= room(); }

  // Everything appended so far is written when it returns; false once a write failed.
  bool flush();
  // Sends what was appended on its way: written at once, or handed to the background thread.
  void push();
  // From now on blocks are written by a thread of their own. Only for a regular file, which
  // no one reads while it is written: on a pipe or a terminal the moment each block goes out
  // can be seen.
  void writeInBackground();

  // Whether a write failed, as far as is known; a run that sees true stops converting.
  bool failed() {
    Checked = Pushes;
    return Failed;
  }
  // Whether a message may be written now: false when a write that failed before the latest
  // failed() check has only now become known, so that a run writing blocks at once would have
  // stopped before this message.
  bool mayTell();
  int error() const { return WriteError; } // the system's error number of the failed write
  // The failed write found no reader at the other end of a pipe.
  bool brokenPipe() const { return WriteError == EPIPE; }
  bool flushEachLine() const { return FlushEachLine; }
  void setFlushEachLine(bool On) { FlushEachLine = On; }

private:
  class Background;

  std::size_t room() const { return static_cast<std::size_t>(Limit - Cursor); }
  void flushSome(std::size_t Incoming);
  void settle();
  void noteFailure(int Error, std::uint64_t Push);

  std::unique_ptr<char[]> Block;
  std::size_t Capacity = 0; // of Block; more than BlockSize only after a larger piece
  char* Cursor = nullptr;
  char* Limit = nullptr; // a block is full here
  int Fd = -1;
  std::string* Sink = nullptr;
  bool Failed = false;
  int WriteError = 0;
  bool FlushEachLine = false;
  std::uint64_t Pushes = 0;                // blocks sent on their way
  std::uint64_t FailedPush = 0;            // the one whose write failed
  std::uint64_t Checked = 0;               // blocks sent before the latest failed() check
  std::unique_ptr<Background> WriteBehind; // from writeInBackground() on
};

} // namespace quillon
