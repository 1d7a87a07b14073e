#pragma once

// The room driver/: the entry, the run and the report. It may use every room.

#include "base/exit_status.h"
#include "options/settings.h"

#include <string>
#include <vector>

namespace quillon {

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
