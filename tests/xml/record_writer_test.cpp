#include "io/target_buffer.h"
#include "options/settings.h"
#include "xml/xml_output.h"

#include <iostream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

namespace {

// Catches what goes to std::cerr for one scope.
class ErrorCapture {
public:
  ErrorCapture() : Old(std::cerr.rdbuf(Text.rdbuf())) {}
  ErrorCapture(const ErrorCapture&) = delete;
  ErrorCapture& operator=(const ErrorCapture&) = delete;
  ~ErrorCapture() { std::cerr.rdbuf(Old); }
  std::string str() const { return Text.str(); }

private:
  std::ostringstream Text;
  std::streambuf* Old;
};

struct Written {
  std::string Document;
  quillon::RunCounters Counters;
  std::vector<std::string> ColumnNames;
};

// Names the columns from Header and writes each record, numbered from First.
Written writeRecords(const quillon::Settings& S, const std::vector<std::string>& Header,
                     const std::vector<std::vector<std::string_view>>& Records,
                     std::int64_t First = 1) {
  Written Result;
  quillon::TargetBuffer Out(Result.Document);
  quillon::RecordWriter Writer(S, Out, Result.Counters);
  Writer.prepareColumnNames(Header);
  for (const auto& Cells : Records)
    Writer.writeRecord(First++, Cells);
  Out.flush();
  Result.ColumnNames = Writer.columnNames();
  return Result;
}

class RecordWriterTest : public ::testing::Test {
protected:
  void SetUp() override { quillon::resetSettings(); }
  void TearDown() override { quillon::resetSettings(); }
};

quillon::Settings layout(int Number) {
  quillon::Settings S;
  S.Mode = Number - 1;
  return S;
}

// Only written cells count, empty ones included unless they are suppressed.
TEST_F(RecordWriterTest, SuppressedCellsAreNotCounted) {
  quillon::Settings S = layout(5);
  S.SuppressEmpty = true;
  S.WriteNum = true;
  S.aNum = "n";
  const Written Five = writeRecords(S, {"a", "b"}, {{"", ""}, {"", "2"}}, 12);
  EXPECT_EQ(Five.Document, "     <record n=\"12\" />\n     <record n=\"13\" b=\"2\" />\n");
  EXPECT_EQ(Five.Counters.ElementCount, 1);
  S.WriteNum = false;
  EXPECT_EQ(writeRecords(S, {"a", "b"}, {{"", ""}}).Document, "     <record />\n");
  EXPECT_EQ(writeRecords(layout(3), {"a", "b"}, {{"", ""}, {"", "2"}}).Counters.ElementCount, 4);
}

struct NameCase {
  int Layout;
  bool WriteId;
  bool WriteNum;
  std::vector<std::string> Header;
  std::vector<std::string> Names;
};

// Every column gets a name that XML accepts, and layout 5 never repeats an attribute.
const NameCase NameCases[] = {
    {1, false, false, {"", "b", ""}, {"column_1", "b", "column_3"}},
    {2, false, false, {""}, {"column_1"}},
    {3, false, false, {"", "b"}, {"", "b"}},
    {4, false, false, {""}, {""}},
    {5, false, false, {"", "b"}, {"column_1", "b"}},
    {1, false, false, {"a", "a", "1st", "xmlValue"}, {"a", "a", "_1st", "_xmlValue"}},
    {5, false, false, {"a", "a", "1st", "xmlValue"}, {"a", "a_2", "_1st", "xmlValue"}},
    {5, false, false, {"Zip code", "Zip_code"}, {"Zip_code", "Zip_code_2"}},
    {5, false, false, {"a", "a", "a_2"}, {"a", "a_2", "a_2_3"}},
    {5, false, false, {"column_2", ""}, {"column_2", "column_2_2"}},
    {5, true, true, {"num", "xml:id", "x"}, {"num_1", "xml:id_2", "x"}},
    {5, false, false, {"num", "xml:id"}, {"num", "xml:id"}},
    {3, false, false, {"Price & Qty", "1st"}, {"Price & Qty", "1st"}},
};

TEST_F(RecordWriterTest, ColumnNames) {
  for (const NameCase& C : NameCases) {
    SCOPED_TRACE(testing::Message() << "layout " << C.Layout << " " << C.Header[0]);
    quillon::Settings S = layout(C.Layout);
    S.WriteId = C.WriteId;
    S.WriteNum = C.WriteNum;
    EXPECT_EQ(writeRecords(S, C.Header, {}).ColumnNames, C.Names);
  }
}

TEST_F(RecordWriterTest, ValuesInTextForm) {
  for (int Layout = 1; Layout <= 5; ++Layout) {
    SCOPED_TRACE(Layout);
    const Written R = writeRecords(layout(Layout), {"v"}, {{"a<b & \"c\" &amp; &Lt;"}});
    EXPECT_NE(R.Document.find("a&lt;b &amp; &quot;c&quot; &amp; &amp;Lt;"), std::string::npos)
        << R.Document;
  }
}

TEST_F(RecordWriterTest, ControlBytesWarnOnce) {
  const ErrorCapture Errors;
  const Written R = writeRecords(layout(1), {"v"},
                                 {{"ok"},
                                  {"a\x01"
                                   "b\x1F"},
                                  {"\x0B"}},
                                 3);
  EXPECT_EQ(R.Document, "     <record>\n          <v>ok</v>\n     </record>\n"
                        "     <record>\n          <v>a?b?</v>\n     </record>\n"
                        "     <record>\n          <v>?</v>\n     </record>\n");
  EXPECT_EQ(Errors.str(), "Warning : record 4 holds bytes that XML cannot hold (control "
                          "characters, or the characters U+FFFE and U+FFFF); each is written as "
                          "\"?\" (later records are not reported)\n");
}

TEST_F(RecordWriterTest, ControlBytesInHeaderNamesOfLayoutThree) {
  const ErrorCapture Errors;
  const Written R = writeRecords(layout(3), {"a\x02"}, {{"x\x03"}});
  EXPECT_EQ(R.Document, "     <record>\n          <item name=\"a?\">x?</item>\n     </record>\n");
  EXPECT_EQ(Errors.str().rfind("Warning : the header holds bytes that XML cannot hold", 0), 0u)
      << Errors.str();
  EXPECT_EQ(Errors.str().find('\n'), Errors.str().size() - 1);
}

struct Utf8CellCase {
  int Layout;
  bool FromIso; // the source is ISO-8859-1 and transcoded
  std::string Header;
  std::string Cell;
  std::string Document;
  bool Warned;
};

// In a UTF-8 document a cell of a UTF-8 source may hold bytes that are no UTF-8 of a character:
// each is its Windows-1252 character.
const Utf8CellCase Utf8CellCases[] = {
    {1, false, "v", "\xC3\xA9\xE9",
     "     <record>\n          <v>\xC3\xA9\xC3\xA9</v>\n     </record>\n", true},
    {5, false, "v", "\xEF\xBF\xBEx", "     <record v=\"???x\" />\n", true},
    {2, false, "v", "\xF0\x9F\x98\x80",
     "     <record>\n          <v value=\"\xF0\x9F\x98\x80\" />\n     </record>\n", false},
    {3, false, "n\xE9", "x",
     "     <record>\n          <item name=\"n\xC3\xA9\">x</item>\n     </record>\n", true},
    {4, false, "n\xC3\xA9", "\xC3",
     "     <record>\n          <item name=\"n\xC3\xA9\" value=\"\xC3\x83\" />\n     </record>\n",
     true},
    // transcoded from ISO-8859-1, every cell is UTF-8
    {1, true, "v", "\xE9\x80",
     "     <record>\n          <v>\xC3\xA9\xE2\x82\xAC</v>\n     </record>\n", false},
};

TEST_F(RecordWriterTest, Utf8DocumentCells) {
  for (const Utf8CellCase& C : Utf8CellCases) {
    SCOPED_TRACE(testing::Message()
                 << "layout " << C.Layout << " " << testing::PrintToString(C.Cell));
    quillon::Settings S = layout(C.Layout);
    S.Encoding = quillon::EncodingUtf8;
    S.OutputUTF8 = quillon::theSettings().OutputUTF8 = true;
    S.ConvertDataI2U = C.FromIso;
    const ErrorCapture Errors;
    EXPECT_EQ(writeRecords(S, {C.Header}, {{C.Cell}}).Document, C.Document);
    EXPECT_EQ(Errors.str().rfind("Warning : ", 0) == 0, C.Warned) << Errors.str();
  }
  // the same bytes in an ISO-8859-1 document stand for themselves
  const ErrorCapture Errors;
  EXPECT_EQ(writeRecords(layout(1), {"v"}, {{"\xC3\xA9\xE9"}}).Document,
            "     <record>\n          <v>\xC3\xA9\xE9</v>\n     </record>\n");
  EXPECT_EQ(Errors.str(), "");
}

struct AliasCase {
  int Layout;
  const char* aID;
  const char* aNum;
  const char* aName;
  const char* aValue;
  const char* Document;
};

// Names in force that would put one attribute twice on an element: the later one gets "_2".
constexpr AliasCase AliasCases[] = {
    {1, "n", "n", "name", "value",
     "     <record n=\"id.7\" n_2=\"7\">\n          <c>v</c>\n     </record>\n"},
    {2, "n", "n", "name", "value",
     "     <record n=\"id.7\" n_2=\"7\">\n          <c value=\"v\" />\n     </record>\n"},
    {3, "n", "n", "n", "n",
     "     <record n=\"id.7\" n_2=\"7\">\n          <item n=\"c\">v</item>\n     </record>\n"},
    {4, "xml:id", "num", "n", "n",
     "     <record xml:id=\"id.7\" num=\"7\">\n          <item n=\"c\" n_2=\"v\" />\n     "
     "</record>\n"},
    {4, "n", "n", "n", "n",
     "     <record n=\"id.7\" n_2=\"7\">\n          <item n=\"c\" n_2=\"v\" />\n     </record>\n"},
    {5, "n", "n", "name", "value", "     <record n=\"id.7\" n_2=\"7\" c=\"v\" />\n"},
    {4, "n_2", "n", "a", "a_2",
     "     <record n_2=\"id.7\" n=\"7\">\n          <item a=\"c\" a_2=\"v\" />\n     </record>\n"},
};

TEST_F(RecordWriterTest, AliasNamesDiffer) {
  for (const AliasCase& C : AliasCases) {
    SCOPED_TRACE(testing::Message() << "layout " << C.Layout << " " << C.aID << " " << C.aName);
    quillon::Settings S = layout(C.Layout);
    S.WriteId = S.WriteNum = true;
    S.aID = C.aID;
    S.aNum = C.aNum;
    S.aName = C.aName;
    S.aValue = C.aValue;
    EXPECT_EQ(writeRecords(S, {"c"}, {{"v"}}, 7).Document, C.Document);
  }
  // layout 5: a column named like the renamed number attribute moves on
  quillon::Settings S = layout(5);
  S.WriteId = S.WriteNum = true;
  S.aID = S.aNum = "n";
  EXPECT_EQ(writeRecords(S, {"n_2", "n"}, {}).ColumnNames,
            (std::vector<std::string>{"n_2_1", "n_2_2"}));
  // only one of the two attributes written: nothing to tell apart
  S.WriteId = false;
  EXPECT_EQ(writeRecords(S, {"c"}, {{"v"}}, 7).Document, "     <record n=\"7\" c=\"v\" />\n");
}

// Both transcoders must be reached for names and cells, and only when asked for.
TEST_F(RecordWriterTest, TranscodedNamesAndCells) {
  quillon::Settings S = layout(1);
  S.Encoding = quillon::EncodingUtf8;
  S.OutputUTF8 = quillon::theSettings().OutputUTF8 = true;
  S.ConvertDataI2U = true;
  const Written ToUtf8 = writeRecords(S,
                                      {"Gr\xF6\xDF"
                                       "e"},
                                      {{"Z\xFCrich"}, {"Rome"}});
  EXPECT_EQ(ToUtf8.Document, "     <record>\n          <Gr\xC3\xB6\xC3\x9F"
                             "e>Z\xC3\xBCrich</Gr\xC3\xB6\xC3\x9F"
                             "e>\n     </record>\n"
                             "     <record>\n          <Gr\xC3\xB6\xC3\x9F"
                             "e>Rome</Gr\xC3\xB6\xC3\x9F"
                             "e>\n     </record>\n");
  EXPECT_EQ(ToUtf8.Counters.IsoToUtf8Count, 3);
  EXPECT_EQ(ToUtf8.Counters.Utf8ToIsoCount, 0);

  quillon::Settings U = layout(3);
  U.ConvertDataU2I = true;
  const Written ToIso = writeRecords(U, {"K\xC3\xB6ln"}, {{"Z\xC3\xBCrich"}});
  EXPECT_EQ(ToIso.Document,
            "     <record>\n          <item name=\"K\xF6ln\">Z\xFCrich</item>\n     </record>\n");
  EXPECT_EQ(ToIso.Counters.Utf8ToIsoCount, 2);
  EXPECT_EQ(ToIso.Counters.IsoToUtf8Count, 0);
}

TEST_F(RecordWriterTest, ShortAndLongRecords) {
  // missing cells are empty, cells beyond the header are never written
  EXPECT_EQ(writeRecords(layout(5), {"a", "b"}, {{"1"}, {"1", "2", "3"}}).Document,
            "     <record a=\"1\" b=\"\" />\n     <record a=\"1\" b=\"2\" />\n");
}

// Records beyond one output block, and a cell that grows sixfold past it.
TEST_F(RecordWriterTest, OutputBeyondOneBlock) {
  const std::string Quotes(300000, '"');
  std::string Expected = "     <record v=\"";
  for (int I = 0; I < 300000; ++I)
    Expected += "&quot;";
  Expected += "\" />\n";
  std::vector<std::vector<std::string_view>> Records(3, {Quotes});
  const Written R = writeRecords(layout(5), {"v"}, Records);
  EXPECT_EQ(R.Document, Expected + Expected + Expected);
}

// Cells that grow eightfold into references, past the output block: each reference whole.
TEST_F(RecordWriterTest, ReferencesBeyondOneBlock) {
  // Windows-1252 bytes in an ISO-8859-1 document: one byte, eight of reference
  const std::string Ellipses(50000, '\x85');
  std::string Expected = "     <record v=\"";
  for (int I = 0; I < 50000; ++I)
    Expected += "&#x2026;";
  Expected += "\" />\n";
  std::vector<std::vector<std::string_view>> Records(4, {Ellipses});
  Written R = writeRecords(layout(5), {"v"}, Records);
  EXPECT_EQ(R.Document, Expected + Expected + Expected + Expected);
  EXPECT_EQ(R.Counters.Utf8ToIsoCount + R.Counters.IsoToUtf8Count, 0);

  // four-byte characters of a UTF-8 source in attribute values, the last one at a cell's end
  quillon::Settings U = layout(2);
  U.ConvertDataU2I = true;
  std::string Faces;
  for (int I = 0; I < 40000; ++I)
    Faces += "\xF0\x9F\x98\x80";
  Expected = "     <record>\n          <v value=\"";
  for (int I = 0; I < 40000; ++I)
    Expected += "&#x1F600;";
  Expected += "\" />\n     </record>\n";
  Records.assign(4, {Faces});
  R = writeRecords(U, {"v"}, Records);
  EXPECT_EQ(R.Document, Expected + Expected + Expected + Expected);
  EXPECT_EQ(R.Counters.Utf8ToIsoCount, 4 * 40000);
}

struct ItemCase {
  int Mode;
  const char* Column;
  const char* Value;
  const char* Prefix;
  const char* Line;
};

constexpr ItemCase ItemCases[] = {
    {0, "Zip_code", "00118", "", "          <Zip_code>00118</Zip_code>"},
    {0, "Zip_code", "", "p:", "          <p:Zip_code/>"},
    {1, "City", "a&b", "", "          <City val=\"a&amp;b\" />"},
    {1, "City", "", "", "          <City val=\"\" />"},
    {2, "Zip code", "<x>", "p:", "          <p:it nm=\"Zip code\">&lt;x&gt;</p:it>"},
    {2, "R&D", "", "", "          <it nm=\"R&amp;D\"/>"},
    {3, "Zip code", "'", "", "          <it nm=\"Zip code\" val=\"&apos;\" />"},
    {3, "\"q\"", "", "", "          <it nm=\"&quot;q&quot;\" val=\"\" />"},
    {4, "City", "Rome", "", ""},
    {-1, "City", "Rome", "", ""},
};

TEST(RecordItem, OneLinePerLayout) {
  for (const ItemCase& C : ItemCases) {
    SCOPED_TRACE(testing::Message() << C.Mode << " " << C.Column << " " << C.Value);
    EXPECT_EQ(quillon::formatRecordItem(C.Column, C.Value, C.Mode, C.Prefix, "val", "nm", "it",
                                        quillon::theSettings().OutputUTF8),
              C.Line);
  }
  // layout 4 writes both names on one element
  EXPECT_EQ(quillon::formatRecordItem("City", "Rome", 3, "", "n", "n", "it",
                                      quillon::theSettings().OutputUTF8),
            "          <it n=\"City\" n_2=\"Rome\" />");
  EXPECT_EQ(quillon::formatRecordItem("City", "Rome", 2, "", "n", "n", "it",
                                      quillon::theSettings().OutputUTF8),
            "          <it n=\"City\">Rome</it>");
}

} // namespace
