#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quillon {

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

// Writes the hexadecimal character reference of CodePoint ("&#x20AC;"), at most ten bytes, and
// returns its end.
char* putReference(char* Out, std::uint32_t CodePoint);

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

// The text form with every byte from 0x80 up copied as it is, whatever the document's encoding:
// escapeXml's text form.
std::string escapeKeepingHighBytes(std::string Text);

struct Settings;

// Whether the document is written in UTF-8 (otherwise it is ISO-8859-1).
bool isUtf8Document(const Settings& S);

} // namespace quillon
