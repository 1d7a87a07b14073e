#pragma once

#include <string>
#include <string_view>

namespace quillon {

struct Settings;

// Text form (false, false), element-name form (true, false), attribute-name form (false, true).
// The element-name form keeps no ':'; the attribute-name form keeps at most one, for
// finishXmlName to settle once the document's namespace prefix is known. The name forms read
// Text as UTF-8 where it is well-formed when the document is UTF-8 (Utf8).
std::string escapeXml(std::string Text, bool MakeName, bool CleanName, bool Utf8);
// Whether byte C may stand in a name (at its start when AtStart) of a UTF-8 (Utf8) or an
// ISO-8859-1 document.
bool isXmlNameChar(unsigned char C, bool AtStart, bool Utf8);

// What a name names. An element name keeps no ':' of its own, since the document's namespace
// prefix goes in front of it; an attribute name keeps one only after the prefix the document
// declares or after "xml".
enum class NameKind { Element, Attribute };

// The name form of a header cell for a document in UTF-8 (Utf8) or ISO-8859-1, the cell read as
// UTF-8 when TextUtf8 and as ISO-8859-1 bytes otherwise (an ISO-8859-1 cell for a UTF-8 document
// is transcoded first): escaped like escapeXml's name forms, and '_' for every byte of a
// character that cannot stand in a name where it is, or that the document's encoding cannot
// hold. An attribute name keeps one ':' for finishXmlName to settle.
std::string makeXmlName(std::string Text, NameKind Kind, bool TextUtf8, bool Utf8);
// The last word on a name, once the document's encoding (UTF-8 when Utf8, ISO-8859-1
// otherwise) and its namespace Prefix (with or without its ':'; empty for none) are known: a '_'
// in front when its first character cannot start a name, and '_' for every byte of a later
// character that cannot stand in one; in UTF-8 a byte that begins no well-formed sequence is
// such a character. A character fits where both the fifth edition of XML 1.0 and its earlier
// editions allow it. Of its ':' only the first can stay, in an attribute name after Prefix or
// "xml" when a character that can start a name follows. An attribute name "xmlns" gets a '_'
// in front. A valid name and an empty one come back unchanged.
std::string finishXmlName(std::string Name, bool Utf8, NameKind Kind, std::string_view Prefix);
// The namespace prefix with its trailing ':': the part before it becomes a name without ':',
// every byte of a character that does not fit replaced by '_', and "xml" or "xmlns", which XML
// binds itself, with a '_' in front. Empty stays empty.
std::string finishNamespacePrefix(std::string Prefix, bool Utf8);
// Applies both to the alias names and the namespace prefix in force. The driver calls it once,
// after the encoding choice has transcoded them and before the prolog is written.
void finishDocumentNames(Settings& S);

} // namespace quillon
