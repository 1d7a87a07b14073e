#include "capture.h"
#include "csv/csv_parser.h"

#include <random>
#include <sstream>
#include <string>
#include <vector>

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
    {";", {"", "", ""}, true}, // a record of empty cells
    {"", {"", "", ""}, false},
    {";;", {"", "", ""}, true},
    {"\"\"\"\";x", {"\"", "x", ""}, true},          // four marks give one
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

// Only a line without a single byte is no record; a line of separators alone or a quoted empty
// cell is a record of empty cells, whatever the column count.
TEST(CsvParserRecords, OnlyAnEmptyLineIsNoRecord) {
  struct {
    int Columns;
    const char* Line;
    bool Result;
    const char* FirstCell;
  } const Cases[] = {
      {1, "", false, ""},      {3, "", false, ""},    {1, ";", true, ""},    {2, ";", true, ""},
      {3, ";", true, ""},      {2, ",", true, ""},    {2, ";;", true, ""},   {3, ";;", true, ""},
      {2, ";;;", true, ""},    {1, "\"\"", true, ""}, {2, "\"\"", true, ""}, {1, "\"\";", true, ""},
      {2, "\";\"", true, ";"}, {1, " ", true, " "},   {1, "\r", true, "\r"},
  };
  TCSV_Parser Parser(100000, false);
  Parser.setSeparators(";,");
  for (const auto& C : Cases) {
    SCOPED_TRACE(std::to_string(C.Columns) + " columns, line [" + C.Line + "]");
    ASSERT_TRUE(Parser.setItemCount(C.Columns));
    EXPECT_EQ(Parser.parseString(C.Line), C.Result);
    ASSERT_EQ(Parser.getNumOfParsedItems(), C.Columns);
    EXPECT_EQ(Parser.getItem(0), C.FirstCell);
    for (int I = 1; I < C.Columns; ++I)
      EXPECT_EQ(Parser.getItem(I), "") << "cell " << I;
  }
}

// A value made only of doubled marks stands for half as many; every other run of marks keeps
// the un-doubling it always had.
TEST(CsvParserQuotes, ValueOfMarksOnly) {
  struct {
    std::string Line;
    std::string Cell;
    int Index;
  } const Cases[] = {
      {R"("""")", R"(")", 0},
      {R"("""""")", R"("")", 0},
      {R"("""""""")", R"(""")", 0},
      {R"(x;"""";y)", R"(")", 1},
      {R"(x;y;"""""")", R"("")", 2},
      {R"("";b)", "", 0},
      // near misses: odd runs, runs beside other bytes, marks that are not stripped
      {R"(a;""")", R"(")", 1},
      {R"(a;""""")", R"("")", 1},
      {R"("""" ;b)", R"("" )", 0},
      {R"("""a";b)", R"("a)", 0},
      {R"(a"""";b)", R"(a"")", 0},
      {R"(""""a"""";b)", R"(""a"")", 0},
      {R"(" """" ";b)", R"( "" )", 0},
  };
  TCSV_Parser Parser(100000, false);
  Parser.setSeparators(";");
  Parser.setItemCount(3);
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Line);
    EXPECT_TRUE(Parser.parseString(C.Line));
    EXPECT_EQ(Parser.getItem(C.Index), C.Cell);
  }
  Parser.setRemoveQuotationMarks(false);
  EXPECT_TRUE(Parser.parseString(R"("""";"")"));
  EXPECT_EQ(Parser.getItem(0), R"("""")");
  EXPECT_EQ(Parser.getItem(1), R"("")");
}

// Which gathered records were joined by a mark inside a cell (an inch mark) rather than by a
// quoted cell that holds a line break.
TEST(CsvParserQuotes, JoinedByAMarkInsideACell) {
  struct {
    const char* Record;
    bool Inside;
  } const Cases[] = {
      {"Monitor;24\" wide;199\nCable;1 m;5", true},
      {"a; \"x\ny\"", true},          // a blank before the mark: inside the cell
      {"a;\"x\"y\"z\nw\";b", true},   // closed, then opened again inside the cell
      {"a;b\"x\"\"\ny\"", true},      // a doubled mark goes on with the inner quotation
      {"a;\"\"x\"\ny\"", true},       // an empty quotation closed before the x
      {"a;\"x\ny\";b\"c\nd\"", true}, // the second break comes from inside a cell
      {"a;\"multi\nline\";b", false},
      {"\"multi\nline\";b", false},          // the first cell of the record
      {"a;\"x\"\"\ny\";b", false},           // a doubled mark before the break
      {"1;\"ha \n\"\"ha\"\" \nha\"", false}, // doubled marks on the joined lines
      {"a;\"\"\"\nx\"", false},
      {"a;\"x\ny\";\"c\nd\"", false},
      {"a;24\" wide", false}, // nothing joined
  };
  TCSV_Parser Parser(100000, false);
  Parser.setSeparators(";");
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Record);
    EXPECT_EQ(Parser.joinedByInnerQuote(C.Record), C.Inside);
  }
  // every separator of the set starts a cell
  Parser.setSeparators(";,");
  EXPECT_FALSE(Parser.joinedByInnerQuote("a,\"x\ny\""));
  EXPECT_TRUE(Parser.joinedByInnerQuote("a,24\" wide\nb"));
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

// With -rfc4180, records of three columns and ';': the physical lines of each (joined while
// a quotation is open), its cells, how many cells a header like it counts, and whether data was
// dropped beyond the third cell. The cells are those Python's csv module reads.
struct RfcCase {
  std::string Record;
  std::string Cells[3];
  int Count;
  bool Surplus;
};

