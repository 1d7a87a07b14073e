#include "capture.h"
#include "csv/csv_parser.h"

#include <sstream>
#include <string>

#include <gtest/gtest.h>

namespace {

using quillon::TCSV_Parser;
using namespace std::string_literals;

struct SplitCase {
  std::string Line;
  std::string Cells[3];
  bool Result;
};

const SplitCase SplitCases[] = {
    // three columns, ';', quotation marks on
    {"a;b;c", {"a", "b", "c"}, true},
    {"a;;c", {"a", "", "c"}, true},
    {"a;b", {"a", "b", ""}, true},
    {"a;b;c;d", {"a", "b", "c"}, true},
    {"\"x;y\";b;c", {"x;y", "b", "c"}, true},
    {"\"say \"\"hi\"\"\";b;c", {"say \"hi\"", "b", "c"}, true},
    {"\"a\"b;c", {"ab", "c", ""}, true},
    {"\"a;b;c", {"a;b;c", "", ""}, true},
    {";", {"", "", ""}, false},
    {"", {"", "", ""}, false},
    {";;", {"", "", ""}, true},
    {"\"\"\"\";x", {"\"\"", "x", ""}, true},        // four marks give two
    {"a;b;\"", {"a", "b", ""}, true},               // a lone mark as last cell
    {" \"a\" ;b", {" a ", "b", ""}, true},          // blanks keep the marks from stripping
    {"\"l1\nl2\";b;c", {"l1\nl2", "b", "c"}, true}, // a joined line keeps its line feed
    {"a;b;c\r", {"a", "b", "c\r"}, true},           // the last cell keeps its carriage return
    {"a\0b;c"s, {"a\0b"s, "c", ""}, true},          // NUL is an ordinary byte
    {"\"a;b\";\"c;d\";\"e;f\"", {"a;b", "c;d", "e;f"}, true},
    {"a\"\"b;c", {"a\"b", "c", ""}, true},
    {"\"\";x", {"", "x", ""}, true},
};

TEST(CsvParserSplit, CellsOfOneLine) {
  TCSV_Parser Parser(100000, false);
  Parser.setSeparators(";");
  ASSERT_TRUE(Parser.setItemCount(3));
  for (const SplitCase& C : SplitCases) {
    SCOPED_TRACE(C.Line);
    EXPECT_EQ(Parser.parseString(C.Line), C.Result);
    ASSERT_EQ(Parser.getNumOfParsedItems(), 3);
    for (int I = 0; I < 3; ++I)
      EXPECT_EQ(Parser.getItem(I), C.Cells[I]) << "cell " << I;
  }
}

TEST(CsvParserSplit, LineFeedAloneIsRefusedAndLeavesNothing) {
  TCSV_Parser Parser(100000, false);
  Parser.setItemCount(2);
  ASSERT_TRUE(Parser.parseString("a;b"));
  for (const char* Line : {"\n", "\n\r"}) {
    SCOPED_TRACE(Line);
    EXPECT_FALSE(Parser.parseString(Line));
    EXPECT_EQ(Parser.getItem(0), "");
    EXPECT_EQ(Parser.getItem(1), "");
  }
}

TEST(CsvParserSplit, SeparatorsInsideQuotesSplitWhenGroupingIsOff) {
  TCSV_Parser Parser(100000, false);
  Parser.setSeparators(";");
  Parser.setItemCount(3);
  Parser.setUseQuotationMarks(false);
  EXPECT_TRUE(Parser.parseString("\"x;y\";b"));
  EXPECT_EQ(Parser.getItem(0), "x");
  EXPECT_EQ(Parser.getItem(1), "y");
  EXPECT_EQ(Parser.getItem(2), "b");
  Parser.setUseQuotationMarks(true);
  Parser.setRemoveQuotationMarks(false);
  EXPECT_TRUE(Parser.parseString("\"x;y\";\"a\"\"b\""));
  EXPECT_EQ(Parser.getItem(0), "\"x;y\"");
  EXPECT_EQ(Parser.getItem(1), "\"a\"\"b\"");
}

TEST(CsvParserSplit, LongCellIsCutToTheBuffer) {
  TCSV_Parser Parser(8, false); // keeps 7 bytes of a cell
  Parser.setItemCount(2);
  EXPECT_EQ(Parser.maxItemLength(), 7);
  EXPECT_TRUE(Parser.parseString("abcdefghij;\"0123456789\""));
  EXPECT_EQ(Parser.getItem(0), "abcdefg");
  EXPECT_EQ(Parser.getItem(1), "0123456");
  TCSV_Parser Small(5, false); // too small a request becomes 10000
  EXPECT_EQ(Small.maxItemLength(), 9999);
}

TEST(CsvParserSplit, SizesItselfFromTheFirstLine) {
  TCSV_Parser Parser(100000, false);
  EXPECT_TRUE(Parser.parseString("a;b,c"));
  EXPECT_EQ(Parser.itemCount(), 3); // ";," after setDefaults
  EXPECT_EQ(Parser.getItem(2), "c");
  TCSV_Parser Empty(100000, false);
  Capture Err({&std::cerr});
  EXPECT_FALSE(Empty.parseString(""));
  EXPECT_EQ(Err.text(), "CSV_Parser::parseString => Illegal Item Access");
}

TEST(CsvParserSplit, RangeSelectsCells) {
  TCSV_Parser Parser(100000, false);
  Parser.setSeparators(";");
  Parser.setItemCount(4);
  EXPECT_FALSE(Parser.setItemRange(3, 2));
  EXPECT_FALSE(Parser.setItemRange(1, 5));
  ASSERT_TRUE(Parser.setItemRange(2, 3));
  EXPECT_TRUE(Parser.parseString("\"a;x\";b;c;d"));
  EXPECT_EQ(Parser.getNumOfParsedItems(), 2);
  EXPECT_EQ(Parser.getItem(0), "b");
  EXPECT_EQ(Parser.getItem(1), "c");
  EXPECT_EQ(Parser.getItem(2), "");
}

TEST(CsvParserSplit, SurplusDataIsNoticed) {
  struct {
    const char* Line;
    bool Dropped;
  } const Cases[] = {{"a;b", false},   {"a;b;", false}, {"a;b;;;", false},   {"a;b;c", true},
                     {"a;b;;x", true}, {"a", false},    {"a;\"b;c\"", false}};
  TCSV_Parser Parser(100000, false);
  Parser.setSeparators(";");
  Parser.setItemCount(2);
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Line);
    Parser.parseString(C.Line);
    EXPECT_EQ(Parser.droppedSurplus(), C.Dropped);
  }
}

