#pragma once

#include "fastpath/structure_scan.h"

#include <cstddef>
#include <cstdint>

namespace quillon {

// Switches that only tests turn, so that they can compare the block converter with the line
// by line path, cross read blocks often, and run each level of vector code; a run reads them
// when it starts. The one thing the program writes here is the count of block records.
struct TestSwitches {
  bool BlockConverter = true;
  std::size_t ReadBlockSize = 0; // 0: the reader's own
  ScanLevel Level = bestScanLevel();
  // Records the block converter has written, added up over the runs: tests see that it ran.
  std::int64_t BlockRecords = 0;
};

TestSwitches& testSwitches();

} // namespace quillon
