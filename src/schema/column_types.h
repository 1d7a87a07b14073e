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
// The same for the types of Wanted (their bits) alone.
unsigned judgeValue(std::string_view Value, bool& Blank, unsigned Wanted);

// The form a column's values mostly have once its type is narrowed down, which a cell is
// checked for first.
enum class UsualForm : unsigned char { None, Digits, Decimal, Date };

// What the cells of one column were: the types all of its values have, and whether some cell
// was empty or blanks only.
struct ColumnTypes {
  unsigned Possible = (1u << static_cast<unsigned>(ValueType::String)) - 1;
  bool Valued = false; // a cell held more than blanks
  bool Empty = false;  // a cell held nothing
  bool Blank = false;  // a cell held blanks only
  UsualForm Usual = UsualForm::None;

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
    else if (C.Possible != 0 && !teachesNothing(C.Usual, Value, Size))
      learn(C, std::string_view(Value, Size)); // a text column learns nothing but emptiness
  }
  void noteRecord(const std::vector<std::string_view>& Cells) {
    for (std::size_t I = 0; I < Columns.size(); ++I)
      note(I, Cells[I].data(), Cells[I].size());
  }
  const std::vector<ColumnTypes>& columns() const { return Columns; }

private:
  static void learn(ColumnTypes& C, std::string_view Value);
  // Whether Value has the usual form of its column's values, which tells the column nothing
  // new: checked in a few steps before the whole judgement.
  static bool teachesNothing(UsualForm Form, const char* Value, std::size_t Size) {
    const auto digit = [Value](std::size_t I) {
      return static_cast<unsigned>(static_cast<unsigned char>(Value[I]) - '0');
    };
    switch (Form) {
    case UsualForm::Digits: {
      if (Size > 24)
        return false;
      unsigned Other = 0;
      for (std::size_t I = 0; I < Size; ++I)
        Other |= digit(I) > 9;
      return Other == 0;
    }
    case UsualForm::Decimal: {
      if (Size > 25)
        return false;
      std::size_t Points = 0;
      unsigned Other = 0;
      for (std::size_t I = 0; I < Size; ++I) {
        Points += Value[I] == '.';
        Other |= digit(I) > 9 && Value[I] != '.';
      }
      return Other == 0 && Points <= 1 && Size > Points && Size - Points <= 24;
    }
    case UsualForm::Date: {
      // YYYY-MM-DD of a year from 0001 and a day up to the 28th: valid whatever the month
      if (Size != 10 || Value[4] != '-' || Value[7] != '-')
        return false;
      unsigned Other = 0;
      for (const std::size_t I : {0, 1, 2, 3, 5, 6, 8, 9})
        Other |= digit(I) > 9;
      const unsigned Month = digit(5) * 10 + digit(6);
      const unsigned Day = digit(8) * 10 + digit(9);
      const bool YearZero = (digit(0) | digit(1) | digit(2) | digit(3)) == 0;
      return Other == 0 && Month - 1 < 12 && Day - 1 < 28 && !YearZero;
    }
    case UsualForm::None:
      break;
    }
    return false;
  }

  std::vector<ColumnTypes> Columns;
};

} // namespace quillon
