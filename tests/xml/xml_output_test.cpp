#include "io/target_buffer.h"
#include "options/settings.h"
#include "xml/xml_output.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include <gtest/gtest.h>

namespace {

constexpr std::time_t March5 = 1173103629; // 2007-03-05 14:07:09 UTC

// Sets TZ for one scope and puts the old value back.
class ZoneGuard {
public:
  explicit ZoneGuard(const char* Zone) {
    if (const char* Old = std::getenv("TZ")) {
      HadZone = true;
      OldZone = Old;
    }
    setenv("TZ", Zone, 1);
    tzset();
  }
  ZoneGuard(const ZoneGuard&) = delete;
  ZoneGuard& operator=(const ZoneGuard&) = delete;
  ~ZoneGuard() {
    if (HadZone)
      setenv("TZ", OldZone.c_str(), 1);
    else
      unsetenv("TZ");
    tzset();
  }

private:
  bool HadZone = false;
  std::string OldZone;
};

struct ZoneCase {
  const char* Zone;
  std::time_t Time;
  const char* Text;
};

const ZoneCase ZoneCases[] = {
    {"UTC0", March5, "2007-03-05T14:07:09+00:00"},
    {"CET-1", March5, "2007-03-05T15:07:09+01:00"},
    {"EST5", March5, "2007-03-05T09:07:09-05:00"},
    {"CET-1CEST,M3.5.0,M10.5.0/3", March5, "2007-03-05T15:07:09+01:00"},
    {"CET-1CEST,M3.5.0,M10.5.0/3", 1183291200, "2007-07-01T14:00:00+02:00"},
    {"EST5EDT,M3.2.0,M11.1.0", 1183291200, "2007-07-01T08:00:00-04:00"},
    // the local date differs from the UTC date
    {"CET-1", 1173137400, "2007-03-06T00:30:00+01:00"},
    {"EST5", 1173060000, "2007-03-04T21:00:00-05:00"},
    // zones with minutes keep them, on both sides of the half hour
    {"IST-5:30", 1173102000, "2007-03-05T19:10:00+05:30"},
    {"IST-5:30", 1173103800, "2007-03-05T19:40:00+05:30"},
    {"NST3:30", March5, "2007-03-05T10:37:09-03:30"},
    {"NPT-5:45", March5, "2007-03-05T19:52:09+05:45"},
    {"UTC0", 0, "1970-01-01T00:00:00+00:00"},
};

TEST(XmlDateTime, LocalTimeWithTrueOffset) {
  for (const ZoneCase& C : ZoneCases) {
    SCOPED_TRACE(C.Zone);
    const ZoneGuard Zone(C.Zone);
    EXPECT_EQ(quillon::formatDateTime(C.Time, true), C.Text);
    EXPECT_EQ(quillon::formatDateTime(C.Time, false), std::string(C.Text, 19));
  }
}

struct SplitCase {
  const char* Path;
  const char* Directory;
  const char* Name;
  const char* Extension;
};

constexpr SplitCase SplitCases[] = {
    {"css/main.css", "css/", "main", "css"},
    {"style", "", "style", ""},
    {"themes.d/style", "themes.d/", "style", ""},
    {".css", "", "", "css"},
    {"a/b/c.tar.gz", "a/b/", "c.tar", "gz"},
    {"C:\\web\\site.xsl", "C:\\web\\", "site", "xsl"},
    {"a/b\\c.d", "a/", "b\\c", "d"}, // a slash anywhere makes backslashes plain
    {"dir.x/", "dir.x/", "", ""},
    {"", "", "", ""},
};

TEST(XmlSplitFileName, DirectoryNameExtension) {
  for (const SplitCase& C : SplitCases) {
    SCOPED_TRACE(C.Path);
    std::string Directory = "old";
    std::string Name = "old";
    std::string Extension = "old";
    quillon::splitFileName(C.Path, &Directory, &Name, &Extension);
    EXPECT_EQ(Directory, C.Directory);
    EXPECT_EQ(Name, C.Name);
    EXPECT_EQ(Extension, C.Extension);
  }
  std::string Name;
  quillon::splitFileName("x/y.z", nullptr, &Name, nullptr);
  EXPECT_EQ(Name, "y");
}

struct StyleCase {
  const char* List;
  const char* Instructions;
};

constexpr StyleCase StyleCases[] = {
    {"", ""},
    {"a.css,[b.xsl]",
     "<?xml-stylesheet type=\"text/css\" href=\"a.css\" title=\"a\" ?>\n"
     "<?xml-stylesheet type=\"text/xsl\" href=\"b.xsl\" alternate=\"yes\"  title=\"b\" ?>\n"},
    {"[x.css],y.css",
     "<?xml-stylesheet type=\"text/css\" href=\"x.css\" alternate=\"yes\"  title=\"x\" ?>\n"
     "<?xml-stylesheet type=\"text/css\" href=\"y.css\" title=\"y\" ?>\n"},
    {"style,b.css", "<?xml-stylesheet type=\"text/css\" href=\"b.css\" title=\"b\" ?>\n"},
    {"style,x,[y]", ""},
    {"css/main.css",
     "<?xml-stylesheet type=\"text/css\" href=\"css/main.css\" title=\"main\" ?>\n"},
    {",a.css,,b.xsl,", "<?xml-stylesheet type=\"text/css\" href=\"a.css\" title=\"a\" ?>\n"
                       "<?xml-stylesheet type=\"text/xsl\" href=\"b.xsl\" title=\"b\" ?>\n"},
    {" a.css", "<?xml-stylesheet type=\"text/css\" href=\" a.css\" title=\" a\" ?>\n"},
    {"[a.css", "<?xml-stylesheet type=\"text/css\" href=\"[a.css\" title=\"[a\" ?>\n"},
    {"[],.css", "<?xml-stylesheet type=\"text/css\" href=\".css\" title=\"\" ?>\n"},
    // "?>" would end the instruction, and control bytes cannot stand in it
    {"a?>b.css", "<?xml-stylesheet type=\"text/css\" href=\"a?&gt;b.css\" title=\"a?&gt;b\" ?>\n"},
    {"a.c?>>", "<?xml-stylesheet type=\"text/c?&gt;>\" href=\"a.c?&gt;>\" title=\"a\" ?>\n"},
    {"a\x01>.x\x1F", "<?xml-stylesheet type=\"text/x?\" href=\"a?&gt;.x?\" title=\"a?&gt;\" ?>\n"},
    {"a>?\"&<.css",
     "<?xml-stylesheet type=\"text/css\" href=\"a>?\"&<.css\" title=\"a>?\"&<\" ?>\n"},
    {"\xE9.css", "<?xml-stylesheet type=\"text/css\" href=\"\xE9.css\" title=\"\xE9\" ?>\n"},
};

TEST(XmlStylesheets, OneInstructionPerItemWithExtension) {
  for (const StyleCase& C : StyleCases) {
    SCOPED_TRACE(C.List);
    EXPECT_EQ(quillon::makeStylesheetInstructions(C.List), C.Instructions);
  }
}

// In a UTF-8 document a byte that is no UTF-8 of a character becomes '?' before the "?>" rule.
TEST(XmlStylesheets, Utf8Document) {
  EXPECT_EQ(quillon::makeStylesheetInstructions("\xC3\xA9\xE9>.css", true),
            "<?xml-stylesheet type=\"text/css\" href=\"\xC3\xA9?&gt;.css\" title=\"\xC3\xA9?&gt;\" "
            "?>\n");
  EXPECT_EQ(quillon::makeStylesheetInstructions("[\xC3\xA9.css]", true),
            "<?xml-stylesheet type=\"text/css\" href=\"\xC3\xA9.css\" alternate=\"yes\"  "
            "title=\"\xC3\xA9\" ?>\n");
}

class XmlProlog : public ::testing::Test {
protected:
  void SetUp() override {
    quillon::resetSettings();
    char Pattern[] = "/tmp/quillon_prolog_XXXXXX";
    const int Fd = mkstemp(Pattern);
    ASSERT_GE(Fd, 0);
    close(Fd);
    SourcePath = Pattern;
    const utimbuf Times{March5, March5};
    ASSERT_EQ(utime(SourcePath.c_str(), &Times), 0);
  }
  void TearDown() override {
    std::remove(SourcePath.c_str());
    quillon::resetSettings();
  }

