#include "capture.h"
#include "options/options.h"
#include "quillon_build.h"

#include <iostream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace {

std::vector<std::string> splitLines(const std::string& Text) {
  std::vector<std::string> Lines;
  std::size_t Start = 0;
  for (std::size_t End; (End = Text.find('\n', Start)) != std::string::npos; Start = End + 1)
    Lines.push_back(Text.substr(Start, End - Start));
  EXPECT_EQ(Start, Text.size()) << "text after the last line end";
  return Lines;
}

TEST(Usage, SeventyNineLinesOnStandardOutput) {
  std::string Out;
  std::string Err;
  {
    Capture Output({&std::cout});
    Capture Errors({&std::cerr, &std::clog});
    quillon::printUsage();
    Out = Output.text();
    Err = Errors.text();
  }
  EXPECT_EQ(Err, "");
  const std::vector<std::string> Lines = splitLines(Out);
  ASSERT_EQ(Lines.size(), 79u);
  // Lines whose blanks or odd bytes are easy to lose.
  const std::pair<int, std::string> Fixed[] = {
      {1, ""},
      {2, "Usage:"},
      {3, "quillon    -s:FILE [-t[:FILE]] [-v] [-wn] [-wid] [-sep:SEPARATORS|-sep::#:] "},
      {5, "           [-dtd:FILE|-xsd:FILE] [-styles:FILE[,...]] [-alias:TOKEN=NAME[,...]] "},
      {8, "quillon    -exec CFGFILE"},
      {11, "-t:FILE    TARGET.xml file to create  (\"-t:-\" is STDOUT)"},
      // the quoting dialect right below the separators
      {16,
       "-rfc4180   quote as spreadsheets do: only a mark that begins a value opens a quotation"},
      // the source encoding right below the output encoding; nothing else moves
      {17, "-e:ENC     <?xml ... encoding=\"ENC\"?> (\"UTF-8\" or \"ISO-8859-1\" (default))"},
      {18, "-ie:ENC    source's encoding without byte-order mark (\"auto\" (default), \"UTF-8\" or "
           "\"ISO-8859-1\")"},
      {19, "-cc:i2u    convert commandline from ISO to UTF"},
      {39, "           "},
      {40, "-dtd:FILE  include XML Document Type Definition <!DOCTYPE eRoot SYSTEM \"FILE\"> "},
      // the generated schema right below the schema reference
      {42, "-xsdgen:FILE write to FILE the XML Schema the document is valid against (types from "
           "the data)"},
      {44, "-styles:FILE[,...][,\"[\"...\"]\"]"},
      {45, "           include processing-instruction(s) <?xml-stylesheet href=\"FILE\"?> "},
      {48, "           "},
      {55, "               aDT=SourceDateTimeAttrName (=\"YYYY-MM-DDThh:mm:ss\xB1hh:mm\")"},
      {62, "           "},
      {64, "               absence excludes attribute from output/target only "},
      {71, "-exec      for auto-configuration as \"shebang\"-execution (#!quillon -exec)"},
      {74, "-?         this usage info"},
      {75, "-h, --help this usage info too; --version  -V info and licence on STDOUT"},
      {76, ""},
      {77, "You may refer the quillon.pdf for detailed information"},
      {79, ""},
  };
  for (const auto& [Number, Text] : Fixed)
    EXPECT_EQ(Lines[static_cast<std::size_t>(Number - 1)], Text) << "line " << Number;
    // where the manual is: the PDF's place from the configured prefix, or the man page alone
#ifdef QUILLON_MANUAL_PDF
  EXPECT_EQ(Lines[77],
            "It is installed as " QUILLON_MANUAL_PDF "; the same manual: \"man quillon\"");
#else
  EXPECT_EQ(Lines[77],
            "No quillon.pdf was built for this installation; the manual is \"man quillon\"");
#endif
  EXPECT_EQ(Out.find('\r'), std::string::npos);
  std::size_t HighBytes = 0;
  for (const char C : Out)
    HighBytes += static_cast<unsigned char>(C) >= 0x80;
  EXPECT_EQ(HighBytes, 1u); // the plus-minus sign, one byte
}

TEST(Usage, VersionBannerOnStandardError) {
  std::string Out;
  std::string Err;
  {
    Capture Output({&std::cout});
    Capture Errors({&std::cerr});
    quillon::printVersion();
    Out = Output.text();
    Err = Errors.text();
  }
  EXPECT_EQ(Out, "");
  const std::vector<std::string> Lines = splitLines(Err);
  ASSERT_EQ(Lines.size(), 5u);
  EXPECT_EQ(Lines[0], "");
  EXPECT_EQ(Lines[1].substr(0, 15), "QUILLON V1.8.0 ");
  for (std::size_t I = 1; I <= 3; ++I)
    EXPECT_NE(Lines[I].find("quillon"), std::string::npos) << Lines[I];
  EXPECT_NE(Lines[2].find("2025-2026"), std::string::npos);
  EXPECT_EQ(Lines[4], "");
}

TEST(Usage, SeparatorNames) {
  const std::pair<unsigned char, std::string> Named[] = {
      {0, "NULL (ASCII 0)"},
      {1, "Start of Header (ASCII 1)"},
      {6, "Acknowledgment (ASCII 6)"},
      {9, "Horizontal Tab (ASCII 9)"},
      {10, "Line Feed (ASCII 10)"},
      {12, "Page Feed (ASCII 12)"},
      {13, "Carriage Return (ASCII 13)"},
      {21, "Negative Acknowledgement (ASCII 21)"},
      {23, "End of Trans. Block (ASCII 23)"},
      {26, "Substitute (ASCII 26)"},
      {31, "Unit Separator (ASCII 31)"},
      {32, "Space (ASCII 32)"},
  };
  for (const auto& [Byte, Name] : Named)
    EXPECT_EQ(quillon::getSeparatorName(Byte), Name);
  for (int Byte = 0; Byte <= 32; ++Byte) {
    const std::string Name = quillon::getSeparatorName(static_cast<unsigned char>(Byte));
    const std::string Tail = " (ASCII " + std::to_string(Byte) + ")";
    ASSERT_GT(Name.size(), Tail.size());
    EXPECT_EQ(Name.substr(Name.size() - Tail.size()), Tail);
  }
  for (int Byte = 33; Byte <= 255; ++Byte)
    EXPECT_EQ(quillon::getSeparatorName(static_cast<unsigned char>(Byte)),
              std::string(1, static_cast<char>(Byte)));
}

} // namespace
