#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace quillon {

// Every value an option can set, with its default. One instance per process.
struct Settings {
  std::string SeparatorChars = ";";
  std::string SeparatorText = ";";
  std::string Encoding = "ISO-8859-1";
  std::string SourceEncoding = "auto"; // of a source without a byte-order mark
  std::string SourceFile;
  std::string SourceName;
  std::string TargetFile;
  std::string StyleList;
  std::string NamespacePrefix; // with its trailing ':'
  std::string NamespaceURI;
  std::string DTDFile;
  std::string XSDFile;
  std::string SchemaFile; // -xsdgen: the schema written at the end, "-" for standard output

  std::string eRoot = "csv_data_records";
  std::string eRecord = "record";
  std::string eItem = "item";
  std::string aName = "name";
  std::string aValue = "value";
  std::string aSource = "source";
  std::string aDT = "datetime";
  std::string aID = "xml:id";
  std::string aNum = "num";
  // The alias names as given, before they were made names, in the order of the tokens above
  // (eRoot first); empty for a token no -alias: named.
  std::array<std::string, 9> AliasTexts;

  int Mode = 0;                  // layout number minus one, 0..4
  std::string IgnoredModeOption; // the last -m: that named no layout, as given
  // The root's date-time attribute when the environment fixes it (SOURCE_DATE_EPOCH), in
  // seconds since the epoch; negative: the source's modification time or the run's time.
  std::int64_t FixedDocumentTime = -1;
  bool AliasGiven = false;
  bool SuppressEmpty = false;
  bool Rfc4180 = false; // a quotation mark opens a quotation only as a cell's first byte
  bool UseDTD = false;
  bool UseXSD = false;
  bool VerboseMode = false;
  bool DebugMode = false;
  bool ConvertI2U = false;
  bool ConvertU2I = false;
  bool WriteNum = false;
  bool WriteId = false;
  bool SourceIsStdin = false;
  bool TargetIsStdout = false;
  bool TargetFromSource = false;
  bool OutputUTF8 = false; // only ever turns on
  bool ConvertDataI2U = false;
  bool ConvertDataU2I = false;
  // Set by the encoding choice when it leaves SourceName, NamespaceURI and XSDFile in UTF-8
  // for an ISO-8859-1 document, which then writes them with character references.
  bool AttributeTextsUtf8 = false;
};

constexpr const char* EncodingIso = "ISO-8859-1";
constexpr const char* EncodingUtf8 = "UTF-8";
// A source without a mark is judged at its first byte from 0x80 up.
constexpr const char* EncodingAuto = "auto";

// The process-wide instance, for code whose signature has no room for it (name escaping
// reads OutputUTF8). main owns it; tests reset it with resetSettings().
Settings& theSettings();
void resetSettings();

const char* getModeName(int Mode);

} // namespace quillon
