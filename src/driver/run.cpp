#include "driver/run.h"

#include "base/byte_words.h"
#include "base/fd_io.h"
#include "csv/csv_parser.h"
#include "driver/report.h"
#include "encoding/encoding.h"
#include "fastpath/block_converter.h"
#include "fastpath/test_switches.h"
#include "io/line_reader.h"
#include "io/target_buffer.h"
#include "io/target_file.h"
#include "options/options.h"
#include "schema/column_types.h"
#include "schema/schema_writer.h"
#include "xml/xml_escape.h"
#include "xml/xml_names.h"
#include "xml/xml_output.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <iostream>
#include <iterator>
#include <optional>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace quillon {

namespace {

void writeError(const char* Message) { std::cerr << Message << std::endl; }

// The line under a refused source or target: which file, and why.
void writeReason(const std::string& Name, std::string_view Reason) {
  std::cerr << "          " << Name << ": " << Reason << std::endl;
}

// Whether the target is the source file itself, by whatever name or standard stream. Through
// standard input and output only regular files count: a terminal is often both.
bool sameFile(int SourceFd, const Settings& S) {
  struct stat SourceStat {};
  struct stat TargetStat {};
  if (::fstat(SourceFd, &SourceStat) != 0)
    return false;
  if (S.TargetIsStdout ? ::fstat(1, &TargetStat) != 0
                       : ::stat(S.TargetFile.c_str(), &TargetStat) != 0)
    return false;
  const bool BothNamed = !S.SourceIsStdin && !S.TargetIsStdout;
  return SourceStat.st_dev == TargetStat.st_dev && SourceStat.st_ino == TargetStat.st_ino &&
         (BothNamed || S_ISREG(SourceStat.st_mode));
}

// The folder and base name of Path, the folder resolved, so that two names of one file not
// created yet compare equal.
std::string plannedPath(const std::string& Path) {
  const std::size_t Slash = Path.rfind('/');
  const std::string Folder = Slash == std::string::npos ? "." : Path.substr(0, Slash + 1);
  char Resolved[PATH_MAX];
  if (::realpath(Folder.c_str(), Resolved) == nullptr)
    return Path;
  return std::string(Resolved) + "/" + Path.substr(Slash == std::string::npos ? 0 : Slash + 1);
}

// Whether the schema would be written over the source or the document: the same regular
// file, standard output twice, or one name of a file neither has created yet.
bool schemaClashes(int SourceFd, const Settings& S) {
  const bool SchemaStdout = S.SchemaFile == "-";
  if (SchemaStdout && S.TargetIsStdout)
    return true;
  const auto examine = [](const std::string& Name, bool Stdout, struct stat& Status) {
    return Stdout ? ::fstat(1, &Status) == 0 : ::stat(Name.c_str(), &Status) == 0;
  };
  const auto same = [](const struct stat& A, const struct stat& B) {
    return S_ISREG(A.st_mode) && A.st_dev == B.st_dev && A.st_ino == B.st_ino;
  };
  struct stat Schema {};
  struct stat Other {};
  const bool TargetExists = examine(S.TargetFile, S.TargetIsStdout, Other);
  if (!examine(S.SchemaFile, SchemaStdout, Schema))
    return !TargetExists && !SchemaStdout && !S.TargetIsStdout &&
           plannedPath(S.SchemaFile) == plannedPath(S.TargetFile);
  if (TargetExists && same(Other, Schema))
    return true;
  return ::fstat(SourceFd, &Other) == 0 && same(Other, Schema);
}

// A source that could not be decompressed, or that is compressed in a format not read: the
// error and its reason, and a pipe that works where there is one. False for a failed read,
// which is no fault of the data.
bool writeSourceFault(const SourceStream& Source, const Settings& S) {
  const SourceStream::Fault Fault = Source.fault();
  if (Fault == SourceStream::Fault::None || Fault == SourceStream::Fault::System)
    return false;
  const char* Format = formatName(Source.format());
  const char* Decompress = "gzip -dc";
  if (Source.format() == SourceFormat::Zstd)
    Decompress = Fault == SourceStream::Fault::WindowTooBig ? "zstd -dc --long=31" : "zstd -dc";
  else if (Source.format() == SourceFormat::Xz)
    Decompress = "xz -dc";
  else if (Source.format() == SourceFormat::Bzip2)
    Decompress = "bzip2 -dc";
  else if (Source.format() == SourceFormat::Zip)
    Decompress = "unzip -p";
  std::string Pipe = Decompress;
  if (!S.SourceIsStdin)
    Pipe.append(" ").append(S.SourceFile);
  Pipe += " | quillon -s:- ...";
  const std::string Unit = Source.format() == SourceFormat::Gzip ? "member" : "frame";
  switch (Fault) {
  case SourceStream::Fault::Refused:
    writeError("Error : Source file is compressed in a format quillon does not read...");
    writeReason(S.SourceFile, std::string(Format) + " data; decompress it on the way: " + Pipe);
    break;
  case SourceStream::Fault::NotBuilt:
    writeError("Error : Source file is compressed, and this build of quillon cannot read it...");
    writeReason(S.SourceFile, std::string(Format) + " data (built without " +
                                  (Source.format() == SourceFormat::Gzip ? "zlib" : "libzstd") +
                                  "); decompress it on the way: " + Pipe);
    break;
  case SourceStream::Fault::Damaged:
    writeError("Error : Compressed source file is damaged, the conversion is abandoned...");
    writeReason(S.SourceFile, std::string(Format) + " data is damaged: " + Source.detail());
    break;
  case SourceStream::Fault::Cut:
    writeError("Error : Compressed source file is damaged, the conversion is abandoned...");
    writeReason(S.SourceFile,
                std::string(Format) + " data ends inside a " + Unit + ": the source is cut short");
    break;
  case SourceStream::Fault::WindowTooBig:
    writeError("Error : Compressed source file needs too much memory, the conversion is "
               "abandoned...");
    writeReason(S.SourceFile, "a zstd frame needs a window larger than 128 MiB "
                              "(ZSTD_d_windowLogMax); decompress it on the way: " +
                                  Pipe);
    break;
  case SourceStream::Fault::None:
  case SourceStream::Fault::System:
    break;
  }
  return true;
}

void writeOverlongWarning(TargetBuffer& Out, std::int64_t LineCount) {
  if (!Out.mayTell())
    return;
  std::cerr << "Warning : line size exceeds " << LineLimit << " characters..." << std::endl;
  std::cerr << "          ignoring line " << LineCount << " !" << std::endl;
}

// Why an old target is overwritten instead of replaced, for the verbose report.
void tellInPlace(TargetFile::InPlace Why) {
  switch (Why) {
  case TargetFile::InPlace::No:
    return;
  case TargetFile::InPlace::ClosedFolder:
    std::clog << "-> the target is written in place: its folder takes no new file" << std::endl;
    return;
  case TargetFile::InPlace::StickyFolder:
    std::clog << "-> the target is written in place: it belongs to another user in a folder "
                 "with the sticky bit, which would refuse to replace it"
              << std::endl;
    return;
  case TargetFile::InPlace::MountPoint:
    std::clog << "-> the target is written in place: something is mounted on it, which cannot "
                 "be replaced"
              << std::endl;
    return;
  }
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

// Opens the target, file or standard output; false after the error line.
bool openTarget(const Settings& S, int SourceFd, TargetFile& Target) {
  if (sameFile(SourceFd, S)) {
    writeError("Error : Target file must differ from the source file...");
    return false;
  }
  if (!S.SchemaFile.empty() && schemaClashes(SourceFd, S)) {
    writeError("Error : Schema file must differ from the source and the target file...");
    return false;
  }
  if (S.TargetIsStdout) {
    Target.useDescriptor(1);
    return true;
  }
  if (!Target.open(S.TargetFile)) {
    const int Error = errno;
    writeError("Error : Target file write access denied...");
    writeReason(S.TargetFile, std::strerror(Error));
    return false;
  }
  return true;
}

// The schema file could not be opened, written or given its name: errno tells why.
void writeSchemaFailure(const Settings& S) {
  const int Error = errno;
  writeError("Error : Schema file write access denied...");
  writeReason(S.SchemaFile == "-" ? "STDOUT" : S.SchemaFile, std::strerror(Error));
}

// Opens the file the schema goes to at the end; false after the error line.
bool openSchema(const Settings& S, TargetFile& Schema) {
  if (S.SchemaFile == "-") {
    Schema.useDescriptor(1);
    return true;
  }
  if (Schema.open(S.SchemaFile))
    return true;
  writeSchemaFailure(S);
  return false;
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
        Parser(static_cast<int>(LineLimit), false),
        Source(S.SourceIsStdin ? 0 : ::open(S.SourceFile.c_str(), O_RDONLY | O_CLOEXEC)),
        SourceOpenError(Source.get() < 0 ? errno : 0),
        Reader(Source.get(), testSwitches().ReadBlockSize > 0 ? testSwitches().ReadBlockSize
                                                              : LineReader::BlockSize) {}

  int run();

private:
  int readHeader();
  void reportSourceReading() const;
  int settleEncoding(std::string_view& Header);
  bool judgeSource(std::string_view& Text, std::size_t High, std::int64_t LineNumber);
  void judgeLine(std::string_view& Physical);
  void startFastPath();
  void writeHeaderReason(LineReader::Result HeaderRead) const;
  void hintAtSeparator() const;
  int countColumns();
  int startDocument();
  void nameColumns();
  void convertRecords();
  void takeLine(std::string_view Physical);
  void writeRecord();
  DocumentNames documentNames() const;
  bool writeSchema();
  int finishDocument();
  int targetFailure();

  Settings& S;
  const bool Verbose;
  const bool Debug;
  TCSV_Parser Parser;
  Descriptor Source;
  const int SourceOpenError;
  LineReader Reader;
  std::string Line; // the header, then the logical line being gathered
  int ColumnCount = 0;
  TargetFile Target;
  std::optional<TargetBuffer> Out;
  std::optional<RecordWriter> Writer;
  std::optional<BlockConverter> Fast; // ordinary records, a block at a time
  TargetFile Schema;
  std::optional<TypeLearner> Types; // with -xsdgen: each column's type, learnt from its cells
  RunCounters Counters;
  std::time_t StartTime = 0;
  std::vector<std::string_view> Cells;
  bool StartOfRecord = true;
  std::int64_t RecordStartLine = 0;
  bool SurplusWarned = false;
  bool JoinWarned = false;
  bool ReadError = false;
  bool Undecided = false; // an unmarked source read as the first byte from 0x80 up says
};

int Conversion::run() {
  if (!Reader.allocated()) {
    writeError("Error : Line allocation error");
    return ExitNoLineBuffer;
  }
  Line.reserve(LineLimit + 1);
  Parser.setDefaults();
  Parser.setSeparators(S.SeparatorChars);
  Parser.setRfc4180(S.Rfc4180);
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

void Conversion::writeHeaderReason(LineReader::Result HeaderRead) const {
  if (Source.get() < 0)
    writeReason(S.SourceFile, std::strerror(SourceOpenError));
  else if (HeaderRead == LineReader::Result::Error)
    writeReason(S.SourceFile, std::strerror(Reader.error()));
  else if (HeaderRead == LineReader::Result::TooLong)
    writeReason(S.SourceFile, "the header line is longer than " +
                                  std::to_string(LineReader::MaxLineLength) + " bytes");
  else if (S.SourceIsStdin)
    writeReason(S.SourceFile, "standard input is empty (no header line)");
  else
    writeReason(S.SourceFile, "the file is empty (no header line)");
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
  if (HeaderRead == LineReader::Result::Error && writeSourceFault(Reader.source(), S))
    return ExitSourceAccess;
  if (HeaderRead != LineReader::Result::Line) {
    writeError("Error : Source file access denied...");
    writeHeaderReason(HeaderRead);
    return ExitSourceAccess;
  }
  if (Verbose)
    reportSourceReading();
  const int MarkLength = settleEncoding(Header);
  if (MarkLength < 0)
    return ExitBadHeader;
  dropPrefixWithoutUri(S);
  // the names in force, transcoded now, must be names in the document's encoding
  finishDocumentNames(S);
  Line.assign(Header.substr(static_cast<std::size_t>(MarkLength)));
  return ExitOK;
}

// How the source is read, for the verbose report: without a read-ahead thread, decompressed,
// with carriage returns for line ends.
void Conversion::reportSourceReading() const {
  if (Reader.readAheadRefused())
    std::clog << "-> no thread could be started: the source is read without reading ahead"
              << std::endl;
  if (Reader.source().format() != SourceFormat::Plain)
    std::clog << "! Source is " << formatName(Reader.source().format())
              << " data: it is decompressed on the way" << std::endl;
  if (Reader.crLineEnds())
    std::clog << "! Lines end with a carriage return alone: each one ends a line" << std::endl;
}

// The encoding choice on the header as read: a mark, the option, or (when neither decides) the
// header itself where it holds a byte from 0x80 up; otherwise the decision waits for the first
// record that holds one. Returns the mark's length, or -1 for a refused encoding.
int Conversion::settleEncoding(std::string_view& Header) {
  std::string MarkName;
  const bool Unmarked = getBOMEncoding(Header, MarkName) == 1;
  bool UnmarkedUtf8 = S.SourceEncoding == EncodingUtf8;
  Undecided = Unmarked && S.SourceEncoding == EncodingAuto;
  if (const std::size_t High = findHighByte(Header.data(), Header.size());
      Undecided && High < Header.size())
    UnmarkedUtf8 = judgeSource(Header, High, 0);
  return chooseEncoding(Header, S, UnmarkedUtf8);
}

// Judges an unmarked source at its first byte from 0x80 up, at High in Text, a line of the
// source (LineNumber, 0 for the header), which may move: Text is set to it again.
bool Conversion::judgeSource(std::string_view& Text, std::size_t High, std::int64_t LineNumber) {
  const std::string_view Window = Reader.reach(Text.data() + High, LineReader::MaxReach);
  Text = std::string_view(Window.data() - High, Text.size());
  // a window cut short by the source's end is judged whole
  const bool Utf8 = readsAsUtf8(Window, Window.size() == LineReader::MaxReach);
  Undecided = false;
  if (Verbose) {
    if (Counters.RecordCount >= 1000)
      std::clog << std::endl; // ends the line of progress dots
    std::clog << "-> " << (Utf8 ? EncodingUtf8 : EncodingIso) << " data found ";
    if (LineNumber == 0)
      std::clog << "in the header" << std::endl;
    else
      std::clog << "at line " << LineNumber << std::endl;
  }
  return Utf8;
}

// A line that holds the source's first byte from 0x80 up decides how the records are read from
// it on; nothing of it is converted yet.
void Conversion::judgeLine(std::string_view& Physical) {
  const std::size_t High = findHighByte(Physical.data(), Physical.size());
  if (High == Physical.size())
    return;
  setSourceReading(S, judgeSource(Physical, High, Counters.LineCount));
  Writer->chooseCoding();
  if (Fast)
    startFastPath();
}

void Conversion::startFastPath() {
  Fast.emplace(S, *Writer, *Out, Counters, static_cast<std::size_t>(ColumnCount), SurplusWarned,
               Verbose, testSwitches().Level, Undecided);
  if (Types)
    Fast->learnTypes(&*Types);
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
  if (ColumnCount == 1)
    hintAtSeparator();
  if (!Parser.setItemCount(ColumnCount)) {
    writeError("Error : An error occours while allocating memory ");
    return ExitNoColumnNames;
  }
  return ExitOK;
}

// A header of one column that holds a common separator other than the one in force was
// most likely meant to be split at it.
void Conversion::hintAtSeparator() const {
  struct Candidate {
    char Byte;
    const char* Name;
    const char* Option;
  };
  constexpr Candidate Candidates[] = {
      {',', "a comma", "-sep:,"},
      {'\t', "a tab", "-sep::9:"},
      {'|', "a vertical bar", "-sep:|"},
      {';', "a semicolon", "-sep:;"},
  };
  std::size_t Counts[std::size(Candidates)] = {};
  bool Quoted = false;
  for (const char Byte : Line) {
    Quoted = Quoted != (Byte == '"');
    for (std::size_t I = 0; I < std::size(Candidates) && !Quoted; ++I)
      Counts[I] += Byte == Candidates[I].Byte;
  }
  const Candidate* Best = nullptr;
  std::size_t BestCount = 0;
  for (std::size_t I = 0; I < std::size(Candidates); ++I)
    if (Counts[I] > BestCount && S.SeparatorChars.find(Candidates[I].Byte) == std::string::npos) {
      Best = &Candidates[I];
      BestCount = Counts[I];
    }
  if (Best)
    std::cerr << "Warning : the header is one column: it holds no separator in force but "
              << Best->Name << "; " << Best->Option << " splits at it" << std::endl;
}

// The target is opened only now, so a refused run leaves no file behind.
int Conversion::startDocument() {
  if (!openTarget(S, Source.get(), Target))
    return ExitTargetAccess;
  if (!S.SchemaFile.empty()) {
    if (!openSchema(S, Schema))
      return ExitTargetAccess;
    Types.emplace(static_cast<std::size_t>(ColumnCount));
  }
  if (Verbose)
    tellInPlace(Target.writtenInPlace());
  Out.emplace(Target.fd());
  Writer.emplace(S, *Out, Counters);
  writeProlog(*Out, S);
  Out->flush();
  if (const int Status = targetFailure(); Status != ExitOK)
    return Status;
  StartTime = std::time(nullptr);
  Reader.setTarget(&*Out);
  // Into a file, blocks are written while the next ones are converted. Progress and debug
  // lines stay in step with a target written at once.
  if (!Verbose && !Debug && isRegularFile(Target.fd()))
    Out->writeInBackground();
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
    startFastPath();
  for (;;) {
    // at the start of a record, the ordinary ones that follow go a block at a time
    if (Fast && Line.empty()) {
      BlockConverter::Stop Why = BlockConverter::Stop::Exact;
      Reader.consume(Fast->convert(Reader.block(), Reader.refills(), Why));
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
      writeOverlongWarning(*Out, Counters.LineCount);
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
  if (Undecided)
    judgeLine(Physical);
  if (Debug)
    std::clog << "Debug: Data Line [" << Counters.LineCount << "] => [" << Physical << "]"
              << std::endl;
  const bool NotLineEnd = Parser.isInQuotation(Physical, StartOfRecord);
  if (Debug)
    std::clog << "Debug: NotLineEnd strlen(Line) strlen(InputBuffer)" << (NotLineEnd ? 1 : 0) << " "
              << Line.size() << " " << Physical.size() << "\n";
  if (Line.size() + Physical.size() >= LineLimit) {
    writeOverlongWarning(*Out, Counters.LineCount);
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
  // told once the record is whole, before it is written
  if (Accepted && !Line.empty() && !JoinWarned && Parser.joinedByInnerQuote(Logical) &&
      Out->mayTell()) {
    JoinWarned = true;
    std::cerr << "Warning : the record starting at line " << RecordStartLine
              << " spans several lines: a quotation mark inside a cell joined the following "
                 "lines to it; -rfc4180 keeps such marks as they stand (later cases are not "
                 "reported)"
              << std::endl;
  }
  Line.clear(); // a rejected (empty) line is dropped too, never glued to the next one
  if (Accepted)
    writeRecord();
}

void Conversion::writeRecord() {
  ++Counters.RecordCount;
  if (Verbose && Counters.RecordCount % 1000 == 0)
    std::clog << '.' << std::flush;
  if (Parser.droppedSurplus() && !SurplusWarned && Out->mayTell()) {
    SurplusWarned = true;
    std::cerr << "Warning : record " << Counters.RecordCount
              << " holds more cells than the header; cells beyond the header's count are not "
                 "converted (later records are not reported)"
              << std::endl;
  }
  const int Parsed = Parser.getNumOfParsedItems();
  for (int I = 0; I < ColumnCount; ++I)
    Cells[static_cast<std::size_t>(I)] = I < Parsed ? Parser.itemView(I) : std::string_view();
  if (Types)
    Types->noteRecord(Cells);
  Writer->writeRecord(Counters.RecordCount, Cells);
}

// The end of the run: what was left unconverted, the epilog, the statistics, and the target
// completed, a new file taking the target's name only now.
int Conversion::finishDocument() {
  if (const int Status = targetFailure(); Status != ExitOK)
    return Status;
  // a block still being written that fails is known before anything more is told, as it
  // would be had it been written at once
  if (!Out->mayTell())
    return targetFailure();
  // damaged data makes no document: the target is not replaced, and one on standard output
  // is left without its end
  if (ReadError && writeSourceFault(Reader.source(), S)) {
    Out->flush();
    return ExitSourceAccess;
  }
  if (!Line.empty())
    std::cerr << "Warning : the record starting at line " << RecordStartLine
              << " is not converted: its quotation never closes" << std::endl;
  if (ReadError)
    writeError("Error : Source file read error, the rest of the source is not converted...");
  const LineReader::Change Change = ReadError ? LineReader::Change::None : Reader.sourceChange();
  if (Change == LineReader::Change::Truncated)
    writeError("Error : Source file was truncated while it was read, the last records converted "
               "may be incomplete...");
  if (Change == LineReader::Change::Grown)
    writeError("Warning : Source file grew while it was read, the data added during the run is "
               "not converted...");
  writeEpilog(*Out, S, Counters.RecordCount);
  Out->flush();
  if (const int Status = targetFailure(); Status != ExitOK)
    return Status;
  if (Verbose) {
    writeClosingReport(Counters, StartTime, std::clog);
    if (Types)
      writeTypeReport(S, documentNames(), Types->columns(), std::clog);
  }
  const int Status =
      ReadError || Change == LineReader::Change::Truncated ? ExitSourceAccess : ExitOK;
  // the schema of a whole document only; both are on the disk before either takes its name
  const bool WithSchema = Types && Status == ExitOK;
  if (WithSchema && !writeSchema())
    return ExitTargetAccess;
  if (!Target.commit()) {
    const int Error = errno;
    writeError("Error : Target file write access denied...");
    writeReason(S.TargetFile, std::strerror(Error));
    return ExitTargetAccess;
  }
  if (WithSchema && !Schema.commit()) {
    writeSchemaFailure(S);
    return ExitTargetAccess;
  }
  return Status;
}

DocumentNames Conversion::documentNames() const {
  DocumentNames Names;
  Names.Columns = Writer->columnNames();
  Names.NumberAttribute = Writer->numberName();
  Names.ValueAttribute = Writer->valueName();
  rootAttributeNames(S, Names.SourceAttribute, Names.TimeAttribute);
  Names.DateTime = documentDateTime(S);
  Names.NameCoding = Writer->nameCoding();
  Names.OutsideCoding = outsideTextCoding(S);
  return Names;
}

// The schema, written and synced; false after the error lines.
bool Conversion::writeSchema() {
  const std::string Text = makeSchema(S, documentNames(), Types->columns());
  if (writeAll(Schema.fd(), Text.data(), Text.size()) && Schema.settle())
    return true;
  writeSchemaFailure(S);
  return false;
}

// The status a failed write on the target ends the run with. A reader that went away ends it
// quietly, as SIGPIPE would have; anything else is reported.
int Conversion::targetFailure() {
  if (!Out->failed())
    return ExitOK;
  if (Out->brokenPipe())
    return ExitBrokenPipe;
  writeError("Error : Target file write access denied...");
  writeReason(S.TargetFile, std::strerror(Out->error()));
  return ExitTargetAccess;
}
} // namespace

bool readFixedDocumentTime(const char* Value, Settings& S) {
  if (Value == nullptr)
    return true;
  // seconds up to the last one of the year 9999, which the attribute's four-digit year holds
  constexpr std::int64_t Latest = 253402300799;
  const std::string_view Text(Value);
  std::int64_t Seconds = 0;
  bool Number = !Text.empty();
  for (std::size_t I = 0; Number && I < Text.size() && Seconds <= Latest; ++I) {
    Number = Text[I] >= '0' && Text[I] <= '9';
    Seconds = Seconds * 10 + (Text[I] - '0');
  }
  if (!Number || Seconds > Latest) {
    std::cerr << "Error : SOURCE_DATE_EPOCH=\"" << Text
              << "\" is no number of seconds since 1970-01-01 00:00:00 UTC (0 to " << Latest << ")"
              << std::endl;
    return false;
  }
  S.FixedDocumentTime = Seconds;
  return true;
}

std::string deriveTargetName(std::string SourceFile) {
  // data.csv.gz is data.csv compressed: its document is data.xml
  for (const std::string_view Compressed : {".gz", ".zst"}) {
    const std::size_t Size = SourceFile.size();
    if (Size > Compressed.size() &&
        SourceFile.compare(Size - Compressed.size(), Compressed.size(), Compressed) == 0) {
      SourceFile.resize(Size - Compressed.size());
      break;
    }
  }
  std::size_t Slash = SourceFile.rfind('/');
  if (Slash == std::string::npos)
    Slash = SourceFile.rfind('\\');
  const std::size_t Dot = SourceFile.rfind('.');
  if (Dot != std::string::npos && (Slash == std::string::npos || Dot > Slash))
    SourceFile.resize(Dot);
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
  if (!readFixedDocumentTime(std::getenv("SOURCE_DATE_EPOCH"), S))
    return ExitBadOptions;
  return runConversion(S);
}

} // namespace quillon
