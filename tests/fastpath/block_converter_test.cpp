#include "driver/run.h"
#include "fastpath/structure_scan.h"
#include "fastpath/test_switches.h"
#include "fuzz/whole_run.h"
#include "options/options.h"
#include "options/settings.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

// The block converter against the line by line path: the same sources through both, with
// small and large read blocks and each level of vector code, must give the same document, the
// same messages and the same exit status.
namespace {

using quillon::ScanLevel;
using quillon::StructureScan;
using quillon::TestSwitches;
using namespace std::string_literals;

// ---- the ways a source is converted

struct Way {
  bool Block;
  std::size_t ReadSize;
  ScanLevel Level;
};

std::string nameOf(const Way& W) {
  if (!W.Block)
    return "line by line";
  static const char* const Levels[] = {"words", "SSE2", "AVX2"};
  return "blocks of " + std::to_string(W.ReadSize) + ", " + Levels[static_cast<int>(W.Level)];
}

std::vector<ScanLevel> levels() {
  std::vector<ScanLevel> Levels;
  for (const ScanLevel L : {ScanLevel::Words, ScanLevel::Sse2, ScanLevel::Avx2})
    if (quillon::usableScanLevel(L) == L)
      Levels.push_back(L);
  return Levels;
}

std::vector<Way> blockWays(std::initializer_list<std::size_t> Sizes) {
  std::vector<Way> Ways;
  for (const std::size_t Size : Sizes)
    for (const ScanLevel L : levels())
      Ways.push_back({true, Size, L});
  return Ways;
}

const std::vector<Way>& allBlockWays() {
  static const std::vector<Way> Ways = blockWays({4096, 65536 + 7, 1 << 20});
  return Ways;
}

// Puts the switches back when a test ends.
class Switches {
public:
  Switches() : Saved(quillon::testSwitches()) {}
  ~Switches() { quillon::testSwitches() = Saved; }
  Switches(const Switches&) = delete;
  Switches& operator=(const Switches&) = delete;

private:
  TestSwitches Saved;
};

class ScratchDir {
public:
  ScratchDir() {
    std::string Template = ::testing::TempDir() + "quillon_blocks_XXXXXX";
    Path = ::mkdtemp(Template.data()) ? Template : std::string();
  }
  ~ScratchDir() {
    ::unlink(source().c_str());
    ::unlink(target().c_str());
    ::rmdir(Path.c_str());
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  std::string source() const { return Path + "/source.csv"; }
  std::string target() const { return Path + "/target.xml"; }

private:
  std::string Path;
};

using quillon::wholerun::Outcome;

Outcome convert(const Way& W, const ScratchDir& Dir, const std::vector<std::string>& Options) {
  TestSwitches& T = quillon::testSwitches();
  T.BlockConverter = W.Block;
  T.ReadBlockSize = W.ReadSize;
  T.Level = W.Level;
  std::vector<std::string> Arguments{"-s:" + Dir.source(), "-t:" + Dir.target()};
  Arguments.insert(Arguments.end(), Options.begin(), Options.end());
  return quillon::wholerun::run(Arguments, Dir.target());
}

// The first difference, briefly.
std::string firstDifference(const std::string& Expected, const std::string& Got) {
  std::size_t At = 0;
  while (At < Expected.size() && At < Got.size() && Expected[At] == Got[At])
    ++At;
  const std::size_t From = At > 60 ? At - 60 : 0;
  return "at byte " + std::to_string(At) + "\n  expected: " + Expected.substr(From, 120) +
         "\n  got:      " + Got.substr(From, 120);
}

// Converts Source the line by line way and each of Ways, and expects the same from all.
void expectSameEveryWay(const std::string& Source, const std::vector<std::string>& Options,
                        const std::vector<Way>& Ways) {
  ScratchDir Dir;
  {
    std::ofstream File(Dir.source(), std::ios::binary);
    File.write(Source.data(), static_cast<std::streamsize>(Source.size()));
  }
  const Outcome Expected = convert({false, 0, ScanLevel::Words}, Dir, Options);
  for (const Way& W : Ways) {
    const Outcome Got = convert(W, Dir, Options);
    SCOPED_TRACE(nameOf(W));
    EXPECT_EQ(Got.Status, Expected.Status);
    EXPECT_TRUE(Got.Document == Expected.Document)
        << "document " << firstDifference(Expected.Document, Got.Document);
    EXPECT_TRUE(Got.Messages == Expected.Messages)
        << "messages " << firstDifference(Expected.Messages, Got.Messages);
    if (Got.Status != Expected.Status || Got.Document != Expected.Document ||
        Got.Messages != Expected.Messages)
      return; // one report per source is enough
  }
}

std::string optionText(const std::vector<std::string>& Options) {
  std::string Text;
  for (const std::string& Option : Options)
    Text += Option + " ";
  return Text;
}

// ---- awkward sources

// The separator sets the sources are written with, and the option that selects each.
struct SeparatorSet {
  std::string Bytes;
  std::string Option;
};
const SeparatorSet SeparatorSets[] = {
    {";", "-sep:;"},         {",", "-sep:,"},
    {";,", "-sep:;,"},       {"|", "-sep:|"},
    {"\t", "-sep::9:"},      {"&", "-sep:&"},
    {"<", "-sep:<"},         {" ", "-sep::32:"},
    {"\x01", "-sep::1:"},    {"\xE9", "-sep::233:"},
    {";,|#!", "-sep:;,|#!"}, {";,|#!%/", "-sep:;,|#!%/"}, // more than a scan compares
    {"\r", "-sep::13:"},                                  // no block conversion at all
};

// Pieces of cell values: references kept and nearly kept, markup, control bytes, bytes from
// 0x80 up (well-formed UTF-8 or not), quotation marks.
const std::string Pieces[] = {"a",
                              "Rome",
                              "x y",
                              "12.5",
                              "\xE9t\xE9",
                              "Z\xFCrich",
                              "\x80",
                              "\x9F",
                              "\xA0",
                              "\xFF",
                              "\xC3\xA9",
                              "\xE2\x82\xAC",
                              "\xC3",
                              "\xEF\xBF\xBE",
                              "\xF0\x9F\x98\x80",
                              "&",
                              "&amp;",
                              "&AMP;",
                              "&lt;",
                              "&gt;",
                              "&quot;",
                              "&apos;",
                              "&amp",
                              "&lt;;",
                              "&#38;",
                              "&lt;x;",
                              "&quot",
                              "<",
                              ">",
                              "'",
                              "a&b",
                              "&&",
                              "\x01",
                              "\0"s,
                              "\t",
                              "\r",
                              "\x7F",
                              "\x1F",
                              "\"",
                              "\"\"",
                              "~",
                              " ",
                              "0123456789abcdefghijklmnopqrstuvwxyz"};

// Cells whose quotation marks are arranged oddly, or hold line breaks.
const std::string QuoteShapes[] = {
    "\"\"",       "\"\"\"\"",     "\"\"\"\"\"\"",  "\"a\"",         "\"a\"\"b\"",
    "\"\"\"a\"",  "\"a\"\"\"",    "a\"b",          "\"a\"b",        "\"",
    "\"\"\"",     "\"&quot;\"",   "\"&quot\"\"\"", "\"&am\"\"p;\"", "\"x\ny\"",
    "\"x\r\ny\"", "\"\n\"",       "\"a\"\"\"\"\"", "\"\"a\"\"",     "\"a\"\" \"\"b\"",
    "\"&\"\";\"", "\"&lt\"\";\"", "b\"",           "\"\r\"",        "\"\"\"\"a\""};

class Awkward {
public:
  explicit Awkward(std::uint32_t Seed) : Random(Seed) {}

