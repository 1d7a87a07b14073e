#include "driver/report.h"

namespace quillon {

void writeSettingsReport(const Settings&, std::ostream&) {}
void writeClosingReport(const RunCounters&, std::time_t, std::ostream&) {}

} // namespace quillon
