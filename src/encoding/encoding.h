#pragma once

#include <string>
#include <string_view>

#include "options/settings.h"

namespace quillon {

// Both rewrite Text in place and return the number of characters converted.
int convertIsoToUtf8(std::string& Text);
int convertUtf8ToIso(std::string& Text);

// Kind of byte-order mark at the start of a header line (1 = none ... 6 = UTF-32 BE);
// Name receives the kind's name. Bytes past the end of a short line count as 0.
int getBOMEncoding(std::string_view Header, std::string& Name);

// Decides the source encoding from the header line as read: reports it in verbose mode,
// sets ConvertDataI2U or ConvertDataU2I and transcodes the command-line texts when asked.
// Returns the number of mark bytes to skip (0 or 3), or -1 for a refused encoding, whose
// error line it has written.
int chooseEncoding(std::string_view Header, Settings& S);

} // namespace quillon
