#pragma once

#include <string>
#include <string_view>

namespace quillon {

// Text form (false, false), element-name form (true, false), attribute-name form (false, true).
std::string escapeXml(std::string Text, bool MakeName, bool CleanName);
bool isXmlNameChar(unsigned char C, bool AtStart);

// The text form appended straight to Out. Returns true when a control byte that XML cannot
// hold was replaced by '?'.
bool appendEscapedText(std::string& Out, std::string_view Text);

} // namespace quillon
