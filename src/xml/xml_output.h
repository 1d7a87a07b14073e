#pragma once

#include "options/settings.h"
#include "xml/target_buffer.h"
#include "xml/xml_escape.h"

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

// The run's counters: the driver owns them, the record writer advances some of them.
struct RunCounters {
  std::int64_t RecordCount = 0;
  std::int64_t LineCount = 0;
  std::int64_t ElementCount = 0;
  std::int64_t IsoToUtf8Count = 0;
  std::int64_t Utf8ToIsoCount = 0;
};

void writeProlog(TargetBuffer& Out, const Settings& S);
// The root end tag needs the root name: the two-argument form reads it from theSettings().
void writeEpilog(TargetBuffer& Out, const Settings& S, std::int64_t RecordCount);
// Utf8: the document is UTF-8, so bytes that are no UTF-8 of an XML character become '?'.
std::string makeStylesheetInstructions(std::string List, bool Utf8 = false);
void splitFileName(std::string Path, std::string* Directory, std::string* Name,
                   std::string* Extension);
std::string formatDateTime(std::time_t Time, bool WithZone);

// One item line of layouts 1 to 4, its indentation included and its line break not;
// empty for any other layout.
std::string formatRecordItem(std::string Column, std::string Value, int Mode,
                             std::string NamespacePrefix, std::string aValue, std::string aName,
                             std::string eItem);

// Names the columns once and writes every record in the chosen layout.
class RecordWriter {
public:
  RecordWriter(const Settings& S, TargetBuffer& Out, RunCounters& Counters);
  RecordWriter(const RecordWriter&) = delete;
  RecordWriter& operator=(const RecordWriter&) = delete;

  void prepareColumnNames(const std::vector<std::string>& HeaderCells);
  // Cells are views into the parser; there are as many as column names.
  void writeRecord(std::int64_t Number, const std::vector<std::string_view>& Cells);
  const std::vector<std::string>& columnNames() const { return ColumnNames; }

  // The fixed text around one column's value, built once per run.
  struct ItemText {
    std::string Before; // the indentation and everything up to the value
    std::string After;  // everything after the value
    std::string Empty;  // the whole item when the value is empty
  };

private:
  // A fixed text inside Texts, which ends with PieceSlack bytes more, so that a short one is
  // copied with one move of a fixed size.
  struct Piece {
    std::size_t Offset = 0;
    std::size_t Size = 0;
  };
  struct ItemPieces {
    Piece Before;
    Piece After;
    Piece Empty;
  };
  static constexpr std::size_t PieceSlack = 32;

  Piece addPiece(const std::string& Text);
  char* putPiece(char* At, Piece P) const;
  void noteControlBytes(std::int64_t Number);
  void writeItem(const ItemPieces& Item, std::string_view Value, std::int64_t Number);

  const Settings& S;
  TargetBuffer& Out;
  RunCounters& Counters;
  std::vector<std::string> ColumnNames;
  std::string Texts; // every fixed text of a record
  std::vector<ItemPieces> Items;
  Piece RecordStart; // up to the id attribute
  Piece IdStart;
  Piece NumStart;
  Piece AttributeEnd; // closes the id and number attributes
  Piece OpenEnd;      // ends the record's start tag in layouts 1 to 4
  Piece RecordEnd;
  std::size_t RecordHeadRoom = 0;         // for the record's start
  TextCoding Coding = TextCoding::Iso;    // how the cells are read and written
  TextWriterFunction WriteText = nullptr; // writes a cell in Coding
  std::int64_t* Converted = nullptr;      // counts the characters transcoded on the way
  bool Attributes = false;                // layout 5
  bool ControlWarned = false;
  bool ValueInAttribute = false; // cells are attribute values (layouts 2, 4 and 5)
  bool Folded = false;           // the line breaks are part of the fixed texts
};

} // namespace quillon
