#include "driver/report.h"

#include "encoding/encoding.h"
#include "xml/xml_names.h"

#include <string_view>

namespace quillon {

namespace {
// The alias names as the document writes them: the run settles them in these steps once the
// source's header is read.
Settings withDocumentNames(const Settings& S) {
  Settings Formed = S;
  convertOptionTexts(Formed, false);
  if (Formed.NamespaceURI.empty())
    Formed.NamespacePrefix.clear(); // no prefix is used without a URI
  finishDocumentNames(Formed);
  return Formed;
}
} // namespace

void writeSettingsReport(const Settings& S, std::ostream& Log) {
  Log << "Converting source file <" << S.SourceFile << ">" << std::endl;
  Log << "to         target file <" << S.TargetFile << ">" << std::endl;
  Log << std::endl;
  Log << "Settings : " << std::endl;
  Log << "-> Separator(s)     : " << S.SeparatorText << std::endl;
  if (S.Rfc4180)
    Log << "-> Quotation Marks  : RFC 4180 (quoted values begin with the mark)" << std::endl;
  Log << "-> XML Mode         : " << getModeName(S.Mode) << std::endl;
  Log << "-> Encoding         : " << S.Encoding << std::endl;
  Log << "-> Source Encoding  : " << S.SourceEncoding << std::endl;
  if (!S.StyleList.empty())
    Log << "-> Embedding Styles : " << S.StyleList << std::endl;
  if (S.UseDTD && !S.DTDFile.empty())
    Log << "-> DTD Embedding    : " << S.DTDFile << std::endl;
  if (S.UseXSD && !S.XSDFile.empty())
    Log << "-> XSD Embedding    : " << S.XSDFile << std::endl;
  if (!S.SchemaFile.empty())
    Log << "-> XSD Generating   : " << (S.SchemaFile == "-" ? "STDOUT" : S.SchemaFile) << std::endl;
  if (!S.NamespacePrefix.empty()) // the prefix is kept with the ':' that joins it to names
    Log << "-> NS Prefix        : "
        << std::string_view(S.NamespacePrefix).substr(0, S.NamespacePrefix.size() - 1) << std::endl;
  if (!S.NamespaceURI.empty())
    Log << "-> NS URI           : " << S.NamespaceURI << std::endl;
  Log << "-> Suppressing      : " << (S.SuppressEmpty ? "empty elements and attributes" : "nothing")
      << std::endl;
  Log << "-> Writing Rec Num  : " << (S.WriteNum ? "Yes" : "No") << std::endl;
  Log << "-> Writing Rec ID   : " << (S.WriteId ? "Yes" : "No") << std::endl;
  if (S.AliasGiven) {
    const Settings Formed = withDocumentNames(S);
    Log << "-> TAG Names        : eRoot   = " << Formed.eRoot << std::endl;
    Log << "                      eRecord = " << Formed.eRecord << std::endl;
    Log << "                      eItem   = " << Formed.eItem << std::endl;
    Log << "                      aName   = " << Formed.aName << std::endl;
    Log << "                      aValue  = " << Formed.aValue << std::endl;
    Log << "                      aNum    = " << Formed.aNum << std::endl;
    Log << "                      aSource = " << Formed.aSource << std::endl;
    Log << "                      aDT     = " << Formed.aDT << std::endl;
    Log << "                      aID     = " << Formed.aID << std::endl;
  }
  Log << std::endl;
}

void writeClosingReport(const RunCounters& Counters, std::time_t StartTime, std::ostream& Log) {
  if (Counters.RecordCount >= 1000)
    Log << std::endl; // ends the line of progress dots
  Log << "Ready" << std::endl;
  Log << std::endl;
  Log << "Statistics:" << std::endl;
  Log << "-> " << Counters.RecordCount << " records" << std::endl;
  Log << "-> " << Counters.LineCount << " lines (source)" << std::endl;
  Log << "-> " << Counters.ElementCount << " elements" << std::endl;
  if (Counters.IsoToUtf8Count > 0)
    Log << "-> " << Counters.IsoToUtf8Count << " conversions from ISO-8859-1/ANSI to UTF-8"
        << std::endl;
  if (Counters.Utf8ToIsoCount > 0)
    Log << "-> " << Counters.Utf8ToIsoCount << " conversions from UTF-8 to ISO-8859-1/ANSI"
        << std::endl;
  const long long Seconds = static_cast<long long>(std::time(nullptr) - StartTime);
  Log << "-> Conversion time : " << Seconds << " seconds " << std::endl;
  Log << std::endl;
}

} // namespace quillon
