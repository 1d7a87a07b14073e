// escapeXml in its three forms and appendEscapedText on arbitrary bytes.
// Input: a flags byte (bit 0: OutputUTF8), then the text.
#include "fuzz_support.h"
#include "options/settings.h"
#include "xml/xml_escape.h"

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {
using quillon::fuzz::check;
using quillon::fuzz::shown;

constexpr const char* Target = "xml_escape";

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
  const std::string Where = std::string(Form) + " of " + shown(In) + " is " + shown(Out);
  for (std::size_t I = 0; I < Out.size(); ++I) {
    const char C = Out[I];
    check(C != '<' && C != '>' && C != '"' && C != '\'', Target, "a raw markup byte: " + Where);
    check(quillon::fuzz::isXmlCharByte(static_cast<unsigned char>(C)), Target,
          "a control byte XML cannot hold: " + Where);
    check(C != '&' || startsReference(Out, I), Target, "a stray ampersand: " + Where);
  }
}

void checkName(std::string_view In, std::string_view Out, bool Utf8, const char* Form) {
  if (Out.empty()) {
    check(In.empty(), Target, std::string(Form) + " of " + shown(In) + " is empty");
    return;
  }
  check(quillon::fuzz::isQName(Out), Target,
        std::string(Form) + " of " + shown(In) + " is no qualified name: " + shown(Out));
  if (Utf8) {
    if (quillon::fuzz::isValidUtf8(In))
      check(quillon::fuzz::isXmlNameUtf8(Out), Target,
            std::string(Form) + " of UTF-8 " + shown(In) + " is no XML name: " + shown(Out));
    return;
  }
  check(quillon::fuzz::isXmlNameLatin1(Out), Target,
        std::string(Form) + " of " + shown(In) + " is no XML name: " + shown(Out));
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

  const std::string Text = quillon::escapeXml(In, false, false);
  checkText(In, Text, "text form");
  check(!In.empty() || Text.empty(), Target, "text form of nothing is not empty");

  std::string Appended = "<x>";
  quillon::appendEscapedText(Appended, In);
  check(Appended.compare(0, 3, "<x>") == 0, Target, "appendEscapedText changed what was there");
  checkText(In, std::string_view(Appended).substr(3), "appended text");

  checkName(In, quillon::escapeXml(In, true, false), Utf8, "element-name form");
  checkName(In, quillon::escapeXml(In, false, true), Utf8, "attribute-name form");
  check(quillon::escapeXml(In, true, true) == quillon::escapeXml(In, true, false), Target,
        "(true, true) differs from the element-name form for " + shown(In));
  quillon::resetSettings();
  return 0;
}