  std::uint32_t pick(std::uint32_t Count) { return static_cast<std::uint32_t>(Random() % Count); }

  // Values are made of these pieces from now on (all of them at first).
  void usePieces(std::vector<std::string> Some) { Pool = std::move(Some); }

  std::string value(const std::string& Separators) {
    std::string Value;
    for (std::uint32_t N = pick(4); N > 0; --N) {
      if (pick(6) == 0)
        Value += Separators[pick(static_cast<std::uint32_t>(Separators.size()))];
      else if (Pool.empty())
        Value += Pieces[pick(std::size(Pieces))];
      else
        Value += Pool[pick(static_cast<std::uint32_t>(Pool.size()))];
    }
    return Value;
  }

  std::string cell(const std::string& Separators) {
    const std::uint32_t Kind = pick(16);
    if (Kind < 2)
      return {};
    if (Kind < 7) // plain words, the usual cell
      return std::string("abcdefgh", 1 + pick(8)) + (pick(3) == 0 ? " 42" : "");
    if (Kind < 11)
      return value(Separators);
    if (Kind < 14) { // quoted, its marks doubled
      std::string Quoted = "\"";
      for (const char C : value(Separators) + (pick(4) == 0 ? "\n" : ""))
        Quoted += C == '"' ? "\"\"" : std::string(1, C);
      return Quoted + "\"";
    }
    return QuoteShapes[pick(std::size(QuoteShapes))];
  }

