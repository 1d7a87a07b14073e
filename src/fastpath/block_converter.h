#pragma once

// The room fastpath/: the block converter and its structure scan, which take ordinary records a
// block at a time, equal to the line by line path. It may use base/, io/, options/, encoding/
// and xml/.

#include "fastpath/structure_scan.h"
#include "io/target_buffer.h"
#include "options/settings.h"
#include "schema/column_types.h"
#include "xml/xml_output.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

// Converts the ordinary records at the start of a block of input straight into the target,
// a block at a time, and leaves everything unusual to the line by line path: it stops before
// the first record that needs that path, and the run hands that record's first line to it.
// Whatever it converts comes out exactly as the line by line path would write it, with the
// same counts, warnings, progress dots and target flushes.
//
// An ordinary record is one physical line below the line limit, ended by a line feed, whose
// cells are each plain, or quoted with doubled quotation marks inside; once the run has
// warned about surplus cells, the surplus is ignored as the parser ignores it (with -rfc4180,
// only a surplus without quotation marks). A cell of printable ASCII (and, in an ISO-8859-1
// document from a source read as ISO-8859-1, of bytes from 0xA0 up) is copied as it is. The
// other cells are written from the block in the forms the record writer's text writer gives
// each byte, a kept reference judged in place and each doubled quotation mark written once; in
// a source read as UTF-8, each character beyond ASCII is judged where it stands and copied (or,
// into an ISO-8859-1 document, written as its byte). What remains (an '&' with a quotation mark
// within five bytes after it, a byte of no UTF-8 sequence, a character an ISO-8859-1 document
// writes as a reference) goes through the record writer's own text code.
// While the source's reading is undecided, a record that holds a byte from 0x80 up is no
// ordinary one.
//
// A record is written straight into the target when the room for its worst case is there (a
// record that goes the exact way after all is taken back); otherwise its cells are kept and
// written with every reservation the record writer makes, so the target flushes where it would
// flush then.
class BlockConverter {
public:
  enum class Stop {
    NeedInput,    // the block ends before the next record does
    Exact,        // the next record goes the line by line way
    OutputFailed, // the target failed: the run stops converting
  };

  // Whether the run can use it: no debug lines, a target that is no terminal, and a separator
  // set of a few bytes that holds no quotation mark or line end.
  static bool suits(const Settings& S, const RecordWriter& Writer);

  // SurplusWarned: the run's flag that the surplus-cells warning was written. Undecided: the
  // source's reading is not judged yet, so every record that holds a byte from 0x80 up goes the
  // line by line way, which judges it.
  BlockConverter(const Settings& S, RecordWriter& Writer, TargetBuffer& Out, RunCounters& Counters,
                 std::size_t ColumnCount, const bool& SurplusWarned, bool Verbose, ScanLevel Level,
                 bool Undecided);
  BlockConverter(const BlockConverter&) = delete;
  BlockConverter& operator=(const BlockConverter&) = delete;
  ~BlockConverter();

  // Has each cell taken noted in Types (null: none), for the schema written at the end.
  void learnTypes(TypeLearner* Types) { this->Types = Types; }

  // Converts the whole ordinary records at the start of Block (which must begin a record and
  // have StructureScan's padding after it); returns the bytes they took. Why tells where it
  // stopped. Refills: the reader's count of refills, which tells whether the bytes of the
  // last call's block are still where they were, so that their scan holds.
  std::size_t convert(std::string_view Block, std::uint64_t Refills, Stop& Why);

private:
  enum class Kind : unsigned char {
    Empty,
    Clean,     // copied as it is
    Care,      // on the block, with bytes needing care
    Doubled,   // on the block, quoted, with doubled quotation marks written once
    Undoubled, // its doubled quotation marks undone, off the block
  };
  struct Cell {
    const char* Value;
    std::size_t Size;
    Kind What;
  };
  // What became of a record offered.
  enum class Taken {
    Kept,       // its cells are judged and kept, for writeRecord
    Written,    // written already
    EmptyLine,  // no record: the parser takes none from an empty line
    LineByLine, // it goes the line by line way
  };

  class Walk;

  void formBytes();
  std::size_t resumeAt(std::string_view Block, std::uint64_t Refills) const;
  bool findFeed(std::size_t Start, std::size_t Limit, std::size_t& Feed);
  Taken writeDirectly(std::size_t Start, std::size_t Feed);
  // Learn: each cell taken is noted in Types.
  template <bool Direct, bool Learn>
  Taken takeRecord(std::size_t Start, std::size_t Feed, char** To);
  bool surplusPasses(Walk& Structure, std::size_t From, std::size_t End, std::size_t Feed);
  bool judgeCell(std::size_t From, std::size_t To, Cell& Judged, bool Unknown);
  bool judgeDoubled(std::size_t From, std::size_t To, Cell& Judged);
  bool undoubleCell(std::size_t From, std::size_t To, Cell& Judged);
  std::string_view undoubled(const Cell& C);
  bool holdsHighByte(std::size_t From, std::size_t To) const;
  char* putCell(char* To, std::size_t I, const Cell& C);
  char* putCareCell(char* To, std::size_t From, std::size_t End);
  std::size_t putCharacter(char*& To, std::size_t Start, std::size_t End) const;
  void countRecord(std::int64_t Number);
  void writeRecord(std::size_t Length);
  void writeCellsByRoom();

  RecordWriter& Writer;
  TargetBuffer& Out;
  RunCounters& Counters;
  const std::size_t ColumnCount;
  const bool& SurplusWarned;
  const bool Verbose;
  const bool SuppressEmpty;
  const bool Rfc4180; // a mark within a surplus cell may open a quotation, or not
  const bool Undecided;
  StructureScan Scan;
  const char* Data = nullptr; // the stretch of blocks scanned, from the first call's block
  std::size_t Size = 0;
  std::size_t Stopped = 0;   // where in it the last call stopped
  std::uint64_t Refills = 0; // the reader's count when the stretch was scanned
  std::size_t Batch = 0;     // windows for the next scan
  // The texts around a column's value, taken from the writer once.
  struct Pieces {
    const char* Before;
    const char* After;
    const char* Empty;
    std::size_t BeforeSize;
    std::size_t AfterSize;
    std::size_t EmptySize;
  };

  std::vector<Pieces> Texts;
  // The text form of each byte in a single-byte coding, for the cells on the block: their
  // bytes needing care are known, and each is written alone ('&' unless a reference is kept).
  struct ByteForm {
    char Bytes[8];
    unsigned char Length;
    bool Converted; // counts as a character transcoded
    bool Replaced;  // a byte XML cannot hold, written '?'
    bool Sequence;  // in UTF-8 text, a byte from 0x80 up: it begins a character
    bool Stops;     // undecided, a byte from 0x80 up: the line by line way judges it
  };
  std::array<ByteForm, 256> Forms{};
  bool Utf8Text = false;    // the source is read as UTF-8
  bool IsoDocument = false; // ... and written into an ISO-8859-1 document
  std::vector<Cell> Cells;  // the record being converted
  // the record's cells whose doubled quotation marks were undone, one after another
  std::unique_ptr<char[]> Undoubled;
  std::size_t UndoubledSize = 0;
  unsigned Backoff = 0; // offers refused while the records keep needing the exact path
  unsigned Refused = 0;
  std::int64_t Records = 0; // written here
  // the record being written: cells that held bytes XML cannot hold, items written
  bool Replaced = false;
  bool Foreign = false;
  bool MetHigh = false; // a byte from 0x80 up while the reading is undecided
  std::int64_t Written = 0;
  TypeLearner* Types = nullptr;
};

} // namespace quillon
