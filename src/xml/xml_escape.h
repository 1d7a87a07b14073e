#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quillon {

// Text form (false, false), element-name form (true, false), attribute-name form (false, true).
// The element-name form keeps no ':'; the attribute-name form keeps at most one, for
// finishXmlName to settle once the document's namespace prefix is known. The name forms read
// Text as UTF-8 where it is well-formed when the document is UTF-8 (Utf8).
std::string escapeXml(std::string Text, bool MakeName, bool CleanName, bool Utf8);
// Whether byte C may stand in a name (at its start when AtStart) of a UTF-8 (Utf8) or an
// ISO-8859-1 document.
bool isXmlNameChar(unsigned char C, bool AtStart, bool Utf8);

// What the text form is given, and the document it writes for.
enum class TextCoding {
  // ISO-8859-1/Windows-1252 text, ISO-8859-1 document: the bytes 0x80 to 0x9F, which the
  // document would read as control characters, become references to the Windows-1252
  // characters ("&#x20AC;"; the five bytes Windows-1252 leaves open, "&#x81;" and the like).
  Iso,
  // UTF-8 text, UTF-8 document. A byte that begins no well-formed sequence is read as its
  // Windows-1252 character, written in UTF-8 and counted.
  Utf8,
  // ISO-8859-1/Windows-1252 text, UTF-8 document: each byte from 0x80 up is written in UTF-8,
  // as convertIsoToUtf8 would write it, and counted.
  IsoToUtf8,
  // UTF-8 text, ISO-8859-1 document: U+00A0 to U+00FF become their one byte, every other
  // character beyond ASCII a reference ("&#x65E5;"); each counted. A byte that begins no
  // well-formed sequence is read as its Windows-1252 character, written as Iso writes it.
  Utf8ToIso,
};

// The text form appended straight to Out. Returns true when a control byte that XML cannot
// hold was replaced by '?'. In UTF-8 text each byte of U+FFFE and U+FFFF is replaced by '?'
// too, and counts as replaced. A carriage return is written "&#13;", since a parser would read
// it as a line feed.
bool appendEscapedText(std::string& Out, std::string_view Text);
// With Attribute, the text is an attribute value: tab and line feed are written as "&#9;" and
// "&#10;" too, since a parser reads them raw as blanks there.
bool appendEscapedText(std::string& Out, std::string_view Text, bool Utf8, bool Attribute);
// Adds the characters converted to Converted.
bool appendEscapedText(std::string& Out, std::string_view Text, TextCoding Coding, bool Attribute,
                       std::int64_t& Converted);

// Whether the '&' at At, in a text that ends at End, starts one of the five predefined
// references, which the text form keeps as they are.
bool isKeptReference(const char* At, const char* End);

// The room writeEscapedText needs for Size input bytes: eight for each ("&#x20AC;" for one
// Windows-1252 byte), and one word more, since it stores eight bytes at a time.
constexpr std::size_t escapedTextRoom(std::size_t Size) { return 8 * Size + 8; }
// The text form of [At, End) written at Out, which has escapedTextRoom(End - At) bytes of room;
// returns the end of what it wrote. Sets Replaced like appendEscapedText, leaves it otherwise;
// adds the characters converted to Converted.
char* writeEscapedText(char* Out, const char* At, const char* End, TextCoding Coding,
                       bool Attribute, std::int64_t& Converted, bool& Replaced);
// The writer of one TextCoding, to choose once and call for every text.
// Foreign is set when UTF-8 text held a byte that begins no well-formed sequence.
using TextWriterFunction = char* (*)(char* Out, const char* At, const char* End, bool Attribute,
                                     std::int64_t& Converted, bool& Replaced, bool& Foreign);
TextWriterFunction textWriterFor(TextCoding Coding);
// The same for an attribute value from outside the source (a command-line text): a byte of UTF-8
// text that begins no well-formed sequence is written '?', as XML cannot hold it; nothing counted.
char* writeOutsideText(char* Out, const char* At, const char* End, TextCoding Coding,
                       bool& Replaced);
// TextCoding Iso or Utf8.
char* writeEscapedText(char* Out, const char* At, const char* End, bool Utf8, bool& Replaced,
                       bool Attribute);
// TextCoding IsoToUtf8.
char* writeEscapedIsoText(char* Out, const char* At, const char* End, std::int64_t& Converted,
                          bool& Replaced, bool Attribute);

// Text that XML reads without references (a system literal, a processing instruction) with
// the same bytes replaced by '?' as the text form replaces; nothing else changes.
std::string replaceNonXmlBytes(std::string_view Text, bool Utf8);

struct Settings;

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
// Whether the document is written in UTF-8 (otherwise it is ISO-8859-1).
bool isUtf8Document(const Settings& S);
// Applies both to the alias names and the namespace prefix in force. The driver calls it once,
// after the encoding choice has transcoded them and before the prolog is written.
void finishDocumentNames(Settings& S);

} // namespace quillon