  std::string lineEnd() {
    static const char* const Ends[] = {"\n", "\n", "\n", "\n", "\r\n", "\r\n", "\r\r\n", "\r"};
    return Ends[pick(std::size(Ends))];
  }

  std::string record(const std::string& Separators, std::size_t Columns) {
    const std::uint32_t Shape = pick(40);
    if (Shape == 0)
      return {}; // an empty line
    if (Shape == 1)
      return std::string(1 + pick(2), Separators[0]);
    std::size_t Cells = Columns;
    if (Shape < 6) // short or surplus
      Cells = std::max<std::size_t>(Columns + pick(5), 3) - 2;
    std::string Line;
    for (std::size_t I = 0; I < Cells; ++I) {
      if (I > 0)
        Line += Separators[pick(static_cast<std::uint32_t>(Separators.size()))];
      Line += cell(Separators);
    }
    return Line;
  }

  // About Bytes of source: a header of Columns cells, then records.
  std::string source(const std::string& Separators, std::size_t Columns, std::size_t Bytes,
                     bool Mark) {
    std::string Text = Mark ? "\xEF\xBB\xBF" : "";
    for (std::size_t I = 0; I < Columns; ++I)
      Text += (I > 0 ? std::string(1, Separators[0]) : "") + "c" + std::to_string(I);
    Text += "\n" + records(Separators, Columns, Bytes - std::min(Bytes, Text.size()));
    switch (pick(6)) {
    case 0:
      Text += record(Separators, Columns); // a last line without a line feed
      break;
    case 1:
      Text += "\"an open quotation" + lineEnd() + "that never closes\n";
      break;
    default:
      break;
    }
    return Text;
  }

