#include "schema/column_types.h"

#include <cstdint>

namespace quillon {

namespace {

constexpr unsigned bit(ValueType Type) { return 1u << static_cast<unsigned>(Type); }
constexpr unsigned Numbers =
    bit(ValueType::Integer) | bit(ValueType::Decimal) | bit(ValueType::Double);
constexpr unsigned Moments = bit(ValueType::Date) | bit(ValueType::Time) | bit(ValueType::DateTime);
// libxml2 holds a decimal in 24 digits; a longer one it refuses, as an integer too
constexpr std::size_t MostDigits = 24;
// years of more digits are left to text: not every validator holds them
constexpr std::size_t MostYearDigits = 9;

// The blanks a schema collapses: space, tab, line feed and carriage return.
constexpr bool isBlank(char C) { return C == ' ' || C == '\t' || C == '\n' || C == '\r'; }
constexpr bool isDigit(char C) { return C >= '0' && C <= '9'; }

// A cursor over the value's bytes.
struct Reader {
  const char* At;
  const char* End;

  bool take(char C) {
    if (At == End || *At != C)
      return false;
    ++At;
    return true;
  }
  // Exactly Count digits, read as a number into Value.
  bool digits(int Count, int& Value) {
    if (End - At < Count)
      return false;
    Value = 0;
    for (int I = 0; I < Count; ++I, ++At) {
      if (!isDigit(*At))
        return false;
      Value = Value * 10 + (*At - '0');
    }
    return true;
  }
  // Any number of digits; their count.
  std::size_t run() {
    const char* const From = At;
    while (At != End && isDigit(*At))
      ++At;
    return static_cast<std::size_t>(At - From);
  }
  bool done() const { return At == End; }
};

unsigned judgeNumber(std::string_view Value) {
  Reader R{Value.data(), Value.data() + Value.size()};
  const bool Signed = R.take('-') || R.take('+');
  if (R.done())
    return 0;
  if (*R.At == 'I' || *R.At == 'N') {
    // the special doubles; "+INF" is no form of XML Schema 1.0
    const std::string_view Rest(R.At, static_cast<std::size_t>(R.End - R.At));
    const bool Minus = Signed && Value[0] == '-';
    return (Rest == "INF" && (!Signed || Minus)) || (Rest == "NaN" && !Signed)
               ? bit(ValueType::Double)
               : 0;
  }
  while (R.At != R.End && *R.At == '0') // leading zeros are no significant digits
    ++R.At;
  const bool LeadingZeros = R.At != Value.data() + (Signed ? 1 : 0);
  std::size_t Digits = R.run();
  const bool IntegerPart = Digits > 0 || LeadingZeros;
  bool Point = false;
  std::size_t Fraction = 0;
  if (R.take('.')) {
    Point = true;
    Fraction = R.run();
  }
  if (!IntegerPart && Fraction == 0)
    return 0;
  Digits += Fraction;
  if (R.take('e') || R.take('E')) {
    if (!R.take('-'))
      R.take('+');
    return R.run() > 0 && R.done() ? bit(ValueType::Double) : 0;
  }
  if (!R.done())
    return 0;
  if (Digits > MostDigits)
    return bit(ValueType::Double);
  return Point ? bit(ValueType::Decimal) | bit(ValueType::Double) : Numbers;
}

bool leapYear(unsigned YearMod400) {
  return (YearMod400 % 4 == 0 && YearMod400 % 100 != 0) || YearMod400 == 0;
}

// "-"? YYYY "-" MM "-" DD, a year of four digits or more without leading zero, not 0000.
bool readDate(Reader& R) {
  const bool Negative = R.take('-');
  const char* const YearStart = R.At;
  const std::size_t YearDigits = R.run();
  if (YearDigits < 4 || YearDigits > MostYearDigits || (YearDigits > 4 && *YearStart == '0'))
    return false;
  unsigned YearMod400 = 0;
  bool Zero = true;
  for (const char* C = YearStart; C != R.At; ++C) {
    YearMod400 = (YearMod400 * 10 + static_cast<unsigned>(*C - '0')) % 400;
    Zero = Zero && *C == '0';
  }
  int Month = 0;
  int Day = 0;
  if (Zero || !R.take('-') || !R.digits(2, Month) || !R.take('-') || !R.digits(2, Day))
    return false;
  constexpr int Days[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (Month < 1 || Month > 12 || Day < 1 || Day > Days[Month - 1])
    return false;
  // validators disagree on the leap years before year 1: a 29 February there is text
  return Month != 2 || Day < 29 || (!Negative && leapYear(YearMod400));
}

// hh ":" mm ":" ss ("." s+)?, up to 24:00:00 with a fraction of zeros.
bool readTime(Reader& R) {
  int Hour = 0;
  int Minute = 0;
  int Second = 0;
  if (!R.digits(2, Hour) || !R.take(':') || !R.digits(2, Minute) || !R.take(':') ||
      !R.digits(2, Second))
    return false;
  bool FractionZero = true;
  if (R.take('.')) {
    const char* const From = R.At;
    if (R.run() == 0)
      return false;
    for (const char* C = From; C != R.At; ++C)
      FractionZero = FractionZero && *C == '0';
  }
  if (Hour == 24)
    return Minute == 0 && Second == 0 && FractionZero;
  return Hour < 24 && Minute < 60 && Second < 60;
}

// An optional zone at the end: "Z", or "+" or "-" hh ":" mm up to 14:00.
bool readZone(Reader& R) {
  if (R.done() || R.take('Z'))
    return R.done();
  if (!R.take('+') && !R.take('-'))
    return false;
  int Hour = 0;
  int Minute = 0;
  if (!R.digits(2, Hour) || !R.take(':') || !R.digits(2, Minute) || !R.done())
    return false;
  return Minute < 60 && (Hour < 14 || (Hour == 14 && Minute == 0));
}

unsigned judgeMoment(std::string_view Value) {
  const char* const End = Value.data() + Value.size();
  if (Value.size() >= 3 && Value[2] == ':') {
    Reader R{Value.data(), End};
    return readTime(R) && readZone(R) ? bit(ValueType::Time) : 0;
  }
  Reader R{Value.data(), End};
  if (!readDate(R))
    return 0;
  if (R.take('T'))
    return readTime(R) && readZone(R) ? bit(ValueType::DateTime) : 0;
  return readZone(R) ? bit(ValueType::Date) : 0;
}

} // namespace

const char* typeName(ValueType Type) {
  switch (Type) {
  case ValueType::Integer:
    return "xs:integer";
  case ValueType::Decimal:
    return "xs:decimal";
  case ValueType::Double:
    return "xs:double";
  case ValueType::Boolean:
    return "xs:boolean";
  case ValueType::Date:
    return "xs:date";
  case ValueType::Time:
    return "xs:time";
  case ValueType::DateTime:
    return "xs:dateTime";
  case ValueType::String:
    break;
  }
  return "xs:string";
}

unsigned judgeValue(std::string_view Value, bool& Blank) {
  return judgeValue(Value, Blank, (1u << static_cast<unsigned>(ValueType::String)) - 1);
}

unsigned judgeValue(std::string_view Value, bool& Blank, unsigned Wanted) {
  std::size_t From = 0;
  std::size_t To = Value.size();
  while (From < To && isBlank(Value[From]))
    ++From;
  while (To > From && isBlank(Value[To - 1]))
    --To;
  Blank = From == To;
  if (Blank)
    return 0;
  const bool Trimmed = From > 0 || To < Value.size();
  const std::string_view Core = Value.substr(From, To - From);
  if ((Wanted & bit(ValueType::Boolean)) && (Core == "true" || Core == "false"))
    return bit(ValueType::Boolean);
  unsigned Found = (Wanted & Numbers) ? judgeNumber(Core) : 0;
  // libxml2 collapses no blanks around dates and times
  if (Found == 0 && (Wanted & Moments) && !Trimmed && Core.size() >= 8)
    Found = judgeMoment(Core);
  return Found;
}

ValueType ColumnTypes::type() const {
  if (!Valued || Possible == 0)
    return ValueType::String;
  return static_cast<ValueType>(__builtin_ctz(Possible));
}

void TypeLearner::learn(ColumnTypes& C, std::string_view Value) {
  bool Blank = false;
  // only the types still possible are looked for
  const unsigned Found = judgeValue(Value, Blank, C.Possible);
  if (Blank) {
    C.Blank = true;
    return;
  }
  C.Valued = true;
  C.Possible &= Found;
  // integers still possible: every value so far was one
  if (C.Possible & bit(ValueType::Integer))
    C.Usual = UsualForm::Digits;
  else if (C.Possible == (bit(ValueType::Decimal) | bit(ValueType::Double)))
    C.Usual = UsualForm::Decimal;
  else if (C.Possible == bit(ValueType::Date))
    C.Usual = UsualForm::Date;
  else
    C.Usual = UsualForm::None;
}

} // namespace quillon
