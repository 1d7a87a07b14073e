#pragma once

// The room options/: the settings record, the option walk, configuration files, usage and
// version texts. It may use base/ and, for alias names, the name rules of xml/.

#include "options/settings.h"

#include <string>
#include <vector>

namespace quillon {

// collectOptions returns this when the run goes on; any other value is the exit status.
constexpr int ContinueRun = -1;

// Walks the arguments (without the program name) in order, filling Settings. Reports every
// problem before it gives up; prints the banner or usage text for -V and -?.
int collectOptions(const std::vector<std::string>& Arguments, Settings& S);
// One option text, from the command line or a configuration file. False when rejected; it
// may have printed a message of its own, the caller adds the line naming the option.
bool checkOption(const std::string& Option, Settings& S);
// Applies a file's option lines in order. False when the file is missing or empty, cannot
// be read, or holds a rejected line; every other line is applied all the same.
bool readConfigFile(const std::string& Name, Settings& S);
// The reading part of readConfigFile, on a file it opened (Fd -1: the open failed); Name is
// for the messages. Apart so that tests can hand in a descriptor that fails.
bool readConfigDescriptor(const std::string& Name, int Fd, Settings& S);
// Forms the alias names given with -alias: (all but aID) again from their texts, each text
// first rewritten by Convert.
void reformAliasNames(Settings& S, int (*Convert)(std::string&));
// Removes surrounding spaces, then surrounding tabs.
void trimBlanks(std::string& Text);

// False when the text could not be written (errno tells why).
bool printUsage();   // standard output
bool printVersion(); // standard error
// --version: the banner and the licence line, on standard output.
bool printVersionAndLicence();
// The name of a control character or the space, else the byte itself.
std::string getSeparatorName(unsigned char Byte);

} // namespace quillon
