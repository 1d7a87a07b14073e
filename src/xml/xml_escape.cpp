#include "xml/xml_escape.h"

#include "options/settings.h"

#include <algorithm>
#include <array>

namespace quillon {

namespace {

// What the text form does with a byte.
enum TextAction : unsigned char { Copy = 0, Escape = 1, Replace = 2 };

// The five markup bytes are escaped; the control bytes XML 1.0 cannot hold at all become '?'.
// Tab, line feed and carriage return are copied like any other byte.
constexpr std::array<unsigned char, 256> TextActions = [] {
  std::array<unsigned char, 256> Table{};
  for (unsigned char C : {'&', '<', '>', '"', '\''})
    Table[C] = Escape;
  for (unsigned char C = 0; C < 0x20; ++C)
    if (C != '\t' && C != '\n' && C != '\r')
      Table[C] = Replace;
  return Table;
}();

// Where a byte may stand in a name: 0 nowhere, 1 anywhere, 2 inside only,
// 3 inside only while the output is UTF-8.
// clang-format off
constexpr unsigned char NameClass[256] = {
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 2, 0,
    2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 0, 0, 0, 0, 0,
    0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 1,
    0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0,
    3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3,
    3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3,
    3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3,
    3, 3, 3, 3, 3, 3, 3, 2, 3, 3, 3, 3, 3, 3, 3, 3,
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
    1, 1, 1, 1, 1, 1, 1, 3, 1, 1, 1, 1, 1, 1, 1, 1,
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
    1, 1, 1, 1, 1, 1, 1, 3, 1, 1, 1, 1, 1, 1, 1, 1};
// clang-format on

unsigned char actionOf(char C) { return TextActions[static_cast<unsigned char>(C)]; }

// Tells whether the '&' at At starts one of the five predefined references, which stay as
// they are. Only the longest candidate is compared: the ';' decides its length first.
bool isKeptReference(const char* At, const char* End) {
  const std::ptrdiff_t Left = End - At;
  std::size_t Length = 0;
  if (Left >= 6 && At[5] == ';')
    Length = 4;
  else if (Left >= 5 && At[4] == ';')
    Length = 3;
  else if (Left >= 4 && At[3] == ';')
    Length = 2;
  const std::string_view Name(At + 1, Length);
  switch (Length) {
  case 4:
    return Name == "quot" || Name == "apos";
  case 3:
    return Name == "amp";
  case 2:
    return Name == "lt" || Name == "gt";
  default:
    return false;
  }
}

bool beginsWithXml(const std::string& Text) {
  if (Text.size() < 3)
    return false;
  auto Upper = [](char C) { return C >= 'a' && C <= 'z' ? static_cast<char>(C - 'a' + 'A') : C; };
  return Upper(Text[0]) == 'X' && Upper(Text[1]) == 'M' && Upper(Text[2]) == 'L';
}

} // namespace

bool isXmlNameChar(unsigned char C, bool AtStart) {
  switch (NameClass[C]) {
  case 1:
    return true;
  case 2:
    return !AtStart;
  case 3:
    return !AtStart && theSettings().OutputUTF8;
  default:
    return false;
  }
}

bool appendEscapedText(std::string& Out, std::string_view Text) {
  bool Replaced = false;
  const char* At = Text.data();
  const char* const End = At + Text.size();
  while (At < End) {
    const char* const Run = At;
    while (At < End && actionOf(*At) == Copy)
      ++At;
    Out.append(Run, static_cast<std::size_t>(At - Run));
    if (At == End)
      break;
    switch (*At) {
    case '&':
      // a kept reference goes on as ordinary bytes after its '&'
      Out.append(isKeptReference(At, End) ? "&" : "&amp;");
      break;
    case '<':
      Out.append("&lt;");
      break;
    case '>':
      Out.append("&gt;");
      break;
    case '"':
      Out.append("&quot;");
      break;
    case '\'':
      Out.append("&apos;");
      break;
    default:
      Out.push_back('?');
      Replaced = true;
      break;
    }
    ++At;
  }
  return Replaced;
}

std::string escapeXml(std::string Text, bool MakeName, bool CleanName) {
  if (Text.empty())
    return Text;
  if (std::any_of(Text.begin(), Text.end(), [](char C) { return actionOf(C) != Copy; })) {
    std::string Escaped;
    Escaped.reserve(Text.size() + 16);
    appendEscapedText(Escaped, Text);
    Text = std::move(Escaped);
  }
  if (!MakeName && !CleanName)
    return Text;
  // "xml" in any case is reserved for element names; attribute names such as xml:id are meant
  if ((MakeName && beginsWithXml(Text)) ||
      !isXmlNameChar(static_cast<unsigned char>(Text[0]), true))
    Text.insert(Text.begin(), '_');
  // the first byte passed the start test or stands behind the '_' now: test it as inner
  for (std::size_t I = 1; I < Text.size(); ++I)
    if (!isXmlNameChar(static_cast<unsigned char>(Text[I]), false))
      Text[I] = '_';
  return Text;
}

} // namespace quillon
