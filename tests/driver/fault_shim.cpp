// Preloaded into a run by tests/e2e/durable_target.sh: puts faults where a run cannot be
// made to meet them otherwise, as QUILLON_FAULT says, and logs the calls that make a target
// durable to the file QUILLON_FAULT_LOG names.
//   no-threads         no thread can be started
//   term-after-create  SIGTERM to the process right after a new file is created
//   term-after-rename  SIGTERM to the process right after a rename
#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

namespace {

bool faultIs(const char* Name) {
  const char* Fault = ::getenv("QUILLON_FAULT");
  return Fault != nullptr && std::strcmp(Fault, Name) == 0;
}

template <typename Function> Function next(const char* Name) {
  return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, Name));
}

void logCall(const char* Name) {
  const char* Log = ::getenv("QUILLON_FAULT_LOG");
  if (Log == nullptr)
    return;
  using OpenFunction = int (*)(const char*, int, ...);
  static const OpenFunction RealOpen = next<OpenFunction>("open");
  const int Fd = RealOpen(Log, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (Fd < 0)
    return;
  const int Saved = errno;
  const ssize_t Written = ::write(Fd, Name, std::strlen(Name));
  static_cast<void>(Written);
  ::close(Fd);
  errno = Saved;
}

int openWith(const char* Real, const char* Path, int Flags, va_list Rest) {
  using OpenFunction = int (*)(const char*, int, ...);
  const mode_t Mode = (Flags & O_CREAT) != 0 ? static_cast<mode_t>(va_arg(Rest, int)) : 0;
  const int Fd = next<OpenFunction>(Real)(Path, Flags, Mode);
  if (Fd >= 0 && (Flags & O_CREAT) != 0 && (Flags & O_EXCL) != 0 && faultIs("term-after-create")) {
    ::kill(::getpid(), SIGTERM);
    ::usleep(100000); // time for a thread that would take the signal to take it
  }
  return Fd;
}

} // namespace

extern "C" {

int pthread_create(pthread_t* Thread, const pthread_attr_t* Attributes, void* (*Start)(void*),
                   void* Argument) {
  if (faultIs("no-threads"))
    return EAGAIN;
  using Function = int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);
  return next<Function>("pthread_create")(Thread, Attributes, Start, Argument);
}

int open(const char* Path, int Flags, ...) {
  va_list Rest;
  va_start(Rest, Flags);
  const int Fd = openWith("open", Path, Flags, Rest);
  va_end(Rest);
  return Fd;
}

int open64(const char* Path, int Flags, ...) {
  va_list Rest;
  va_start(Rest, Flags);
  const int Fd = openWith("open64", Path, Flags, Rest);
  va_end(Rest);
  return Fd;
}

int rename(const char* From, const char* To) {
  const int Result = next<int (*)(const char*, const char*)>("rename")(From, To);
  logCall("rename\n");
  if (Result == 0 && faultIs("term-after-rename"))
    ::kill(::getpid(), SIGTERM);
  return Result;
}

int fdatasync(int Fd) {
  logCall("fdatasync\n");
  return next<int (*)(int)>("fdatasync")(Fd);
}

int fsync(int Fd) {
  logCall("fsync\n");
  return next<int (*)(int)>("fsync")(Fd);
}
}
