#include "fastpath/block_converter.h"

#include "base/byte_words.h"
#include "fastpath/test_switches.h"
#include "io/line_reader.h"
#include "xml/xml_escape.h"

#include <algorithm>
#include <cstring>
#include <iostream>

namespace quillon {

// A record is walked with the masks of all its windows at hand.
static_assert(StructureScan::KeptWindows * 64 >= LineLimit + 64,
              "the scan must keep the windows of a record of the longest line");

namespace {

// The bits of window W (Bits) that mark bytes inside [From, End).
inline std::uint64_t within(std::uint64_t Bits, std::size_t W, std::size_t From, std::size_t End) {
  if (W == From / 64)
    Bits &= ~0ULL << (From % 64);
  if (W == (End - 1) / 64)
    Bits &= ~0ULL >> (63 - (End - 1) % 64);
  return Bits;
}

constexpr std::size_t FirstBatch = 2; // windows: a record that needs the exact path wastes little
constexpr unsigned MostRefused = 64;  // offers skipped at most after refusals in a row

// The distinct separator bytes, as the parser takes them: an empty setting keeps its default.
std::string separatorSet(const Settings& S) {
  const std::string Given = S.SeparatorChars.empty() ? std::string(";,") : S.SeparatorChars;
  std::string Distinct;
  for (const char C : Given)
    if (Distinct.find(C) == std::string::npos)
      Distinct.push_back(C);
  return Distinct;
}

// Copies Size bytes: the first 32 with one move, whatever their number, the rest 16 at a
// time; both sides have room for the overshoot (the block's padding, the record's room).
inline char* copyCell(char* To, const char* From, std::size_t Size) {
  std::memcpy(To, From, 32);
  for (std::size_t Done = 32; Done < Size; Done += 16)
    std::memcpy(To + Done, From + Done, 16);
  return To + Size;
}

// Copies a piece, a short one with one move of PieceSlack bytes.
inline char* putText(char* To, const char* From, std::size_t Size) {
  if (Size <= RecordWriter::PieceSlack)
    std::memcpy(To, From, RecordWriter::PieceSlack);
  else
    std::memcpy(To, From, Size);
  return To + Size;
}

} // namespace

TestSwitches& testSwitches() {
  static TestSwitches Switches;
  return Switches;
}

bool BlockConverter::suits(const Settings& S, const RecordWriter& Writer) {
  if (S.DebugMode || !Writer.folded())
    return false;
  const std::string Separators = separatorSet(S);
  return Separators.size() <= StructureScan::MaxSeparators &&
         Separators.find_first_of(std::string_view("\"\r\n", 3)) == std::string::npos;
}

BlockConverter::BlockConverter(const Settings& S, RecordWriter& Writer, TargetBuffer& Out,
                               RunCounters& Counters, std::size_t ColumnCount,
                               const bool& SurplusWarned, bool Verbose, ScanLevel Level,
                               bool Undecided)
    : Writer(Writer), Out(Out), Counters(Counters), ColumnCount(ColumnCount),
      SurplusWarned(SurplusWarned), Verbose(Verbose), SuppressEmpty(Writer.suppressEmpty()),
      Rfc4180(S.Rfc4180), Undecided(Undecided),
      // bytes from 0xA0 up are written as they are only into an ISO-8859-1 document from a
      // single-byte source
      Scan(separatorSet(S), !Undecided && !isUtf8Document(S) && !S.ConvertDataU2I, Level),
      Cells(ColumnCount), Undoubled(new char[LineLimit]) {
  formBytes();
  for (const RecordWriter::ItemPieces& Item : Writer.itemPieces()) {
    PiecesRoom += std::max(RecordWriter::itemRoom(Item, 0), RecordWriter::emptyRoom(Item));
    Texts.push_back({Writer.pieceText(Item.Before), Writer.pieceText(Item.After),
                     Writer.pieceText(Item.Empty), Item.Before.Size, Item.After.Size,
                     Item.Empty.Size});
  }
}

// In a single-byte coding each byte has a form of its own, which the writer's text writer
// gives; '&' has it unless it starts a reference that is kept.
void BlockConverter::formBytes() {
  const TextCoding Coding = Writer.textCoding();
  FormsUsed = Coding == TextCoding::Iso || Coding == TextCoding::IsoToUtf8;
  for (std::size_t Byte = 0; FormsUsed && Byte < Forms.size(); ++Byte) {
    const char Text = static_cast<char>(Byte);
    char Form[escapedTextRoom(1)];
    std::int64_t Converted = 0;
    bool Replaced = false;
    const char* const End = writeEscapedText(Form, &Text, &Text + 1, Coding,
                                             Writer.valueInAttribute(), Converted, Replaced);
    ByteForm& F = Forms[Byte];
    F.Length = static_cast<unsigned char>(std::min<std::ptrdiff_t>(End - Form, sizeof F.Bytes));
    std::memcpy(F.Bytes, Form, F.Length);
    F.Converted = Converted > 0;
    F.Replaced = Replaced;
    // while the reading is undecided, a byte from 0x80 up stops the record: see putCareCell
    F.Stops = Undecided && Byte >= 0x80;
  }
}

BlockConverter::~BlockConverter() { testSwitches().BlockRecords += Records; }

bool BlockConverter::nextStructural(std::uint32_t& Found) {
  while (Next == Last) {
    if (Scan.finished())
      return false;
    std::size_t Count = 0;
    Next = Scan.scan(Batch, Count);
    Last = Next + Count;
    Batch = std::min(2 * Batch, StructureScan::MaxBatch);
  }
  Found = *Next++;
  return true;
}

std::size_t BlockConverter::convert(std::string_view Block, Stop& Why) {
  Why = Stop::Exact;
  if (Backoff > 0) {
    --Backoff;
    return 0;
  }
  if (Block.empty()) { // nothing read yet, or a line being skipped
    Why = Stop::NeedInput;
    return 0;
  }
  Data = Block.data();
  const std::size_t Size = std::min<std::size_t>(Block.size(), StructureScan::OffsetBits);
  Scan.start(Data, Size);
  Next = Last = nullptr;
  Batch = FirstBatch;
  std::size_t Start = 0;
  bool Converted = false;
  for (;;) {
    // the line the record must fit on, shorter than the line limit
    const std::size_t Left = Size - Start;
    const void* const Feed =
        std::memchr(Data + Start, '\n', std::min(Left, LineReader::MaxLineLength));
    Step Taken = Step::NeedInput;
    std::size_t Length = 0;
    if (Feed) {
      Length = static_cast<std::size_t>(static_cast<const char*>(Feed) - (Data + Start)) + 1;
      Taken = Out.fits(Writer.recordRoom() + PiecesRoom + escapedTextRoom(Length))
                  ? writeDirectly(Start, Start + Length - 1)
                  : (Types ? takeRecord<false, true>(Start, Start + Length - 1, nullptr)
                           : takeRecord<false, false>(Start, Start + Length - 1, nullptr));
    } else if (Left >= LineReader::MaxLineLength) {
      Taken = Step::Exact; // too long for one line
    }
    if (Taken == Step::NeedInput) {
      Why = Stop::NeedInput;
      break;
    }
    if (Taken == Step::Exact) {
      // records that keep needing the exact path are not offered for a while
      if (!Converted) {
        Refused = std::min(2 * Refused + 1, MostRefused);
        Backoff = Refused;
      }
      break;
    }
    Refused = 0;
    Converted = true;
    ++Counters.LineCount;
    Start += Length;
    if (Taken == Step::Record)
      writeRecord(Length);
    if (Out.failed()) {
      Why = Stop::OutputFailed;
      break;
    }
  }
  return Start;
}

// The record that begins at Start, written straight into the target's room, which holds its
// worst case; a record that goes the exact way after all leaves no trace.
BlockConverter::Step BlockConverter::writeDirectly(std::size_t Start, std::size_t Feed) {
  const RunCounters Before = Counters;
  const std::int64_t Number = Counters.RecordCount + 1;
  char* const Mark = Out.reserve(0);
  Writer.writeRecordStart(Number);
  Replaced = false;
  Foreign = false;
  Written = 0;
  char* To = Out.reserve(0);
  const Step Taken =
      Types ? takeRecord<true, true>(Start, Feed, &To) : takeRecord<true, false>(Start, Feed, &To);
  if (Taken != Step::Record) {
    Out.commit(Mark);
    Counters = Before;
    return Taken;
  }
  Out.commit(To);
  countRecord(Number); // its progress dot comes before its warnings, as on the exact path
  if (Replaced || Foreign)
    Writer.noteCells(Replaced, Foreign);
  Writer.writeRecordEnd();
  Counters.ElementCount += Written;
  return Step::Written;
}

// Finds the record that begins at Start, whose line ends with the line feed at Feed, and judges
// its cells: written at *To (Direct), or kept in Cells for writeRecord.
template <bool Direct, bool Learn>
BlockConverter::Step BlockConverter::takeRecord(std::size_t Start, std::size_t Feed, char** To) {
  std::size_t Column = 0; // cells found so far
  std::size_t From = Start;
  UndoubledSize = 0;
  MetHigh = false;
  const auto take = [ this, To ](std::size_t I, const Cell& C) __attribute__((always_inline)) {
    // the one place each cell's bounds are final; a cell left with doubled marks is text
    if constexpr (Learn) {
      if (C.What == Kind::Undoubled)
        Types->note(I, C.Value, C.Size);
      else // on the block, whose padding can be read
        Types->noteWithSlack(I, C.Value, C.Size);
    }
    if constexpr (Direct) {
      *To = putCell(*To, I, C);
    } else {
      Cells[I] = C;
      MetHigh = MetHigh || (Undecided && (C.What == Kind::Care || C.What == Kind::Doubled) &&
                            findHighByte(C.Value, C.Size) < C.Size);
    }
  };
  std::uint32_t Found = 0;
  std::size_t At = 0;
  bool AtFeed = false;
  while (Column < ColumnCount) {
    if (!nextStructural(Found))
      return Step::NeedInput;
    At = Found & StructureScan::OffsetBits;
    Cell C{Data + From, At - From, At > From ? Kind::Clean : Kind::Empty};
    if (Found & StructureScan::Special) { // a line feed, or a cell that needs a closer look
      if (At == Feed) {
        AtFeed = true;
        break;
      }
      if (!judgeCell(From, At, C, false))
        return Step::Exact;
    }
    take(Column, C);
    From = At + 1;
    ++Column;
  }
  // beyond the last column: cells the parser drops, which must be empty until it has warned
  const std::size_t SurplusFrom = From;
  std::size_t LastSeparator = From - 1;
  bool Surplus = false; // bytes other than separators after the last column
  while (!AtFeed) {
    if (!nextStructural(Found))
      return Step::NeedInput;
    At = Found & StructureScan::OffsetBits;
    if (At == Feed)
      break;
    if (At != LastSeparator + 1)
      Surplus = true;
    if (Undecided && (Found & StructureScan::Special) && holdsHighByte(From, At))
      return Step::Exact;
    LastSeparator = At;
    From = At + 1;
    ++Column;
  }
  if (Scan.quotedFeed(At))
    return Step::Exact; // a line break inside quotation: the record goes on
  // The cells taken hold no mark or are quoted whole, read alike by both dialects; the dropped
  // cells are not judged, and a mark there may open a quotation the scan's count misses.
  if (Rfc4180 && !AtFeed && Scan.anyQuote(SurplusFrom, At))
    return Step::Exact;
  std::size_t End = At; // a carriage return before the line feed is no part of the line
  if (End > Start && Data[End - 1] == '\r')
    --End;
  // the parser takes no record from an empty line
  if (End == Start)
    return Step::Rejected;
  if (Column >= ColumnCount) {
    if (End > LastSeparator + 1)
      Surplus = true;
    if (Undecided && Scan.anyCare(LastSeparator + 1, End) && holdsHighByte(LastSeparator + 1, End))
      return Step::Exact;
    if (Surplus && !SurplusWarned)
      return Step::Exact; // the parser warns about the first record whose surplus holds data
  } else {
    // a line feed is flagged whatever its cell holds: most last cells need no closer look
    Cell C{Data + From, End - From, End > From ? Kind::Clean : Kind::Empty};
    if (Scan.anyCare(From, End) && !judgeCell(From, End, C, true))
      return Step::Exact;
    take(Column, C);
    for (std::size_t I = Column + 1; I < ColumnCount; ++I)
      take(I, Cell{nullptr, 0, Kind::Empty});
  }
  // the line by line way judges the source's first byte from 0x80 up
  return MetHigh ? Step::Exact : Step::Record;
}
// The value of the cell [From, To) as the parser gives it, and how it is written; false when
// the cell is no plain or well-quoted one. Unless Unknown, the scan found a byte needing care
// in it.
bool BlockConverter::judgeCell(std::size_t From, std::size_t To, Cell& Out, bool Unknown) {
  bool Look = Unknown; // whether a byte needing care may be missing after all
  if (Scan.anyQuote(From, To)) {
    // the quotation marks around the value go, and nothing else may be a lone mark
    if (To - From < 2 || Data[From] != '"' || Data[To - 1] != '"')
      return false;
    ++From;
    --To;
    Look = true;
    if (Scan.anyQuote(From, To))
      return FormsUsed ? judgeDoubled(From, To, Out) : undoubleCell(From, To, Out);
  }
  Kind What = Kind::Care;
  if (To == From)
    What = Kind::Empty;
  else if (Look && !Scan.anyCare(From, To))
    What = Kind::Clean;
  Out = Cell{Data + From, To - From, What};
  return true;
}

// The quoted value [From, To), which holds quotation marks, left on the block: each mark must be
// doubled, and the value more than marks. An '&' with a mark within five bytes after it is
// judged on the value undone, where the reference it may start reads other bytes.
bool BlockConverter::judgeDoubled(std::size_t From, std::size_t To, Cell& Out) {
  std::size_t Marks = 0;
  std::size_t Next = From; // the first byte not yet passed
  for (std::size_t W = From / 64; W <= (To - 1) / 64; ++W) {
    std::uint64_t Bits = within(Scan.quoteBits(W), W, From, To);
    for (; Bits != 0; Bits &= Bits - 1) {
      const std::size_t Mark = W * 64 + static_cast<std::size_t>(__builtin_ctzll(Bits));
      if (Mark < Next)
        continue; // the second of a pair, in this window or the next
      if (Mark + 1 == To || Data[Mark + 1] != '"')
        return false;
      for (std::size_t Back = Mark - std::min<std::size_t>(Mark - From, 5); Back < Mark; ++Back)
        if (Data[Back] == '&')
          return undoubleCell(From, To, Out);
      Marks += 2;
      Next = Mark + 2;
    }
  }
  if (Marks == To - From)
    return false; // a value of marks alone the parser reads otherwise
  Out = Cell{Data + From, To - From, Kind::Doubled};
  return true;
}

// The quoted value [From, To), which holds quotation marks, undone into the side buffer.
bool BlockConverter::undoubleCell(std::size_t From, std::size_t To, Cell& Out) {
  char* const First = Undoubled.get() + UndoubledSize;
  char* Value = First;
  bool Other = false;
  unsigned char Seen = 0;
  for (std::size_t I = From; I < To; ++I) {
    const char C = Data[I];
    Seen |= static_cast<unsigned char>(C);
    if (C == '"') {
      if (I + 1 == To || Data[I + 1] != '"')
        return false;
      ++I;
    } else {
      Other = true;
    }
    *Value++ = C;
  }
  if (!Other || (Undecided && Seen >= 0x80))
    return false;
  UndoubledSize += static_cast<std::size_t>(Value - First);
  Out = Cell{First, static_cast<std::size_t>(Value - First), Kind::Undoubled};
  return true;
}

// The value of C as the parser gives it: a cell left on the block with doubled marks is undone
// into the side buffer.
std::string_view BlockConverter::undoubled(const Cell& C) {
  if (C.What != Kind::Doubled)
    return std::string_view(C.Value, C.Size);
  char* const First = Undoubled.get() + UndoubledSize;
  char* Value = First;
  for (std::size_t I = 0; I < C.Size; ++I) {
    *Value++ = C.Value[I];
    I += C.Value[I] == '"';
  }
  UndoubledSize += static_cast<std::size_t>(Value - First);
  return std::string_view(First, static_cast<std::size_t>(Value - First));
}

bool BlockConverter::holdsHighByte(std::size_t From, std::size_t To) const {
  return findHighByte(Data + From, To - From) < To - From;
}

// Writes cell C of column I at To, which has room for its worst case.
inline char* BlockConverter::putCell(char* To, std::size_t I, const Cell& C) {
  const Pieces& P = Texts[I];
  if (C.What == Kind::Empty) {
    if (SuppressEmpty)
      return To;
    To = putText(To, P.Empty, P.EmptySize);
  } else {
    To = putText(To, P.Before, P.BeforeSize);
    char* Done = nullptr;
    if (C.What == Kind::Clean)
      Done = copyCell(To, C.Value, C.Size);
    else if ((C.What == Kind::Care || C.What == Kind::Doubled) && FormsUsed)
      Done = putCareCell(To, static_cast<std::size_t>(C.Value - Data),
                         static_cast<std::size_t>(C.Value - Data) + C.Size);
    To = Done ? Done : Writer.writeValue(To, undoubled(C), Replaced, Foreign);
    To = putText(To, P.After, P.AfterSize);
  }
  ++Written;
  return To;
}

// Writes the cell [From, End) of the block by the forms of its bytes that need care, each
// doubled quotation mark once, and returns its end; null when one of them is not written here.
char* BlockConverter::putCareCell(char* To, std::size_t From, std::size_t End) {
  std::int64_t Converted = 0;
  bool CellReplaced = false;
  std::size_t At = From; // the first byte not written yet
  for (std::size_t W = From / 64; W <= (End - 1) / 64; ++W) {
    std::uint64_t Bits = within(Scan.careBits(W), W, From, End);
    for (; Bits != 0; Bits &= Bits - 1) {
      const std::size_t Care = W * 64 + static_cast<std::size_t>(__builtin_ctzll(Bits));
      if (Care < At)
        continue; // the second mark of a pair, in this window or the next
      const char Byte = Data[Care];
      const ByteForm& F = Forms[static_cast<unsigned char>(Byte)];
      if (F.Stops) {
        MetHigh = true; // undecided, the line by line way judges the byte
        return nullptr;
      }
      To = copyCell(To, Data + At, Care - At);
      At = Care + (Byte == '"' ? 2 : 1);
      if (Byte == '&' && isKeptReference(Data + Care, Data + End)) {
        *To++ = '&'; // the rest of the reference goes on as ordinary bytes
        continue;
      }
      std::memcpy(To, F.Bytes, sizeof F.Bytes);
      To += F.Length;
      Converted += F.Converted;
      CellReplaced = CellReplaced || F.Replaced;
    }
  }
  To = copyCell(To, Data + At, End - At);
  Writer.convertedCount() += Converted;
  Replaced = Replaced || CellReplaced;
  return To;
}

// Counts the record about to be written, with its progress dot.
void BlockConverter::countRecord(std::int64_t Number) {
  ++Records;
  Counters.RecordCount = Number;
  if (Verbose && Number % 1000 == 0)
    std::clog << '.' << std::flush;
}

// The record whose cells takeRecord kept, with every reservation the record writer would
// make, so that the target flushes where it would flush then.
void BlockConverter::writeRecord(std::size_t Length) {
  const std::int64_t Number = Counters.RecordCount + 1;
  countRecord(Number);
  Replaced = false;
  Foreign = false;
  Written = 0;
  Writer.writeRecordStart(Number);
  // When the room the writer would reserve for every cell is there, none of its reservations
  // would flush, and the cells go in without any.
  if (!Out.fits(PiecesRoom + escapedTextRoom(Length))) {
    writeCellsByRoom();
  } else {
    char* To = Out.reserve(0);
    for (std::size_t I = 0; I < ColumnCount; ++I)
      To = putCell(To, I, Cells[I]);
    Out.commit(To);
  }
  if (Replaced || Foreign)
    Writer.noteCells(Replaced, Foreign);
  Writer.writeRecordEnd();
  Counters.ElementCount += Written;
}

// Each cell with the reservation the writer makes for it, so that the target flushes where it
// would flush then.
void BlockConverter::writeCellsByRoom() {
  const std::vector<RecordWriter::ItemPieces>& Items = Writer.itemPieces();
  for (std::size_t I = 0; I < ColumnCount; ++I) {
    const Cell& C = Cells[I];
    const RecordWriter::ItemPieces& Item = Items[I];
    switch (C.What) {
    case Kind::Empty:
      if (SuppressEmpty)
        continue;
      Out.commit(Writer.putPiece(Out.reserve(RecordWriter::emptyRoom(Item)), Item.Empty));
      break;
    case Kind::Clean: {
      char* At = Writer.putPiece(Out.reserve(RecordWriter::itemRoom(Item, C.Size)), Item.Before);
      At = copyCell(At, C.Value, C.Size);
      Out.commit(Writer.putPiece(At, Item.After));
      break;
    }
    case Kind::Care:
    case Kind::Doubled:
    case Kind::Undoubled:
      Writer.writeCell(I, undoubled(C));
      continue; // counted there
    }
    ++Counters.ElementCount;
  }
}

} // namespace quillon
