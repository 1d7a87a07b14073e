#!/usr/bin/env bash
# names_readers_test.sh BINARY: header cells and aliases that make awkward names (':' in every
# place, "xml" and "xmlns", characters only the fifth edition of XML 1.0 allows in names, markup)
# in every layout, from UTF-8 and Windows-1252 sources into both document encodings, without a
# namespace prefix and with one (p, or xml, which XML binds itself). Every document must be clean
# for libxml2 with its namespace checks and, when python3 is there, for expat reading namespaces;
# the names that can stay must stay.
set -u
Bin=$(realpath "$1") && [ -x "$Bin" ] || { echo "no binary: $1"; exit 1; }
Work=$(mktemp -d) && trap 'rm -rf "$Work"' EXIT
cd "$Work" || exit 1
export TZ=UTC
Fail=0
fail() { echo "FAIL: $*"; Fail=1; }
command -v xmllint >/dev/null || { echo "SKIP: no xmllint"; exit 0; }
HavePython=0
command -v python3 >/dev/null && python3 -c 'import xml.parsers.expat' 2>/dev/null && HavePython=1

cat >expat_ns.py <<'EOF'
import sys, xml.parsers.expat as Expat
Failed = False
for Name in sys.argv[1:]:
    Parser = Expat.ParserCreate(namespace_separator=" ")
    try:
        with open(Name, "rb") as File:
            Parser.ParseFile(File)
    except Expat.ExpatError as Error:
        print("FAIL: %s: expat: %s" % (Name, Error))
        Failed = True
sys.exit(1 if Failed else 0)
EOF

# Names of every kind; the xml:id values are distinct names, so that they are valid IDs.
Utf8Header='Time (h:m);ns:col;xml:id;xml:lang;:a;b:;p:x;p::y;q:;xml:1;xmlns;xmlns:q;XML:z;xmlfoo;Größe;名前;Ελλάδα;€;™;×;ˆ;˜;1st;-x;a&b;a<b>;·x;e'$'\xcc\x81'';'$'\xcc\x81''e;😀;;Œuvre;Šibenik;µ'
# the same without the characters Windows-1252 lacks
AnsiHeader='Time (h:m);ns:col;xml:id;xml:lang;:a;b:;p:x;p::y;q:;xml:1;xmlns;xmlns:q;XML:z;xmlfoo;Größe;€;™;×;ˆ;˜;1st;-x;a&b;a<b>;·x;;Œuvre;Šibenik;µ;ª;¿'
rows() { # COLUMNS: two records, every cell a distinct name
  local R C Line
  for R in 1 2; do
    Line=
    for ((C = 1; C <= $1; ++C)); do Line+="${Line:+;}r${R}c$C"; done
    printf '%s\n' "$Line"
  done
}
columns() { awk -F';' '{ print NF; exit }' <<<"$1"; }
{ printf '\xEF\xBB\xBF%s\n' "$Utf8Header"; rows "$(columns "$Utf8Header")"; } >utf8.csv
{ printf '%s\n' "$AnsiHeader"; rows "$(columns "$AnsiHeader")"; } | iconv -f UTF-8 -t CP1252 >ansi.csv ||
  fail "the Windows-1252 source cannot be written"

# View: the document just written, read as UTF-8
has() { # NAME TEXT...: the document holds each text
  local Name=$1 Text
  shift
  for Text in "$@"; do [[ $View == *"$Text"* ]] || fail "$Name: no $Text"; done
}
lacks() { # NAME TEXT...
  local Name=$1 Text
  shift
  for Text in "$@"; do [[ $View == *"$Text"* ]] && fail "$Name: holds $Text"; done
}

