#include "driver/run.h"

#include "csv/csv_parser.h"
#include "driver/block_converter.h"
#include "driver/line_reader.h"
#include "driver/report.h"
#include "driver/test_switches.h"
#include "encoding/encoding.h"
#include "options/options.h"
#include "xml/target_buffer.h"
#include "xml/xml_escape.h"
#include "xml/xml_output.h"

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <iostream>
#include <optional>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace quillon {

namespace {
constexpr int ItemBufferSize = 100000;
constexpr std::size_t LineLimit = 100000; // a logical line must stay below this

void writeError(const char* Message) { std::cerr << Message << std::endl; }

// A descriptor closed when the run ends, unless it is a standard stream.
class FileHandle {
public:
  explicit FileHandle(int Fd) : Fd(Fd) {}
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  ~FileHandle() {
    if (Fd > 2)
      ::close(Fd);
  }
  int get() const { return Fd; }
  // Closes now and tells whether everything written reached the file.
  bool close() {
    const int Closing = Fd;
    Fd = -1;
    return Closing <= 2 || ::close(Closing) == 0;
  }

private:
  int Fd;
};

bool sameFile(const std::string& Source, const std::string& Target) {
  struct stat SourceStat {};
  struct stat TargetStat {};
  return ::stat(Source.c_str(), &SourceStat) == 0 && ::stat(Target.c_str(), &TargetStat) == 0 &&
         SourceStat.st_dev == TargetStat.st_dev && SourceStat.st_ino == TargetStat.st_ino;
}

void writeOverlongWarning(std::int64_t LineCount) {
  std::cerr << "Warning : line size exceeds " << LineLimit << " characters..." << std::endl;
  std::cerr << "          ignoring line " << LineCount << " !" << std::endl;
}

// Checks the source and target names and derives the target's for "-t".
int resolveFileNames(Settings& S) {
  if (S.SourceFile.empty()) {
    writeError("Error : Source file name is missing");
    return ExitNoSourceName;
  }
  if (S.TargetFromSource) {
    if (S.SourceIsStdin) {
      writeError("Error : Source file name must differ from STDIN to use -t option");
      return ExitNoTargetName;
    }
    S.TargetFile = deriveTargetName(S.SourceFile);
  }
  if (S.TargetFile.empty()) {
    writeError("Error : Target file name is missing");
    return ExitNoTargetName;
  }
  return ExitOK;
}

// Opens the target, file or standard output; returns its descriptor, or -1 after the error line.
int openTarget(const Settings& S) {
  if (S.TargetIsStdout)
    return 1;
  if (!S.SourceIsStdin && sameFile(S.SourceFile, S.TargetFile)) {
    writeError("Error : Target file must differ from the source file...");
    return -1;
  }
  const int Fd = ::open(S.TargetFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (Fd < 0)
    writeError("Error : Target file write access denied...");
  return Fd;
}

// A prefix bound to no namespace would leave every element name undeclared.
void dropPrefixWithoutUri(Settings& S) {
  if (S.NamespacePrefix.empty() || !S.NamespaceURI.empty())
    return;
  std::cerr << "Warning : namespace prefix \""
            << S.NamespacePrefix.substr(0, S.NamespacePrefix.size() - 1)
            << "\" has no namespace URI and is not used" << std::endl;
  S.NamespacePrefix.clear();
}

// One conversion from the header on: owns the parser, the reader, the target and the counters.
class Conversion {
public:
  explicit Conversion(Settings& S)
      : S(S), Verbose(S.VerboseMode || S.DebugMode), Debug(S.DebugMode),
        Parser(ItemBufferSize, false),
        Source(S.SourceIsStdin ? 0 : ::open(S.SourceFile.c_str(), O_RDONLY | O_CLOEXEC)),
        Reader(Source.get(), testSwitches().ReadBlockSize > 0 ? testSwitches().ReadBlockSize
                                                              : LineReader::BlockSize) {}

  int run();

private:
  int readHeader();
  int countColumns();
  int startDocument();
  void nameColumns();
  void convertRecords();
  void takeLine(std::string_view Physical);
  void writeRecord();
  int finishDocument();
  bool writeFailed() const;

  Settings& S;
  const bool Verbose;
  const bool Debug;
  TCSV_Parser Parser;
  FileHandle Source;
  LineReader Reader;
  std::string Line; // the header, then the logical line being gathered
  int ColumnCount = 0;
  std::optional<FileHandle> Target;
  std::optional<TargetBuffer> Out;
  std::optional<RecordWriter> Writer;
  std::optional<BlockConverter> Fast; // ordinary records, a block at a time
  RunCounters Counters;
  std::time_t StartTime = 0;
  std::vector<std::string_view> Cells;
  bool StartOfRecord = true;
  std::int64_t RecordStartLine = 0;
  bool SurplusWarned = false;
  bool ReadError = false;
};

int Conversion::run() {
  if (!Reader.allocated()) {
    writeError("Error : Line allocation error");
    return ExitNoLineBuffer;
  }
  Line.reserve(LineLimit + 1);
  Parser.setDefaults();
  Parser.setSeparators(S.SeparatorChars);
  if (const int Status = readHeader(); Status != ExitOK)
    return Status;
  if (const int Status = countColumns(); Status != ExitOK)
    return Status;
  if (const int Status = startDocument(); Status != ExitOK)
    return Status;
  nameColumns();
  convertRecords();
  return finishDocument();
}

// Reads the header, settles the encoding and the names that depend on it.
int Conversion::readHeader() {
  if (Verbose && S.SourceIsStdin)
    std::clog << "! Waiting for file header from STDIN :" << std::endl;
  std::string_view Header;
  const LineReader::Result HeaderRead =
      Source.get() < 0 ? LineReader::Result::Error : Reader.next(Header);
  if (HeaderRead != LineReader::Result::Line)
    Header = {};
  if (Debug)
    std::clog << "Debug: Header = [" << Header << "]" << std::endl;
  if (HeaderRead != LineReader::Result::Line) {
    writeError("Error : Source file access denied...");
    return ExitSourceAccess;
  }
  const int MarkLength = chooseEncoding(Header, S);
  if (MarkLength < 0)
    return ExitBadHeader;
  dropPrefixWithoutUri(S);
  // the names in force, transcoded now, must be names in the document's encoding
  finishDocumentNames(S);
  Line.assign(Header.substr(static_cast<std::size_t>(MarkLength)));
  return ExitOK;
}

int Conversion::countColumns() {
  if (Parser.isInQuotation(Line, true)) {
    writeError("Error : quillon does not support CR/LF in header information...");
    return ExitHeaderInQuotes;
  }
  ColumnCount = Parser.getNumOfItems(Line);
  if (Verbose)
    std::clog << "Header contains " << ColumnCount << " items " << std::endl << std::endl;
  if (ColumnCount < 1) {
    writeError("Error : No Parameters found in file header ");
    return ExitBadHeader;
  }
  if (!Parser.setItemCount(ColumnCount)) {
    writeError("Error : An error occours while allocating memory ");
    return ExitNoColumnNames;
  }
  return ExitOK;
}

// The target is opened only now, so a refused run leaves no file behind.
int Conversion::startDocument() {
  const int TargetFd = openTarget(S);
  if (TargetFd < 0)
    return ExitTargetAccess;
  Target.emplace(TargetFd);
  Out.emplace(TargetFd);
  Writer.emplace(S, *Out, Counters);
  writeProlog(*Out, S);
  Out->flush();
  if (writeFailed())
    return ExitTargetAccess;
  StartTime = std::time(nullptr);
  Reader.setTarget(&*Out);
  return ExitOK;
}

void Conversion::nameColumns() {
  Parser.parseString(Line);
  std::vector<std::string> HeaderCells;
  HeaderCells.reserve(static_cast<std::size_t>(ColumnCount));
  for (int I = 0; I < ColumnCount; ++I)
    HeaderCells.push_back(Parser.getItem(I));
  Writer->prepareColumnNames(HeaderCells);
}

void Conversion::convertRecords() {
  if (Verbose) {
    std::clog << "Working :" << std::endl;
    if (S.SourceIsStdin)
      std::clog << "! Waiting for data from STDIN :" << std::endl;
  }
  if (Debug)
    std::clog << "Debug: Reading Data Lines..." << std::endl;
  Cells.assign(static_cast<std::size_t>(ColumnCount), std::string_view());
  Line.clear();
  if (testSwitches().BlockConverter && BlockConverter::suits(S, *Writer))
    Fast.emplace(S, *Writer, *Out, Counters, static_cast<std::size_t>(ColumnCount), SurplusWarned,
                 Verbose, testSwitches().Level);
  for (;;) {
    // at the start of a record, the ordinary ones that follow go a block at a time
    if (Fast && Line.empty()) {
      BlockConverter::Stop Why = BlockConverter::Stop::Exact;
      Reader.consume(Fast->convert(Reader.block(), Why));
      if (Why == BlockConverter::Stop::OutputFailed)
        return;
    }
    std::string_view Physical;
    const LineReader::Result Read = Reader.next(Physical);
    if (Read == LineReader::Result::End)
      return;
    if (Read == LineReader::Result::Error) {
      ReadError = true;
      return;
    }
    ++Counters.LineCount;
    if (Read == LineReader::Result::TooLong) {
      writeOverlongWarning(Counters.LineCount);
      Line.clear();
      StartOfRecord = true;
      continue;
    }
    takeLine(Physical);
    if (Out->failed())
      return;
  }
}

// Joins one physical line to the record being gathered, and converts the record once it is whole.
void Conversion::takeLine(std::string_view Physical) {
  if (Debug)
    std::clog << "Debug: Data Line [" << Counters.LineCount << "] => [" << Physical << "]"
              << std::endl;
  const bool NotLineEnd = Parser.isInQuotation(Physical, StartOfRecord);
  if (Debug)
    std::clog << "Debug: NotLineEnd strlen(Line) strlen(InputBuffer)" << (NotLineEnd ? 1 : 0) << " "
              << Line.size() << " " << Physical.size() << "\n";
  if (Line.size() + Physical.size() >= LineLimit) {
    writeOverlongWarning(Counters.LineCount);
    Line.clear();
    StartOfRecord = true;
    return;
  }
  if (Line.empty())
    RecordStartLine = Counters.LineCount;
  if (NotLineEnd) {
    Line.append(Physical.data(), Physical.size());
    Line.push_back('\n');
    StartOfRecord = false;
    return;
  }
  StartOfRecord = false;
  // a line that stands alone is parsed where it lies, without a copy
  std::string_view Logical = Physical;
  if (!Line.empty()) {
    Line.append(Physical.data(), Physical.size());
    Logical = Line;
  }
  if (Debug)
    std::clog << "Debug: Line = " << Logical << std::endl;
  const bool Accepted = Parser.parseString(Logical);
  Line.clear(); // a rejected line is dropped too, never glued to the next one
  if (Accepted)
    writeRecord();
}

void Conversion::writeRecord() {
  ++Counters.RecordCount;
  if (Verbose && Counters.RecordCount % 1000 == 0)
    std::clog << '.' << std::flush;
  if (Parser.droppedSurplus() && !SurplusWarned) {
    SurplusWarned = true;
    std::cerr << "Warning : record " << Counters.RecordCount
              << " holds more cells than the header; cells beyond the header's count are not "
                 "converted (later records are not reported)"
              << std::endl;
  }
  const int Parsed = Parser.getNumOfParsedItems();
  for (int I = 0; I < ColumnCount; ++I)
    Cells[static_cast<std::size_t>(I)] = I < Parsed ? Parser.itemView(I) : std::string_view();
  Writer->writeRecord(Counters.RecordCount, Cells);
}

// The end of the run: what was left unconverted, the epilog, the statistics, the close.
int Conversion::finishDocument() {
  if (writeFailed())
    return ExitTargetAccess;
  if (!Line.empty())
    std::cerr << "Warning : the record starting at line " << RecordStartLine
              << " is not converted: its quotation never closes" << std::endl;
  if (ReadError)
    writeError("Error : Source file read error, the rest of the source is not converted...");
  writeEpilog(*Out, S, Counters.RecordCount);
  if (Verbose)
    writeClosingReport(Counters, StartTime, std::clog);
  if (!Out->flush() || !Target->close()) {
    writeError("Error : Target file write access denied...");
    return ExitTargetAccess;
  }
  return ReadError ? ExitSourceAccess : ExitOK;
}

bool Conversion::writeFailed() const {
  if (!Out->failed())
    return false;
  writeError("Error : Target file write access denied...");
  return true;
}
} // namespace

std::string deriveTargetName(const std::string& SourceFile) {
  std::size_t Slash = SourceFile.rfind('/');
  if (Slash == std::string::npos)
    Slash = SourceFile.rfind('\\');
  const std::size_t Dot = SourceFile.rfind('.');
  if (Dot != std::string::npos && (Slash == std::string::npos || Dot > Slash))
    return SourceFile.substr(0, Dot) + ".xml";
  return SourceFile + ".xml";
}

int runConversion(Settings& S) {
  if (const int Status = resolveFileNames(S); Status != ExitOK)
    return Status;
  if (S.VerboseMode || S.DebugMode)
    writeSettingsReport(S, std::clog);
  Conversion Run(S);
  return Run.run();
}

int runProgram(const std::vector<std::string>& Arguments, Settings& S) {
  const int OptionsStatus = collectOptions(Arguments, S);
  if (OptionsStatus != ContinueRun)
    return OptionsStatus;
  return runConversion(S);
}

} // namespace quillon
