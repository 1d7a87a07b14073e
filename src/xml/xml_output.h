#pragma once

// The room xml/: the text writer and the name rules, prolog and epilog, the record writer. It
// may use base/, io/, options/ and encoding/.

#include "io/target_buffer.h"
#include "options/settings.h"
#include "xml/xml_escape.h"

#include <cstdint>
#include <cstring>
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
// The root's source and date-time attribute names as writeProlog writes them.
void rootAttributeNames(const Settings& S, std::string& Source, std::string& Time);
// The root's date-time value as writeProlog writes it now.
std::string documentDateTime(const Settings& S);
// How writeProlog writes command-line texts in attribute values (the namespace URI).
TextCoding outsideTextCoding(const Settings& S);
// The root end tag needs the root name: the two-argument form reads it from theSettings().
void writeEpilog(TargetBuffer& Out, const Settings& S, std::int64_t RecordCount);
// Utf8: the document is UTF-8, so bytes that are no UTF-8 of an XML character become '?'.
std::string makeStylesheetInstructions(std::string List, bool Utf8 = false);
void splitFileName(std::string Path, std::string* Directory, std::string* Name,
                   std::string* Extension);
std::string formatDateTime(std::time_t Time, bool WithZone, bool Utc = false);

// One item line of layouts 1 to 4, its indentation included and its line break not;
// empty for any other layout. Utf8: the document is UTF-8.
std::string formatRecordItem(std::string Column, std::string Value, int Mode,
                             std::string NamespacePrefix, std::string aValue, std::string aName,
                             std::string eItem, bool Utf8);

// Names the columns once and writes every record in the chosen layout.
class RecordWriter {
public:
  RecordWriter(const Settings& S, TargetBuffer& Out, RunCounters& Counters);
  RecordWriter(const RecordWriter&) = delete;
  RecordWriter& operator=(const RecordWriter&) = delete;

  void prepareColumnNames(const std::vector<std::string>& HeaderCells);
  // How the cells are read and written, from the settings' transcoding flags: again whenever
  // they change (a source judged UTF-8 after the header).
  void chooseCoding();
  // Cells are views into the parser; there are as many as column names.
  void writeRecord(std::int64_t Number, const std::vector<std::string_view>& Cells);
  const std::vector<std::string>& columnNames() const { return ColumnNames; }
  // The record's number attribute and the items' value attribute, as written.
  const std::string& numberName() const { return NumName; }
  const std::string& valueName() const { return ValueName; }
  // How column names that are attribute values (layouts 3 and 4) are written.
  TextCoding nameCoding() const {
    return Coding == TextCoding::IsoToUtf8 ? TextCoding::Utf8 : Coding;
  }

  // The fixed text around one column's value, built once per run.
  struct ItemText {
    std::string Before; // the indentation and everything up to the value
    std::string After;  // everything after the value
    std::string Empty;  // the whole item when the value is empty
  };

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
  static constexpr std::size_t PieceSlack = 64; // at least 32: see copyPiece

