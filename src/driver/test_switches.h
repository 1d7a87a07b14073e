#pragma once

#include "driver/structure_scan.h"

#include <cstddef>

namespace quillon {

// Switches that only tests turn, so that they can compare the block converter with the line
// by line path, cross read blocks often, and run each level of vector code. The program never
// changes them; a run reads them once, when it starts.
struct TestSwitches {
  bool BlockConverter = true;
  std::size_t ReadBlockSize = 0; // 0: the reader's own
  ScanLevel Level = bestScanLevel();
};

TestSwitches& testSwitches();

} // namespace quillon
