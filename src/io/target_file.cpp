#include "io/target_file.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <ctime>
#include <fcntl.h>
#include <iterator>
#include <pthread.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace quillon {

namespace {
// The new files a signal handler must remove (the document and its schema), or null. Written
// only while the writing thread blocks the ending signals; every helper thread blocks them
// from its start, so the handler never sees a name half set.
std::atomic<const char*> PendingRemoval[2] = {nullptr, nullptr};
static_assert(std::atomic<const char*>::is_always_lock_free);

constexpr int EndingSignals[] = {SIGHUP, SIGINT, SIGTERM};
// Room for the dot, the suffix and the random part in a file name of 255 bytes.
constexpr std::size_t MaxBaseLength = 200;

void removeAndQuit(int Signal) {
  for (const std::atomic<const char*>& Pending : PendingRemoval)
    if (const char* Name = Pending.load())
      ::unlink(Name);
  ::_exit(128 + Signal);
}

// A free place for a new file's name, or null when both are taken.
std::atomic<const char*>* freeRemovalSlot() {
  for (std::atomic<const char*>& Pending : PendingRemoval)
    if (Pending.load() == nullptr)
      return &Pending;
  return nullptr;
}

bool Caught = false; // the handler is ours for the signals not ignored from the start
bool CaughtSignal[std::size(EndingSignals)] = {};

void catchEndingSignals() {
  if (Caught)
    return;
  Caught = true;
  for (std::size_t I = 0; I < std::size(EndingSignals); ++I) {
    const int Signal = EndingSignals[I];
    struct sigaction Old {};
    // a signal ignored from the start (nohup, a background job) stays ignored
    if (::sigaction(Signal, nullptr, &Old) != 0 || Old.sa_handler == SIG_IGN)
      continue;
    struct sigaction Handler {};
    Handler.sa_handler = removeAndQuit;
    sigfillset(&Handler.sa_mask);
    CaughtSignal[I] = ::sigaction(Signal, &Handler, nullptr) == 0;
  }
}

// Once the new document has the target's name there is nothing left to take back: an ending
// signal that arrives now, or waits while this thread blocks the signals, no longer changes the
// run's end. Called while they are blocked, so one waiting is dropped.
void letEndingSignalsPass() {
  for (std::size_t I = 0; I < std::size(EndingSignals); ++I)
    if (CaughtSignal[I])
      ::signal(EndingSignals[I], SIG_IGN);
}

// Data and size of a regular file on the disk; a device, pipe or terminal is left alone.
bool syncIfRegular(int Fd) {
  if (!isRegularFile(Fd))
    return true;
  return ::fdatasync(Fd) == 0 || errno == EINVAL;
}

// The folder's entry of a file just renamed, on the disk. A failure changes nothing any more:
// the new name is in place.
void syncFolderOf(const std::string& Path) {
  const std::size_t Slash = Path.rfind('/');
  const std::string Folder = Slash == std::string::npos ? "." : Path.substr(0, Slash + 1);
  const Descriptor Opened(::open(Folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (Opened.isOpen())
    static_cast<void>(::fsync(Opened.get()));
}

// Whether something is mounted on Path itself: a file bind-mounted from the same file system
// keeps its device number.
bool isMountRoot(const std::string& Path) {
#ifdef STATX_ATTR_MOUNT_ROOT
  struct statx Status {};
  return ::statx(AT_FDCWD, Path.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS, &Status) == 0 &&
         (Status.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0 &&
         (Status.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
#else
  static_cast<void>(Path);
  return false;
#endif
}

// The folder holding Path, examined; false when it cannot be.
bool folderOf(const std::string& Path, struct stat& Folder) {
  const std::size_t Slash = Path.rfind('/');
  const std::string Name = Slash == std::string::npos ? "." : Path.substr(0, Slash + 1);
  return ::stat(Name.c_str(), &Folder) == 0;
}

// Blocks the ending signals on the calling thread while a new file and PendingRemoval disagree.
// The helper threads block them from their start, so a signal sent to the process waits too.
class EndingSignalsBlocked {
public:
  EndingSignalsBlocked() {
    sigset_t Ending;
    sigemptyset(&Ending);
    for (const int Signal : EndingSignals)
      sigaddset(&Ending, Signal);
    ::pthread_sigmask(SIG_BLOCK, &Ending, &Saved);
  }
  EndingSignalsBlocked(const EndingSignalsBlocked&) = delete;
  EndingSignalsBlocked& operator=(const EndingSignalsBlocked&) = delete;
  ~EndingSignalsBlocked() { ::pthread_sigmask(SIG_SETMASK, &Saved, nullptr); }

private:
  sigset_t Saved;
};

// Eight letters and digits, different for each call and each process.
std::string randomPart() {
  static std::uint64_t State = [] {
    timespec Now{};
    ::clock_gettime(CLOCK_REALTIME, &Now);
    return static_cast<std::uint64_t>(Now.tv_nsec) ^
           (static_cast<std::uint64_t>(Now.tv_sec) << 30) ^
           (static_cast<std::uint64_t>(::getpid()) << 42);
  }();
  State += 0x9E3779B97F4A7C15u; // splitmix64
  std::uint64_t Bits = State;
  Bits = (Bits ^ (Bits >> 30)) * 0xBF58476D1CE4E5B9u;
  Bits = (Bits ^ (Bits >> 27)) * 0x94D049BB133111EBu;
  Bits ^= Bits >> 31;
  constexpr char Digits[] = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
  std::string Part(8, '0');
  for (char& C : Part) {
    C = Digits[Bits % 62];
    Bits /= 62;
  }
  return Part;
}

// The descriptor among standard output and standard error that is this very file, or -1: a
// name such as /dev/stdout is written through the descriptor, as the shell opened it.
int standardStreamOf(const struct stat& Named) {
  for (const int Fd : {1, 2}) {
    struct stat Open {};
    if (::fstat(Fd, &Open) == 0 && Open.st_dev == Named.st_dev && Open.st_ino == Named.st_ino)
      return Fd;
  }
  return -1;
}
} // namespace

bool TargetFile::open(const std::string& Path) {
  discard();
  Settled = false;
  this->Path = Path;
  WrittenInPlace = InPlace::No;
  struct stat Named {};
  if (::stat(Path.c_str(), &Named) == 0) {
    if (!S_ISREG(Named.st_mode)) {
      File = Descriptor(::open(Path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
      return File.isOpen();
    }
    if (const int Stream = standardStreamOf(Named); Stream >= 0) {
      useDescriptor(Stream);
      return true;
    }
  }
  // The name itself, not what a link at it points to, is replaced.
  struct stat Old {};
  const bool Replacing = ::lstat(Path.c_str(), &Old) == 0 && S_ISREG(Old.st_mode);
  if (Replacing) {
    // a file the user may not write is refused, as the shell's > and editors refuse it
    if (::faccessat(AT_FDCWD, Path.c_str(), W_OK, AT_EACCESS) != 0 && errno == EACCES)
      return false;
    if (const InPlace Why = renameRefused(Old); Why != InPlace::No)
      return openInPlace(Why);
    FinalMode = Old.st_mode & 07777;
    KeepOwner = Old.st_uid != ::geteuid() || Old.st_gid != ::getegid();
    Owner = Old.st_uid;
    Group = Old.st_gid;
  } else {
    const mode_t Mask = ::umask(0);
    ::umask(Mask);
    FinalMode = 0666 & ~Mask;
    KeepOwner = false;
  }
  if (createTemporary())
    return true;
  const int Error = errno;
  if (Replacing && (Error == EACCES || Error == EPERM))
    return openInPlace(InPlace::ClosedFolder);
  errno = Error;
  return false;
}

TargetFile::InPlace TargetFile::renameRefused(const struct stat& Old) const {
  struct stat Folder {};
  if (!folderOf(Path, Folder))
    return InPlace::No;
  if (Old.st_dev != Folder.st_dev || isMountRoot(Path))
    return InPlace::MountPoint;
  const uid_t User = ::geteuid();
  if ((Folder.st_mode & S_ISVTX) != 0 && User != 0 && Old.st_uid != User && Folder.st_uid != User)
    return InPlace::StickyFolder;
  return InPlace::No;
}

bool TargetFile::openInPlace(InPlace Why) {
  File = Descriptor(::open(Path.c_str(), O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC));
  WrittenInPlace = File.isOpen() ? Why : InPlace::No;
  return File.isOpen();
}

bool TargetFile::createTemporary() {
  const std::size_t Slash = Path.rfind('/');
  const std::string Directory = Slash == std::string::npos ? "" : Path.substr(0, Slash + 1);
  const std::string Base = Path.substr(Slash == std::string::npos ? 0 : Slash + 1);
  const std::string Prefix =
      Directory + "." + Base.substr(0, std::min(Base.size(), MaxBaseLength)) + ".quillon-";
  catchEndingSignals();
  for (int Try = 0; Try < 100; ++Try) {
    std::string Candidate = Prefix + randomPart();
    const EndingSignalsBlocked Blocked;
    const int Created =
        ::open(Candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (Created >= 0) {
      File = Descriptor(Created);
      TemporaryPath = std::move(Candidate);
      Removal = freeRemovalSlot();
      if (Removal)
        Removal->store(TemporaryPath.c_str());
      return true;
    }
    if (errno != EEXIST)
      return false;
  }
  return false;
}

bool TargetFile::settle() {
  if (Settled)
    return true;
  if (TemporaryPath.empty()) {
    const bool Synced = syncIfRegular(File.get());
    const int Error = errno;
    const bool Closed = File.close();
    if (!Synced)
      errno = Error;
    Settled = Synced && Closed;
    return Settled;
  }
  if (KeepOwner && ::fchown(File.get(), Owner, Group) != 0) {
    // only the superuser gives a file away; the group alone may still be kept
    const int GroupKept = ::fchown(File.get(), static_cast<uid_t>(-1), Group);
    static_cast<void>(GroupKept);
  }
  // the whole document reaches the disk before its name does
  bool Done = ::fchmod(File.get(), FinalMode) == 0 && syncIfRegular(File.get());
  Done = File.close() && Done;
  if (!Done) {
    const int Error = errno;
    discard();
    errno = Error;
    return false;
  }
  Settled = true;
  return true;
}

bool TargetFile::commit() {
  if (!settle())
    return false;
  if (TemporaryPath.empty())
    return true;
  bool Done = false;
  {
    const EndingSignalsBlocked Blocked;
    Done = ::rename(TemporaryPath.c_str(), Path.c_str()) == 0;
    if (Done) {
      letEndingSignalsPass();
      forgetRemoval();
      TemporaryPath.clear();
    }
  }
  if (!Done) {
    const int Error = errno;
    discard();
    errno = Error;
    return false;
  }
  syncFolderOf(Path);
  return true;
}

void TargetFile::forgetRemoval() {
  if (Removal)
    Removal->store(nullptr);
  Removal = nullptr;
}

void TargetFile::discard() {
  File.close();
  if (TemporaryPath.empty())
    return;
  const EndingSignalsBlocked Blocked;
  ::unlink(TemporaryPath.c_str());
  forgetRemoval();
  TemporaryPath.clear();
}

} // namespace quillon
