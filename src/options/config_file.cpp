#include "options/options.h"

#include <cerrno>
#include <fcntl.h>
#include <iostream>
#include <memory>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace quillon {

namespace {

constexpr std::size_t MaxLineLength = 999;
constexpr std::size_t ReadBlockSize = 65536;
constexpr char EndOfText = 26; // Ctrl-Z

// A descriptor closed when the reading ends.
class InputFile {
public:
  explicit InputFile(const std::string& Name) : Fd(::open(Name.c_str(), O_RDONLY | O_CLOEXEC)) {}
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;
  ~InputFile() {
    if (Fd >= 0)
      ::close(Fd);
  }
  bool isOpen() const { return Fd >= 0; }
  // Bytes read, 0 at the end of the file, -1 on a read error.
  ssize_t read(char* Buffer, std::size_t Size) {
    for (;;) {
      const ssize_t Got = ::read(Fd, Buffer, Size);
      if (Got >= 0 || errno != EINTR)
        return Got;
    }
  }

private:
  int Fd;
};

// One line of the file: comments cut, blanks trimmed, then an option or nothing.
bool applyLine(std::string Line, Settings& S) {
  if (!Line.empty())
    trimBlanks(Line);
  const std::size_t Hash = Line.find('#');
  if (Hash != std::string::npos) {
    if (S.DebugMode)
      std::clog << "Debug: CFG Bemerkungsanteil gefunden -> [" << Line << "]" << std::endl
                << std::endl;
    Line.erase(Hash);
    if (!Line.empty())
      trimBlanks(Line);
    if (S.DebugMode)
      std::clog << "Debug: CFG Bemerkungsanteil entfernt -> [" << Line << "]" << std::endl
                << std::endl;
  }
  if (Line.empty()) {
    if (S.DebugMode)
      std::clog << "Debug: Sprung zur n\xE4"
                   "chsten CFG Zeile"
                << std::endl
                << std::endl;
    return true;
  }
  if (Line.front() != '-') {
    std::cerr << "Error : Illegal line in Config File : \"" << Line << "\"" << std::endl;
    return false;
  }
  if (!checkOption(Line, S)) {
    std::cerr << "Error : Illegal option in Config File : \"" << Line << "\"" << std::endl;
    return false;
  }
  if (S.DebugMode)
    std::clog << "Debug: CFG Option ist OK -> [" << Line << "]" << std::endl << std::endl;
  return true;
}

enum class ReadEnd { Done, Failed };

// Cuts the file into lines and applies each. A line too long for the reader ends the
// reading quietly, as does the end-of-text byte.
ReadEnd readLines(InputFile& File, Settings& S, bool& AllAccepted) {
  std::unique_ptr<char[]> Block(new char[ReadBlockSize]);
  std::string Line;
  Line.reserve(MaxLineLength + 2);
  auto finishLine = [&](bool HadLineFeed) {
    if (HadLineFeed && !Line.empty() && Line.back() == '\r')
      Line.pop_back();
    if (Line.size() > MaxLineLength)
      return false;
    if (!applyLine(Line, S))
      AllAccepted = false;
    Line.clear();
    return true;
  };
  for (;;) {
    const ssize_t Got = File.read(Block.get(), ReadBlockSize);
    if (Got < 0)
      return ReadEnd::Failed;
    if (Got == 0)
      break;
    for (const char* P = Block.get(); P != Block.get() + Got; ++P) {
      if (*P == EndOfText) {
        if (!Line.empty())
          finishLine(false);
        return ReadEnd::Done;
      }
      if (*P == '\n') {
        if (!finishLine(true))
          return ReadEnd::Done;
        continue;
      }
      Line.push_back(*P);
      // One byte of room for the carriage return of a line end.
      if (Line.size() > MaxLineLength + 1)
        return ReadEnd::Done;
    }
  }
  if (!Line.empty())
    finishLine(false);
  return ReadEnd::Done;
}

} // namespace

bool readConfigFile(const std::string& Name, Settings& S) {
  struct stat Status {};
  if (::stat(Name.c_str(), &Status) != 0 || Status.st_size == 0) {
    std::cerr << "Error while searching for Config file : " << Name << std::endl;
    return false;
  }
  InputFile File(Name);
  if (!File.isOpen())
    return true;
  bool AllAccepted = true;
  ReadEnd End = ReadEnd::Failed;
  try {
    End = readLines(File, S, AllAccepted);
  } catch (const std::bad_alloc&) {
    End = ReadEnd::Failed;
  }
  if (End == ReadEnd::Failed) {
    std::cerr << "Error while reading Config file : " << Name << std::endl;
    return false;
  }
  return AllAccepted;
}

} // namespace quillon
