#pragma once

#include "options/settings.h"
#include "xml/xml_output.h"

#include <ctime>
#include <ostream>

namespace quillon {

// The settings of the run, written before anything is opened.
void writeSettingsReport(const Settings& S, std::ostream& Log);
// Ends the line of progress dots, then "Ready" and the statistics; the conversion time is
// counted in whole seconds from StartTime.
void writeClosingReport(const RunCounters& Counters, std::time_t StartTime, std::ostream& Log);

} // namespace quillon
