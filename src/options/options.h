#pragma once

#include <string>
#include <vector>

#include "options/settings.h"

namespace quillon {

// collectOptions returns this when the run goes on; any other value is the exit status.
constexpr int ContinueRun = -1;

// Walks the arguments (without the program name) in order, filling Settings. Reports every
// problem before it gives up; prints the banner or usage text for -V and -?.
int collectOptions(const std::vector<std::string>& Arguments, Settings& S);
bool checkOption(const std::string& Option, Settings& S);
bool readConfigFile(const std::string& Name, Settings& S);
void trimBlanks(std::string& Text);

void printUsage();
void printVersion();
std::string getSeparatorName(unsigned char Byte);

} // namespace quillon