Aliases='-alias:eRecord=p:rec,eItem=xml:it,aName=p:n,aValue=xml:v,aSource=xmlns,aDT=xmlns:d,aNum=p:num'
mkdir docs
for Source in utf8 ansi; do
  for Encoding in UTF-8 ISO-8859-1; do
    for Prefix in none p xml; do
      for Layout in 1 2 3 4 5; do
        for Alias in no yes; do
          Name="$Source-$Encoding-$Prefix-$Layout-$Alias"
          Doc=docs/$Name.xml
          Args=(-s:$Source.csv -t:$Doc -e:$Encoding -m:$Layout)
          [ "$Prefix" != none ] && Args+=(-xmlns:$Prefix=urn:x)
          [ "$Alias" = yes ] && Args+=("$Aliases")
          "$Bin" "${Args[@]}" 2>err
          Status=$?
          [ "$Status" = 0 ] || { fail "$Name: exit $Status: $(head -c 300 err)"; continue; }
          if [ "$Encoding" = UTF-8 ]; then View=$(<"$Doc"); else View=$(iconv -f ISO-8859-1 -t UTF-8 "$Doc"); fi
          # the prefix xml is bound already: it is declared as _xml
          case $Prefix in none) Q= ;; p) Q=p: ;; xml) Q=_xml: ;; esac
          case $Layout in
          1 | 2)
            has "$Name" "<${Q}ns_col" "<${Q}_xml_id" "<${Q}_xml_lang" "<${Q}p_x" "<${Q}_xmlns" \
              "<${Q}Größe" "<${Q}_1st" "<${Q}a_amp_b" "<${Q}a_lt_b_gt_" "<${Q}column_"
            [ "$Encoding" = UTF-8 ] && has "$Name" "<${Q}Œuvre" "<${Q}Šibenik"
            has "$Name" "<${Q}_·x"
            [ "$Encoding" = UTF-8 ] && [ "$Source" = utf8 ] &&
              has "$Name" "<${Q}名前" "<${Q}Ελλάδα" "<${Q}e"$'\xcc\x81' "<${Q}_"$'\xcc\x81'e
            ;;
          3 | 4) # the names are attribute values, kept as they are
            has "$Name" '="p:x"' '="xml:id"' '="Größe"' '="a&amp;b"'
            [ "$Encoding" = UTF-8 ] && has "$Name" '="€"' '="ˆ"'
            ;;
          5)
            has "$Name" ' xml:id="r1c3"' ' xml:lang="r1c4"' ' ns_col="' ' _xmlns="' \
              ' xmlns_q="' ' Größe="' ' xml_1="'
            if [ "$Prefix" = p ]; then has "$Name" ' p:x="' ' p:_y="'; else has "$Name" ' p_x="' ' p__y="'; fi
            ;;
          esac
          if [ "$Alias" = yes ]; then
            has "$Name" "<${Q}p_rec" ' _xmlns="' ' xmlns_d="'
            if [ "$Prefix" = p ]; then has "$Name" ' p:num="1"'; else has "$Name" ' p_num="1"'; fi
            case $Layout in 3 | 4) has "$Name" "<${Q}_xml_it" ;; esac
          fi
          # characters that the earlier editions of XML 1.0 do not allow in names
          case $Layout in 3 | 4) ;; *) lacks "$Name" '<€' '€="' '<™' '™="' '<ˆ' 'ˆ="' '<˜' '˜="' '<😀' '😀="' ;; esac
        done
      done
    done
  done
done

# the prefixes that a schema location and XML itself bind
for Prefix in xsi xmlns; do
  Doc=docs/schema-$Prefix.xml
  "$Bin" -s:utf8.csv -t:$Doc -e:UTF-8 -m:5 -xsd:s.xsd -xmlns:$Prefix=urn:x 2>err ||
    fail "schema, prefix $Prefix: exit $?: $(head -c 300 err)"
  View=$(<"$Doc")
  has "schema, prefix $Prefix" "<_$Prefix:csv_data_records" ' xmlns:xsi="' " xmlns:_$Prefix=\"urn:x\""
done

# namespace errors leave xmllint's status alone: every message counts
xmllint --noout docs/*.xml 2>xmllint.err || fail "libxml2 refuses a document"
[ -s xmllint.err ] && fail "libxml2: $(head -c 2000 xmllint.err)"
if [ "$HavePython" = 1 ]; then
  python3 expat_ns.py docs/*.xml || Fail=1
else
  echo "SKIP: no python3 with expat: only libxml2 checked"
fi
[ "$Fail" = 0 ] && echo "names_readers: all checks passed"
exit $Fail
