#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif
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
  // Where in a word a byte stands, for the words read from a value.
  static constexpr bool LittleEndian = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__;

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
  // The same for a value after which 16 bytes from Value on can be read (a read block's
  // padding): its usual form is checked with one vector of 16 bytes.
  void noteWithSlack(std::size_t Column, const char* Value, std::size_t Size) {
    ColumnTypes& C = Columns[Column];
    if (Size == 0)
      C.Empty = true;
    else
      noteValueWithSlack(C, Value, Size);
  }
  // The columns' states, for a walk that keeps them at hand, and what noteWithSlack does for a
  // value that is not empty.
  ColumnTypes* states() { return Columns.data(); }
  static void noteValueWithSlack(ColumnTypes& C, const char* Value, std::size_t Size) {
    if (C.Possible != 0 && !teachesNothingWithSlack(C.Usual, Value, Size))
      learn(C, std::string_view(Value, Size));
  }
  void noteRecord(const std::vector<std::string_view>& Cells) {
    for (std::size_t I = 0; I < Columns.size(); ++I)
      note(I, Cells[I].data(), Cells[I].size());
  }
  const std::vector<ColumnTypes>& columns() const { return Columns; }

private:
  static void learn(ColumnTypes& C, std::string_view Value);
  // Whether the Size bytes at Value are all digits, read a word at a time: two words that
  // may overlap cover 4 to 16 bytes, and nothing beyond the value is read.
  static bool digits(const char* Value, std::size_t Size) {
    if (Size >= 8) {
      std::uint64_t Words = 0;
      for (std::size_t At = 0; At + 8 < Size; At += 8)
        Words |= nonDigits(load<std::uint64_t>(Value + At));
      return (Words | nonDigits(load<std::uint64_t>(Value + Size - 8))) == 0;
    }
    if (Size >= 4)
      return (nonDigits(load<std::uint32_t>(Value)) |
              nonDigits(load<std::uint32_t>(Value + Size - 4))) == 0;
    unsigned Other = 0;
    for (std::size_t I = 0; I < Size; ++I)
      Other |= static_cast<unsigned char>(Value[I] - '0') > 9;
    return Other == 0;
  }
  template <typename Word> static Word load(const char* At) {
    Word W;
    std::memcpy(&W, At, sizeof W);
    return W;
  }
  // The top bit of each byte of W that is no digit.
  template <typename Word> static Word nonDigits(Word W) {
    constexpr Word Ones = static_cast<Word>(~Word(0)) / 0xFF;
    constexpr Word Top = Ones * 0x80;
    const Word Above = (((W & ~Top) + Ones * 0x46) | W) & Top; // above '9', or from 0x80 up
    const Word Below = ~((W | Top) - Ones * 0x30) & Top;       // below '0'
    return Above | Below;
  }
  // The top bit of each byte of W that is a point.
  template <typename Word> static Word points(Word W) {
    constexpr Word Ones = static_cast<Word>(~Word(0)) / 0xFF;
    constexpr Word Top = Ones * 0x80;
    const Word Other = W ^ (Ones * '.');
    return ~(((Other & ~Top) + ~Top) | Other) & Top;
  }
  // The points and the other bytes that are no digits of the Width bytes at At.
  template <typename Word>
  static void judgeWord(const char* At, std::uint64_t& Points, std::uint64_t& Other) {
    const Word W = load<Word>(At);
    Points = points(W);
    Other = nonDigits(W) & ~Points;
  }
  // Digits with at most one point among them, not a point alone. Two words that may overlap
  // cover 4 to 16 bytes; a point that both hold must be one byte.
  static bool decimal(const char* Value, std::size_t Size) {
    if (LittleEndian && Size >= 4 && Size <= 16) {
      const std::size_t Width = Size >= 8 ? 8 : 4;
      std::uint64_t HeadPoints = 0;
      std::uint64_t HeadOther = 0;
      std::uint64_t TailPoints = 0;
      std::uint64_t TailOther = 0;
      if (Width == 8) {
        judgeWord<std::uint64_t>(Value, HeadPoints, HeadOther);
        judgeWord<std::uint64_t>(Value + Size - 8, TailPoints, TailOther);
      } else {
        judgeWord<std::uint32_t>(Value, HeadPoints, HeadOther);
        judgeWord<std::uint32_t>(Value + Size - 4, TailPoints, TailOther);
      }
      if ((HeadOther | TailOther) != 0 || (HeadPoints & (HeadPoints - 1)) != 0 ||
          (TailPoints & (TailPoints - 1)) != 0)
        return false;
      if (HeadPoints == 0 || TailPoints == 0)
        return true; // a point, if any, where one word alone reads
      const std::size_t InHead = static_cast<std::size_t>(__builtin_ctzll(HeadPoints)) / 8;
      const std::size_t InTail = static_cast<std::size_t>(__builtin_ctzll(TailPoints)) / 8;
      return InHead == InTail + Size - Width;
    }
    std::size_t Points = 0;
    unsigned Other = 0;
    for (std::size_t I = 0; I < Size; ++I) {
      Points += Value[I] == '.';
      Other |= static_cast<unsigned char>(Value[I] - '0') > 9 && Value[I] != '.';
    }
    return Other == 0 && Points <= 1 && Size > Points;
  }

  // Whether the date YYYY-MM-DD at Value, its digits and dashes checked, is one of a year from
  // 0001, a month from 01 to 12 and a day up to the 28th: valid whatever the month.
  static bool dayOfEveryMonth(const char* Value) {
    const unsigned Month = static_cast<unsigned>((Value[5] - '0') * 10 + Value[6] - '0');
    const unsigned Day = static_cast<unsigned>((Value[8] - '0') * 10 + Value[9] - '0');
    return Month - 1 < 12 && Day - 1 < 28 &&
           load<std::uint32_t>(Value) != load<std::uint32_t>("0000");
  }

  // teachesNothing for a value with 16 readable bytes, one vector compared at a time.
  static bool teachesNothingWithSlack(UsualForm Form, const char* Value, std::size_t Size) {
#ifdef __SSE2__
    if (Size > 16)
      return teachesNothing(Form, Value, Size);
    const __m128i Bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Value));
    const __m128i Nine = _mm_set1_epi8(9);
    const __m128i Shifted = _mm_sub_epi8(Bytes, _mm_set1_epi8('0'));
    const unsigned Live = (1u << Size) - 1;
    const unsigned Digits = static_cast<unsigned>(_mm_movemask_epi8(
                                _mm_cmpeq_epi8(_mm_max_epu8(Shifted, Nine), Nine))) &
                            Live;
    switch (Form) {
    case UsualForm::Digits:
      return Digits == Live;
    case UsualForm::Decimal: {
      const unsigned Points =
          static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(Bytes, _mm_set1_epi8('.')))) &
          Live;
      return (Digits | Points) == Live && (Points & (Points - 1)) == 0 && Digits != 0;
    }
    case UsualForm::Date: {
      const unsigned Dashes =
          static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(Bytes, _mm_set1_epi8('-'))));
      // YYYY-MM-DD: digits but at 4 and 7, dashes there
      if (Size != 10 || Digits != 0x36F || (Dashes & 0x90) != 0x90)
        return false;
      return dayOfEveryMonth(Value);
    }
    case UsualForm::None:
      break;
    }
    return false;
