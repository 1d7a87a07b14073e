#include "options/settings.h"

namespace quillon {

namespace {
Settings TheSettings;
} // namespace

Settings& theSettings() { return TheSettings; }

void resetSettings() { TheSettings = Settings(); }

const char* getModeName(int Mode) {
  switch (Mode) {
  case 0:
    return "Elements with Element Context (default)";
  case 1:
    return "Elements with Attributes";
  case 2:
    return "Attributes with Element Context";
  case 3:
    return "Attributes with Attribute Context";
  case 4:
    return "Attributes with Values";
  default:
    return "Unkown ?";
  }
}

} // namespace quillon
