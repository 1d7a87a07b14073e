#include "driver/report.h"

#include <ctime>
#include <functional>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

namespace {

using quillon::RunCounters;
using quillon::Settings;

// The eight lines every settings report has before its optional lines.
std::string reportHead(const char* Source, const char* Target, const char* Separators,
                       const char* ModeName, const char* Encoding,
                       const char* SourceEncoding = "auto") {
  return std::string("Converting source file <") + Source + ">\n" + "to         target file <" +
         Target + ">\n" + "\n" + "Settings : \n" + "-> Separator(s)     : " + Separators + "\n" +
         "-> XML Mode         : " + ModeName + "\n" + "-> Encoding         : " + Encoding + "\n" +
         "-> Source Encoding  : " + SourceEncoding + "\n";
}

constexpr const char* DefaultTail = "-> Suppressing      : nothing\n"
                                    "-> Writing Rec Num  : No\n"
                                    "-> Writing Rec ID   : No\n"
                                    "\n";

struct ReportCase {
  const char* Name;
  std::function<void(Settings&)> Change;
  std::string Expected;
};

Settings baseSettings() {
  Settings S;
  S.SourceFile = "in.csv";
  S.TargetFile = "out.xml";
  return S;
}

TEST(SettingsReport, LinesUnderTheirConditions) {
  const std::string DefaultHead =
      reportHead("in.csv", "out.xml", ";", "Elements with Element Context (default)", "ISO-8859-1");
  const ReportCase Cases[] = {
      {"defaults", [](Settings&) {}, DefaultHead + DefaultTail},
      {"standard streams",
       [](Settings& S) {
         S.SourceFile = "STDIN";
         S.TargetFile = "STDOUT";
       },
       reportHead("STDIN", "STDOUT", ";", "Elements with Element Context (default)", "ISO-8859-1") +
           DefaultTail},
      {"separator name, mode 5, UTF-8",
       [](Settings& S) {
         S.SeparatorChars = "\t";
         S.SeparatorText = "Horizontal Tab (ASCII 9)";
         S.Mode = 4;
         S.Encoding = "UTF-8";
       },
       reportHead("in.csv", "out.xml", "Horizontal Tab (ASCII 9)", "Attributes with Values",
                  "UTF-8") +
           DefaultTail},
      {"mode out of range", [](Settings& S) { S.Mode = 7; },
       reportHead("in.csv", "out.xml", ";", "Unkown ?", "ISO-8859-1") + DefaultTail},
      {"styles, DTD, namespace with prefix",
       [](Settings& S) {
         S.StyleList = "a.css,[b.xsl]";
         S.UseDTD = true;
         S.DTDFile = "d.dtd";
         S.NamespacePrefix = "q:";
         S.NamespaceURI = "http://example.org/q";
       },
       DefaultHead + "-> Embedding Styles : a.css,[b.xsl]\n" + "-> DTD Embedding    : d.dtd\n" +
           "-> NS Prefix        : q\n" + "-> NS URI           : http://example.org/q\n" +
           DefaultTail},
      {"source encoding, right below the output encoding",
       [](Settings& S) { S.SourceEncoding = "UTF-8"; },
       reportHead("in.csv", "out.xml", ";", "Elements with Element Context (default)", "ISO-8859-1",
                  "UTF-8") +
           DefaultTail},
      {"source encoding before the styles",
       [](Settings& S) {
         S.SourceEncoding = "ISO-8859-1";
         S.StyleList = "a.css";
       },
       reportHead("in.csv", "out.xml", ";", "Elements with Element Context (default)", "ISO-8859-1",
                  "ISO-8859-1") +
           "-> Embedding Styles : a.css\n" + DefaultTail},
      {"URI alone", [](Settings& S) { S.NamespaceURI = "urn:x"; },
       DefaultHead + "-> NS URI           : urn:x\n" + DefaultTail},
      {"prefix of one character shows nothing after the label",
       [](Settings& S) { S.NamespacePrefix = ":"; },
       DefaultHead + "-> NS Prefix        : \n" + DefaultTail},
      {"XSD replaces a DTD, whose name stays",
       [](Settings& S) {
         S.DTDFile = "d.dtd";
         S.UseXSD = true;
         S.XSDFile = "s.xsd";
       },
       DefaultHead + "-> XSD Embedding    : s.xsd\n" + DefaultTail},
      {"generated schema right below the reference, standard output by its name",
       [](Settings& S) {
         S.UseXSD = true;
         S.XSDFile = "s.xsd";
         S.SchemaFile = "-";
       },
       DefaultHead + "-> XSD Embedding    : s.xsd\n" + "-> XSD Generating   : STDOUT\n" +
           DefaultTail},
      {"flags without names show no file line",
       [](Settings& S) {
         S.UseDTD = true;
         S.UseXSD = true;
       },
       DefaultHead + DefaultTail},
      {"suppression, numbers and ids without alias block",
       [](Settings& S) {
         S.SuppressEmpty = true;
         S.WriteNum = true;
         S.WriteId = true;
       },
       DefaultHead + "-> Suppressing      : empty elements and attributes\n"
                     "-> Writing Rec Num  : Yes\n"
                     "-> Writing Rec ID   : Yes\n"
                     "\n"},
      {"alias block shows all nine names",
       [](Settings& S) {
         S.AliasGiven = true;
         S.eRoot = "rows";
         S.aNum = "n";
         S.WriteNum = true;
       },
       DefaultHead + "-> Suppressing      : nothing\n"
                     "-> Writing Rec Num  : Yes\n"
                     "-> Writing Rec ID   : No\n"
                     "-> TAG Names        : eRoot   = rows\n"
                     "                      eRecord = record\n"
                     "                      eItem   = item\n"
                     "                      aName   = name\n"
                     "                      aValue  = value\n"
                     "                      aNum    = n\n"
                     "                      aSource = source\n"
                     "                      aDT     = datetime\n"
                     "                      aID     = xml:id\n"
                     "\n"},
      {"alias names as the document writes them",
       [](Settings& S) {
         S.AliasGiven = true;
         S.aDT = "_:t"; // no namespace prefix may stand before the ':'
       },
       DefaultHead + "-> Suppressing      : nothing\n"
                     "-> Writing Rec Num  : No\n"
                     "-> Writing Rec ID   : No\n"
                     "-> TAG Names        : eRoot   = csv_data_records\n"
                     "                      eRecord = record\n"
                     "                      eItem   = item\n"
                     "                      aName   = name\n"
                     "                      aValue  = value\n"
                     "                      aNum    = num\n"
                     "                      aSource = source\n"
                     "                      aDT     = __t\n"
                     "                      aID     = xml:id\n"
                     "\n"},
  };
  for (const ReportCase& C : Cases) {
    SCOPED_TRACE(C.Name);
    Settings S = baseSettings();
    C.Change(S);
    std::ostringstream Log;
    quillon::writeSettingsReport(S, Log);
    EXPECT_EQ(Log.str(), C.Expected);
  }
}

// Counts every flush, so a test can see that each line is flushed as it ends.
class CountingBuffer : public std::stringbuf {
public:
  int Syncs = 0;
  std::string Flushed; // what had been written at the last flush

protected:
  int sync() override {
    ++Syncs;
    Flushed = str();
    return std::stringbuf::sync();
  }
};

TEST(SettingsReport, EveryLineIsFlushed) {
  CountingBuffer Buffer;
  std::ostream Log(&Buffer);
  quillon::writeSettingsReport(baseSettings(), Log);
  EXPECT_EQ(Buffer.Syncs, 12); // 12 lines, each ended by a flush
  EXPECT_EQ(Buffer.Flushed, Buffer.str());
}

struct ClosingCase {
  const char* Name;
  RunCounters Counters;
  const char* Before; // everything up to the conversion time line
};

const ClosingCase ClosingCases[] = {
    {"no records",
     {0, 0, 0, 0, 0},
     "Ready\n\nStatistics:\n-> 0 records\n-> 0 lines (source)\n-> 0 elements\n"},
    {"999 records leave the dots line alone",
     {999, 1001, 2997, 0, 0},
     "Ready\n\nStatistics:\n-> 999 records\n-> 1001 lines (source)\n-> 2997 elements\n"},
    {"1000 records end the dots line",
     {1000, 1000, 3000, 0, 0},
     "\nReady\n\nStatistics:\n-> 1000 records\n-> 1000 lines (source)\n-> 3000 elements\n"},
    {"2500 records",
     {2500, 2502, 4999, 0, 0},
     "\nReady\n\nStatistics:\n-> 2500 records\n-> 2502 lines (source)\n-> 4999 elements\n"},
    {"ISO to UTF-8 conversions",
     {2, 3, 4, 7, 0},
     "Ready\n\nStatistics:\n-> 2 records\n-> 3 lines (source)\n-> 4 elements\n"
     "-> 7 conversions from ISO-8859-1/ANSI to UTF-8\n"},
    {"UTF-8 to ISO conversions",
     {2, 3, 4, 0, 5},
     "Ready\n\nStatistics:\n-> 2 records\n-> 3 lines (source)\n-> 4 elements\n"
     "-> 5 conversions from UTF-8 to ISO-8859-1/ANSI\n"},
    {"counts beyond 32 bits",
     {3000000000LL, 3000000001LL, 9000000000LL, 0, 0},
     "\nReady\n\nStatistics:\n-> 3000000000 records\n-> 3000000001 lines (source)\n"
     "-> 9000000000 elements\n"},
};

TEST(ClosingReport, LinesUnderTheirConditions) {
  for (const ClosingCase& C : ClosingCases) {
    SCOPED_TRACE(C.Name);
    std::ostringstream Log;
    quillon::writeClosingReport(C.Counters, std::time(nullptr), Log);
    const std::string Tail = "-> Conversion time : 0 seconds \n\n";
    const std::string Got = Log.str();
    // a second may tick over during the call; the time itself is checked below
    ASSERT_GE(Got.size(), Tail.size());
    EXPECT_EQ(Got.substr(0, Got.size() - Tail.size()), C.Before);
    EXPECT_EQ(Got.substr(Got.find("-> Conversion time : ")).size(), Tail.size());
  }
}

TEST(ClosingReport, ConversionTimeCountsFromStart) {
  for (int Attempt = 0; Attempt < 5; ++Attempt) {
    const std::time_t Before = std::time(nullptr);
    std::ostringstream Log;
    quillon::writeClosingReport(RunCounters{}, Before - 75, Log);
    if (std::time(nullptr) != Before)
      continue; // the clock moved during the call: measure again
    EXPECT_EQ(Log.str(), "Ready\n\nStatistics:\n-> 0 records\n-> 0 lines (source)\n"
                         "-> 0 elements\n-> Conversion time : 75 seconds \n\n");
    return;
  }
  FAIL() << "the clock never held still for one call";
}

TEST(ClosingReport, EveryLineIsFlushed) {
  CountingBuffer Buffer;
  std::ostream Log(&Buffer);
  quillon::writeClosingReport(RunCounters{1000, 1000, 1000, 1, 0}, std::time(nullptr), Log);
  EXPECT_EQ(Buffer.Syncs, 10); // dots line end, Ready, empty, 5 statistics, time, empty
  EXPECT_EQ(Buffer.Flushed, Buffer.str());
}

} // namespace
