#include "schema/column_types.h"

#include <string>

#include <gtest/gtest.h>

namespace {

using quillon::ColumnTypes;
using quillon::TypeLearner;
using quillon::ValueType;

unsigned judged(const std::string& Value) {
  bool Blank = false;
  return quillon::judgeValue(Value, Blank);
}

// A column whose first value settles its usual form checks the next cells against that form
// first: whatever the shortcut lets pass must be what the whole judgement says.
TEST(TypeLearner, UsualFormsAgreeWithTheWholeJudgement) {
  const char* const Firsts[] = {"12", "1.5", "2024-01-01"};
  const char* const Nexts[] = {
      "7",
      "0000",
      "123456789012345678901234",
      "1234567890123456789012345",
      "-1",
      "+1",
      "1 ",
      "12a",
      "1.",
      ".5",
      ".",
      "1..2",
      "1e5",
      "2.5.",
      "0.123456789012345678901234",
      "2024-02-28",
      "2024-02-29",
      "2023-02-29",
      "2024-13-01",
      "2024-00-10",
      "2024-01-32",
      "0000-01-01",
      "2024-1-011",
      "2024-01-01Z",
      "true",
      "12:00:00",
      // bytes beside the digits and points, where the words read at a time meet or overlap
      "1234567\xB9",
      "12345678/0",
      "123456789:12345",
      "12.34567\xB0",
      "1.2.3",
      "1.23.4",
      "123.45678.90",
      "123.456.7",
      "1234.5678901",
      "12345678.9012",
      ".1234",
      "1234.",
      "123456789012345.",
      "1.234567890123456",
      "12345678901234567890123.4",
      "2024-02-1:",
      "2024-0/-10",
      "2024-01-2\xB5",
      "2024+01-01",
  };
  for (const bool Slack : {false, true})
    for (const char* First : Firsts)
      for (const char* Next : Nexts) {
        SCOPED_TRACE(std::string(First) + " then " + Next + (Slack ? " with slack" : ""));
        TypeLearner Learner(1);
        Learner.note(0, First, std::string(First).size());
        // the bytes after the value read as digits: only the value may count
        const std::string Padded = Next + std::string(16, '7');
        const std::size_t Size = std::string(Next).size();
        if (Slack)
          Learner.noteWithSlack(0, Padded.data(), Size);
        else
          Learner.note(0, Padded.data(), Size);
        const ColumnTypes& C = Learner.columns()[0];
        EXPECT_EQ(C.Possible, judged(First) & judged(Next));
        EXPECT_FALSE(C.Blank || C.Empty);
      }
}

// What a column becomes, its cells given in order; noting them twice changes nothing.
TEST(TypeLearner, ColumnTypes) {
  const struct {
    std::vector<std::string> Cells;
    ValueType Type;
    bool Empty;
    bool Blank;
  } Cases[] = {
      {{"1", "-0", "+007"}, ValueType::Integer, false, false},
      {{"1", "", "2"}, ValueType::Integer, true, false},
      {{"1", " \t", "2"}, ValueType::Integer, false, true},
      {{"", " "}, ValueType::String, true, true},
      {{"1", "2", "x"}, ValueType::String, false, false},
      {{"x", "", "1"}, ValueType::String, true, false},
      {{"1", "1.5", "1e5"}, ValueType::Double, false, false},
      {{"true", "0"}, ValueType::String, false, false},
      {{"2024-02-29", "2024-03-01Z"}, ValueType::Date, false, false},
      {{"2024-02-29", "2023-02-29"}, ValueType::String, false, false},
      {{"12:00:00", "24:00:00"}, ValueType::Time, false, false},
      {{"2024-01-01T00:00:00", "2024-01-01"}, ValueType::String, false, false},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Cells.back());
    TypeLearner Learner(1);
    for (int Twice = 0; Twice < 2; ++Twice)
      for (const std::string& Cell : Case.Cells)
        Learner.note(0, Cell.data(), Cell.size());
    const ColumnTypes& C = Learner.columns()[0];
    EXPECT_EQ(quillon::typeName(C.type()), std::string(quillon::typeName(Case.Type)));
    EXPECT_EQ(C.Empty, Case.Empty);
    EXPECT_EQ(C.Blank, Case.Blank);
  }
}

} // namespace
