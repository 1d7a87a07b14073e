#pragma once

// The room base/, the ground floor: descriptors that retry and wait, helper threads, the word
// kit, the line limit, exit statuses. Every room may use it; it uses no other room. This header
// holds the descriptor helpers; helper_thread.h the helper threads, byte_words.h the word kit,
// limits.h the line limit, exit_status.h the exit statuses.

#include <cstddef>
#include <sys/types.h>

namespace quillon {

// Every read and write loop of the program goes through these two. An interrupted call is
// retried, and a non-blocking descriptor that is not ready is waited for (poll), so neither
// shows up as an error.

// Reads up to Size bytes: the count, 0 at the end of the input, -1 on an error (errno tells).
ssize_t readSome(int Fd, char* Buffer, std::size_t Size);
// Writes all Size bytes; false on an error (errno tells), part of the data may be out then.
bool writeAll(int Fd, const char* Data, std::size_t Size);

// Whether Fd is open on a regular file, which no reader sees grow or waits on.
bool isRegularFile(int Fd);

// An open descriptor, closed once: by close() or at the end of its scope. The standard
// descriptors 0, 1 and 2 are only borrowed, never closed.
class Descriptor {
public:
  explicit Descriptor(int Fd = -1) : Fd(Fd) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  Descriptor(Descriptor&& Other) noexcept : Fd(Other.Fd) { Other.Fd = -1; }
  Descriptor& operator=(Descriptor&& Other) noexcept {
    if (this != &Other) {
      close();
      Fd = Other.Fd;
      Other.Fd = -1;
    }
    return *this;
  }
  ~Descriptor() { close(); }

  int get() const { return Fd; }
  bool isOpen() const { return Fd >= 0; }
  // Closes now; false when the system reports an error, such as data that never reached the
  // file.
  bool close();

private:
  int Fd;
};

// Opens /dev/null on each of the descriptors 0, 1 and 2 that is closed, so that no file the
// program opens later can take the place of a standard stream. Without /dev/null they stay
// closed: there is nothing better to put there.
void openStandardDescriptors();

} // namespace quillon
