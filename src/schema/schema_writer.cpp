#include "schema/schema_writer.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

namespace quillon {

namespace {

constexpr const char* XmlNamespace = "http://www.w3.org/XML/1998/namespace";
constexpr std::size_t TypeCount = static_cast<std::size_t>(ValueType::String);

int layoutOf(int Mode) { return Mode >= 0 && Mode <= 4 ? Mode + 1 : 1; }

// The local part of a type name: "integer" of "xs:integer".
const char* localTypeName(ValueType Type) { return typeName(Type) + 3; }

// Writes the schema's text: declarations with their indentation, and the types a column with
// blank values needs, gathered while the declarations are written and placed in front.
class SchemaText {
public:
  SchemaText(const Settings& S, const DocumentNames& Names) : S(S), Names(Names) {}

  // The whole schema: the declarations written so far after the types they need.
  std::string finish() const;

  void line(int Depth, const std::string& Text) {
    Body.append(static_cast<std::size_t>(2 * Depth), ' ').append(Text).push_back('\n');
  }
  // A column's type: T, or T and blank when a blank value is written.
  std::string columnType(const ColumnTypes& C) {
    const ValueType Type = C.type();
    if (Type == ValueType::String)
      return "xs:string";
    if (!C.Blank && !(C.Empty && !S.SuppressEmpty))
      return typeName(Type);
    OrBlank[static_cast<std::size_t>(Type)] = true;
    return std::string(localTypeName(Type)) + "-or-blank";
  }
  // An attribute of the name the document writes. Attributes of the XML namespace (xml:id)
  // cannot be declared here: any of them is allowed instead.
  void attribute(int Depth, const std::string& Name, const std::string& Type, bool Required) {
    if (Name.compare(0, 4, "xml:") == 0) {
      XmlAttributes = true;
      return;
    }
    std::string Text = "<xs:attribute name=\"";
    const std::string& Prefix = S.NamespacePrefix;
    if (!Prefix.empty() && Name.compare(0, Prefix.size(), Prefix) == 0)
      Text.append(Name, Prefix.size()).append("\" form=\"qualified");
    else
      Text.append(Name);
    Text.append("\" type=\"").append(Type).append(Required ? "\" use=\"required\"/>" : "\"/>");
    line(Depth, Text);
  }
  // Closes a complex type's attributes.
  void endAttributes(int Depth) {
    if (XmlAttributes)
      line(Depth, std::string("<xs:anyAttribute namespace=\"") + XmlNamespace +
                      "\" processContents=\"skip\"/>");
    XmlAttributes = false;
  }
  // Value as an attribute value: written as the document writes column names.
  std::string nameValue(const std::string& Value) const {
    std::string Text;
    std::int64_t Converted = 0;
    appendEscapedText(Text, Value, Names.NameCoding, true, Converted);
    return Text;
  }

private:
  std::string Body;
  const Settings& S;
  const DocumentNames& Names;
  std::array<bool, TypeCount> OrBlank{};
  bool XmlAttributes = false;
};

std::string SchemaText::finish() const {
  std::string Text = "<?xml version=\"1.0\" encoding=\"";
  Text.append(S.Encoding).append("\"?>\n");
  Text.append("<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\"");
  if (!S.NamespaceURI.empty()) {
    // the document's elements are in its namespace, unprefixed attributes in none
    std::string Uri(escapedTextRoom(S.NamespaceURI.size()), '\0');
    bool Replaced = false;
    const char* const From = S.NamespaceURI.data();
    Uri.resize(
        static_cast<std::size_t>(writeOutsideText(Uri.data(), From, From + S.NamespaceURI.size(),
                                                  Names.OutsideCoding, Replaced) -
                                 Uri.data()));
    Text.append(" targetNamespace=\"").append(Uri).append("\"\n           xmlns=\"");
    Text.append(Uri).append("\" elementFormDefault=\"qualified\"");
  }
  Text.append(">\n");
  bool Blank = false;
  for (std::size_t I = 0; I < TypeCount; ++I) {
    if (!OrBlank[I])
      continue;
    const char* const Type = localTypeName(static_cast<ValueType>(I));
    Text.append("  <xs:simpleType name=\"").append(Type).append("-or-blank\">\n");
    Text.append("    <xs:union memberTypes=\"xs:").append(Type).append(" blank\"/>\n");
    Text.append("  </xs:simpleType>\n");
    Blank = true;
  }
  if (Blank) // nothing, or blanks alone, which a schema collapses to nothing
    Text.append("  <xs:simpleType name=\"blank\">\n"
                "    <xs:restriction base=\"xs:token\">\n"
                "      <xs:length value=\"0\"/>\n"
                "    </xs:restriction>\n"
                "  </xs:simpleType>\n");
  Text.append(Body);
  Text.append("</xs:schema>\n");
  return Text;
}

ColumnTypes merged(const ColumnTypes& A, const ColumnTypes& B) {
  ColumnTypes Both;
  Both.Possible = A.Possible & B.Possible;
  Both.Valued = A.Valued || B.Valued;
  Both.Empty = A.Empty || B.Empty;
  Both.Blank = A.Blank || B.Blank;
  return Both;
}

// Whether a sequence of the column elements, the optional ones marked, lets a validator tell
// at each element which column it is: after any element, the ones that may come next up to
// the first that must come have distinct names.
bool deterministic(const std::vector<std::string>& Columns, const std::vector<bool>& Optional) {
  for (std::size_t After = 0; After <= Columns.size(); ++After)
    for (std::size_t I = After; I < Columns.size(); ++I) {
      for (std::size_t J = After; J < I; ++J)
        if (Columns[J] == Columns[I])
          return false;
      if (!Optional[I])
        break;
    }
  return true;
}

// The column elements of layouts 1 and 2. A name given to several columns has one type for
// all of them, which all their values have.
void writeColumnElements(SchemaText& Text, const Settings& S, const DocumentNames& Names,
                         const std::vector<ColumnTypes>& Types, bool ValueAttribute) {
  constexpr int Depth = 6; // inside the record's complex type
  const std::vector<std::string>& Columns = Names.Columns;
  std::vector<std::size_t> First(Columns.size()); // the first column of each one's name
  std::vector<ColumnTypes> ByName(Columns.size());
  std::vector<bool> Optional(Columns.size());
  for (std::size_t I = 0; I < Columns.size(); ++I) {
    First[I] = static_cast<std::size_t>(std::find(Columns.begin(), Columns.end(), Columns[I]) -
                                        Columns.begin());
    ByName[First[I]] = First[I] == I ? Types[I] : merged(ByName[First[I]], Types[I]);
    Optional[I] = S.SuppressEmpty && Types[I].Empty;
  }
  std::vector<std::string> TypeOf(Columns.size());
  for (std::size_t I = 0; I < Columns.size(); ++I)
    if (First[I] == I)
      TypeOf[I] = Text.columnType(ByName[I]);
  // a name repeated where an optional column makes it ambiguous: the columns in any order
  const bool Ordered = deterministic(Columns, Optional);
  Text.line(Depth,
            Ordered ? "<xs:sequence>" : "<xs:choice minOccurs=\"0\" maxOccurs=\"unbounded\">");
  for (std::size_t I = 0; I < Columns.size(); ++I) {
    if (!Ordered && First[I] != I)
      continue;
    std::string Element = "<xs:element name=\"" + Columns[I] + "\" ";
    if (Ordered && Optional[I])
      Element += "minOccurs=\"0\" ";
    if (ValueAttribute)
      Element += "type=\"column." + std::to_string(First[I] + 1) + "\"/>";
    else
      Element += "type=\"" + TypeOf[First[I]] + "\"/>";
    Text.line(Depth + 1, Element);
  }
  Text.line(Depth, Ordered ? "</xs:sequence>" : "</xs:choice>");
}

// Layout 2's column elements carry their value in an attribute: one named type per name, so
// that columns of one name share it.
void writeColumnValueTypes(SchemaText& Text, const DocumentNames& Names,
                           const std::vector<ColumnTypes>& Types) {
  const std::vector<std::string>& Columns = Names.Columns;
  for (std::size_t I = 0; I < Columns.size(); ++I) {
    if (std::find(Columns.begin(), Columns.end(), Columns[I]) != Columns.begin() + I)
      continue;
    ColumnTypes All = Types[I];
    for (std::size_t J = I + 1; J < Columns.size(); ++J)
      if (Columns[J] == Columns[I])
        All = merged(All, Types[J]);
    Text.line(1, "<xs:complexType name=\"column." + std::to_string(I + 1) + "\">");
    Text.attribute(2, Names.ValueAttribute, Text.columnType(All), true);
    Text.endAttributes(2);
    Text.line(1, "</xs:complexType>");
  }
}

// The values of layouts 3 and 4 are all of one element: text, and the column names listed.
void writeItems(SchemaText& Text, const Settings& S, const DocumentNames& Names,
                const std::vector<ColumnTypes>& Types, bool ValueAttribute) {
  constexpr int Base = 6; // inside the record's complex type
  std::size_t Always = 0;
  for (const ColumnTypes& C : Types)
    Always += !(S.SuppressEmpty && C.Empty);
  Text.line(Base, "<xs:sequence>");
  Text.line(Base + 1, "<xs:element name=\"" + S.eItem + "\" minOccurs=\"" + std::to_string(Always) +
                          "\" maxOccurs=\"" + std::to_string(Names.Columns.size()) + "\">");
  Text.line(Base + 2, "<xs:complexType>");
  int Depth = Base + 3;
  if (!ValueAttribute) {
    Text.line(Base + 3, "<xs:simpleContent>");
    Text.line(Base + 4, "<xs:extension base=\"xs:string\">");
    Depth = Base + 5;
  }
  if (S.aName.compare(0, 4, "xml:") == 0) {
    Text.attribute(Depth, S.aName, "xs:string", true);
  } else {
    const std::string& Prefix = S.NamespacePrefix;
    const bool Qualified = !Prefix.empty() && S.aName.compare(0, Prefix.size(), Prefix) == 0;
    Text.line(Depth, "<xs:attribute name=\"" + S.aName.substr(Qualified ? Prefix.size() : 0) +
                         (Qualified ? "\" form=\"qualified" : "") + "\" use=\"required\">");
    Text.line(Depth + 1, "<xs:simpleType>");
    Text.line(Depth + 2, "<xs:restriction base=\"xs:string\">");
    std::vector<std::string> Listed;
    for (const std::string& Column : Names.Columns) {
      std::string Value = Text.nameValue(Column);
      if (std::find(Listed.begin(), Listed.end(), Value) != Listed.end())
        continue;
      Text.line(Depth + 3, "<xs:enumeration value=\"" + Value + "\"/>");
      Listed.push_back(std::move(Value));
    }
    Text.line(Depth + 2, "</xs:restriction>");
    Text.line(Depth + 1, "</xs:simpleType>");
    Text.line(Depth, "</xs:attribute>");
  }
  if (ValueAttribute)
    Text.attribute(Depth, Names.ValueAttribute, "xs:string", true);
  Text.endAttributes(Depth);
  if (!ValueAttribute) {
    Text.line(Base + 4, "</xs:extension>");
    Text.line(Base + 3, "</xs:simpleContent>");
  }
  Text.line(Base + 2, "</xs:complexType>");
  Text.line(Base + 1, "</xs:element>");
  Text.line(Base, "</xs:sequence>");
}

} // namespace

std::string makeSchema(const Settings& S, const DocumentNames& Names,
                       const std::vector<ColumnTypes>& Types) {
  const int Layout = layoutOf(S.Mode);
  SchemaText Text(S, Names);
  if (Layout == 2)
    writeColumnValueTypes(Text, Names, Types);
  Text.line(1, "<xs:element name=\"" + S.eRoot + "\">");
  Text.line(2, "<xs:complexType>");
  Text.line(3, "<xs:sequence>");
  Text.line(4, "<xs:element name=\"" + S.eRecord + "\" minOccurs=\"0\" maxOccurs=\"unbounded\">");
  Text.line(5, "<xs:complexType>");
  if (Layout == 1 || Layout == 2)
    writeColumnElements(Text, S, Names, Types, Layout == 2);
  else if (Layout == 3 || Layout == 4)
    writeItems(Text, S, Names, Types, Layout == 4);
  if (S.WriteId)
    Text.attribute(6, S.aID, "xs:ID", true);
  if (S.WriteNum)
    Text.attribute(6, Names.NumberAttribute, "xs:positiveInteger", true);
  if (Layout == 5)
    for (std::size_t I = 0; I < Names.Columns.size(); ++I)
      Text.attribute(6, Names.Columns[I], Text.columnType(Types[I]),
                     !(S.SuppressEmpty && Types[I].Empty));
  Text.endAttributes(6);
  Text.line(5, "</xs:complexType>");
  Text.line(4, "</xs:element>");
  Text.line(3, "</xs:sequence>");
  bool Blank = false;
  const bool Moment =
      (judgeValue(Names.DateTime, Blank) >> static_cast<unsigned>(ValueType::DateTime)) & 1u;
  Text.attribute(3, Names.SourceAttribute, "xs:string", true);
  Text.attribute(3, Names.TimeAttribute, Moment ? "xs:dateTime" : "xs:string", true);
  Text.endAttributes(3);
  Text.line(2, "</xs:complexType>");
  Text.line(1, "</xs:element>");
  return Text.finish();
}

void writeTypeReport(const Settings& S, const DocumentNames& Names,
                     const std::vector<ColumnTypes>& Types, std::ostream& Log) {
  const int Layout = layoutOf(S.Mode);
  Log << "Column types :" << std::endl;
  for (std::size_t I = 0; I < Types.size(); ++I) {
    const ColumnTypes& C = Types[I];
    Log << "-> " << Names.Columns[I] << " : " << typeName(C.type());
    if (C.type() != ValueType::String && (C.Blank || (C.Empty && !S.SuppressEmpty)))
      Log << " or blank";
    else if (C.Empty && S.SuppressEmpty)
      Log << " (may be absent)";
    Log << std::endl;
  }
  if (Layout == 3 || Layout == 4)
    Log << "-> the schema of layout " << Layout << " types every value xs:string" << std::endl;
  Log << std::endl;
}

} // namespace quillon
