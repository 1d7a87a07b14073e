#include "base/fd_io.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillon {

namespace {
// Waits until Fd is ready for Events; false when poll itself fails.
bool waitFor(int Fd, short Events) {
  pollfd Wanted{Fd, Events, 0};
  for (;;) {
    if (::poll(&Wanted, 1, -1) >= 0)
      return true; // ready, or hung up: the next call tells which
    if (errno != EINTR)
      return false;
  }
}

bool notReady() { return errno == EAGAIN || errno == EWOULDBLOCK; }
} // namespace

ssize_t readSome(int Fd, char* Buffer, std::size_t Size) {
  for (;;) {
    const ssize_t Got = ::read(Fd, Buffer, Size);
    if (Got >= 0)
      return Got;
    if (errno == EINTR)
      continue;
    if (!notReady() || !waitFor(Fd, POLLIN))
      return -1;
  }
}

bool isRegularFile(int Fd) {
  struct stat Status {};
  return ::fstat(Fd, &Status) == 0 && S_ISREG(Status.st_mode);
}

bool writeAll(int Fd, const char* Data, std::size_t Size) {
  while (Size > 0) {
    const ssize_t Written = ::write(Fd, Data, Size);
    if (Written > 0) {
      Data += Written;
      Size -= static_cast<std::size_t>(Written);
      continue;
    }
    if (Written < 0 && errno == EINTR)
      continue;
    if (Written == 0 || !notReady() || !waitFor(Fd, POLLOUT)) {
      if (Written == 0)
        errno = EIO;
      return false;
    }
  }
  return true;
}

bool Descriptor::close() {
  const int Closing = Fd;
  Fd = -1;
  return Closing <= 2 || ::close(Closing) == 0;
}

void openStandardDescriptors() {
  for (int Fd = 0; Fd <= 2; ++Fd) {
    if (::fcntl(Fd, F_GETFD) >= 0 || errno != EBADF)
      continue;
    // the lowest free number is Fd itself, as those below it are open
    const int Null = ::open("/dev/null", Fd == 0 ? O_RDONLY : O_WRONLY);
    if (Null < 0)
      return;
  }
}

} // namespace quillon
