#pragma once

#include "base/fd_io.h"

#include <atomic>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>

namespace quillon {

// The file the document goes to. A regular file, or a name not taken yet, is not written in
// place: the document goes to a new file beside it, synced to the disk, which takes the
// target's name only once it is complete, so the target is either the old file or the whole new
// document. A failed run, and SIGINT, SIGTERM or SIGHUP, remove the new file. Anything else
// (standard output, a device, a FIFO, a terminal) is written directly, and so is an old file
// whose name the system would not let go to the new one (see InPlace).
class TargetFile {
public:
  TargetFile() = default;
  TargetFile(const TargetFile&) = delete;
  TargetFile& operator=(const TargetFile&) = delete;
  ~TargetFile() { discard(); }

  // Why an old file is written in place.
  enum class InPlace {
    No,
    ClosedFolder, // its folder takes no new file
    StickyFolder, // it belongs to another user, in a folder with the sticky bit
    MountPoint,   // something is mounted on it
  };

  // False, with nothing created, when the target cannot be opened or is a file the user may
  // not write (errno tells why).
  bool open(const std::string& Path);
  InPlace writtenInPlace() const { return WrittenInPlace; }
  // The document goes to a descriptor the program did not open (standard output).
  void useDescriptor(int Fd) {
    File = Descriptor(Fd);
    Settled = false;
  }
  int fd() const { return File.get(); }
  // Where the document is written until it is complete; empty when written directly.
  const std::string& temporaryName() const { return TemporaryPath; }
  // Completes the target: the new file gets its mode and the target's name. False on any
  // failure; the new file is then removed and an old target stays as it was.
  bool commit();
  // Everything of commit() but the new name: the file synced and closed, so that a second
  // file can be settled too before either takes its name. False as for commit().
  bool settle();
  // Gives the new file up; an old target stays as it was.
  void discard();

private:
  bool createTemporary();
  // Whether the rename over Old, the file at the target's name, is bound to be refused.
  InPlace renameRefused(const struct stat& Old) const;
  bool openInPlace(InPlace Why);
  void forgetRemoval();

  Descriptor File;
  std::string Path;
  std::string TemporaryPath;
  mode_t FinalMode = 0;
  bool KeepOwner = false;
  uid_t Owner = 0;
  gid_t Group = 0;
  InPlace WrittenInPlace = InPlace::No;
  bool Settled = false;
  std::atomic<const char*>* Removal = nullptr; // where a signal handler finds the new file
};

} // namespace quillon
