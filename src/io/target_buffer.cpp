#include "io/target_buffer.h"

#include "base/fd_io.h"
#include "base/helper_thread.h"

#include <cerrno>
#include <charconv>
#include <new>
#include <unistd.h>
#include <utility>

namespace quillon {

// Writes one block at a time on a thread of its own, while the run fills the other.
class TargetBuffer::Background {
public:
  explicit Background(int Fd)
      : Fd(Fd), Spare(new (std::nothrow) char[BlockSize]), SpareCapacity(BlockSize) {
    Started = Spare && Helper.start([this] { return write(); });
  }
  Background(const Background&) = delete;
  Background& operator=(const Background&) = delete;
  ~Background() { Helper.wait(); } // the block handed over last still goes out

  // False when it got no thread or no block: the buffer then writes at once.
  bool started() const { return Started; }
  // Waits until the block handed over last is written; true when a write failed, with its
  // error number and the push it came from.
  bool wait(int& Error, std::uint64_t& Push) {
    Helper.wait();
    Error = WriteError;
    Push = FailedPush;
    return Failed;
  }
  // Hands over Size bytes of Block for writing, and gives back the block written before in
  // its place. The thread must be idle (wait()).
  void hand(std::unique_ptr<char[]>& Block, std::size_t& Capacity, std::size_t Size,
            std::uint64_t Push) {
    std::swap(Block, Spare);
    std::swap(Capacity, SpareCapacity);
    Length = Size;
    Serial = Push;
    Helper.hand();
  }

private:
  // On the helper thread.
  bool write() {
    if (!writeAll(Fd, Spare.get(), Length) && !Failed) {
      Failed = true;
      WriteError = errno;
      FailedPush = Serial;
    }
    return true;
  }

  const int Fd;
  std::unique_ptr<char[]> Spare; // the block being written, or written last
  std::size_t SpareCapacity;
  std::size_t Length = 0;
  std::uint64_t Serial = 0;
  bool Failed = false;
  int WriteError = 0;
  std::uint64_t FailedPush = 0;
  bool Started = false;
  HandOffThread Helper; // last: it ends before what it writes goes
};

TargetBuffer::TargetBuffer(int Fd) : Block(new char[BlockSize]), Capacity(BlockSize), Fd(Fd) {
  Cursor = Block.get();
  Limit = Cursor + BlockSize;
  FlushEachLine = isatty(Fd) == 1;
}

TargetBuffer::TargetBuffer(std::string& Sink)
    : Block(new char[BlockSize]), Capacity(BlockSize), Sink(&Sink) {
  Cursor = Block.get();
  Limit = Cursor + BlockSize;
}

TargetBuffer::~TargetBuffer() = default;

void TargetBuffer::appendNumber(std::int64_t Number) {
  char* const At = reserve(24);
  Cursor = std::to_chars(At, At + 24, Number).ptr;
}

void TargetBuffer::writeInBackground() {
  if (WriteBehind || Sink || FlushEachLine)
    return;
  std::unique_ptr<Background> Started(new (std::nothrow) Background(Fd));
  if (Started && Started->started())
    WriteBehind = std::move(Started);
}

void TargetBuffer::flushSome(std::size_t Incoming) {
  push();
  // a piece larger than the block goes out on its own
  if (Incoming > Capacity) {
    Block.reset(new char[Incoming]);
    Capacity = Incoming;
    Cursor = Block.get();
  }
  if (Incoming > BlockSize)
    Limit = Cursor + Incoming;
}

void TargetBuffer::push() {
  const std::size_t Size = static_cast<std::size_t>(Cursor - Block.get());
  if (WriteBehind)
    settle();
  if (Failed || Size == 0) {
    Cursor = Block.get();
    Limit = Cursor + BlockSize;
    return;
  }
  ++Pushes;
  if (WriteBehind) {
    WriteBehind->hand(Block, Capacity, Size, Pushes);
  } else if (Sink) {
    Sink->append(Block.get(), Size);
  } else if (!writeAll(Fd, Block.get(), Size)) {
    noteFailure(errno, Pushes);
  }
  Cursor = Block.get();
  Limit = Cursor + BlockSize;
}

bool TargetBuffer::flush() {
  push();
  if (WriteBehind)
    settle();
  return !Failed;
}

void TargetBuffer::settle() {
  int Error = 0;
  std::uint64_t Push = 0;
  if (WriteBehind && WriteBehind->wait(Error, Push) && !Failed)
    noteFailure(Error, Push);
}

void TargetBuffer::noteFailure(int Error, std::uint64_t Push) {
  Failed = true;
  WriteError = Error;
  FailedPush = Push;
}

bool TargetBuffer::mayTell() {
  settle();
  return !(Failed && FailedPush <= Checked);
}

} // namespace quillon