#else
    return teachesNothing(Form, Value, Size);
#endif
  }

  // Whether Value has the usual form of its column's values, which tells the column nothing
  // new: checked in a few steps before the whole judgement.
  static bool teachesNothing(UsualForm Form, const char* Value, std::size_t Size) {
    switch (Form) {
    case UsualForm::Digits:
      return Size <= 24 && digits(Value, Size);
    case UsualForm::Decimal:
      // 24 digits at most
      return Size <= 25 && (Size <= 24 || std::memchr(Value, '.', Size)) && decimal(Value, Size);
    case UsualForm::Date: {
      // YYYY-MM-DD
      if (Size != 10 || Value[4] != '-' || Value[7] != '-')
        return false;
      if constexpr (LittleEndian) {
        // the two words that cover the date, its dashes made zeros
        constexpr std::uint64_t Dashes = ((0x2DULL ^ 0x30) << 32) | ((0x2DULL ^ 0x30) << 56);
        const std::uint64_t Head = load<std::uint64_t>(Value) ^ Dashes;
        const std::uint64_t Tail = load<std::uint64_t>(Value + 2) ^ (Dashes >> 16);
        if ((nonDigits(Head) | nonDigits(Tail)) != 0)
          return false;
      } else if (!digits(Value, 4) || !digits(Value + 5, 2) || !digits(Value + 8, 2)) {
        return false;
      }
      return dayOfEveryMonth(Value);
    }
    case UsualForm::None:
      break;
    }
    return false;
  }

  std::vector<ColumnTypes> Columns;
};

} // namespace quillon
