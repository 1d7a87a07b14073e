#pragma once

#include "options/settings.h"
#include "schema/column_types.h"
#include "xml/xml_escape.h"

#include <ostream>
#include <string>
#include <vector>

namespace quillon {

// What the document's writers named, exactly as they wrote it.
struct DocumentNames {
  std::vector<std::string> Columns; // one per column, as the record writer named them
  std::string NumberAttribute;      // the record's number attribute
  std::string ValueAttribute;       // the value attribute of layouts 2 and 4
  std::string SourceAttribute;      // the root's two attributes
  std::string TimeAttribute;
  std::string DateTime;                       // the root's date-time value
  TextCoding NameCoding = TextCoding::Iso;    // column names that are attribute values
  TextCoding OutsideCoding = TextCoding::Iso; // command-line texts in attribute values
};

// The XML Schema 1.0 document, in the document's encoding, that the document written with S
// and Names is valid against, its values typed by Types (one per column) where the layout
// gives each column a name of its own (1, 2 and 5).
std::string makeSchema(const Settings& S, const DocumentNames& Names,
                       const std::vector<ColumnTypes>& Types);

// The verbose report's lines: each column's name and the type learnt for it.
void writeTypeReport(const Settings& S, const DocumentNames& Names,
                     const std::vector<ColumnTypes>& Types, std::ostream& Log);

} // namespace quillon