  quillon::Settings sourceSettings() const {
    quillon::Settings S;
    S.SourceFile = SourcePath;
    S.SourceName = "data.csv";
    return S;
  }

  static std::string prolog(const quillon::Settings& S) {
    std::string Sink;
    quillon::TargetBuffer Out(Sink);
    quillon::writeProlog(Out, S);
    Out.flush();
    return Sink;
  }

  std::string SourcePath;
};

const char* const Declaration =
    "<?xml version=\"1.0\" encoding=\"ISO-8859-1\" standalone=\"yes\"?>\n";
const char* const DeclarationNo =
    "<?xml version=\"1.0\" encoding=\"ISO-8859-1\" standalone=\"no\"?>\n";
const char* const Stamp = "datetime=\"2007-03-05T14:07:09+00:00\" >\n";

// A schema or DTD switch without its file still makes the document depend on outside markup.
TEST_F(XmlProlog, SwitchWithoutFile) {
  const ZoneGuard Zone("UTC0");
  const std::string Expected =
      DeclarationNo + std::string("<csv_data_records source=\"data.csv\" ") + Stamp;
  quillon::Settings Dtd = sourceSettings();
  Dtd.UseDTD = true;
  EXPECT_EQ(prolog(Dtd), Expected);
  quillon::Settings Xsd = sourceSettings();
  Xsd.UseXSD = true;
  Xsd.NamespaceURI = "urn:x";
  EXPECT_EQ(prolog(Xsd), DeclarationNo + std::string("<csv_data_records xmlns=\"urn:x\"\n") +
                             std::string(18, ' ') + "source=\"data.csv\" " + Stamp);
}

TEST_F(XmlProlog, SourceTimeFollowsTheZone) {
  const ZoneGuard Zone("CET-1");
  EXPECT_EQ(prolog(sourceSettings()),
            Declaration + std::string("<csv_data_records source=\"data.csv\" "
                                      "datetime=\"2007-03-05T15:07:09+01:00\" >\n"));
}

// Standard input, or a source that cannot be examined, is stamped with the time of the run.
TEST_F(XmlProlog, RunTimeWithoutSourceFile) {
  const ZoneGuard Zone("UTC0");
  quillon::Settings Stdin = sourceSettings();
  Stdin.SourceIsStdin = true;
  Stdin.SourceName = "STDIN";
  quillon::Settings Missing = sourceSettings();
  Missing.SourceFile = SourcePath + ".missing";
  for (const quillon::Settings* S : {&Stdin, &Missing}) {
    const std::time_t Before = std::time(nullptr);
    const std::string Text = prolog(*S);
    const std::time_t After = std::time(nullptr);
    const std::size_t At = Text.find("datetime=\"");
    ASSERT_NE(At, std::string::npos);
    const std::string Stamped = Text.substr(At + 10, 25);
    EXPECT_TRUE(Stamped == quillon::formatDateTime(Before, true) ||
                Stamped == quillon::formatDateTime(After, true))
        << Stamped;
    EXPECT_NE(Stamped.substr(0, 4), "2007");
  }
}

struct DoctypeCase {
  std::string File;
  bool Utf8;
  std::string Line;
};

// The system literal knows no references: its delimiter and a "%22" keep it whole.
const DoctypeCase DoctypeCases[] = {
    {"a.dtd", false, "<!DOCTYPE csv_data_records SYSTEM \"a.dtd\">\n"},
    {"a'b.dtd", false, "<!DOCTYPE csv_data_records SYSTEM \"a'b.dtd\">\n"},
    {"a\"b.dtd", false, "<!DOCTYPE csv_data_records SYSTEM 'a\"b.dtd'>\n"},
    {"\"a'b\".dtd", false, "<!DOCTYPE csv_data_records SYSTEM \"%22a'b%22.dtd\">\n"},
    {"a&<>.dtd", false, "<!DOCTYPE csv_data_records SYSTEM \"a&<>.dtd\">\n"},
    {"a\x01\x1F\tb.dtd", false, "<!DOCTYPE csv_data_records SYSTEM \"a??\tb.dtd\">\n"},
    {"\xE9.dtd", false, "<!DOCTYPE csv_data_records SYSTEM \"\xE9.dtd\">\n"},
    {"\xE9.dtd", true, "<!DOCTYPE csv_data_records SYSTEM \"?.dtd\">\n"},
    {"\xC3\xA9\".dtd", true, "<!DOCTYPE csv_data_records SYSTEM '\xC3\xA9\".dtd'>\n"},
};

TEST_F(XmlProlog, DoctypeSystemLiteral) {
  for (const DoctypeCase& C : DoctypeCases) {
    SCOPED_TRACE(testing::PrintToString(C.File));
    quillon::Settings S = sourceSettings();
    S.UseDTD = true;
    S.DTDFile = C.File;
    if (C.Utf8)
      S.Encoding = quillon::EncodingUtf8;
    const std::string Text = prolog(S);
    const std::size_t Start = Text.find('\n') + 1;
    EXPECT_EQ(Text.substr(Start, Text.find('\n', Start) + 1 - Start), C.Line);
  }
}

struct RootNameCase {
  const char* Source;
  const char* DateTime;
  const char* Uri;
  const char* Prefix;
  bool Schema;
  const char* Attributes; // the names of the root's attributes in order, one space apart
};

// No attribute appears twice on the root: a later name already written gets "_2".
const RootNameCase RootNameCases[] = {
    {"source", "datetime", "", "", false, "source datetime"},
    {"s", "s", "", "", false, "s s_2"},
    {"s_2", "s", "", "", false, "s_2 s"},
    {"xmlns", "d", "urn:x", "", false, "xmlns xmlns_2 d"},
    {"s", "xmlns:p", "urn:x", "p:", false, "xmlns:p s xmlns:p_2"},
    {"xmlns:xsi", "xsi:noNamespaceSchemaLocation", "", "", true,
     "xsi:noNamespaceSchemaLocation xmlns:xsi xmlns:xsi_2 xsi:noNamespaceSchemaLocation_2"},
    {"xsi:schemaLocation", "xsi:schemaLocation_2", "urn:x", "", true,
     "xsi:schemaLocation xmlns:xsi xmlns xsi:schemaLocation_2 xsi:schemaLocation_2_2"},
    {"xsi:noNamespaceSchemaLocation", "xmlns:xsi", "urn:x", "", true,
     "xsi:schemaLocation xmlns:xsi xmlns xsi:noNamespaceSchemaLocation xmlns:xsi_2"},
};

TEST_F(XmlProlog, RootAttributesDiffer) {
  for (const RootNameCase& C : RootNameCases) {
    SCOPED_TRACE(testing::Message() << C.Source << " " << C.DateTime);
    quillon::Settings S = sourceSettings();
    S.aSource = C.Source;
    S.aDT = C.DateTime;
    S.NamespaceURI = C.Uri;
    S.NamespacePrefix = C.Prefix;
    S.UseXSD = C.Schema;
    S.XSDFile = C.Schema ? "s.xsd" : "";
    const std::string Text = prolog(S);
    // the attribute names: what stands before each '="' after the root's name
    std::string Names;
    const std::size_t Root = Text.find("\n<") + 2;
    for (std::size_t At = Text.find("=\"", Root); At != std::string::npos;
         At = Text.find("=\"", At + 2)) {
      const std::size_t Begin = Text.find_last_of(" \n", At) + 1;
      Names += (Names.empty() ? "" : " ") + Text.substr(Begin, At - Begin);
      At = Text.find('"', At + 2); // over the value
    }
    EXPECT_EQ(Names, C.Attributes) << Text;
  }
}

// In a UTF-8 document the texts written into attributes hold only UTF-8 of XML characters.
TEST_F(XmlProlog, Utf8DocumentTexts) {
  const ZoneGuard Zone("UTC0");
  quillon::Settings S = sourceSettings();
  S.Encoding = quillon::EncodingUtf8;
  S.SourceName = "\xE9t\xC3\xA9.csv";
  S.NamespaceURI = "urn:\xFF";
  S.UseXSD = true;
  S.XSDFile = "\xC3\xA9\xE9.xsd";
  EXPECT_EQ(prolog(S), "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\n"
                       "<csv_data_records xsi:schemaLocation=\"urn:? \xC3\xA9?.xsd\"\n" +
                           std::string(18, ' ') +
                           "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"\n" +
                           std::string(18, ' ') + "xmlns=\"urn:?\"\n" + std::string(18, ' ') +
                           "source=\"?t\xC3\xA9.csv\" " + Stamp);
  // the same texts in an ISO-8859-1 document are Windows-1252 bytes like any other
  S.Encoding = quillon::EncodingIso;
  EXPECT_NE(prolog(S).find("source=\"\xE9t\xC3\xA9.csv\""), std::string::npos);
}

// In an ISO-8859-1 document what the encoding lacks is a reference: Windows-1252 characters of
// the command line, or, left in UTF-8 by -cc:u2i, every character beyond U+00FF.
TEST_F(XmlProlog, IsoDocumentTextsWithReferences) {
  const ZoneGuard Zone("UTC0");
  quillon::Settings S = sourceSettings();
  S.SourceName = "\x80\xE9.csv";
  S.NamespaceURI = "urn:\x93x\x94";
  S.UseXSD = true;
  S.XSDFile = "\xE9.xsd";
  const std::string Indent(18, ' ');
  EXPECT_EQ(prolog(S), std::string(DeclarationNo) +
                           "<csv_data_records xsi:schemaLocation=\"urn:&#x201C;x&#x201D; "
                           "\xE9.xsd\"\n" +
                           Indent + "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"\n" +
                           Indent + "xmlns=\"urn:&#x201C;x&#x201D;\"\n" + Indent +
                           "source=\"&#x20AC;\xE9.csv\" " + Stamp);
  S.AttributeTextsUtf8 = true;
  S.SourceName = "\xE6\x97\xA5\xC3\xA9\xE2\x82\xAC.csv";
  S.NamespaceURI = "urn:\xF0\x9F\x98\x80";
  S.XSDFile = "\xC3\xA9\xE9.xsd"; // not UTF-8 throughout: '?' as in a UTF-8 document
  EXPECT_EQ(prolog(S), std::string(DeclarationNo) +
                           "<csv_data_records xsi:schemaLocation=\"urn:&#x1F600; \xE9?.xsd\"\n" +
                           Indent + "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"\n" +
                           Indent + "xmlns=\"urn:&#x1F600;\"\n" + Indent +
                           "source=\"&#x65E5;\xE9&#x20AC;.csv\" " + Stamp);
}

TEST(XmlEpilog, RootEndAndCount) {
  quillon::Settings S;
  S.NamespacePrefix = "p:";
  S.eRoot = "rows";
  std::string Sink;
  {
    quillon::TargetBuffer Out(Sink);
    quillon::writeEpilog(Out, S, 0);
    quillon::writeEpilog(Out, quillon::Settings(), 123456789012);
    Out.flush();
  }
  EXPECT_EQ(Sink, "</p:rows>\n<!-- 0 records written -->\n"
                  "</csv_data_records>\n<!-- 123456789012 records written -->\n");
}

} // namespace
