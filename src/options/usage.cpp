#include "options/options.h"

namespace quillon {

void printUsage() {}
void printVersion() {}
std::string getSeparatorName(unsigned char Byte) { return std::string(1, static_cast<char>(Byte)); }

} // namespace quillon
