#include "xml/xml_output.h"

namespace quillon {

std::string formatRecordItem(std::string, std::string, int, std::string, std::string,
                             std::string, std::string) {
  return {};
}

RecordWriter::RecordWriter(const Settings& S, TargetBuffer& Out, RunCounters& Counters)
    : S(S), Out(Out), Counters(Counters) {}

void RecordWriter::prepareColumnNames(const std::vector<std::string>& HeaderCells) {
  ColumnNames = HeaderCells;
}

void RecordWriter::writeRecord(std::int64_t, const std::vector<std::string_view>& Cells) {
  Out.append("     <record>\n");
  for (std::size_t I = 0; I < Cells.size(); ++I) {
    Out.append("          <");
    Out.append(ColumnNames[I]);
    Out.append('>');
    Out.append(Cells[I]);
    Out.append("</");
    Out.append(ColumnNames[I]);
    Out.append(">\n");
    ++Counters.ElementCount;
  }
  Out.append("     </record>\n");
}

} // namespace quillon
