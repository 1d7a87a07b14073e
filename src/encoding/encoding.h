#pragma once

#include "options/settings.h"

#include <string>
#include <string_view>

namespace quillon {

// Both rewrite Text in place and return the number of characters converted. The single-byte
// side is ISO-8859-1 with the Windows-1252 characters at 0x80 to 0x9F. A UTF-8 sequence
// without a single-byte form is left as it is and not counted.
int convertIsoToUtf8(std::string& Text);
int convertUtf8ToIso(std::string& Text);

// Kind of byte-order mark at the start of a header line: 1 = none (ISO-8859-1), 2 = UTF-8,
// 3 = UTF-16 LE, 4 = UTF-16 BE, 5 = UTF-32 LE, 6 = UTF-32 BE; Name receives the kind's name.
// A mark counts only when all of its bytes are in the line.
int getBOMEncoding(std::string_view Header, std::string& Name);

// Decides the source encoding from the header line as read: reports it in verbose mode,
// sets ConvertDataI2U or ConvertDataU2I and transcodes the command-line texts when asked.
// Returns the number of mark bytes to skip (0 or 3), or -1 for a refused encoding, whose
// error line it has written.
int chooseEncoding(std::string_view Header, Settings& S);

} // namespace quillon
