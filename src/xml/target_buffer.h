#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quillon {

// The document's one output buffer. Writers append to it; it goes out to the file
// descriptor in large blocks (or into a string, for tests). A failed write is remembered
// and every later write is dropped, so the caller checks failed() at its own pace.
class TargetBuffer {
public:
  static constexpr std::size_t BlockSize = 1 << 20;

  explicit TargetBuffer(int Fd);
  explicit TargetBuffer(std::string& Sink);
  TargetBuffer(const TargetBuffer&) = delete;
  TargetBuffer& operator=(const TargetBuffer&) = delete;

  void append(std::string_view Text) {
    if (Buffer.size() + Text.size() > BlockSize)
      flushSome(Text.size());
    Buffer.append(Text.data(), Text.size());
  }
  void append(char C) {
    if (Buffer.size() >= BlockSize)
      flushSome(1);
    Buffer.push_back(C);
  }
  void appendNumber(std::int64_t Number);
  // Ends a line; a terminal sees each line at once.
  void lineEnd() {
    append('\n');
    if (FlushEachLine)
      flush();
  }
  // Gives the string the writers append to directly; call reserveFor first so it need not grow.
  std::string& raw() { return Buffer; }
  void reserveFor(std::size_t Bytes) {
    if (Buffer.size() + Bytes > BlockSize)
      flushSome(Bytes);
  }

  bool flush();
  bool failed() const { return Failed; }
  bool flushEachLine() const { return FlushEachLine; }
  void setFlushEachLine(bool On) { FlushEachLine = On; }

private:
  void flushSome(std::size_t Incoming);

  std::string Buffer;
  int Fd = -1;
  std::string* Sink = nullptr;
  bool Failed = false;
  bool FlushEachLine = false;
};

} // namespace quillon