  // A record in three steps, for a converter that writes some cells itself: the start, each
  // cell in column order (writeCell writes and counts exactly as writeRecord does), the end,
  // which writes the record's warnings, those of noteCells included.
  void writeRecordStart(std::int64_t Number);
  void writeCell(std::size_t Column, std::string_view Value);
  void writeRecordEnd();
  // What cells written elsewhere held, as writeValue tells it, for writeRecordEnd to warn of.
  void noteCells(bool Replaced, bool Foreign) {
    RecordReplaced = RecordReplaced || Replaced;
    RecordForeign = RecordForeign || Foreign;
  }
  // The pieces of each column, read-only, and the room the writer reserves for a cell's item,
  // so that a cell written elsewhere fills the buffer exactly as writeCell would.
  const std::vector<ItemPieces>& itemPieces() const { return Items; }
  static std::size_t itemRoom(const ItemPieces& Item, std::size_t ValueSize) {
    return Item.Before.Size + Item.After.Size + escapedTextRoom(ValueSize) + 2 * PieceSlack;
  }
  static std::size_t emptyRoom(const ItemPieces& Item) { return Item.Empty.Size + PieceSlack; }
  // The room the record's start and end reserve together.
  std::size_t recordRoom() const { return RecordHeadRoom + RecordEnd.Size + PieceSlack; }
  // The most the cells of a record from a line of LineLength bytes reserve together: each
  // column's item or empty item, and the text form of every byte of the line.
  std::size_t cellsRoom(std::size_t LineLength) const {
    return PiecesRoom + escapedTextRoom(LineLength);
  }
  // Where P's text is; PieceSlack readable bytes follow it.
  const char* pieceText(Piece P) const { return Texts.data() + P.Offset; }
  // Copies P to At and returns its end; At has PieceSlack bytes of room beyond it.
  char* putPiece(char* At, Piece P) const { return copyPiece(At, Texts.data() + P.Offset, P.Size); }
  // Copies the Size bytes of a piece's text at From to At, a short one with one move of 32 or
  // PieceSlack bytes; both have PieceSlack bytes beyond them.
  static char* copyPiece(char* At, const char* From, std::size_t Size) {
    if (Size <= 32)
      std::memcpy(At, From, 32);
    else if (Size <= PieceSlack)
      std::memcpy(At, From, PieceSlack);
    else
      std::memcpy(At, From, Size);
    return At + Size;
  }
  // Writes Value's text form at At, which has escapedTextRoom(Value.size()) bytes of room, and
  // returns its end; counts the characters converted as writeCell does. Replaced tells that
  // bytes XML cannot hold became '?', Foreign that a UTF-8 value held bytes of no sequence:
  // the caller then calls noteCells.
  char* writeValue(char* At, std::string_view Value, bool& Replaced, bool& Foreign) {
    // transcoded on the way into the buffer
    return WriteText(At, Value.data(), Value.data() + Value.size(), ValueInAttribute, *Converted,
                     Replaced, Foreign);
  }
  // How the cells are written, and the count of characters converted on the way, which
  // writeValue advances.
  TextCoding textCoding() const { return Coding; }
  bool valueInAttribute() const { return ValueInAttribute; }
  std::int64_t& convertedCount() { return *Converted; }
  // Warns, once per run, that record Number held bytes that became '?'.
  void noteControlBytes(std::int64_t Number);
  // Warns, once per run, that record Number held bytes of a UTF-8 source that are not UTF-8.
  void noteForeignBytes(std::int64_t Number);
  // The line breaks are part of the pieces (the target is no terminal).
  bool folded() const { return Folded; }
  bool suppressEmpty() const { return S.SuppressEmpty; }

private:
  Piece addPiece(const std::string& Text);
  void writeItem(const ItemPieces& Item, std::string_view Value);

  const Settings& S;
  TargetBuffer& Out;
  RunCounters& Counters;
  std::vector<std::string> ColumnNames;
  std::string NumName;
  std::string ValueName;
  std::string Texts; // every fixed text of a record
  std::vector<ItemPieces> Items;
  Piece RecordStart; // up to the id attribute
  Piece IdStart;
  Piece NumStart;
  Piece AttributeEnd; // closes the id and number attributes
  Piece OpenEnd;      // ends the record's start tag in layouts 1 to 4
  Piece RecordEnd;
  std::size_t PiecesRoom = 0;             // for a record's cells, beside their values
  std::size_t RecordHeadRoom = 0;         // for the record's start
  TextCoding Coding = TextCoding::Iso;    // how the cells are read and written
  TextWriterFunction WriteText = nullptr; // writes a cell in Coding
  std::int64_t* Converted = nullptr;      // counts the characters transcoded on the way
  bool Attributes = false;                // layout 5
  bool ControlWarned = false;
  bool ForeignWarned = false;
  std::int64_t RecordNumber = 0; // the record being written, and what its cells held
  bool RecordReplaced = false;
  bool RecordForeign = false;
  bool ValueInAttribute = false; // cells are attribute values (layouts 2, 4 and 5)
  bool Folded = false;           // the line breaks are part of the fixed texts
};

} // namespace quillon