  // Records of about Bytes.
  std::string records(const std::string& Separators, std::size_t Columns, std::size_t Bytes) {
    std::string Text;
    while (Text.size() < Bytes)
      Text += record(Separators, Columns) + lineEnd();
    return Text;
  }

private:
  std::mt19937 Random;
  std::vector<std::string> Pool;
};

std::vector<std::string> someOptions(Awkward& Random, const SeparatorSet& Set) {
  std::vector<std::string> Options{Set.Option, "-m:" + std::to_string(1 + Random.pick(5))};
  if (Random.pick(2) == 0)
    Options.push_back("-e:UTF-8");
  if (Random.pick(4) == 0)
    Options.push_back("-sup");
  if (Random.pick(4) == 0)
    Options.push_back("-wn");
  if (Random.pick(4) == 0)
    Options.push_back("-wid");
  if (Random.pick(4) != 0) // the statistics show every counter
    Options.push_back("-v");
  return Options;
}

TEST(BlockConverter, SameAsLineByLineOnAwkwardSources) {
  Switches Keep;
  Awkward Random(20240607);
  const std::int64_t Before = quillon::testSwitches().BlockRecords;
  for (int Round = 0; Round < 3; ++Round)
    for (const SeparatorSet& Set : SeparatorSets) {
      const std::size_t Columns = 1 + Random.pick(6);
      const std::size_t Bytes = 2000 + Random.pick(9) * 9000;
      const std::string Source = Random.source(Set.Bytes, Columns, Bytes, Random.pick(5) == 0);
      const std::vector<std::string> Options = someOptions(Random, Set);
      SCOPED_TRACE(optionText(Options) + std::to_string(Columns) + " columns, " +
                   std::to_string(Source.size()) + " bytes");
      expectSameEveryWay(Source, Options, allBlockWays());
    }
  // the comparison means something only while the block converter takes records
  EXPECT_GT(quillon::testSwitches().BlockRecords - Before, 10000);
}

// Under -rfc4180 only the records both readings agree on go the block way.
TEST(BlockConverter, SameAsLineByLineUnderRfc4180) {
  Switches Keep;
  Awkward Random(4180);
  const std::int64_t Before = quillon::testSwitches().BlockRecords;
  for (const SeparatorSet& Set : SeparatorSets) {
    const std::size_t Columns = 1 + Random.pick(6);
    const std::string Source =
        Random.source(Set.Bytes, Columns, 2000 + Random.pick(4) * 9000, Random.pick(5) == 0);
    std::vector<std::string> Options = someOptions(Random, Set);
    Options.push_back("-rfc4180");
    SCOPED_TRACE(optionText(Options) + std::to_string(Columns) + " columns");
    expectSameEveryWay(Source, Options, allBlockWays());
  }
  // after the surplus warning, marks in dropped cells that one reading pairs and the other
  // opens a quotation with
  const std::string Source = "a;b\n1;2;3\n" + "1;2;x\";\"y\nz\";5\n"s + "1;2;\"\"\"\"\"\n3;4\n" +
                             std::string(20, 'q') + ";r\n";
  expectSameEveryWay(Source, {"-rfc4180", "-m:4"}, allBlockWays());
  EXPECT_GT(quillon::testSwitches().BlockRecords - Before, 3000);
}

// The pieces that are ASCII, and those that are ASCII or well-formed UTF-8.
std::vector<std::string> piecesBelow(unsigned char Limit, bool Utf8) {
  std::vector<std::string> Some;
  for (const std::string& P : Pieces) {
    const bool Low = std::all_of(P.begin(), P.end(),
                                 [Limit](char C) { return static_cast<unsigned char>(C) < Limit; });
    if (Low || (Utf8 && (P == "\xC3\xA9" || P == "\xE2\x82\xAC" || P == "\xF0\x9F\x98\x80")))
      Some.push_back(P);
  }
  return Some;
}

// Sources read as their first byte from 0x80 up says: ASCII records a block at a time while the
// reading is undecided, that byte anywhere in a record (or in the header), then UTF-8 records,
// with a stray Windows-1252 byte once the window is passed, or any bytes.
TEST(BlockConverter, SameAcrossTheDecision) {
  Switches Keep;
  Awkward Random(20261208);
  const std::int64_t Before = quillon::testSwitches().BlockRecords;
  const char* const Deciding[] = {"\xC3\xA9", "\xE9", "\xC9\xBB", "\x80", "\xE2\x82"};
  for (int Round = 0; Round < 10; ++Round) {
    const SeparatorSet& Set = SeparatorSets[Random.pick(4)];
    const std::size_t Columns = 1 + Random.pick(5);
    const bool Utf8After = Random.pick(3) != 0;
    std::string Source = "c0";
    for (std::size_t I = 1; I < Columns; ++I)
      Source += Set.Bytes[0] + ("c" + std::to_string(I));
    const std::string High = Deciding[Random.pick(std::size(Deciding))];
    if (Random.pick(5) == 0)
      Source.insert(Random.pick(static_cast<std::uint32_t>(Source.size())), High);
    Source += "\n";
    Random.usePieces(piecesBelow(0x80, false));
    Source += Random.records(Set.Bytes, Columns, Random.pick(3) * 30000);
    std::string Record = Random.record(Set.Bytes, Columns);
    // an '&' before it in its cell hides it from a look at the first byte that needs care
    Record.insert(Random.pick(static_cast<std::uint32_t>(Record.size() + 1)),
                  (Random.pick(2) == 0 ? "&" : "") + High);
    Source += Record + "\n";
    Random.usePieces(piecesBelow(Utf8After ? 0x80 : 0xFF, Utf8After));
    Source += Random.records(Set.Bytes, Columns, 70000) + "1\xE9\n";
    Source += Random.records(Set.Bytes, Columns, 2000);
    Random.usePieces({});
    std::vector<std::string> Options = someOptions(Random, Set);
    if (Random.pick(4) == 0)
      Options.push_back(Random.pick(2) == 0 ? "-ie:UTF-8" : "-ie:ISO-8859-1");
    SCOPED_TRACE(optionText(Options) + testing::PrintToString(High) + ", " +
                 std::to_string(Columns) + " columns, " + std::to_string(Source.size()) + " bytes");
    expectSameEveryWay(Source, Options, allBlockWays());
  }
  EXPECT_GT(quillon::testSwitches().BlockRecords - Before, 10000);
}

// Ordinary records go the block way, every one of them.
TEST(BlockConverter, TakesOrdinaryRecords) {
  Switches Keep;
  ScratchDir Dir;
  std::string Source = "a;b;c\r\n";
  for (int I = 0; I < 3000; ++I)
    Source += std::to_string(I) + ";\"x;" + std::to_string(I) + "\";\xE9t\xE9\r\n";
  {
    std::ofstream File(Dir.source(), std::ios::binary);
    File << Source;
  }
  for (const ScanLevel L : levels()) {
    SCOPED_TRACE(static_cast<int>(L));
    const std::int64_t Before = quillon::testSwitches().BlockRecords;
    const Outcome Got = convert({true, 0, L}, Dir, {});
    EXPECT_EQ(Got.Status, 0);
    // the first record, whose bytes from 0x80 up decide the reading, goes the exact way
    EXPECT_EQ(quillon::testSwitches().BlockRecords - Before, 2999);
  }
}

// Lines about the line limit, physical and joined, lines longer than a scan keeps, and the
// limit met at block boundaries.
TEST(BlockConverter, SameAtTheLineLimit) {
  Switches Keep;
  std::string Source = "a;b\n";
  for (std::size_t Length = 99996; Length <= 100002; ++Length) {
    Source += "x;" + std::string(Length - 2, 'y') + "\n";
    Source += "x;" + std::string(Length - 3, 'y') + "\r\n";
    Source += "\"x\n" + std::string(Length - 3, 'q') + "\";z\n"; // joined from two lines
    Source += "1;2\n";
  }
  Source += "x;" + std::string(300000, 'l') + "\n1;2\n";
  for (const auto& Options :
       {std::vector<std::string>{}, std::vector<std::string>{"-m:4", "-e:UTF-8", "-v"}}) {
    SCOPED_TRACE(optionText(Options));
    expectSameEveryWay(Source, Options, allBlockWays());
  }
}

// A cell needing care followed by clean windows: its mark must be carried through all of them,
// into the structural byte that ends it, up to a record of nearly the line limit.
TEST(BlockConverter, SameWhenCareIsFollowedByCleanWindows) {
  Switches Keep;
  for (const std::size_t Clean : {63, 64, 150, 65497, 99990}) {
    // the cells needing care are first cells: a last one is looked at whole anyway
    const std::string Source = "a;b\n0;x\n\x8B" + std::string(Clean, 'x') + ";1\n<" +
                               std::string(Clean, 'x') + ";2\n&" + std::string(Clean, 'y') +
                               ";z\n4;x\n";
    for (const char* Layout : {"-m:1", "-m:2", "-m:3", "-m:4", "-m:5"}) {
      SCOPED_TRACE(std::to_string(Clean) + " clean bytes, " + Layout);
      expectSameEveryWay(Source, {Layout}, allBlockWays());
    }
  }
}

// Cells the block writes by the byte forms: kept references and near ones (also cut by the
// separator after them), doubled marks, and an '&' with a mark within five bytes after it,
// which the value undone reads differently ("&lt;"";" keeps no reference).
const char* const FormCells[] = {"\"\"\"\"",
                                 "\"\"\"\"\"\"",
                                 "\"a\"\"b\"",
                                 "\"\"\"x\"",
                                 "\"x\"\"\"",
                                 "\"&amp;\"\"x\"",
                                 "\"&amp;x\"\"\"",
                                 "\"&lt;\"\";\"",
                                 "\"&lt\"\";\"",
                                 "\"&quot\"\"x;\"",
                                 "\"x\"\"&\"\"y\"",
                                 "\"&\"\"\"\"amp;\"",
                                 "\"a&b\"\"&gt;\"",
                                 "&amp;",
                                 "&amp",
                                 "&lt",
                                 "&quot;x",
                                 "a&apos;&&gt;",
                                 "\"&apos;\"",
                                 "\"\x01\"\"\t\"",
                                 "\"&lt;x\"\"\"",
                                 "\"\x80\"\"&amp;\""}; // decides the reading: the last

// Characters beyond ASCII judged in place in UTF-8 text: Latin letters (one byte each in an
// ISO-8859-1 document), a C1 control, characters an ISO-8859-1 document writes as references,
// bytes of no sequence, a sequence cut by the cell's end, U+FFFE, each beside doubled marks.
const char* const Utf8Cells[] = {"\xC3\xA9t\xC3\xA9",
                                 "\"\xC3\xBC\"\"x\"",
                                 "\xC2\x80&amp;",
                                 "a\xC4\x80",
                                 "\xE2\x82\xAC\xF0\x9F\x98\x80",
                                 "\xC3",
                                 "\xC3x\xA9",
                                 "\xE2\x82",
                                 "\"\xEF\xBF\xBE\"\"\"",
                                 "\xED\xA0\x80"};

// Each of them at every position in a window and across read blocks of every size, the
// reading undecided (ASCII) or decided (a Windows-1252 byte first, or UTF-8 with the cells
// above too); a record whose worst case outgrows the target is written cell by cell.
TEST(BlockConverter, SameForCellsWrittenByTheForms) {
  Switches Keep;
  const std::int64_t Before = quillon::testSwitches().BlockRecords;
  for (const char* First : {"", "\xE9;1;2\n", "\xC3\xA9;1;2\n"}) {
    std::string Source = "a;b;c\n"s + First;
    std::vector<std::string> Cells(std::begin(FormCells), std::end(FormCells) - (*First ? 0 : 1));
    if (First[0] == '\xC3') { // the reading is judged on the 64 KiB from the first high byte
      for (int Line = 0; Line < 12000; ++Line)
        Source += "x;y;z\n";
      Cells.insert(Cells.end(), std::begin(Utf8Cells), std::end(Utf8Cells));
    }
    for (std::size_t Shift = 0; Shift < 66; ++Shift)
      for (const std::string& Cell : Cells)
        Source += std::string(Shift, 'x') + ";" + Cell + ";" + Cell + "\n";
    Source += std::string(70000, 'x') + ";" + FormCells[0] + ";" + FormCells[4] + "\n";
    for (const auto& Options :
         {std::vector<std::string>{"-m:1"}, std::vector<std::string>{"-m:2", "-e:UTF-8", "-v"},
          std::vector<std::string>{"-m:5", "-sup", "-v"}}) {
      SCOPED_TRACE(optionText(Options) + (*First ? "decided" : "undecided"));
      expectSameEveryWay(Source, Options, blockWays({97, 4096, 1 << 20}));
    }
  }
  EXPECT_GT(quillon::testSwitches().BlockRecords - Before, 80000);
}

// A source larger than the largest read block, with the awkward records spread thinly.
TEST(BlockConverter, SameAcrossLargeBlocks) {
  Switches Keep;
  Awkward Random(77);
  std::string Source = "id;name;city;note\n";
  for (int I = 0; Source.size() < (1 << 20) + 300000; ++I) {
    Source += std::to_string(I) + ";Anna M\xFCller;Z\xFCrich;";
    Source += I % 50 == 0 ? Random.cell(";") : "ordinary note";
    Source += Random.pick(10) == 0 ? "\r\n" : "\n";
  }
  for (const auto& Options : {std::vector<std::string>{"-v"},
                              std::vector<std::string>{"-m:5", "-e:UTF-8", "-wid", "-wn"}}) {
    SCOPED_TRACE(optionText(Options));
    expectSameEveryWay(Source, Options, blockWays({65536 + 7, 1 << 20}));
  }
}

// ---- the structure scan against a byte by byte reading

struct Entry {
  std::uint32_t Offset;
  bool Special;
  bool operator==(const Entry& Other) const {
    return Offset == Other.Offset && Special == Other.Special;
  }
};

std::ostream& operator<<(std::ostream& Out, const Entry& E) {
  return Out << E.Offset << (E.Special ? "*" : "");
}

bool needsCare(unsigned char C, bool HighClean) {
  if (C >= 0x20 && C < 0x7F)
    return C == '&' || C == '<' || C == '>' || C == '"' || C == '\'';
  return !(HighClean && C >= 0xA0);
}

// What the scan must find in Text, byte by byte.
std::vector<Entry> expectedEntries(const std::string& Text, const std::string& Separators,
                                   bool HighClean) {
  std::vector<Entry> Entries;
  bool Inside = false;
  bool Care = false;
  for (std::size_t I = 0; I < Text.size(); ++I) {
    const char C = Text[I];
    if (C == '"')
      Inside = !Inside;
    const bool Feed = C == '\n';
    if (Feed || (!Inside && Separators.find(C) != std::string::npos)) {
      Entries.push_back({static_cast<std::uint32_t>(I), Feed || Care});
      Care = false;
    } else if (needsCare(static_cast<unsigned char>(C), HighClean)) {
      Care = true;
    }
  }
  return Entries;
}

TEST(StructureScan, FindsWhatAByteByByteReadingFinds) {
  Awkward Random(5);
  for (int Round = 0; Round < 300; ++Round) {
    const SeparatorSet& Set = SeparatorSets[Random.pick(std::size(SeparatorSets) - 2)];
    std::string Text;
    const std::size_t Size = Random.pick(3) == 0 ? Random.pick(130) : Random.pick(9000);
    while (Text.size() < Size)
      Text += Random.pick(3) == 0 ? Random.cell(Set.Bytes) : Random.record(Set.Bytes, 3) + "\n";
    Text.resize(Size);
    const bool HighClean = Random.pick(2) == 0;
    const std::vector<Entry> Expected = expectedEntries(Text, Set.Bytes, HighClean);
    // the bytes after the text are garbage that must not count
    std::string Padded = Text + std::string(64, '"');
    for (const ScanLevel L : levels()) {
      SCOPED_TRACE("round " + std::to_string(Round) + ", level " +
                   std::to_string(static_cast<int>(L)));
      StructureScan Scan(Set.Bytes, HighClean, L);
      Scan.start(Padded.data(), Text.size());
      std::vector<Entry> Found;
      std::size_t Feeds = 0;
      for (std::size_t Batch = 1; !Scan.finished(); Batch = Batch % 5 + 1) {
        const std::size_t Window = Scan.scanned() / 64;
        Scan.scan(Batch);
        for (std::size_t W = Window; W * 64 < Scan.scanned(); ++W) {
          for (std::uint64_t Bits = Scan.structuralBits(W); Bits != 0; Bits &= Bits - 1) {
            const auto Bit = static_cast<unsigned>(__builtin_ctzll(Bits));
            Found.push_back(
                {static_cast<std::uint32_t>(W * 64 + Bit), (Scan.specialBits(W) >> Bit & 1) != 0});
          }
          Feeds += static_cast<std::size_t>(__builtin_popcountll(Scan.feedBits(W)));
        }
      }
      ASSERT_EQ(Found, Expected);
      ASSERT_EQ(Feeds, static_cast<std::size_t>(std::count(Text.begin(), Text.end(), '\n')));
      bool Inside = false;
      for (std::size_t I = 0; I < Text.size(); ++I) {
        Inside = Inside != (Text[I] == '"');
        if (Text[I] == '\n') {
          ASSERT_EQ(Scan.quotedFeed(I), Inside) << "line feed at " << I;
        }
      }
      // ranges of every length from every start near window boundaries
      for (std::size_t From = 0; From < Text.size(); From += 1 + Random.pick(70)) {
        const std::size_t To = std::min(Text.size(), From + Random.pick(200));
        const std::string Part = Text.substr(From, To - From);
        bool Care = false;
        for (const char C : Part)
          Care = Care || needsCare(static_cast<unsigned char>(C), HighClean);
        ASSERT_EQ(Scan.anyQuote(From, To), Part.find('"') != std::string::npos)
            << From << " to " << To;
        ASSERT_EQ(Scan.anyCare(From, To), Care) << From << " to " << To;
      }
    }
  }
}

} // namespace
