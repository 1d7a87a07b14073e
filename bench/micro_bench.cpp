// The hot pieces of a conversion, one at a time: splitting a line, escaping a cell,
// transcoding a cell, and one whole record written in layout 1.

#include "csv/csv_parser.h"
#include "encoding/encoding.h"
#include "io/target_buffer.h"
#include "options/settings.h"
#include "xml/xml_escape.h"
#include "xml/xml_names.h"
#include "xml/xml_output.h"

#include <benchmark/benchmark.h>
#include <cstdint>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace quillon {
namespace {

// Twelve cells as the generator writes them: one with accents, one quoted around a separator.
const std::string CleanLine =
    "4711;Peter Berg;65 Meyer Street;Rome;01096;2000-07-09;86553.05;137;eva.meyer@example.com;"
    "old blue steel red large steel called the;retail;blue late blue price box";
const std::string QuotedLine =
    "4712;\"Anna \"\"Nan\"\" Smith\";\"302 Meyer Street; back\";Rome;43015;2022-01-06;7749.96;9;"
    "tom.smith@mail.test;\"price and price; order \"\"check\"\" steel\";store;called small";
const std::string CleanCell = "price and price order check steel late late cafe small";
const std::string DirtyCell = "Smith & Sons <b> say \"hi\" to O'Brien & Q&A";
const std::string AsciiCell = "called small of delivery part with invoice new spare";
const std::string AccentedCell = "Z\xFCrich, Malm\xF6, Besan\xE7on \x84Zitat\x93 \x80 12 cr\xE8me";
const std::string Utf8Cell =
    "Z\xC3\xBCrich, Malm\xC3\xB6, Besan\xC3\xA7on \xE2\x80\x9EZitat\xE2\x80\x9C \xE2\x82\xAC 12";

TCSV_Parser& parserFor12() {
  static TCSV_Parser Parser(100000, false);
  static bool Ready = false;
  if (!Ready) {
    Parser.setDefaults();
    Parser.setSeparators(";");
    Parser.setItemCount(12);
    Ready = true;
  }
  return Parser;
}

void splitLine(benchmark::State& State, const std::string& Line) {
  TCSV_Parser& Parser = parserFor12();
  for (auto _ : State) {
    benchmark::DoNotOptimize(Parser.parseString(Line));
    benchmark::DoNotOptimize(Parser.itemView(11).data());
  }
  State.SetBytesProcessed(static_cast<std::int64_t>(State.iterations() * Line.size()));
}
void BM_SplitCleanLine(benchmark::State& State) { splitLine(State, CleanLine); }
void BM_SplitQuotedLine(benchmark::State& State) { splitLine(State, QuotedLine); }
BENCHMARK(BM_SplitCleanLine);
BENCHMARK(BM_SplitQuotedLine);

void BM_QuotationScan(benchmark::State& State) {
  TCSV_Parser& Parser = parserFor12();
  for (auto _ : State)
    benchmark::DoNotOptimize(Parser.isInQuotation(QuotedLine, true));
  State.SetBytesProcessed(static_cast<std::int64_t>(State.iterations() * QuotedLine.size()));
}
BENCHMARK(BM_QuotationScan);

void appendEscaped(benchmark::State& State, const std::string& Cell) {
  std::string Out;
  Out.reserve(4096);
  for (auto _ : State) {
    Out.clear();
    benchmark::DoNotOptimize(appendEscapedText(Out, Cell));
    benchmark::DoNotOptimize(Out.data());
  }
  State.SetBytesProcessed(static_cast<std::int64_t>(State.iterations() * Cell.size()));
}
void BM_AppendEscapedClean(benchmark::State& State) { appendEscaped(State, CleanCell); }
void BM_AppendEscapedDirty(benchmark::State& State) { appendEscaped(State, DirtyCell); }
BENCHMARK(BM_AppendEscapedClean);
BENCHMARK(BM_AppendEscapedDirty);

// The copying text form, every byte from 0x80 up kept as it is.
void escapeCopy(benchmark::State& State, const std::string& Cell) {
  for (auto _ : State)
    benchmark::DoNotOptimize(escapeXml(Cell, false, false, false));
  State.SetBytesProcessed(static_cast<std::int64_t>(State.iterations() * Cell.size()));
}
void BM_EscapeXmlClean(benchmark::State& State) { escapeCopy(State, CleanCell); }
void BM_EscapeXmlDirty(benchmark::State& State) { escapeCopy(State, DirtyCell); }
BENCHMARK(BM_EscapeXmlClean);
BENCHMARK(BM_EscapeXmlDirty);

template <int (*Convert)(std::string&)>
void transcode(benchmark::State& State, const std::string& Cell) {
  std::string Text;
  Text.reserve(256);
  for (auto _ : State) {
    Text.assign(Cell); // the cell is rewritten in place, so each round starts afresh
    benchmark::DoNotOptimize(Convert(Text));
    benchmark::DoNotOptimize(Text.data());
  }
  State.SetBytesProcessed(static_cast<std::int64_t>(State.iterations() * Cell.size()));
}
void BM_IsoToUtf8Ascii(benchmark::State& State) { transcode<convertIsoToUtf8>(State, AsciiCell); }
void BM_IsoToUtf8Accented(benchmark::State& State) {
  transcode<convertIsoToUtf8>(State, AccentedCell);
}
void BM_Utf8ToIsoAscii(benchmark::State& State) { transcode<convertUtf8ToIso>(State, AsciiCell); }
void BM_Utf8ToIsoAccented(benchmark::State& State) { transcode<convertUtf8ToIso>(State, Utf8Cell); }
BENCHMARK(BM_IsoToUtf8Ascii);
BENCHMARK(BM_IsoToUtf8Accented);
BENCHMARK(BM_Utf8ToIsoAscii);
BENCHMARK(BM_Utf8ToIsoAccented);

// One record of the quoted line, split and written in a layout, to /dev/null.
void writeRecord(benchmark::State& State, bool ToUtf8) {
  resetSettings();
  Settings& S = theSettings();
  S.Mode = static_cast<int>(State.range(0)) - 1;
  S.ConvertDataI2U = ToUtf8;
  const int Fd = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  {
    TargetBuffer Out(Fd);
    RunCounters Counters;
    RecordWriter Writer(S, Out, Counters);
    Writer.prepareColumnNames({"id", "name", "street", "city", "zip", "date", "amount", "qty",
                               "email", "description", "category", "comment"});
    TCSV_Parser& Parser = parserFor12();
    std::vector<std::string_view> Cells(12);
    std::int64_t Number = 0;
    for (auto _ : State) {
      Parser.parseString(QuotedLine);
      for (int I = 0; I < 12; ++I)
        Cells[static_cast<std::size_t>(I)] = Parser.itemView(I);
      Writer.writeRecord(++Number, Cells);
    }
    Out.flush();
  }
  ::close(Fd);
  resetSettings();
  State.SetBytesProcessed(static_cast<std::int64_t>(State.iterations() * QuotedLine.size()));
}
void BM_SplitAndWriteRecord(benchmark::State& State) { writeRecord(State, false); }
void BM_SplitAndWriteRecordUtf8(benchmark::State& State) { writeRecord(State, true); }
BENCHMARK(BM_SplitAndWriteRecord)->Arg(1)->Arg(3)->Arg(5);
BENCHMARK(BM_SplitAndWriteRecordUtf8)->Arg(1);

} // namespace
} // namespace quillon

BENCHMARK_MAIN();
