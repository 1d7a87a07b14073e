// The whole conversion in-process. Input: option lines up to the first empty line, then the
// source. A run that ends with status 0 must have written a well-formed document whose record
// elements are as many as its closing comment says; a run refused before the target was opened
// must leave no target file.
#include "driver/run.h"
#include "fuzz_support.h"
#include "options/options.h"
#include "options/settings.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace {
using quillon::fuzz::check;
using quillon::fuzz::fail;
using quillon::fuzz::shown;

constexpr const char* Target = "conversion";

// Number of record elements and the count of the closing comment; fails when the document
// does not parse.
void checkDocument(const std::string& Document, std::string_view Input) {
  static const bool Ready = (xmlInitParser(), true);
  (void)Ready;
  xmlParserCtxtPtr Context = xmlNewParserCtxt();
  check(Context != nullptr, Target, "no libxml2 parser context");
  xmlDocPtr Doc = xmlCtxtReadMemory(
      Context, Document.data(), static_cast<int>(Document.size()), "target.xml", nullptr,
      XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_HUGE);
  if (!Doc || !Context->wellFormed) {
    const xmlError* Error = xmlCtxtGetLastError(Context);
    std::string What = "the document is not well-formed";
    if (Error && Error->message)
      What += " (line " + std::to_string(Error->line) + ": " + Error->message + ")";
    What += "\ninput: " + shown(Input.substr(0, 400)) +
            "\ndocument: " + shown(std::string_view(Document).substr(0, 1500));
    if (Doc)
      xmlFreeDoc(Doc);
    xmlFreeParserCtxt(Context);
    fail(Target, What);
  }
  long Records = 0;
  const xmlNode* Root = xmlDocGetRootElement(Doc);
  for (const xmlNode* Child = Root ? Root->children : nullptr; Child; Child = Child->next)
    Records += Child->type == XML_ELEMENT_NODE ? 1 : 0;
  long Said = -1;
  for (const xmlNode* Node = Root ? Root->next : nullptr; Node; Node = Node->next)
    if (Node->type == XML_COMMENT_NODE && Node->content) {
      const char* Text = reinterpret_cast<const char*>(Node->content);
      char* End = nullptr;
      Said = std::strtol(Text, &End, 10);
      if (std::string_view(End) != " records written ")
        Said = -2;
      break;
    }
  xmlFreeDoc(Doc);
  xmlFreeParserCtxt(Context);
  check(Said == Records, Target,
        std::to_string(Records) + " record elements, the closing comment says " +
            std::to_string(Said) + "\ninput: " + shown(Input.substr(0, 400)));
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  quillon::fuzz::QuietStreams Quiet;
  const std::string_view Input(reinterpret_cast<const char*>(Data), Size);
  // The options go through the command-line walk, so a run starts only when all of them were
  // accepted. Configuration files are another target's concern.
  std::vector<std::string> Arguments{"-s:data.csv"};
  const std::string_view Source = quillon::fuzz::splitOptions(Input, Arguments, false);
  quillon::resetSettings();
  quillon::Settings& S = quillon::theSettings();
  if (quillon::collectOptions(Arguments, S) != quillon::ContinueRun) {
    quillon::resetSettings();
    return 0;
  }

  // The files are ours; the name written into the document is the one the input gave.
  const std::string& Directory = quillon::fuzz::scratchDirectory();
  const std::string SourceFile = Directory + "/source.csv";
  const std::string TargetFile = Directory + "/target.xml";
  if (S.SourceIsStdin)
    S.SourceName = "data.csv";
  S.SourceFile = SourceFile;
  S.SourceIsStdin = false;
  S.TargetFile = TargetFile;
  S.TargetIsStdout = false;
  S.TargetFromSource = false;
  ::unlink(TargetFile.c_str());
  check(quillon::fuzz::writeFile(SourceFile, Source), Target, "cannot write the source");

  const int Status = quillon::runConversion(S);
  std::string Document;
  const bool Written = quillon::fuzz::readFile(TargetFile, Document);
  switch (Status) {
  case quillon::ExitOK:
    check(Written, Target, "status 0 without a document");
    checkDocument(Document, Input);
    break;
  case quillon::ExitNoSourceName:
  case quillon::ExitNoTargetName:
  case quillon::ExitNoLineBuffer:
  case quillon::ExitSourceAccess:
  case quillon::ExitBadHeader:
  case quillon::ExitNoColumnNames:
  case quillon::ExitHeaderInQuotes:
    check(!Written, Target,
          "status " + std::to_string(Status) + " left a target behind\ninput: " + shown(Input));
    break;
  case quillon::ExitTargetAccess:
    break;
  default:
    fail(Target, "unknown status " + std::to_string(Status) + "\ninput: " + shown(Input));
  }
  quillon::resetSettings();
  return 0;
}
