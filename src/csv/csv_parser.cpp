#include "csv/csv_parser.h"

#include "base/byte_words.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iostream>
#include <new>

namespace quillon {

namespace {
constexpr unsigned char IsSeparator = 1;
constexpr unsigned char IsQuote = 2;
constexpr char Quote = '"';

unsigned char byteOf(char C) { return static_cast<unsigned char>(C); }

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
constexpr bool WordScan = true;
#else
constexpr bool WordScan = false;
#endif
} // namespace

const char* TCSV_Parser::findSpecial(const char* P, const char* End) const {
  if (WordScan && WordPatterns > 0) {
    while (End - P >= 8) {
      const std::uint64_t Word = loadWord(P);
      const std::uint64_t Hits = zeroBytes(Word ^ Pattern[0]) | zeroBytes(Word ^ Pattern[1]) |
                                 zeroBytes(Word ^ Pattern[2]);
      if (Hits)
        return P + firstFlagged(Hits);
      P += 8;
    }
  }
  while (P < End && !ByteClass[byteOf(*P)])
    ++P;
  return P;
}

TCSV_Parser::TCSV_Parser(int ItemBufferSize, bool Debug) : Debug(Debug) {
  if (Debug)
    std::cout << "TCSV_Parser::Constructor Starts " << ItemBufferSize << std::endl;
  setDefaults();
  if (ItemBufferSize <= 5)
    ItemBufferSize = 10000;
  ItemBuffer.reset(new (std::nothrow) char[static_cast<std::size_t>(ItemBufferSize)]);
  if (!ItemBuffer) {
    std::cerr << "CSV Parser::Constructor => Memory Allocation Error)" << std::flush;
    ItemBufferSize = 0;
  }
  this->ItemBufferSize = ItemBufferSize;
  MaxItemLength = ItemBufferSize - 1;
  if (Debug)
    std::cout << "TCSV_Parser::Constructor Ends with ItemBufferSize=" << ItemBufferSize
              << std::endl;
}

TCSV_Parser::~TCSV_Parser() {
  if (Debug)
    std::cout << "TCSV_Parser::Destructor Starts " << std::endl;
  ItemBuffer.reset();
  Items.clear();
  if (Debug)
    std::cout << "TCSV_Parser::Destructor Ends " << std::endl;
}

void TCSV_Parser::setDefaults() {
  if (Debug)
    std::cout << "TCSV_Parser::setDefaults() Starts " << std::endl;
  setSeparators(";,");
  UseQuotationMarks = true;
  RemoveQuotationMarks = true;
  Rfc4180 = false;
  FirstItem = 0;
  LastItem = std::max(ItemCount - 1, 0);
  if (Debug)
    std::cout << "TCSV_Parser::setDefaults() Ends " << std::endl;
}

void TCSV_Parser::setSeparators(std::string Sep) {
  if (Debug)
    std::cout << "TCSV_Parser::setSeparators() Starts " << std::endl;
  if (!Sep.empty()) {
    Separators = std::move(Sep);
    ByteClass.fill(0);
    for (char C : Separators)
      ByteClass[byteOf(C)] |= IsSeparator;
    ByteClass[byteOf(Quote)] |= IsQuote;
    // up to two separator bytes are searched a word at a time, beside the quotation mark
    std::string Distinct(1, Quote);
    for (int C = 0; C < 256; ++C)
      if (ByteClass[static_cast<std::size_t>(C)] && C != byteOf(Quote))
        Distinct.push_back(static_cast<char>(C));
    WordPatterns = Distinct.size() <= 3 ? static_cast<int>(Distinct.size()) : 0;
    for (std::size_t I = 0; I < 3; ++I)
      Pattern[I] = LowBits * byteOf(Distinct[std::min(I, Distinct.size() - 1)]);
  }
  if (Debug)
    std::cout << "TCSV_Parser::setSeparators() Ends " << std::endl;
}

bool TCSV_Parser::setItemCount(int Count) {
  if (Count < 0)
    return false;
  ItemCount = Count;
  if (Count > ItemCapacity) {
    Items.clear();
    Items.shrink_to_fit();
    ItemCapacity = 0;
    try {
      Items.resize(static_cast<std::size_t>(Count));
    } catch (const std::bad_alloc&) {
      Items.clear();
      std::cerr << "CSV Parser::setItemCount() => Memory Reallocation Error" << std::flush;
      return false;
    }
    ItemCapacity = Count;
    ParseOK = false;
  }
  setItemRange(0, 0);
  return true;
}

bool TCSV_Parser::setItemRange(int First, int Last) {
  if (Last == 0)
    Last = ItemCount;
  if (First == 0)
    First = 1;
  if (First < 1 || First > Last || Last > ItemCount)
    return false;
  FirstItem = First - 1;
  LastItem = Last - 1;
  return true;
}

int TCSV_Parser::getNumOfItems(std::string_view Header) const {
  if (!Rfc4180)
    return getNumOfItems(Header, Separators, UseQuotationMarks);
  while (!Header.empty() && (Header.back() == '\r' || Header.back() == '\n'))
    Header.remove_suffix(1);
  if (Header.empty())
    return 0;
  int Count = 1;
  const char* const End = Header.data() + Header.size();
  for (const char* P = Header.data(); (P = readRfc4180Cell(P, End, nullptr)) < End; ++P)
    ++Count;
  return Count;
}

int TCSV_Parser::getNumOfItems(std::string_view Header, std::string_view Sep,
                               bool UseQuotationMarks) {
  std::size_t End = Header.size();
  while (End > 0 && (Header[End - 1] == '\r' || Header[End - 1] == '\n'))
    --End;
  if (End == 0)
    return 0;
  std::array<bool, 256> InSep{};
  for (char C : Sep)
    InSep[byteOf(C)] = true;
  // counted backwards: with unbalanced marks the separators after the last one count
  int Count = 1;
  bool Q = false;
  for (std::size_t I = End; I-- > 0;) {
    const char C = Header[I];
    if (C == Quote)
      Q = !Q;
    if (InSep[byteOf(C)] && (!UseQuotationMarks || !Q))
      ++Count;
  }
  return Count;
}

bool TCSV_Parser::parseString(std::string_view ParseString) {
  if (Debug)
    std::cout << "TCSV_Parser::parseString (char *ParseString) Starts " << std::endl;
  ParseOK = false;
  DroppedSurplus = false;
  if (ParseString == "\n" || ParseString == "\n\r")
    return false;
  if (ItemCount == 0)
    setItemCount(getNumOfItems(ParseString));
  if (FirstItem < 0 || FirstItem > LastItem || LastItem > ItemCount - 1) {
    std::cerr << "CSV_Parser::parseString => Illegal Item Access" << std::flush;
    return false;
  }
  if (!ItemBuffer)
    return false;
  if (Rfc4180)
    return parseRfc4180(ParseString);

  const char* Text = ParseString.data();
  const std::size_t Length = ParseString.size();
  const bool QuotesGroup = UseQuotationMarks;
  bool Q = false;
  std::size_t Pos = 0;

  int Skipped = 0;
  while (Skipped < FirstItem && Pos < Length) {
    const unsigned char Class = ByteClass[byteOf(Text[Pos])];
    ++Pos;
    if (Class & IsQuote)
      Q = !Q;
    if ((Class & IsSeparator) && (!QuotesGroup || !Q))
      ++Skipped;
  }

  const int N = LastItem - FirstItem + 1;
  for (int J = 0; J < N; ++J)
    Items[static_cast<std::size_t>(J)].clear();

  const char* const End = Text + Length;
  const char* P = Text + Pos;
  int J = 0;
  for (; J < N; ++J) {
    const char* Start = P;
    bool SawQuote = false;
    for (;;) {
      if (Q && QuotesGroup) {
        // inside quotation only the next mark matters
        P = static_cast<const char*>(std::memchr(P, Quote, static_cast<std::size_t>(End - P)));
        if (!P) {
          P = End;
          break;
        }
      } else {
        P = findSpecial(P, End);
        if (P == End)
          break;
      }
      const unsigned char Class = ByteClass[byteOf(*P)];
      if (Class & IsQuote) {
        Q = !Q;
        SawQuote = true;
      }
      if ((Class & IsSeparator) && (!QuotesGroup || !Q))
        break;
      ++P;
    }
    std::size_t CellLength = static_cast<std::size_t>(P - Start);
    if (P < End)
      ++P;
    if (SawQuote && CellLength > 0 && RemoveQuotationMarks) {
      if (Start[CellLength - 1] == Quote)
        --CellLength;
      if (CellLength > 0 && Start[0] == Quote) {
        ++Start;
        --CellLength;
      }
    }
    CellLength = std::min(CellLength, static_cast<std::size_t>(MaxItemLength));
    storeItem(J, Start, CellLength, SawQuote);
    if (P >= End)
      break;
  }
  Pos = static_cast<std::size_t>(P - Text);
  if (J == N && Pos < Length) {
    for (std::size_t I = Pos; I < Length; ++I)
      if (!(ByteClass[byteOf(Text[I])] & IsSeparator)) {
        DroppedSurplus = true;
        break;
      }
  }

  NumOfParsedItems = N;
  ParseOK = true;
  if (Debug)
    std::cout << "TCSV_Parser::parseString (char *ParseString) Ends " << std::endl;
  // only a line without a byte is no record: a lone separator or a quoted empty cell is one
  return Length > 0;
}

bool TCSV_Parser::parseRfc4180(std::string_view Line) {
  const char* P = Line.data();
  const char* const End = P + Line.size();
  for (int J = 0; J < FirstItem && P < End; ++J) {
    P = readRfc4180Cell(P, End, nullptr);
    if (P < End)
      ++P;
  }
  const int N = LastItem - FirstItem + 1;
  for (int J = 0; J < N; ++J)
    Items[static_cast<std::size_t>(J)].clear();
  int J = 0;
  for (; J < N && P < End; ++J) {
    P = readRfc4180Cell(P, End, &Items[static_cast<std::size_t>(J)]);
    if (P < End)
      ++P;
  }
  if (J == N)
    for (const char* Rest = P; Rest < End; ++Rest)
      if (!(ByteClass[byteOf(*Rest)] & IsSeparator)) {
        DroppedSurplus = true;
        break;
      }
  NumOfParsedItems = N;
  ParseOK = true;
  return !Line.empty();
}

const char* TCSV_Parser::readRfc4180Cell(const char* P, const char* End, std::string* Item) const {
  if (P < End && *P == Quote) {
    for (++P;;) {
      const char* Mark =
          static_cast<const char*>(std::memchr(P, Quote, static_cast<std::size_t>(End - P)));
      if (!Mark) { // open to the line's end: only a record the source ends in
        if (Item)
          Item->append(P, static_cast<std::size_t>(End - P));
        return End;
      }
      const bool Doubled = Mark + 1 < End && Mark[1] == Quote;
      if (Item)
        Item->append(P, static_cast<std::size_t>(Mark - P) + Doubled);
      P = Mark + (Doubled ? 2 : 1);
      if (!Doubled)
        break;
    }
  }
  // after the closing mark, everything up to the separator is kept as it stands
  const char* Sep = P;
  while ((Sep = findSpecial(Sep, End)) < End && !(ByteClass[byteOf(*Sep)] & IsSeparator))
    ++Sep;
  if (Item) {
    Item->append(P, static_cast<std::size_t>(Sep - P));
    if (Item->size() > static_cast<std::size_t>(MaxItemLength))
      Item->resize(static_cast<std::size_t>(MaxItemLength));
  }
  return Sep;
}

void TCSV_Parser::storeItem(int Index, const char* Cell, std::size_t Length, bool SawQuote) {
  std::string& Item = Items[static_cast<std::size_t>(Index)];
  if (SawQuote && RemoveQuotationMarks && Length >= 2 && Length % 2 == 0 && Cell[0] == Quote &&
      std::all_of(Cell, Cell + Length, [](char C) { return C == Quote; })) {
    // a value of doubled marks only: each pair stands for one mark
    Item.assign(Length / 2, Quote);
    return;
  }
  if (!SawQuote || !RemoveQuotationMarks || Length < 3 ||
      !std::memchr(Cell + 1, Quote, Length - 2)) {
    Item.assign(Cell, Length);
    return;
  }
  // Un-double: every mark between the first and the last byte is dropped, and the byte
  // after a dropped mark is kept without a look.
  char* Out = ItemBuffer.get();
  std::size_t W = 0;
  std::size_t R = 0;
  Out[W++] = Cell[R++];
  while (R + 1 < Length) {
    if (Cell[R] == Quote)
      ++R;
    Out[W++] = Cell[R++];
  }
  if (R < Length)
    Out[W++] = Cell[R];
  Item.assign(Out, W);
}

bool TCSV_Parser::joinedByInnerQuote(std::string_view Record) const {
  if (Rfc4180)
    return false; // only a mark that begins a cell opens a quotation
  bool Q = false;
  bool AtCellStart = true;
  bool JustClosed = false;   // the byte before was the mark that closed a quotation
  bool OpenedInside = false; // the mark that opened the current quotation was inside a cell
  for (const char C : Record) {
    const unsigned char Class = ByteClass[byteOf(C)];
    if (Class & IsQuote) {
      // a doubled mark goes on with the quotation it interrupted
      if (!Q && !JustClosed)
        OpenedInside = !AtCellStart;
      JustClosed = Q;
      Q = !Q;
      AtCellStart = false;
      continue;
    }
    if (C == '\n' && Q && OpenedInside)
      return true;
    JustClosed = false;
    AtCellStart = (Class & IsSeparator) && (!UseQuotationMarks || !Q);
  }
  return false;
}

std::string TCSV_Parser::getItem(int Index) const { return std::string(itemView(Index)); }

bool TCSV_Parser::isInQuotation(std::string_view Line, bool Reset) {
  if (Reset)
    InQuotation = false;
  const char* const Begin = Line.data();
  const char* const End = Begin + Line.size();
  const char* P = Begin;
  while ((P = static_cast<const char*>(std::memchr(P, Quote, static_cast<std::size_t>(End - P))))) {
    if (!Rfc4180)
      InQuotation = !InQuotation;
    else if (InQuotation && P + 1 < End && P[1] == Quote)
      ++P; // one mark, written twice
    else if (InQuotation)
      InQuotation = false;
    else // outside a quotation a line begins a record, and so a cell
      InQuotation = P == Begin || (ByteClass[byteOf(P[-1])] & IsSeparator);
    ++P;
  }
  return InQuotation;
}

} // namespace quillon
