#include "xml/xml_output.h"

namespace quillon {

// Placeholder layout until the XML writer lands.
void writeProlog(TargetBuffer& Out, const Settings& S) {
  Out.append("<?xml version=\"1.0\" encoding=\"");
  Out.append(S.Encoding);
  Out.append("\" standalone=\"yes\"?>\n<");
  Out.append(S.eRoot);
  Out.append(">\n");
}
void writeEpilog(TargetBuffer& Out, std::int64_t RecordCount) {
  Out.append("</csv_data_records>\n<!-- ");
  Out.appendNumber(RecordCount);
  Out.append(" records written -->\n");
}
std::string makeStylesheetInstructions(std::string) { return {}; }
void splitFileName(std::string, std::string*, std::string*, std::string*) {}
std::string formatDateTime(std::time_t, bool) { return {}; }
} // namespace quillon
