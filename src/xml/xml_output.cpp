#include "xml/xml_output.h"

#include "xml/xml_escape.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>
#include <vector>

namespace quillon {

namespace {

constexpr std::string_view XsiNamespace = "http://www.w3.org/2001/XMLSchema-instance";

// An attribute value from outside, in the text form.
void appendAttributeText(TargetBuffer& Out, std::string_view Text, TextCoding Coding) {
  char* const At = Out.reserve(escapedTextRoom(Text.size()));
  bool Replaced = false;
  Out.commit(writeOutsideText(At, Text.data(), Text.data() + Text.size(), Coding, Replaced));
}

// The DTD's system literal with its delimiters. It knows no references: a name holding '"'
// is delimited by '\'' instead, and holding both, its '"' are written as "%22", as in a URI.
std::string systemLiteral(std::string_view Name, bool Utf8) {
  std::string Literal = replaceNonXmlBytes(Name, Utf8);
  char Quote = '"';
  if (Literal.find('"') != std::string::npos) {
    if (Literal.find('\'') == std::string::npos) {
      Quote = '\'';
    } else {
      for (std::size_t At = Literal.find('"'); At != std::string::npos;
           At = Literal.find('"', At + 3))
        Literal.replace(At, 1, "%22");
    }
  }
  return Quote + Literal + Quote;
}

// A text inside a processing instruction, which ends at the first "?>": a '>' after a '?' is
// written as "&gt;".
void appendInstructionText(std::string& Out, std::string_view Text, bool Utf8) {
  const std::string Clean = replaceNonXmlBytes(Text, Utf8);
  char Last = '\0';
  for (const char C : Clean) {
    if (C == '>' && Last == '?')
      Out.append("&gt;");
    else
      Out.push_back(C);
    Last = C;
  }
}

// The name Wanted, with "_2" added until it differs from every name in Taken; then taken too.
std::string distinctName(std::string Wanted, std::vector<std::string>& Taken) {
  while (std::find(Taken.begin(), Taken.end(), Wanted) != Taken.end())
    Wanted += "_2";
  Taken.push_back(Wanted);
  return Wanted;
}

// The source's modification time; the time of the run for standard input or when the
// file cannot be examined.
std::time_t sourceTime(const Settings& S) {
  struct stat Status {};
  if (!S.SourceIsStdin && ::stat(S.SourceFile.c_str(), &Status) == 0)
    return Status.st_mtime;
  return std::time(nullptr);
}

} // namespace

TextCoding outsideTextCoding(const Settings& S) {
  // left in UTF-8 for an ISO-8859-1 document, they are written with references
  return isUtf8Document(S)      ? TextCoding::Utf8
         : S.AttributeTextsUtf8 ? TextCoding::Utf8ToIso
                                : TextCoding::Iso;
}

void rootAttributeNames(const Settings& S, std::string& Source, std::string& Time) {
  // the root's attributes in the order written; a name given twice gets "_2"
  std::vector<std::string> Taken;
  if (S.UseXSD && !S.XSDFile.empty()) {
    Taken.emplace_back(S.NamespaceURI.empty() ? "xsi:noNamespaceSchemaLocation"
                                              : "xsi:schemaLocation");
    Taken.emplace_back("xmlns:xsi");
  }
  if (!S.NamespaceURI.empty())
    Taken.push_back(S.NamespacePrefix.empty()
                        ? std::string("xmlns")
                        : "xmlns:" + S.NamespacePrefix.substr(0, S.NamespacePrefix.size() - 1));
  Source = distinctName(S.aSource, Taken);
  Time = distinctName(S.aDT, Taken);
}

std::string documentDateTime(const Settings& S) {
  return S.FixedDocumentTime >= 0
             ? formatDateTime(static_cast<std::time_t>(S.FixedDocumentTime), true, true)
             : formatDateTime(sourceTime(S), true);
}

void writeProlog(TargetBuffer& Out, const Settings& S) {
  const bool UseSchema = S.UseXSD && !S.XSDFile.empty();
  const bool Utf8 = isUtf8Document(S);
  // the command-line texts in attribute values
  const TextCoding Coding = outsideTextCoding(S);
  Out.append("<?xml version=\"1.0\" encoding=\"");
  Out.append(S.Encoding);
  Out.append(S.UseDTD || S.UseXSD ? "\" standalone=\"no\"?>" : "\" standalone=\"yes\"?>");
  Out.lineEnd();
  if (!S.StyleList.empty())
    Out.append(makeStylesheetInstructions(S.StyleList, Utf8));
  if (S.UseDTD && !S.DTDFile.empty()) {
    Out.append("<!DOCTYPE ");
    Out.append(S.eRoot);
    Out.append(" SYSTEM ");
    Out.append(systemLiteral(S.DTDFile, Utf8));
    Out.append('>');
    Out.lineEnd();
  }

  std::string SourceAttribute;
  std::string TimeAttribute;
  rootAttributeNames(S, SourceAttribute, TimeAttribute);

  // continuation lines line up with the first attribute
  const std::string Indent(S.NamespacePrefix.size() + S.eRoot.size() + 2, ' ');
  Out.append('<');
  Out.append(S.NamespacePrefix);
  Out.append(S.eRoot);
  Out.append(' ');
  if (UseSchema) {
    if (!S.NamespaceURI.empty()) {
      Out.append("xsi:schemaLocation=\"");
      appendAttributeText(Out, S.NamespaceURI, Coding);
      Out.append(' ');
    } else {
      Out.append("xsi:noNamespaceSchemaLocation=\"");
    }
    appendAttributeText(Out, S.XSDFile, Coding);
    Out.append('"');
    Out.lineEnd();
    Out.append(Indent);
    Out.append("xmlns:xsi=\"");
    Out.append(XsiNamespace);
    Out.append('"');
    Out.lineEnd();
    Out.append(Indent);
  }
  if (!S.NamespaceURI.empty()) {
    if (S.NamespacePrefix.empty()) {
      Out.append("xmlns=\"");
    } else {
      Out.append("xmlns:");
      Out.append(std::string_view(S.NamespacePrefix).substr(0, S.NamespacePrefix.size() - 1));
      Out.append("=\"");
    }
    appendAttributeText(Out, S.NamespaceURI, Coding);
    Out.append('"');
    Out.lineEnd();
    Out.append(Indent);
  }
  Out.append(SourceAttribute);
  Out.append("=\"");
  appendAttributeText(Out, S.SourceName, Coding);
  Out.append("\" ");
  Out.append(TimeAttribute);
  Out.append("=\"");
  Out.append(documentDateTime(S));
  Out.append("\" >");
  Out.lineEnd();
}

void writeEpilog(TargetBuffer& Out, const Settings& S, std::int64_t RecordCount) {
  Out.append("</");
  Out.append(S.NamespacePrefix);
  Out.append(S.eRoot);
  Out.append('>');
  Out.lineEnd();
  Out.append("<!-- ");
  Out.appendNumber(RecordCount);
  Out.append(" records written -->");
  Out.lineEnd();
}

std::string makeStylesheetInstructions(std::string List, bool Utf8) {
  std::string Instructions;
  std::string_view Rest(List);
  while (!Rest.empty()) {
    const std::size_t Comma = Rest.find(',');
    std::string_view Item = Rest.substr(0, Comma);
    Rest = Comma == std::string_view::npos ? std::string_view() : Rest.substr(Comma + 1);
    const bool Alternate = Item.size() >= 2 && Item.front() == '[' && Item.back() == ']';
    if (Alternate)
      Item = Item.substr(1, Item.size() - 2);
    std::string Name;
    std::string Extension;
    splitFileName(std::string(Item), nullptr, &Name, &Extension);
    if (Extension.empty())
      continue;
    Instructions.append("<?xml-stylesheet type=\"text/");
    appendInstructionText(Instructions, Extension, Utf8);
    Instructions.append("\" href=\"");
    appendInstructionText(Instructions, Item, Utf8);
    Instructions.append("\"");
    if (Alternate)
      Instructions.append(" alternate=\"yes\" ");
    Instructions.append(" title=\"");
    appendInstructionText(Instructions, Name, Utf8);
    Instructions.append("\" ?>\n");
  }
  return Instructions;
}

void splitFileName(std::string Path, std::string* Directory, std::string* Name,
                   std::string* Extension) {
  const std::size_t Dot = Path.rfind('.');
  std::size_t Slash = Path.rfind('/');
  if (Slash == std::string::npos)
    Slash = Path.rfind('\\');
  std::string Found;
  if (Dot != std::string::npos && (Slash == std::string::npos || Dot > Slash)) {
    Found = Path.substr(Dot + 1);
    Path.erase(Dot);
  }
  if (Extension)
    *Extension = std::move(Found);
  Found.clear();
  if (Slash != std::string::npos) {
    Found = Path.substr(0, Slash + 1);
    Path.erase(0, Slash + 1);
  }
  if (Directory)
    *Directory = std::move(Found);
  if (Name)
    *Name = std::move(Path);
}

std::string formatDateTime(std::time_t Time, bool WithZone, bool Utc) {
  std::tm Local{};
  if (Utc)
    gmtime_r(&Time, &Local);
  else
    localtime_r(&Time, &Local);
  char Text[96];
  int Length =
      std::snprintf(Text, sizeof Text, "%4d-%02d-%02dT%02d:%02d:%02d", Local.tm_year + 1900,
                    Local.tm_mon + 1, Local.tm_mday, Local.tm_hour, Local.tm_min, Local.tm_sec);
  if (WithZone) {
    // the zone's true offset at that instant, daylight saving time and minutes included
    const long Offset = Local.tm_gmtoff;
    const long Minutes = std::labs(Offset) / 60;
    std::snprintf(Text + Length, sizeof Text - static_cast<std::size_t>(Length), "%c%02ld:%02ld",
                  Offset < 0 ? '-' : '+', Minutes / 60, Minutes % 60);
  }
  return Text;
}

} // namespace quillon
