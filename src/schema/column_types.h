#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

namespace quillon {

// The types a column may get, narrowest first; String takes any value.
enum class ValueType : unsigned char {
  Integer,
  Decimal,
  Double,
  Boolean,
  Date,
  Time,
  DateTime,
  String
};

// The schema's name of a type ("xs:integer").
const char* typeName(ValueType Type);

// One bit for each ValueType but String, set for the types whose lexical form Value has, as a
// schema validator reads it in the document: integers and decimals of up to 24 significant
// digits (more than libxml2 holds are doubles only), booleans "true" and "false" alone, numbers
// and booleans with blanks around them, dates and times without. Blank: Value is blanks only.
unsigned judgeValue(std::string_view Value, bool& Blank);

// What the cells of one column were: the types all of its values have, and whether some cell
// was empty or blanks only.
struct ColumnTypes {
  unsigned Possible = (1u << static_cast<unsigned>(ValueType::String)) - 1;
  bool Valued = false; // a cell held more than blanks
  bool Empty = false;  // a cell held nothing
  bool Blank = false;  // a cell held blanks only

  // The narrowest type every value has; String for a column without values.
  ValueType type() const;
};

// Learns each column's type from its cells as they are written, one small state per column.
// Noting a cell twice changes nothing, so a record taken back and converted again is harmless.
class TypeLearner {
public:
  explicit TypeLearner(std::size_t ColumnCount) : Columns(ColumnCount) {}

  // Value is the cell as the document holds it, before any transcoding: quotation marks around
  // it removed, doubled ones inside undone (a value that still holds them is text anyway).
  void note(std::size_t Column, const char* Value, std::size_t Size) {
    ColumnTypes& C = Columns[Column];
    if (Size == 0)
      C.Empty = true;
    else if (C.Possible != 0) // a text column has nothing left to learn but emptiness
      learn(C, std::string_view(Value, Size));
  }
  void noteRecord(const std::vector<std::string_view>& Cells) {
    for (std::size_t I = 0; I < Columns.size(); ++I)
      note(I, Cells[I].data(), Cells[I].size());
  }
  const std::vector<ColumnTypes>& columns() const { return Columns; }

private:
  static void learn(ColumnTypes& C, std::string_view Value);

  std::vector<ColumnTypes> Columns;
};

} // namespace quillon
