// escapeXml in its three forms and appendEscapedText on arbitrary bytes.
// Input: a flags byte (bit 0: OutputUTF8), then the text.
#include "fuzz_support.h"
#include "options/settings.h"
#include "xml/xml_escape.h"
#include "xml/xml_names.h"

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {
using quillon::fuzz::fail;
using quillon::fuzz::shown;

constexpr const char* Target = "xml_escape";

// A broken property. The message is put together only here: a run checks millions of bytes,
// and building a message for each check would grow the heap the sanitizer watches.
[[noreturn]] void broken(const char* Property, const char* Form, std::string_view In,
                         std::string_view Out) {
  fail(Target, std::string(Property) + ": " + Form + " of " + shown(In) + " is " + shown(Out));
}

bool startsReference(std::string_view Text, std::size_t Pos) {
  for (const std::string_view Reference : {"&amp;", "&lt;", "&gt;", "&quot;", "&apos;"})
    if (Text.substr(Pos, Reference.size()) == Reference)
      return true;
  // a character reference: "&#" and decimal digits, or "&#x" and hexadecimal digits, then ';'
  if (Text.substr(Pos, 2) != "&#")
    return false;
  const bool Hex = Text.substr(Pos + 2, 1) == "x";
  std::size_t End = Pos + (Hex ? 3 : 2);
  const std::size_t First = End;
  while (End < Text.size() && (std::isdigit(static_cast<unsigned char>(Text[End])) ||
                               (Hex && std::isxdigit(static_cast<unsigned char>(Text[End])))))
    ++End;
  return End > First && End < Text.size() && Text[End] == ';';
}

// Text that can stand in element content and in a quoted attribute value.
void checkText(std::string_view In, std::string_view Out, const char* Form) {
  for (std::size_t I = 0; I < Out.size(); ++I) {
    const char C = Out[I];
    if (C == '<' || C == '>' || C == '"' || C == '\'')
      broken("a raw markup byte", Form, In, Out);
    if (!quillon::fuzz::isXmlCharByte(static_cast<unsigned char>(C)))
      broken("a control byte XML cannot hold", Form, In, Out);
    if (C == '&' && !startsReference(Out, I))
      broken("a stray ampersand", Form, In, Out);
  }
}

void checkName(std::string_view In, std::string_view Out, bool Utf8, const char* Form) {
  if (Out.empty()) {
    if (!In.empty())
      broken("an empty name", Form, In, Out);
    return;
  }
  if (!quillon::fuzz::isQName(Out))
    broken("no qualified name", Form, In, Out);
  if (Utf8) {
    if (quillon::fuzz::isValidUtf8(In) && !quillon::fuzz::isXmlNameUtf8(Out))
      broken("no XML name from UTF-8", Form, In, Out);
    return;
  }
  if (!quillon::fuzz::isXmlNameLatin1(Out))
    broken("no XML name", Form, In, Out);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  if (Size == 0)
    return 0;
  quillon::fuzz::QuietStreams Quiet;
  const bool Utf8 = (Data[0] & 1) != 0;
  const std::string In(reinterpret_cast<const char*>(Data) + 1, Size - 1);
  quillon::resetSettings();
  quillon::theSettings().OutputUTF8 = Utf8;

  const std::string Text = quillon::escapeXml(In, false, false, Utf8);
  checkText(In, Text, "text form");
  if (In.empty() && !Text.empty())
    broken("not empty", "text form", In, Text);

  std::string Appended = "<x>";
  quillon::appendEscapedText(Appended, In);
  if (Appended.compare(0, 3, "<x>") != 0)
    broken("what was there changed", "appended text", In, Appended);
  checkText(In, std::string_view(Appended).substr(3), "appended text");

  const std::string ElementName = quillon::escapeXml(In, true, false, Utf8);
  checkName(In, ElementName, Utf8, "element-name form");
  // the document's prefix goes in front of an element name: it can hold no ':' of its own
  if (ElementName.find(':') != std::string::npos)
    broken("holds a ':'", "element-name form", In, ElementName);
  checkName(In, quillon::escapeXml(In, false, true, Utf8), Utf8, "attribute-name form");
  if (quillon::escapeXml(In, true, true, Utf8) != ElementName)
    broken("differs from the element-name form", "(true, true) form", In,
           quillon::escapeXml(In, true, true, Utf8));
  quillon::resetSettings();
  return 0;
}