const RfcCase RfcCases[] = {
    {"\"a\"b;c", {"ab", "c", ""}, 2, false},
    {"a\"b;c", {"a\"b", "c", ""}, 2, false},
    {"\"a\"\"b\";c", {"a\"b", "c", ""}, 2, false},
    {"\"a\"\";b\nc\";d", {"a\";b\nc", "d", ""}, 2, false}, // a mark right after a doubled one
    {"\"a\"b\"c\";d", {"ab\"c\"", "d", ""}, 2, false},
    {"5\" x 7\";b", {"5\" x 7\"", "b", ""}, 2, false},
    {" \"a\";b", {" \"a\"", "b", ""}, 2, false},
    {"a\";b\";c", {"a\"", "b\"", "c"}, 3, false},
    {"\"\";\"\"\"\"", {"", "\"", ""}, 2, false},
    {"\"\"\"\"\"\"", {"\"\"", "", ""}, 1, false},
    {"\"a\"\";\"", {"a\";", "", ""}, 1, false},
    {"\"x\"\"\"", {"x\"", "", ""}, 1, false},
    {";\"x\"", {"", "x", ""}, 2, false},
    {"x;\"ab\n\ncd\";e", {"x", "ab\n\ncd", "e"}, 3, false}, // an empty line inside
    {"\"a\n\";b", {"a\n", "b", ""}, 2, false},
    {"a;b;c;\"d;e\"", {"a", "b", "c"}, 4, true},
    {"a;b;c;\"x\ny\"", {"a", "b", "c"}, 4, true}, // a surplus cell joins lines too
    {"a;b;c;;", {"a", "b", "c"}, 5, false},
};

TEST(CsvParserRfc4180, CellsJoinsAndCounts) {
  TCSV_Parser Parser(100000, false);
  Parser.setSeparators(";");
  Parser.setRfc4180(true);
  ASSERT_TRUE(Parser.setItemCount(3));
  for (const RfcCase& C : RfcCases) {
    SCOPED_TRACE(C.Record);
    std::size_t Start = 0;
    for (std::size_t Feed; (Feed = C.Record.find('\n', Start)) != std::string::npos;) {
      EXPECT_TRUE(Parser.isInQuotation(C.Record.substr(Start, Feed - Start), Start == 0))
          << "line ends at " << Feed;
      Start = Feed + 1;
    }
    EXPECT_FALSE(Parser.isInQuotation(C.Record.substr(Start), Start == 0));
    EXPECT_EQ(Parser.getNumOfItems(C.Record), C.Count);
    EXPECT_TRUE(Parser.parseString(C.Record));
    for (int I = 0; I < 3; ++I)
      EXPECT_EQ(Parser.getItem(I), C.Cells[I]) << "cell " << I;
    EXPECT_EQ(Parser.droppedSurplus(), C.Surplus);
    EXPECT_FALSE(Parser.joinedByInnerQuote(C.Record));
  }
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

namespace {
// The cell rules read byte by byte, the plain way: the parser's word scan must agree with it.
std::vector<std::string> plainCells(const std::string& Line, int N, const std::string& Sep,
                                    std::size_t MaxLength) {
  std::vector<std::string> Cells(static_cast<std::size_t>(N));
  bool Q = false;
  std::size_t Pos = 0;
  for (auto& Cell : Cells) {
    std::size_t Start = Pos;
    std::size_t Length = 0;
    for (; Pos < Line.size(); ++Pos, ++Length) {
      Q ^= Line[Pos] == '"';
      if (!Q && Sep.find(Line[Pos]) != std::string::npos)
        break;
    }
    ++Pos;
    if (Length > 0 && Line[Start + Length - 1] == '"')
      --Length;
    if (Length > 0 && Line[Start] == '"')
      ++Start, --Length;
    std::string V = Line.substr(Start, std::min(Length, MaxLength));
    if (!V.empty() && V.find_first_not_of('"') == std::string::npos && V.size() % 2 == 0)
      V.resize(V.size() / 2);
    else
      for (std::size_t P = 1; P + 1 < V.size(); ++P)
        if (V[P] == '"')
          V.erase(P, 1);
    Cell = V;
    if (Pos >= Line.size())
      break;
  }
  return Cells;
}
} // namespace

TEST(CsvParserSplit, AgreesWithThePlainRulesOnLongLines) {
  std::mt19937 Random(20240611);
  const char Bytes[] = "ab;,\"\" \t\r\n\xe9;";
  for (int Round = 0; Round < 20000; ++Round) {
    const int N = 1 + static_cast<int>(Random() % 5);
    const std::string Sep = Round % 3 == 0 ? ";" : Round % 3 == 1 ? ";," : ";,\t";
    std::string Line;
    for (std::size_t I = Random() % 70; I > 0; --I)
      Line.push_back(Bytes[Random() % (sizeof Bytes - 1)]);
    if (Line == "\n" || Line == "\n\r")
      continue; // refused before any cell is looked at
    TCSV_Parser Parser(Round % 4 == 0 ? 12 : 100000, false);
    Parser.setSeparators(Sep);
    Parser.setItemCount(N);
    ASSERT_EQ(Parser.parseString(Line), !Line.empty()) << Line;
    const auto Want = plainCells(Line, N, Sep, static_cast<std::size_t>(Parser.maxItemLength()));
    for (int I = 0; I < N; ++I)
      ASSERT_EQ(Parser.getItem(I), Want[static_cast<std::size_t>(I)])
          << "cell " << I << " of [" << Line << "] with " << Sep.size() << " separators";
  }
}
