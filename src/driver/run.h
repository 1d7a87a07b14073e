#pragma once

#include "options/settings.h"

#include <string>
#include <vector>

namespace quillon {

constexpr int ExitOK = 0;
constexpr int ExitBadOptions = 1;
constexpr int ExitNoSourceName = 2;
constexpr int ExitNoTargetName = 3;
constexpr int ExitNoLineBuffer = 5;
constexpr int ExitSourceAccess = 6;
constexpr int ExitBadHeader = 7; // unsupported encoding, or a header without cells
constexpr int ExitNoColumnNames = 8;
constexpr int ExitTargetAccess = 9;
constexpr int ExitHeaderInQuotes = 10;

// Derives the "-t" target name: the last extension of the source replaced by ".xml", after a
// compressed file's ".gz" or ".zst" is taken off.
std::string deriveTargetName(std::string SourceFile);

// The conversion of one source into one document, after the options were collected.
int runConversion(Settings& S);

// Takes the document's date-time from SOURCE_DATE_EPOCH's value (null: not set); false after
// the error line when the value is no number of seconds.
bool readFixedDocumentTime(const char* Value, Settings& S);

// The whole program: options, then the conversion. Returns the exit status.
int runProgram(const std::vector<std::string>& Arguments, Settings& S);

} // namespace quillon
