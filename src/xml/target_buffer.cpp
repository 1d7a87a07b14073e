#include "xml/target_buffer.h"

#include "driver/fd_io.h"

#include <cerrno>
#include <charconv>
#include <unistd.h>

namespace quillon {

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

void TargetBuffer::appendNumber(std::int64_t Number) {
  char* const At = reserve(24);
  Cursor = std::to_chars(At, At + 24, Number).ptr;
}

void TargetBuffer::flushSome(std::size_t Incoming) {
  flush();
  // a piece larger than the block goes out on its own
  if (Incoming > Capacity) {
    Block.reset(new char[Incoming]);
    Capacity = Incoming;
    Cursor = Block.get();
  }
  if (Incoming > BlockSize)
    Limit = Cursor + Incoming;
}

bool TargetBuffer::flush() {
  const char* Data = Block.get();
  std::size_t Left = static_cast<std::size_t>(Cursor - Data);
  Cursor = Block.get();
  Limit = Cursor + BlockSize;
  if (Failed)
    return false;
  if (Sink) {
    Sink->append(Data, Left);
    return true;
  }
  if (!writeAll(Fd, Data, Left)) {
    Failed = true;
    WriteError = errno;
  }
  return !Failed;
}

} // namespace quillon
