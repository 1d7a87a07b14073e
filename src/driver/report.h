#pragma once

#include <ctime>
#include <ostream>

#include "options/settings.h"
#include "xml/xml_output.h"

namespace quillon {

void writeSettingsReport(const Settings& S, std::ostream& Log);
void writeClosingReport(const RunCounters& Counters, std::time_t StartTime, std::ostream& Log);

} // namespace quillon
