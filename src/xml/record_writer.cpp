#include "encoding/encoding.h"
#include "xml/xml_escape.h"
#include "xml/xml_names.h"
#include "xml/xml_output.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <iostream>
#include <unordered_set>

namespace quillon {

namespace {

constexpr std::string_view ItemIndent = "          ";
constexpr std::string_view RecordIndent = "     ";

// The layout number 1..5; a mode out of range writes the default layout.
int layoutOf(int Mode) { return Mode >= 0 && Mode <= 4 ? Mode + 1 : 1; }

// layout 4 writes both names on one element: the later one must differ
std::string valueAttributeName(int Layout, std::string_view aValue, std::string_view aName) {
  std::string ValueName(aValue);
  if (Layout == 4 && ValueName == aName)
    ValueName += "_2";
  return ValueName;
}

// Sets Replaced when the column name held bytes that became '?'. Coding: how a column name
// that is an attribute value is written; the characters it converts are added to Converted.
RecordWriter::ItemText makeItemText(std::string_view Column, int Layout, std::string_view Prefix,
                                    std::string_view aValue, std::string_view aName,
                                    std::string_view eItem, TextCoding Coding,
                                    std::int64_t& Converted, bool& Replaced) {
  RecordWriter::ItemText Text;
  std::string Element(Prefix);
  const std::string ValueName = valueAttributeName(Layout, aValue, aName);
  if (Layout == 3 || Layout == 4) {
    // the column name is an attribute value here, written in the text form
    Element.append(eItem);
    Text.Before.append(ItemIndent).append("<").append(Element).append(" ").append(aName);
    Text.Before.append("=\"");
    Replaced = appendEscapedText(Text.Before, Column, Coding, true, Converted);
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
    Text.Before.append(" ").append(ValueName).append("=\"");
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

// Adds to Converted what writing Text from UTF-8 into an ISO-8859-1 document counts.
void countConverted(std::string_view Text, std::int64_t& Converted) {
  std::string Written;
  appendEscapedText(Written, Text, TextCoding::Utf8ToIso, false, Converted);
}

} // namespace

std::string formatRecordItem(std::string Column, std::string Value, int Mode,
                             std::string NamespacePrefix, std::string aValue, std::string aName,
                             std::string eItem, bool Utf8) {
  if (Mode < 0 || Mode > 3)
    return {};
  bool Replaced = false;
  std::int64_t Converted = 0;
  const RecordWriter::ItemText Text =
      makeItemText(Column, Mode + 1, NamespacePrefix, aValue, aName, eItem,
                   Utf8 ? TextCoding::Utf8 : TextCoding::Iso, Converted, Replaced);
  if (Value.empty())
    return Text.Empty;
  std::string Line = Text.Before;
  appendEscapedText(Line, Value, Utf8, Mode == 1 || Mode == 3);
  Line.append(Text.After);
  return Line;
}

RecordWriter::RecordWriter(const Settings& S, TargetBuffer& Out, RunCounters& Counters)
    : S(S), Out(Out), Counters(Counters), Texts(PieceSlack, '\0') {}

void RecordWriter::noteForeignBytes(std::int64_t Number) {
  if (ForeignWarned)
    return;
  ForeignWarned = true;
  if (!Out.mayTell())
    return;
  std::cerr << "Warning : record " << Number
            << " holds bytes that are not UTF-8; each is read as its Windows-1252 character "
               "(later records are not reported)"
            << std::endl;
}

void RecordWriter::chooseCoding() {
  Converted = &Counters.IsoToUtf8Count;
  if (S.ConvertDataI2U) {
    Coding = TextCoding::IsoToUtf8;
  } else if (S.ConvertDataU2I) {
    Coding = TextCoding::Utf8ToIso;
    Converted = &Counters.Utf8ToIsoCount;
  } else {
    Coding = isUtf8Document(S) ? TextCoding::Utf8 : TextCoding::Iso;
  }
  WriteText = textWriterFor(Coding);
}

void RecordWriter::noteControlBytes(std::int64_t Number) {
  if (ControlWarned)
    return;
  ControlWarned = true;
  if (!Out.mayTell())
    return;
  std::cerr << "Warning : record " << Number
            << " holds bytes that XML cannot hold (control characters, or the characters U+FFFE "
               "and U+FFFF); each is written as \"?\" (later records are not reported)"
            << std::endl;
}

void RecordWriter::prepareColumnNames(const std::vector<std::string>& HeaderCells) {
  const int Layout = layoutOf(S.Mode);
  const bool NameIsValue = Layout == 3 || Layout == 4;
  Attributes = Layout == 5;
  const bool Utf8 = isUtf8Document(S);
  const NameKind Kind = Attributes ? NameKind::Attribute : NameKind::Element;
  // a name is judged by whole characters: a UTF-8 cell as UTF-8, even for an ISO-8859-1 document
  const bool CellUtf8 = Utf8 || S.ConvertDataU2I;
  // the record element's number attribute follows its id attribute and must differ from it
  NumName = S.aNum;
  if (S.WriteId && S.WriteNum && NumName == S.aID)
    NumName += "_2";
  ValueName = valueAttributeName(Layout, S.aValue, S.aName);
  chooseCoding();
  // in a UTF-8 source a byte of no sequence is its Windows-1252 character, in names too
  const bool Utf8Source = Coding == TextCoding::Utf8 || Coding == TextCoding::Utf8ToIso;
  // a column name that is an attribute value is transcoded to UTF-8 before it is written
  const TextCoding NameCoding = nameCoding();
  ValueInAttribute = Layout == 2 || Layout == 4 || Layout == 5;
  // attribute names already on the record element in layout 5
  std::unordered_set<std::string> Taken;
  if (Attributes && S.WriteId)
    Taken.insert(S.aID);
  if (Attributes && S.WriteNum)
    Taken.insert(NumName);

  // unless each line must reach a terminal at once, the line breaks go with the fixed texts
  Folded = !Out.flushEachLine();
  ColumnNames.clear();
  ColumnNames.reserve(HeaderCells.size());
  Texts.clear();
  Items.clear();
  Items.reserve(HeaderCells.size());
  PiecesRoom = 0;
  bool HeaderReplaced = false;
  bool HeaderForeign = false;
  for (std::size_t I = 0; I < HeaderCells.size(); ++I) {
    const std::string& Cell = HeaderCells[I];
    const std::string Number = std::to_string(I + 1);
    std::string Name;
    if (!Cell.empty()) {
      Name = Cell;
      if (Utf8Source) {
        const int Repaired = repairUtf8(Name);
        HeaderForeign = HeaderForeign || Repaired > 0;
        if (Coding == TextCoding::Utf8) // otherwise counted as it is transcoded
          *Converted += Repaired;
      }
      // a name that is an attribute value from a UTF-8 source is converted as it is written
      if (S.ConvertDataI2U)
        transcode(S, Counters, Name);
      if (!NameIsValue) {
        // counted as layouts 3 and 4 count the name they write as a value: each character
        // beyond ASCII, whatever the name rules then make of it
        if (S.ConvertDataU2I)
          countConverted(Name, *Converted);
        Name = makeXmlName(std::move(Name), Kind, CellUtf8, Utf8);
        if (S.ConvertDataU2I) // only characters ISO-8859-1 holds are left
          convertUtf8ToIso(Name);
        Name = finishXmlName(std::move(Name), Utf8, Kind, S.NamespacePrefix);
      }
    } else if (!NameIsValue) {
      Name = "column_" + Number; // a nameless element or attribute is no XML
    }
    if (Attributes)
      while (!Taken.insert(Name).second)
        Name += "_" + Number;
    bool Replaced = false;
    ItemText Item = makeItemText(Name, Layout, S.NamespacePrefix, S.aValue, S.aName, S.eItem,
                                 NameCoding, *Converted, Replaced);
    if (Folded && !Attributes) {
      Item.After += '\n';
      Item.Empty += '\n';
    }
    Items.push_back({addPiece(Item.Before), addPiece(Item.After), addPiece(Item.Empty)});
    PiecesRoom += std::max(itemRoom(Items.back(), 0), emptyRoom(Items.back()));
    HeaderReplaced = HeaderReplaced || Replaced;
    ColumnNames.push_back(std::move(Name));
  }
  if (HeaderForeign && !ForeignWarned) {
    ForeignWarned = true;
    std::cerr << "Warning : the header holds bytes that are not UTF-8; each is read as its "
                 "Windows-1252 character (records are not reported)"
              << std::endl;
  }
  if (HeaderReplaced && !ControlWarned) {
    ControlWarned = true;
    std::cerr << "Warning : the header holds bytes that XML cannot hold (control characters, or "
                 "the characters U+FFFE and U+FFFF); each is written as \"?\" (records are not "
                 "reported)"
              << std::endl;
  }

  const std::string Record = S.NamespacePrefix + S.eRecord;
  std::string Start = std::string(RecordIndent) + "<" + Record;
  std::string End;
  std::string Open;
  std::string Id;
  std::string Num;
  std::string AfterAttribute;
  if (Attributes) {
    Start += " ";
    Id = S.aID + "=\"id.";
    Num = NumName + "=\"";
    AfterAttribute = "\" ";
    End = "/>";
  } else {
    Id = " " + S.aID + "=\"id.";
    Num = " " + NumName + "=\"";
    AfterAttribute = "\"";
    End = std::string(RecordIndent) + "</" + Record + ">";
    Open = Folded ? ">\n" : ">";
  }
  if (Folded)
    End += '\n';

  RecordStart = addPiece(Start);
  IdStart = addPiece(Id);
  NumStart = addPiece(Num);
  AttributeEnd = addPiece(AfterAttribute);
  OpenEnd = addPiece(Open);
  RecordEnd = addPiece(End);
  // a short piece is copied with the bytes after it, up to PieceSlack
  Texts.append(PieceSlack, '\0');
  Texts.shrink_to_fit();
  constexpr std::size_t NumberDigits = 24;
  RecordHeadRoom = Start.size() + Id.size() + Num.size() + 2 * AfterAttribute.size() +
                   2 * NumberDigits + Open.size() + PieceSlack;
}

RecordWriter::Piece RecordWriter::addPiece(const std::string& Text) {
  const Piece P{Texts.size(), Text.size()};
  Texts.append(Text);
  return P;
}

void RecordWriter::writeItem(const ItemPieces& Item, std::string_view Value) {
  char* At = Out.reserve(itemRoom(Item, Value.size()));
  At = writeValue(putPiece(At, Item.Before), Value, RecordReplaced, RecordForeign);
  Out.commit(putPiece(At, Item.After));
}

void RecordWriter::writeRecord(std::int64_t Number, const std::vector<std::string_view>& Cells) {
  writeRecordStart(Number);
  for (std::size_t I = 0; I < Items.size(); ++I)
    writeCell(I, I < Cells.size() ? Cells[I] : std::string_view());
  writeRecordEnd();
}

void RecordWriter::writeRecordStart(std::int64_t Number) {
  RecordNumber = Number;
  char* At = putPiece(Out.reserve(RecordHeadRoom), RecordStart);
  if (S.WriteId) {
    At = putPiece(At, IdStart);
    At = std::to_chars(At, At + 24, Number).ptr;
    At = putPiece(At, AttributeEnd);
  }
  if (S.WriteNum) {
    At = putPiece(At, NumStart);
    At = std::to_chars(At, At + 24, Number).ptr;
    At = putPiece(At, AttributeEnd);
  }
  Out.commit(putPiece(At, OpenEnd));
  if (!Attributes && !Folded)
    Out.lineEnd();
}

void RecordWriter::writeCell(std::size_t Column, std::string_view Value) {
  const ItemPieces& Item = Items[Column];
  if (Value.empty()) {
    if (S.SuppressEmpty)
      return;
    Out.commit(putPiece(Out.reserve(emptyRoom(Item)), Item.Empty));
  } else {
    writeItem(Item, Value);
  }
  if (!Attributes && !Folded)
    Out.lineEnd();
  ++Counters.ElementCount;
}

void RecordWriter::writeRecordEnd() {
  Out.commit(putPiece(Out.reserve(RecordEnd.Size + PieceSlack), RecordEnd));
  if (!Folded)
    Out.lineEnd();
  // told once the record is written, in this order whatever the cells' order
  if (RecordReplaced)
    noteControlBytes(RecordNumber);
  if (RecordForeign)
    noteForeignBytes(RecordNumber);
  RecordReplaced = RecordForeign = false;
}

} // namespace quillon
