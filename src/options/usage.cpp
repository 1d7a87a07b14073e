#include "options/options.h"
#include "quillon_build.h"

#include <iostream>

namespace quillon {

namespace {

// clang-format off
constexpr const char* UsageLines[] = {
    "",
    "Usage:",
    "quillon    -s:FILE [-t[:FILE]] [-v] [-wn] [-wid] [-sep:SEPARATORS|-sep::#:] ",
    "           [-m:#] [-sup] [-e:ENCODING] [-cc:i2u|-cc:u2i] [-xmlns:[NSPFX=]NSURI] ",
    "           [-dtd:FILE|-xsd:FILE] [-styles:FILE[,...]] [-alias:TOKEN=NAME[,...]] ",
    "           [-cfg:FILE] [-V] [-?]",
    "",
    "quillon    -exec CFGFILE",
    "",
    "-s:FILE    SOURCE.csv file to convert (\"-s:-\" is STDIN)",
    "-t:FILE    TARGET.xml file to create  (\"-t:-\" is STDOUT)",
    "-t         use source's filename and replace its (last) file extension by \".xml\"",
    "",
    "-sep:CHARS use character(s) as csv's value-separator (\";\" is default)",
    "-sep::#:   get csv's value-separator by ascii-number (e.g. \"32\" is \"Space\")",
    "-rfc4180   quote as spreadsheets do: only a mark that begins a value opens a quotation",
    "-e:ENC     <?xml ... encoding=\"ENC\"?> (\"UTF-8\" or \"ISO-8859-1\" (default))",
    "-ie:ENC    source's encoding without byte-order mark (\"auto\" (default), \"UTF-8\" or \"ISO-8859-1\")",
    "-cc:i2u    convert commandline from ISO to UTF",
    "-cc:u2i    convert commandline from UTF to ISO",
    "",
    "-m:#       MODES 1...5 for different XML output formats (\"-m:1\" is default):",
    "           1 = <eRecord><COLname>CELLvalue</ColName></eRecord>",
    "           2 = <eRecord><COLname aValue=\"CELLvalue\"/></eRecord>",
    "           3 = <eRecord><eItem aName=\"COLname\">CELLvalue</eItem></eRecord>",
    "           4 = <eRecord><eItem aName=\"COLname\" aValue=\"CELLvalue\"/></eRecord>",
    "           5 = <eRecord COLname=\"CELLvalue\"/>",
    "",
    "-v         verbose mode (verbose information is send to STDERR)",
    "           to capture it you may redirect STDERR by writing : quillon OPTIONS 2>verbose.log",
    "",
    "-wn        write num=\"#\" attribute to record-element (\"#\" is csv's row-number)",
    "-wid       write xml:id=\"id.#\" attribute to record-element",
    "-sup       suppress empty elements",
    "",
    "-xmlns:[NSPFX=]NSURI",
    "           NSPFX = namespace prefix used for the document",
    "           NSURI = namespace Unified Ressource Identifier for the document",
    "           ",
    "-dtd:FILE  include XML Document Type Definition <!DOCTYPE eRoot SYSTEM \"FILE\"> ",
    "-xsd:FILE  include XML Schema Definition attributes into root-element",
    "-xsdgen:FILE write to FILE the XML Schema the document is valid against (types from the data)",
    "",
    "-styles:FILE[,...][,\"[\"...\"]\"]",
    "           include processing-instruction(s) <?xml-stylesheet href=\"FILE\"?> ",
    "           to reference CSS,XSL or any other kind of stylesheet-file",
    "           [FILE] in brackets makes <?xml-stylesheet alternate=\"yes\" ...?>",
    "           ",
    "-alias:TOKEN=NAME[,TOKEN=NAME,...]",
    "           comma-separated list of TOKEN=NAME pairs",
    "           to set alternative names for elements (e...) and attributes (a...)",
    "           TOKEN: eRoot, eRecord, eItem, aName, aValue, aSource, aDT, aID, aNum",
    "           eRoot=RootElementName",
    "               aSource=SourceFileAttrName (=\"filename\")",
    "               aDT=SourceDateTimeAttrName (=\"YYYY-MM-DDThh:mm:ss\xB1hh:mm\")",
    "           eRecord=RecordElementName",
    "            *  aNum=RecordCounterAttrName (=\"#\")",
    "            *  aID=RecordIDAttrName       (=\"id.#\")",
    "           eItem=ItemElementName",
    "               aName=NameAttrName         (=\"colname\")",
    "               aValue=ValueAttrName       (=\"cellvalue\")",
    "           ",
    "            *  presence includes attribute into output/target",
    "               absence excludes attribute from output/target only ",
    "               if you don't use -wn or -wid option",
    "",
    "-cfg:FILE  use configuration-file to set options",
    "           filed options are included at position of \"-cfg\",",
    "           may overwrite preceding and be overwritten by following options",
    "           the \"last in line\" of repeated options makes the setting",
    "-exec      for auto-configuration as \"shebang\"-execution (#!quillon -exec)",
    "",
    "-V         copyright and version info",
    "-?         this usage info",
    "-h, --help this usage info too; --version  -V info and licence on STDOUT",
    "",
    "You may refer the quillon.pdf for detailed information",
#ifdef QUILLON_MANUAL_PDF
    "It is installed as " QUILLON_MANUAL_PDF "; the same manual: \"man quillon\"",
#else
    "No quillon.pdf was built for this installation; the manual is \"man quillon\"",
#endif
    "",
};

constexpr const char* VersionLines[] = {
    "",
    "QUILLON V1.8.0 - written and maintained by the quillon developers",
    "quillon command-line edition, 2025-2026",
    "Homepage: the quillon project, manual and notes in its docs/ folder",
    "",
};

constexpr const char* LicenceLine =
    "Copyright (c) 2026 the quillon developers. MIT License: free to use, change and share, with no warranty.";

// The names of the control characters and the space.
constexpr const char* ControlNames[] = {
    "NULL (ASCII 0)",                      "Start of Header (ASCII 1)",
    "Start of Text (ASCII 2)",             "End of Text (ASCII 3)",
    "End of Transmission (ASCII 4)",       "Enquiry (ASCII 5)",
    "Acknowledgment (ASCII 6)",            "Bell (ASCII 7)",
    "Backspace (ASCII 8)",                 "Horizontal Tab (ASCII 9)",
    "Line Feed (ASCII 10)",                "Vertical Tab (ASCII 11)",
    "Page Feed (ASCII 12)",                "Carriage Return (ASCII 13)",
    "Shift Out (ASCII 14)",                "Shift In (ASCII 15)",
    "Data Link Escape (ASCII 16)",         "Device Control 1 (ASCII 17)",
    "Device Control 2 (ASCII 18)",         "Device Control 3 (ASCII 19)",
    "Device Control 4 (ASCII 20)",         "Negative Acknowledgement (ASCII 21)",
    "Synchronous Idle (ASCII 22)",         "End of Trans. Block (ASCII 23)",
    "Cancel (ASCII 24)",                   "End of Medium (ASCII 25)",
    "Substitute (ASCII 26)",               "Escape (ASCII 27)",
    "File Separator (ASCII 28)",           "Group Separator (ASCII 29)",
    "Record Separator (ASCII 30)",         "Unit Separator (ASCII 31)",
    "Space (ASCII 32)",
};
// clang-format on

} // namespace

bool printUsage() {
  for (const char* Line : UsageLines)
    std::cout << Line << std::endl;
  return !std::cout.fail();
}

bool printVersion() {
  for (const char* Line : VersionLines)
    std::cerr << Line << std::endl;
  return !std::cerr.fail();
}

bool printVersionAndLicence() {
  for (const char* Line : VersionLines)
    std::cout << Line << std::endl;
  std::cout << LicenceLine << std::endl;
  return !std::cout.fail();
}

std::string getSeparatorName(unsigned char Byte) {
  if (Byte < sizeof ControlNames / sizeof ControlNames[0])
    return ControlNames[Byte];
  return std::string(1, static_cast<char>(Byte));
}

} // namespace quillon
