#pragma once

#include "options/settings.h"
#include "xml/target_buffer.h"

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

// The run's counters: the driver owns them, the record writer advances some of them.
struct RunCounters {
  std::int64_t RecordCount = 0;
  std::int64_t LineCount = 0;
  std::int64_t ElementCount = 0;
  std::int64_t IsoToUtf8Count = 0;
  std::int64_t Utf8ToIsoCount = 0;
};

void writeProlog(TargetBuffer& Out, const Settings& S);
// The root end tag needs the root name: the two-argument form reads it from theSettings().
void writeEpilog(TargetBuffer& Out, const Settings& S, std::int64_t RecordCount);
std::string makeStylesheetInstructions(std::string List);
void splitFileName(std::string Path, std::string* Directory, std::string* Name,
                   std::string* Extension);
std::string formatDateTime(std::time_t Time, bool WithZone);

// One item line of layouts 1 to 4, its indentation included and its line break not;
// empty for any other layout.
std::string formatRecordItem(std::string Column, std::string Value, int Mode,
                             std::string NamespacePrefix, std::string aValue, std::string aName,
                             std::string eItem);

// Names the columns once and writes every record in the chosen layout.
class RecordWriter {
public:
  RecordWriter(const Settings& S, TargetBuffer& Out, RunCounters& Counters);
  RecordWriter(const RecordWriter&) = delete;
  RecordWriter& operator=(const RecordWriter&) = delete;

  void prepareColumnNames(const std::vector<std::string>& HeaderCells);
  // Cells are views into the parser; there are as many as column names.
  void writeRecord(std::int64_t Number, const std::vector<std::string_view>& Cells);
  const std::vector<std::string>& columnNames() const { return ColumnNames; }

  // The fixed text around one column's value, built once per run.
  struct ItemText {
    std::string Before; // the indentation and everything up to the value
    std::string After;  // everything after the value
    std::string Empty;  // the whole item when the value is empty
  };

private:
  void noteControlBytes(std::int64_t Number);

  const Settings& S;
  TargetBuffer& Out;
  RunCounters& Counters;
  std::vector<std::string> ColumnNames;
  std::vector<ItemText> Items;
  std::string RecordStart; // up to the id attribute
  std::string IdStart;
  std::string NumStart;
  std::string AttributeEnd; // closes the id and number attributes
  std::string RecordEnd;
  std::string Scratch; // a cell being transcoded
  bool ControlWarned = false;
};

} // namespace quillon
