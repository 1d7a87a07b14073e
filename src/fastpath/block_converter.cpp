#include "fastpath/block_converter.h"

#include "base/byte_words.h"
#include "encoding/encoding.h"
#include "fastpath/test_switches.h"
#include "io/line_reader.h"
#include "xml/xml_escape.h"

#include <algorithm>
#include <cstring>
#include <iostream>

namespace quillon {

// A record is walked with the masks of all its windows at hand, though the scan that found its
// line feed went on for a batch of windows more.
static_assert(StructureScan::KeptWindows * 64 >= LineLimit + 64 * (StructureScan::MaxBatch + 1),
              "the scan must keep the windows of a record of the longest line");

namespace {

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
  for (const RecordWriter::ItemPieces& Item : Writer.itemPieces())
    Texts.push_back({Writer.pieceText(Item.Before), Writer.pieceText(Item.After),
                     Writer.pieceText(Item.Empty), Item.Before.Size, Item.After.Size,
                     Item.Empty.Size});
}

// In a single-byte coding each byte has a form of its own, which the writer's text writer
// gives; '&' has it unless it starts a reference that is kept. In UTF-8 text so has each ASCII
// byte, and a byte from 0x80 up begins a character judged where it stands.
void BlockConverter::formBytes() {
  const TextCoding Coding = Writer.textCoding();
  Utf8Text = Coding == TextCoding::Utf8 || Coding == TextCoding::Utf8ToIso;
  IsoDocument = Coding == TextCoding::Utf8ToIso;
  for (std::size_t Byte = 0; Byte < Forms.size(); ++Byte) {
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
    F.Sequence = Utf8Text && Byte >= 0x80;
    // while the reading is undecided, a byte from 0x80 up stops the record: see putCareCell
    F.Stops = Undecided && Byte >= 0x80;
  }
}

BlockConverter::~BlockConverter() { testSwitches().BlockRecords += Records; }

// The line feed that ends the line beginning at Start, within its first Limit bytes, found in
// the scan's masks, which then hold every window up to it; false when there is none.
bool BlockConverter::findFeed(std::size_t Start, std::size_t Limit, std::size_t& Feed) {
  const std::size_t End = Start + Limit;
  std::uint64_t From = ~0ULL << (Start % 64);
  for (std::size_t W = Start / 64; W * 64 < End; ++W, From = ~0ULL) {
    while (W * 64 >= Scan.scanned()) {
      if (Scan.finished())
        return false;
      Scan.scan(Batch);
      Batch = std::min(2 * Batch, StructureScan::MaxBatch);
    }
    const std::uint64_t Feeds = Scan.feedBits(W) & From;
    if (Feeds != 0) {
      Feed = W * 64 + static_cast<std::size_t>(__builtin_ctzll(Feeds));
      return Feed < End;
    }
  }
  return false;
}

std::size_t BlockConverter::convert(std::string_view Block, std::uint64_t Refills, Stop& Why) {
  Why = Stop::Exact;
  if (Backoff > 0) {
    --Backoff;
    return 0;
  }
  if (Block.empty()) { // nothing read yet, or a line being skipped
    Why = Stop::NeedInput;
    return 0;
  }
  std::size_t Start = resumeAt(Block, Refills);
  if (Start == std::string_view::npos) {
    this->Refills = Refills;
    Data = Block.data();
    Size = Block.size();
    Scan.start(Data, Size);
    Batch = FirstBatch;
    Start = 0;
  }
  const std::size_t First = Start;
  bool TookAny = false;
  for (;;) {
    // the line the record must fit on, shorter than the line limit
    const std::size_t Left = Size - Start;
    std::size_t Feed = 0;
    const bool Found = findFeed(Start, std::min(Left, LineReader::MaxLineLength), Feed);
    if (!Found && Left < LineReader::MaxLineLength) {
      Why = Stop::NeedInput;
      break;
    }
    const std::size_t Length = Feed - Start + 1;
    Taken Record = Taken::LineByLine; // a line longer than the limit, which that way skips
    if (Found)
      Record = Out.fits(Writer.recordRoom() + Writer.cellsRoom(Length)) ? writeDirectly(Start, Feed)
               : Types ? takeRecord<false, true>(Start, Feed, nullptr)
                       : takeRecord<false, false>(Start, Feed, nullptr);
    if (Record == Taken::LineByLine) {
      // records that keep needing the exact path are not offered for a while
      if (!TookAny) {
        Refused = std::min(2 * Refused + 1, MostRefused);
        Backoff = Refused;
      }
      break;
    }
    Refused = 0;
    TookAny = true;
    ++Counters.LineCount;
    Start += Length;
    if (Record == Taken::Kept)
      writeRecord(Length);
    if (Out.failed()) {
      Why = Stop::OutputFailed;
      break;
    }
  }
  Stopped = Start;
  return Start - First;
}

// Where Block begins in the stretch the scan went over, when the scan's masks hold for it from
// there on: the reader has not read into its buffer since, Block is the rest of that stretch
// and begins inside what was scanned, and the lines
// the line by line way took since the last call stopped hold an even number of quotation
// marks, so that the quotation state the scan carried is the one a new scan would start with.
// Otherwise npos.
std::size_t BlockConverter::resumeAt(std::string_view Block, std::uint64_t Refills) const {
  if (Data == nullptr || Refills != this->Refills || Block.data() < Data + Stopped ||
      Block.data() + Block.size() != Data + Size)
    return std::string_view::npos;
  const auto At = static_cast<std::size_t>(Block.data() - Data);
  if (At > Scan.scanned() || Scan.oddQuotes(Stopped, At))
    return std::string_view::npos;
  return At;
}

// The record that begins at Start, written straight into the target's room, which holds its
// worst case; a record that goes the exact way after all leaves no trace.
BlockConverter::Taken BlockConverter::writeDirectly(std::size_t Start, std::size_t Feed) {
  const RunCounters Before = Counters;
  const std::int64_t Number = Counters.RecordCount + 1;
  char* const Mark = Out.reserve(0);
  Writer.writeRecordStart(Number);
  Replaced = false;
  Foreign = false;
  Written = 0;
  char* To = Out.reserve(0);
  const Taken Record =
      Types ? takeRecord<true, true>(Start, Feed, &To) : takeRecord<true, false>(Start, Feed, &To);
  if (Record != Taken::Kept) {
    Out.commit(Mark);
    Counters = Before;
    return Record;
  }
  Out.commit(To);
  countRecord(Number); // its progress dot comes before its warnings, as on the exact path
  if (Replaced || Foreign)
    Writer.noteCells(Replaced, Foreign);
  Writer.writeRecordEnd();
  Counters.ElementCount += Written;
  return Taken::Written;
}

// The structural bytes of a record, from the scan's masks, window by window; every window up
// to the record's line feed is scanned. Kept in registers by the walk: the bytes it writes may
// alias any member.
class BlockConverter::Walk {
public:
  Walk(const StructureScan& Scan, std::size_t Start)
      : Structurals(Scan.structuralRing()), Specials(Scan.specialRing()), W(Start / 64),
        Bits(Structurals[StructureScan::slot(W)] & ~0ULL << (Start % 64)),
        Special(Specials[StructureScan::slot(W)]) {}
  // The next structural byte; IsSpecial when it is a line feed or ends a cell needing care.
  std::size_t next(bool& IsSpecial) {
    while (Bits == 0) {
      ++W;
      Bits = Structurals[StructureScan::slot(W)];
      Special = Specials[StructureScan::slot(W)];
    }
    const auto Bit = static_cast<unsigned>(__builtin_ctzll(Bits));
    Bits &= Bits - 1;
    IsSpecial = (Special >> Bit & 1) != 0;
    return W * 64 + Bit;
  }

private:
  const std::uint64_t* const Structurals;
  const std::uint64_t* const Specials;
  std::size_t W;
  std::uint64_t Bits;    // the structural bytes of window W not yet walked
  std::uint64_t Special; // the special ones of window W
};

// Finds the record that begins at Start, whose line ends with the line feed at Feed, and judges
// its cells: written at *To (Direct), or kept in Cells for writeRecord.
template <bool Direct, bool Learn>
BlockConverter::Taken BlockConverter::takeRecord(std::size_t Start, std::size_t Feed, char** To) {
  std::size_t Column = 0; // cells found so far
  std::size_t From = Start;
  UndoubledSize = 0;
  MetHigh = false;
  char* Put = Direct ? *To : nullptr;
  const auto take = [ this, &Put ](std::size_t I, const Cell& C) __attribute__((always_inline)) {
    // the one place each cell's bounds are final; a cell left with doubled marks is text
    if constexpr (Learn) {
      if (C.What == Kind::Undoubled)
        Types->note(I, C.Value, C.Size);
      else // on the block, whose padding can be read
        Types->noteWithSlack(I, C.Value, C.Size);
    }
    if constexpr (Direct) {
      Put = putCell(Put, I, C);
    } else {
      Cells[I] = C;
      MetHigh = MetHigh || (Undecided && (C.What == Kind::Care || C.What == Kind::Doubled) &&
                            findHighByte(C.Value, C.Size) < C.Size);
    }
  };
  if (Scan.quotedFeed(Feed))
    return Taken::LineByLine; // a line break inside quotation: the record goes on
  // a carriage return before the line feed is no part of the line
  const std::size_t End = Feed > Start && Data[Feed - 1] == '\r' ? Feed - 1 : Feed;
  const char* const Bytes = Data;
  const Pieces* const Around = Texts.data();
  ColumnTypes* const States = Learn ? Types->states() : nullptr;
  const std::size_t Columns = ColumnCount;
  std::int64_t CleanCells = 0;
  Walk Structure(Scan, Start);
  bool AtFeed = false;
  while (Column < Columns) {
    bool Special = false;
    const std::size_t At = Structure.next(Special);
    if (Direct && !Special && At > From) { // most cells: copied as they are
      if constexpr (Learn)
        TypeLearner::noteValueWithSlack(States[Column], Bytes + From, At - From);
      const Pieces& P = Around[Column];
      Put = RecordWriter::copyPiece(Put, P.Before, P.BeforeSize);
      Put = copyCell(Put, Bytes + From, At - From);
      Put = RecordWriter::copyPiece(Put, P.After, P.AfterSize);
      ++CleanCells;
      From = At + 1;
      ++Column;
      continue;
    }
    Cell C{Bytes + From, At - From, At > From ? Kind::Clean : Kind::Empty};
    if (Special) { // a line feed, or a cell that needs a closer look
      if (At == Feed) {
        AtFeed = true;
        break;
      }
      if (!judgeCell(From, At, C, false))
        return Taken::LineByLine;
    }
    take(Column, C);
    From = At + 1;
    ++Column;
  }
  if (!AtFeed) {
    if (!surplusPasses(Structure, From, End, Feed))
      return Taken::LineByLine;
  } else if (End == Start) {
    return Taken::EmptyLine; // the parser takes no record from an empty line
  } else {
    // a line feed is flagged whatever its cell holds: most last cells need no closer look
    Cell C{Data + From, End - From, End > From ? Kind::Clean : Kind::Empty};
    if (Scan.anyCare(From, End) && !judgeCell(From, End, C, true))
      return Taken::LineByLine;
    take(Column, C);
    for (std::size_t I = Column + 1; I < ColumnCount; ++I)
      take(I, Cell{nullptr, 0, Kind::Empty});
  }
  if constexpr (Direct) {
    *To = Put;
    Written += CleanCells;
  }
  // the line by line way judges the source's first byte from 0x80 up
  return MetHigh ? Taken::LineByLine : Taken::Kept;
}
// The cells after the last column, from From to the line feed at Feed (the line's bytes end at
// End), which the parser drops: whether the record may still go the block way. They must be
// empty until the parser has warned about such cells; under -rfc4180 hold no quotation mark,
// which may open a quotation the scan's count misses (the cells taken hold none or are quoted
// whole, read alike by both dialects); and hold no byte from 0x80 up while the reading is
// undecided.
bool BlockConverter::surplusPasses(Walk& Structure, std::size_t From, std::size_t End,
                                   std::size_t Feed) {
  const std::size_t SurplusFrom = From;
  std::size_t LastSeparator = From - 1;
  bool Surplus = false; // bytes other than separators after the last column
  for (;;) {
    bool Special = false;
    const std::size_t At = Structure.next(Special);
    if (At == Feed)
      break;
    if (At != LastSeparator + 1)
      Surplus = true;
    if (Undecided && Special && holdsHighByte(From, At))
      return false;
    LastSeparator = At;
    From = At + 1;
  }
  if (Rfc4180 && Scan.anyQuote(SurplusFrom, Feed))
    return false;
  if (End > LastSeparator + 1)
    Surplus = true;
  if (Undecided && Scan.anyCare(LastSeparator + 1, End) && holdsHighByte(LastSeparator + 1, End))
    return false;
  return !Surplus ||
         SurplusWarned; // the parser warns about the first record whose surplus holds data
}

// The value of the cell [From, To) as the parser gives it, and how it is written; false when
// the cell is no plain or well-quoted one. Unless Unknown, the scan found a byte needing care
// in it.
bool BlockConverter::judgeCell(std::size_t From, std::size_t To, Cell& Judged, bool Unknown) {
  bool Look = Unknown; // whether a byte needing care may be missing after all
  if (Scan.anyQuote(From, To)) {
    // the quotation marks around the value go, and nothing else may be a lone mark
    if (To - From < 2 || Data[From] != '"' || Data[To - 1] != '"')
      return false;
    ++From;
    --To;
    Look = true;
    if (Scan.anyQuote(From, To))
      return judgeDoubled(From, To, Judged);
  }
  Kind What = Kind::Care;
  if (To == From)
    What = Kind::Empty;
  else if (Look && !Scan.anyCare(From, To))
    What = Kind::Clean;
  Judged = Cell{Data + From, To - From, What};
  return true;
}

// The quoted value [From, To), which holds quotation marks, left on the block: each mark must be
// doubled (a value of marks alone too: each pair is one mark, as the parser reads it). An '&' with
// a mark within five bytes after it is judged on the value undone, where the reference it may start
// reads other bytes.
bool BlockConverter::judgeDoubled(std::size_t From, std::size_t To, Cell& Judged) {
  std::size_t Next = From; // the first byte not yet passed
  for (std::size_t W = From / 64; W <= (To - 1) / 64; ++W) {
    std::uint64_t Bits = StructureScan::within(Scan.quoteBits(W), W, From, To);
    for (; Bits != 0; Bits &= Bits - 1) {
      const std::size_t Mark = W * 64 + static_cast<std::size_t>(__builtin_ctzll(Bits));
      if (Mark < Next)
        continue; // the second of a pair, in this window or the next
      if (Mark + 1 == To || Data[Mark + 1] != '"')
        return false;
      for (std::size_t Back = Mark - std::min<std::size_t>(Mark - From, 5); Back < Mark; ++Back)
        if (Data[Back] == '&')
          return undoubleCell(From, To, Judged);
      Next = Mark + 2;
    }
  }
  Judged = Cell{Data + From, To - From, Kind::Doubled};
  return true;
}

// The quoted value [From, To), which holds quotation marks, undone into the side buffer.
bool BlockConverter::undoubleCell(std::size_t From, std::size_t To, Cell& Judged) {
  char* const First = Undoubled.get() + UndoubledSize;
  char* Value = First;
  unsigned char Seen = 0;
  for (std::size_t I = From; I < To; ++I) {
    const char C = Data[I];
    Seen |= static_cast<unsigned char>(C);
    if (C == '"') {
      if (I + 1 == To || Data[I + 1] != '"')
        return false;
      ++I;
    }
    *Value++ = C;
  }
  if (Undecided && Seen >= 0x80)
    return false;
  UndoubledSize += static_cast<std::size_t>(Value - First);
  Judged = Cell{First, static_cast<std::size_t>(Value - First), Kind::Undoubled};
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
    To = RecordWriter::copyPiece(To, P.Empty, P.EmptySize);
  } else {
    To = RecordWriter::copyPiece(To, P.Before, P.BeforeSize);
    char* Done = nullptr;
    if (C.What == Kind::Clean)
      Done = copyCell(To, C.Value, C.Size);
    else if (C.What == Kind::Care || C.What == Kind::Doubled)
      Done = putCareCell(To, static_cast<std::size_t>(C.Value - Data),
                         static_cast<std::size_t>(C.Value - Data) + C.Size);
    To = Done ? Done : Writer.writeValue(To, undoubled(C), Replaced, Foreign);
    To = RecordWriter::copyPiece(To, P.After, P.AfterSize);
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
    std::uint64_t Bits = StructureScan::within(Scan.careBits(W), W, From, End);
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
      if (F.Sequence) {
        const std::size_t Length = putCharacter(To, Care, End);
        if (Length == 0)
          return nullptr; // the text writer repairs it, or writes '?'
        Converted += IsoDocument;
        At = Care + Length;
        continue;
      }
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

// The UTF-8 character that begins at Start, before End, written at To (moved past it) in the
// document's coding (in an ISO-8859-1 document its byte, or a reference beyond U+00FF and for
// the C1 controls); returns its length, or 0 when the text writer must write it: a byte of no
// well-formed sequence, U+FFFE or U+FFFF.
std::size_t BlockConverter::putCharacter(char*& To, std::size_t Start, std::size_t End) const {
  const auto Lead = static_cast<unsigned char>(Data[Start]);
  std::uint32_t CodePoint = 0;
  std::size_t Length = 0;
  // the two-byte sequences of the Latin letters come first
  if (Lead >= 0xC2 && Lead <= 0xDF && Start + 1 < End &&
      (static_cast<unsigned char>(Data[Start + 1]) & 0xC0u) == 0x80u) {
    Length = 2;
    CodePoint = (Lead & 0x1Fu) << 6 | (static_cast<unsigned char>(Data[Start + 1]) & 0x3Fu);
  } else {
    Length = decodeUtf8(std::string_view(Data + Start, End - Start), 0, CodePoint);
    if (CodePoint == 0xFFFE || CodePoint == 0xFFFF)
      return 0;
  }
  if (Length == 0)
    return 0;
  if (IsoDocument) {
    if (CodePoint >= 0xA0 && CodePoint <= 0xFF)
      *To++ = static_cast<char>(CodePoint);
    else
      To = putReference(To, CodePoint);
  } else {
    std::memcpy(To, Data + Start, 4); // the block's padding covers the overshoot
    To += Length;
  }
  return Length;
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
  if (!Out.fits(Writer.cellsRoom(Length))) {
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