TEST(CsvParserCount, ItemsOfAHeader) {
  struct {
    std::string Header;
    const char* Sep;
    bool Quotes;
    int Count;
  } const Cases[] = {
      {"a;b;c", ";", true, 3},      {"", ";", true, 0},        {"\r\n\n\r", ";", true, 0},
      {"a;b\r\n\r", ";", true, 2},  {";", ";", true, 2},       {"\"a;b\";c", ";", true, 2},
      {"\"a;b\";c", ";", false, 3}, {"a;\"b;c", ";", true, 2}, // counted backwards
      {"a\"b;c;d", ";", true, 3},   {"a,b;c", ";,", true, 3},  {"a\0;b"s, ";", true, 2},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Header);
    EXPECT_EQ(TCSV_Parser::getNumOfItems(C.Header, C.Sep, C.Quotes), C.Count);
  }
}

TEST(CsvParserCount, ItemCountNeverShrinks) {
  TCSV_Parser Parser(100000, false);
  EXPECT_FALSE(Parser.setItemCount(-1));
  ASSERT_TRUE(Parser.setItemCount(5));
  EXPECT_EQ(Parser.itemCapacity(), 5);
  ASSERT_TRUE(Parser.setItemCount(2));
  EXPECT_EQ(Parser.itemCapacity(), 5);
  EXPECT_EQ(Parser.itemCount(), 2);
  Parser.setSeparators(";");
  EXPECT_TRUE(Parser.parseString("a;b;c"));
  EXPECT_EQ(Parser.getNumOfParsedItems(), 2);
  EXPECT_TRUE(Parser.setItemCount(0)); // the range of 2 stays in force
  EXPECT_EQ(Parser.itemCount(), 0);
}

TEST(CsvParserQuotes, StateCarriesAcrossLines) {
  TCSV_Parser Parser(100000, false);
  EXPECT_TRUE(Parser.isInQuotation("a;\"b", true));
  EXPECT_TRUE(Parser.isInQuotation("more", false));
  EXPECT_FALSE(Parser.isInQuotation("end\";c", false));
  EXPECT_FALSE(Parser.isInQuotation("\"\"", false));
  EXPECT_TRUE(Parser.isInQuotation("x\"", false));
  EXPECT_FALSE(Parser.isInQuotation("plain", true)); // reset
}

TEST(CsvParserSeparators, EmptySetKeepsThePrevious) {
  TCSV_Parser Parser(100000, false);
  Parser.setSeparators("");
  Parser.setItemCount(3);
  EXPECT_TRUE(Parser.parseString("a,b;c"));
  EXPECT_EQ(Parser.getItem(1), "b");
  Parser.setSeparators("\t");
  EXPECT_TRUE(Parser.parseString("a,b\tc"));
  EXPECT_EQ(Parser.getItem(0), "a,b");
}

TEST(CsvParserTrace, DebugLinesGoToStandardOutput) {
  Capture Out({&std::cout});
  {
    TCSV_Parser Parser(50, true);
    Parser.setItemCount(1);
    Parser.parseString("x");
  }
  EXPECT_EQ(Out.text(), "TCSV_Parser::Constructor Starts 50\n"
                        "TCSV_Parser::setDefaults() Starts \n"
                        "TCSV_Parser::setSeparators() Starts \n"
                        "TCSV_Parser::setSeparators() Ends \n"
                        "TCSV_Parser::setDefaults() Ends \n"
                        "TCSV_Parser::Constructor Ends with ItemBufferSize=50\n"
                        "TCSV_Parser::parseString (char *ParseString) Starts \n"
                        "TCSV_Parser::parseString (char *ParseString) Ends \n"
                        "TCSV_Parser::Destructor Starts \n"
                        "TCSV_Parser::Destructor Ends \n");
}

} // namespace
