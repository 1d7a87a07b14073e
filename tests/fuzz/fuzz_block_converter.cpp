// The whole conversion in-process, twice: line by line, and with the block converter reading in
// small blocks. Documents, messages and exit statuses must be the same. Input: one byte that
// picks the read size, the level of vector code and, from 192 up, -rfc4180; then option lines
// up to the first empty line, then the source.
#include "driver/run.h"
#include "fastpath/structure_scan.h"
#include "fastpath/test_switches.h"
#include "fuzz_support.h"
#include "options/options.h"
#include "options/settings.h"
#include "whole_run.h"

#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace {
using quillon::fuzz::check;
using quillon::fuzz::shown;

constexpr const char* Target = "block_converter";

using quillon::wholerun::Outcome;
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  if (Size == 0)
    return 0;
  const unsigned Pick = Data[0];
  const std::string_view Input(reinterpret_cast<const char*>(Data) + 1, Size - 1);
  const std::string& Directory = quillon::fuzz::scratchDirectory();
  const std::string SourceFile = Directory + "/source.csv";
  const std::string TargetFile = Directory + "/target.xml";
  // The source and target are ours; options that name others, or configuration files, are not
  // taken.
  std::vector<std::string> Arguments;
  const std::string_view Source = quillon::fuzz::splitOptions(Input, Arguments, true);
  Arguments.push_back("-s:" + SourceFile);
  Arguments.push_back("-t:" + TargetFile);
  const bool Rfc4180 = Pick >= 192;
  if (Rfc4180)
    Arguments.push_back("-rfc4180");
  const unsigned Level = Rfc4180 ? Pick % 3 : Pick / 64 % 3;
  check(quillon::fuzz::writeFile(SourceFile, Source), Target, "cannot write the source");

  quillon::TestSwitches& Switches = quillon::testSwitches();
  const quillon::TestSwitches Saved = Switches;
  // both ways read the same blocks; the source's first byte from 0x80 up decides its reading
  Switches.ReadBlockSize = 1 + Pick % 64 * 13; // 1 to 820 bytes: blocks end everywhere
  Switches.BlockConverter = false;
  const Outcome Expected = quillon::wholerun::run(Arguments, TargetFile);
  Switches.BlockConverter = true;
  Switches.Level = quillon::usableScanLevel(static_cast<quillon::ScanLevel>(Level));
  const Outcome Got = quillon::wholerun::run(Arguments, TargetFile);
  Switches = Saved;

  const std::string Case = "\nread size " + std::to_string(1 + Pick % 64 * 13) + ", level " +
                           std::to_string(Level) + (Rfc4180 ? ", -rfc4180" : "") +
                           "\ninput: " + shown(Source.substr(0, 600));
  check(Got.Status == Expected.Status, Target,
        "status " + std::to_string(Got.Status) + ", line by line " +
            std::to_string(Expected.Status) + Case);
  check(Got.Messages == Expected.Messages, Target,
        "messages differ:\n" + shown(Got.Messages.substr(0, 600)) + "\nline by line:\n" +
            shown(Expected.Messages.substr(0, 600)) + Case);
  check(Got.Document == Expected.Document, Target,
        "documents differ:\n" + shown(Got.Document.substr(0, 1500)) + "\nline by line:\n" +
            shown(Expected.Document.substr(0, 1500)) + Case);
  return 0;
}
