#include "encoding/encoding.h"
#include "xml/xml_escape.h"
#include "xml/xml_output.h"

#include <algorithm>
#include <iostream>
#include <unordered_set>

namespace quillon {

namespace {

constexpr std::string_view ItemIndent = "          ";
constexpr std::string_view RecordIndent = "     ";

// The layout number 1..5; a mode out of range writes the default layout.
int layoutOf(int Mode) { return Mode >= 0 && Mode <= 4 ? Mode + 1 : 1; }

// Sets Replaced when the column name held control bytes that became '?'.
RecordWriter::ItemText makeItemText(std::string_view Column, int Layout, std::string_view Prefix,
                                    std::string_view aValue, std::string_view aName,
                                    std::string_view eItem, bool& Replaced) {
  RecordWriter::ItemText Text;
  std::string Element(Prefix);
  if (Layout == 3 || Layout == 4) {
    // the column name is an attribute value here, written in the text form
    Element.append(eItem);
    Text.Before.append(ItemIndent).append("<").append(Element).append(" ").append(aName);
    Text.Before.append("=\"");
    Replaced = appendEscapedText(Text.Before, Column);
    Text.Before.append("\"");
  } else if (Layout == 1 || Layout == 2) {
    Element.append(Column);
    Text.Before.append(ItemIndent).append("<").append(Element);
  }
  switch (Layout) {
  case 1:
  case 3:
    Text.Empty = Text.Before + "/>";
    Text.Before.append(">");
    Text.After.append("</").append(Element).append(">");
    break;
  case 2:
  case 4:
    Text.Before.append(" ").append(aValue).append("=\"");
    Text.After = "\" />";
    Text.Empty = Text.Before + Text.After;
    break;
  default:
    Text.Before.append(Column).append("=\"");
    Text.After = "\" ";
    Text.Empty = Text.Before + Text.After;
    break;
  }
  return Text;
}

void transcode(const Settings& S, RunCounters& Counters, std::string& Text) {
  if (S.ConvertDataI2U)
    Counters.IsoToUtf8Count += convertIsoToUtf8(Text);
  else if (S.ConvertDataU2I)
    Counters.Utf8ToIsoCount += convertUtf8ToIso(Text);
}

bool hasHighByte(std::string_view Text) {
  return std::any_of(Text.begin(), Text.end(),
                     [](char C) { return static_cast<unsigned char>(C) >= 0x80; });
}

} // namespace

std::string formatRecordItem(std::string Column, std::string Value, int Mode,
                             std::string NamespacePrefix, std::string aValue, std::string aName,
                             std::string eItem) {
  if (Mode < 0 || Mode > 3)
    return {};
  bool Replaced = false;
  const RecordWriter::ItemText Text =
      makeItemText(Column, Mode + 1, NamespacePrefix, aValue, aName, eItem, Replaced);
  if (Value.empty())
    return Text.Empty;
  std::string Line = Text.Before;
  appendEscapedText(Line, Value);
  Line.append(Text.After);
  return Line;
}

RecordWriter::RecordWriter(const Settings& S, TargetBuffer& Out, RunCounters& Counters)
    : S(S), Out(Out), Counters(Counters) {}

void RecordWriter::noteControlBytes(std::int64_t Number) {
  if (ControlWarned)
    return;
  ControlWarned = true;
  std::cerr << "Warning : record " << Number
            << " holds control characters that XML cannot hold; each is written as \"?\" (later "
               "records are not reported)"
            << std::endl;
}

void RecordWriter::prepareColumnNames(const std::vector<std::string>& HeaderCells) {
  const int Layout = layoutOf(S.Mode);
  const bool NameIsValue = Layout == 3 || Layout == 4;
  const bool Attributes = Layout == 5;
  const bool Utf8 = isUtf8Document(S);
  // element names follow the namespace prefix and can hold no ':' of their own
  const bool Prefixed = !Attributes && !S.NamespacePrefix.empty();
  // attribute names already on the record element in layout 5
  std::unordered_set<std::string> Taken;
  if (Attributes && S.WriteId)
    Taken.insert(S.aID);
  if (Attributes && S.WriteNum)
    Taken.insert(S.aNum);

  ColumnNames.clear();
  Items.clear();
  ColumnNames.reserve(HeaderCells.size());
  Items.reserve(HeaderCells.size());
  bool HeaderReplaced = false;
  for (std::size_t I = 0; I < HeaderCells.size(); ++I) {
    const std::string& Cell = HeaderCells[I];
    const std::string Number = std::to_string(I + 1);
    std::string Name;
    if (!Cell.empty()) {
      Name = NameIsValue ? Cell : escapeXml(Cell, !Attributes, Attributes);
      transcode(S, Counters, Name);
      // a character the escaping let pass may be no name character once transcoded
      if (!NameIsValue)
        Name = finishXmlName(std::move(Name), Utf8, Prefixed);
    } else if (!NameIsValue) {
      Name = "column_" + Number; // a nameless element or attribute is no XML
    }
    if (Attributes)
      while (!Taken.insert(Name).second)
        Name += "_" + Number;
    bool Replaced = false;
    Items.push_back(
        makeItemText(Name, Layout, S.NamespacePrefix, S.aValue, S.aName, S.eItem, Replaced));
    HeaderReplaced = HeaderReplaced || Replaced;
    ColumnNames.push_back(std::move(Name));
  }
  if (HeaderReplaced && !ControlWarned) {
    ControlWarned = true;
    std::cerr << "Warning : the header holds control characters that XML cannot hold; each is "
                 "written as \"?\" (records are not reported)"
              << std::endl;
  }

  const std::string Record = S.NamespacePrefix + S.eRecord;
  RecordStart = std::string(RecordIndent) + "<" + Record;
  if (Attributes) {
    RecordStart += " ";
    IdStart = S.aID + "=\"id.";
    NumStart = S.aNum + "=\"";
    AttributeEnd = "\" ";
    RecordEnd = "/>";
  } else {
    IdStart = " " + S.aID + "=\"id.";
    NumStart = " " + S.aNum + "=\"";
    AttributeEnd = "\"";
    RecordEnd = std::string(RecordIndent) + "</" + Record + ">";
  }
}

void RecordWriter::writeRecord(std::int64_t Number, const std::vector<std::string_view>& Cells) {
  const bool Attributes = layoutOf(S.Mode) == 5;
  const bool Transcode = S.ConvertDataI2U || S.ConvertDataU2I;
  Out.append(RecordStart);
  if (S.WriteId) {
    Out.append(IdStart);
    Out.appendNumber(Number);
    Out.append(AttributeEnd);
  }
  if (S.WriteNum) {
    Out.append(NumStart);
    Out.appendNumber(Number);
    Out.append(AttributeEnd);
  }
  if (!Attributes) {
    Out.append('>');
    Out.lineEnd();
  }
  for (std::size_t I = 0; I < Items.size(); ++I) {
    std::string_view Value = I < Cells.size() ? Cells[I] : std::string_view();
    if (Transcode && hasHighByte(Value)) {
      Scratch.assign(Value.data(), Value.size());
      transcode(S, Counters, Scratch);
      Value = Scratch;
    }
    const ItemText& Item = Items[I];
    if (Value.empty()) {
      if (S.SuppressEmpty)
        continue;
      Out.append(Item.Empty);
    } else {
      Out.reserveFor(Item.Before.size() + Item.After.size() + 6 * Value.size());
      std::string& Raw = Out.raw();
      Raw.append(Item.Before);
      if (appendEscapedText(Raw, Value))
        noteControlBytes(Number);
      Raw.append(Item.After);
    }
    if (!Attributes)
      Out.lineEnd();
    ++Counters.ElementCount;
  }
  Out.append(RecordEnd);
  Out.lineEnd();
}

} // namespace quillon
