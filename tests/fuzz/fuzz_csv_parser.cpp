// The CSV line parser on arbitrary bytes, separator sets, cell counts and ranges.
// Input: a flags byte, a buffer-size byte, a range byte, a separator count and the separators,
// then lines: the first is the header, the rest are data lines joined as the run joins them.
#include "csv/csv_parser.h"
#include "fuzz_support.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace {
using quillon::TCSV_Parser;
using quillon::fuzz::check;
using quillon::fuzz::shown;

constexpr const char* Target = "csv_parser";

struct Reader {
  std::string_view Data;
  unsigned char byte() {
    if (Data.empty())
      return 0;
    const auto B = static_cast<unsigned char>(Data.front());
    Data.remove_prefix(1);
    return B;
  }
};

bool hasByte(std::string_view Set, char C) { return Set.find(C) != std::string_view::npos; }

// Every cell the parser hands out stays within its limits, whatever happened before.
void checkCells(const TCSV_Parser& Parser, std::string_view Line) {
  const int Parsed = Parser.getNumOfParsedItems();
  check(Parsed >= 0 && Parsed <= Parser.itemCount(), Target,
        "parsed " + std::to_string(Parsed) + " cells of " + std::to_string(Parser.itemCount()) +
            " for " + shown(Line));
  for (int I = 0; I < Parsed; ++I) {
    const std::string Item = Parser.getItem(I);
    check(Item.size() <= static_cast<std::size_t>(Parser.maxItemLength()), Target,
          "cell " + std::to_string(I) + " longer than the cell limit");
    check(Item == Parser.itemView(I), Target, "getItem and itemView disagree");
    check(Item.size() <= Line.size(), Target, "a cell longer than its line");
  }
  check(Parser.getItem(-1).empty() && Parser.getItem(Parsed).empty(), Target,
        "a cell outside the parsed range is not empty");
}

// Without quotation marks a line is its cells joined by the separators between them; the last
// cell takes the rest. Checked on a parser of its own sized by the line.
void checkPlainSplit(std::string_view Line, const std::string& Separators, int BufferSize) {
  if (Line.find('"') != std::string_view::npos)
    return;
  const int Count = TCSV_Parser::getNumOfItems(Line, Separators, true);
  if (Count < 1)
    return;
  TCSV_Parser Parser(BufferSize, false);
  Parser.setSeparators(Separators);
  check(Parser.setItemCount(Count), Target, "setItemCount refused a header's count");
  Parser.parseString(Line);
  check(Parser.getNumOfParsedItems() == Count, Target, "not every cell parsed: " + shown(Line));
  std::vector<std::string_view> Pieces;
  std::size_t Start = 0;
  for (std::size_t I = 0; I <= Line.size(); ++I)
    if (I == Line.size() || hasByte(Separators, Line[I])) {
      Pieces.push_back(Line.substr(Start, I - Start));
      Start = I + 1;
    }
  // trailing carriage returns are not counted, so a separator among them ends the last cell
  check(Pieces.size() >= static_cast<std::size_t>(Count), Target, "more cells than pieces");
  for (int I = 0; I < Count; ++I) {
    const std::string_view Want = Pieces[static_cast<std::size_t>(I)].substr(
        0, static_cast<std::size_t>(Parser.maxItemLength()));
    check(Parser.getItem(I) == Want, Target,
          "cell " + std::to_string(I) + " of " + shown(Line) + " is " + shown(Parser.getItem(I)) +
              ", want " + shown(Want));
  }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  quillon::fuzz::QuietStreams Quiet;
  Reader In{std::string_view(reinterpret_cast<const char*>(Data), Size)};
  const unsigned char Flags = In.byte();
  const unsigned char SizeByte = In.byte();
  const unsigned char RangeByte = In.byte();
  const int SeparatorCount = 1 + In.byte() % 4;
  std::string Separators;
  for (int I = 0; I < SeparatorCount; ++I)
    Separators.push_back(static_cast<char>(In.byte()));
  // a small buffer puts the cell limit within reach; sizes up to 5 fall back to the default
  const int BufferSize = (Flags & 4) ? SizeByte % 70 : 100000;

  TCSV_Parser Parser(BufferSize, (Flags & 64) != 0);
  Parser.setDefaults();
  Parser.setSeparators(Separators);
  Parser.setUseQuotationMarks((Flags & 1) == 0);
  Parser.setRemoveQuotationMarks((Flags & 2) == 0);
  check(Parser.maxItemLength() >= 5, Target, "a cell limit below 5");

  std::vector<std::string_view> Lines;
  std::string_view Rest = In.Data;
  while (!Rest.empty()) {
    const std::size_t Feed = Rest.find('\n');
    Lines.push_back(Rest.substr(0, Feed));
    Rest = Feed == std::string_view::npos ? std::string_view() : Rest.substr(Feed + 1);
  }
  if (Lines.empty())
    return 0;

  // the header, as the run treats it
  const std::string_view Header = Lines[0];
  const bool Open = Parser.isInQuotation(Header, true);
  const int Count = Parser.getNumOfItems(Header);
  check(Count >= 0 && static_cast<std::size_t>(Count) <= Header.size() + 1, Target,
        "header count " + std::to_string(Count) + " for " + shown(Header));
  check(Count == TCSV_Parser::getNumOfItems(Header, Separators, (Flags & 1) == 0) ||
            Separators.empty(),
        Target, "the two getNumOfItems forms disagree");
  if (!Open && (Flags & 8) == 0) {
    if (Count > 0) {
      check(Parser.setItemCount(Count), Target, "setItemCount refused " + std::to_string(Count));
      check(Parser.itemCapacity() >= Count, Target, "capacity below the count");
    }
  } else {
    // any count, including one that disagrees with the header
    Parser.setItemCount(RangeByte % 9);
  }
  if (Flags & 16) {
    const int First = RangeByte % 5;
    const int Last = (RangeByte >> 4) % 9;
    const int ItemCount = Parser.itemCount();
    const bool Accepted = Parser.setItemRange(First, Last);
    const int WantFirst = First == 0 ? 1 : First;
    const int WantLast = Last == 0 ? ItemCount : Last;
    check(Accepted == (WantFirst >= 1 && WantFirst <= WantLast && WantLast <= ItemCount), Target,
          "setItemRange(" + std::to_string(First) + ", " + std::to_string(Last) + ") of " +
              std::to_string(ItemCount) + " answered " + (Accepted ? "yes" : "no"));
  }
  Parser.parseString(Header);
  checkCells(Parser, Header);
  if (Flags & 32)
    checkPlainSplit(Header, Separators, BufferSize);

  // data lines, joined while a quotation is open
  std::string Line;
  bool StartOfRecord = true;
  for (std::size_t I = 1; I < Lines.size(); ++I) {
    const bool NotLineEnd = Parser.isInQuotation(Lines[I], StartOfRecord);
    Line.append(Lines[I].data(), Lines[I].size());
    if (NotLineEnd) {
      Line.push_back('\n');
      StartOfRecord = false;
      continue;
    }
    StartOfRecord = true;
    Parser.parseString(Line);
    checkCells(Parser, Line);
    Line.clear();
  }
  return 0;
}
