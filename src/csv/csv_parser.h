#pragma once

// The room csv/: the line parser. It may use base/ and nothing else.

#include "base/limits.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

// Splits one line into cells. One parser serves the whole run and reuses its buffers.
// Lines are taken by length, so a NUL byte is just another byte.
class TCSV_Parser {
public:
  TCSV_Parser(int ItemBufferSize, bool Debug);
  TCSV_Parser(const TCSV_Parser&) = delete; // one per run: never copied
  TCSV_Parser& operator=(const TCSV_Parser&) = delete;
  ~TCSV_Parser();

  void setDefaults();
  void setSeparators(std::string Sep);
  bool setItemCount(int Count);
  bool setItemRange(int First, int Last);
  int getNumOfItems(std::string_view Header) const; // leaves the parser as it was
  static int getNumOfItems(std::string_view Header, std::string_view Sep, bool UseQuotationMarks);
  bool parseString(std::string_view ParseString);
  std::string getItem(int Index) const; // a copy: the caller rewrites it in place
  // The same cell without a copy; valid until the next parseString.
  std::string_view itemView(int Index) const {
    if (!ParseOK || Index < 0 || Index >= NumOfParsedItems)
      return {};
    return Items[static_cast<std::size_t>(Index)];
  }
  int getNumOfParsedItems() const { return NumOfParsedItems; }
  bool isInQuotation(std::string_view Line, bool Reset);
  // True when a line feed of a record gathered from several lines lies inside a quotation
  // that a mark within a cell opened (24" wide), not a mark at the start of a cell.
  bool joinedByInnerQuote(std::string_view Record) const;
  // True when the last parse stopped at the cell limit while the rest of its line still
  // held something other than separators: data that no cell received.
  bool droppedSurplus() const { return DroppedSurplus; }

  void setUseQuotationMarks(bool On) { UseQuotationMarks = On; }
  // Quotation marks as spreadsheets write them: a mark opens a quotation only as a cell's first
  // byte, "" inside it is one mark, and any other mark is an ordinary byte. The two switches
  // around it then count for nothing.
  void setRfc4180(bool On) { Rfc4180 = On; }
  void setRemoveQuotationMarks(bool On) { RemoveQuotationMarks = On; }
  int itemCount() const { return ItemCount; }
  int itemCapacity() const { return ItemCapacity; }
  int maxItemLength() const { return MaxItemLength; }

private:
  void storeItem(int Index, const char* Cell, std::size_t Length, bool SawQuote);
  bool parseRfc4180(std::string_view Line);
  // Reads the cell at P into Item (none: skipped); returns the separator that ends it, or End.
  const char* readRfc4180Cell(const char* P, const char* End, std::string* Item) const;
  // The first separator or quotation mark in [P, End), or End.
  const char* findSpecial(const char* P, const char* End) const;

  std::string Separators;
  std::array<unsigned char, 256> ByteClass{}; // separator and quotation bits of each byte
  std::array<std::uint64_t, 3> Pattern{};     // the bytes of the word scan, each repeated 8 times
  int WordPatterns = 0;                       // 0: the set is too large for the word scan
  std::vector<std::string> Items;             // reused from line to line; grows, never shrinks
  std::unique_ptr<char[]> ItemBuffer;         // cells holding quotation marks are un-doubled here
  bool ParseOK = false;
  bool UseQuotationMarks = true;
  bool RemoveQuotationMarks = true;
  bool Rfc4180 = false;
  int ItemCapacity = 0;
  int ItemCount = 0;
  int NumOfParsedItems = 0;
  int FirstItem = 0;
  int LastItem = 0;
  int ItemBufferSize = 0;
  int MaxItemLength = -1;
  bool InQuotation = false;
  bool Debug = false;
  bool DroppedSurplus = false;
};

} // namespace quillon
