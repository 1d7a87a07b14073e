#include "base/fd_io.h"
#include "options/options.h"

#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <memory>
#include <new>
#include <sys/stat.h>

namespace quillon {

namespace {

constexpr std::size_t MaxLineLength = 999;
constexpr std::size_t ReadBlockSize = 65536;
constexpr char EndOfText = 26; // Ctrl-Z

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

// Cuts the file into lines and applies each. A line too long is reported and skipped; the
// end-of-text byte ends the reading.
ReadEnd readLines(int Fd, const std::string& Name, Settings& S, bool& AllAccepted) {
  std::unique_ptr<char[]> Block(new char[ReadBlockSize]);
  std::string Line;
  Line.reserve(MaxLineLength + 2);
  std::int64_t LineNumber = 1;
  bool TooLong = false;
  bool AtStart = true;
  auto finishLine = [&](bool HadLineFeed) {
    if (HadLineFeed && !Line.empty() && Line.back() == '\r')
      Line.pop_back();
    if (TooLong || Line.size() > MaxLineLength) {
      std::cerr << "Error : Line " << LineNumber << " in Config File : " << Name
                << " is too long (999 bytes at most)" << std::endl;
      AllAccepted = false;
    } else if (!applyLine(Line, S)) {
      AllAccepted = false;
    }
    Line.clear();
    TooLong = false;
    ++LineNumber;
  };
  for (;;) {
    const ssize_t Got = readSome(Fd, Block.get(), ReadBlockSize);
    if (Got < 0)
      return ReadEnd::Failed;
    if (Got == 0)
      break;
    const char* P = Block.get();
    const char* const End = P + Got;
    if (AtStart) {
      AtStart = false;
      // editors that save UTF-8 often put a byte-order mark in front
      if (Got >= 3 && std::memcmp(P, "\xEF\xBB\xBF", 3) == 0)
        P += 3;
    }
    for (; P != End; ++P) {
      if (*P == EndOfText) {
        if (!Line.empty() || TooLong)
          finishLine(false);
        return ReadEnd::Done;
      }
      if (*P == '\n') {
        finishLine(true);
        continue;
      }
      // one byte of room for the carriage return of a line end; the rest of a longer line
      // is passed over, so memory stays bounded
      if (Line.size() > MaxLineLength) {
        TooLong = true;
        continue;
      }
      Line.push_back(*P);
    }
  }
  if (!Line.empty() || TooLong)
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
  const Descriptor File(::open(Name.c_str(), O_RDONLY | O_CLOEXEC));
  return readConfigDescriptor(Name, File.get(), S);
}

bool readConfigDescriptor(const std::string& Name, int Fd, Settings& S) {
  bool AllAccepted = true;
  ReadEnd End = ReadEnd::Failed;
  if (Fd >= 0) {
    try {
      End = readLines(Fd, Name, S, AllAccepted);
    } catch (const std::bad_alloc&) {
      End = ReadEnd::Failed;
    }
  }
  if (End == ReadEnd::Failed) {
    std::cerr << "Error while reading Config file : " << Name << std::endl;
    return false;
  }
  return AllAccepted;
}

} // namespace quillon
