#include "xml/target_buffer.h"

#include <cerrno>
#include <charconv>
#include <unistd.h>

namespace quillon {

TargetBuffer::TargetBuffer(int Fd) : Fd(Fd) {
  Buffer.reserve(BlockSize);
  FlushEachLine = isatty(Fd) == 1;
}

TargetBuffer::TargetBuffer(std::string& Sink) : Sink(&Sink) { Buffer.reserve(BlockSize); }

void TargetBuffer::appendNumber(std::int64_t Number) {
  char Digits[24];
  const auto Result = std::to_chars(Digits, Digits + sizeof Digits, Number);
  append(std::string_view(Digits, static_cast<std::size_t>(Result.ptr - Digits)));
}

void TargetBuffer::flushSome(std::size_t Incoming) {
  flush();
  // a piece larger than the block goes out on its own
  if (Incoming > BlockSize)
    Buffer.reserve(Incoming);
}

bool TargetBuffer::flush() {
  if (Failed) {
    Buffer.clear();
    return false;
  }
  if (Sink) {
    Sink->append(Buffer);
    Buffer.clear();
    return true;
  }
  const char* Data = Buffer.data();
  std::size_t Left = Buffer.size();
  while (Left > 0) {
    const ssize_t Written = ::write(Fd, Data, Left);
    if (Written < 0) {
      if (errno == EINTR)
        continue;
      Failed = true;
      break;
    }
    Data += Written;
    Left -= static_cast<std::size_t>(Written);
  }
  Buffer.clear();
  return !Failed;
}

} // namespace quillon
