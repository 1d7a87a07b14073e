#include "encoding/encoding.h"

namespace quillon {

int convertIsoToUtf8(std::string&) { return 0; }
int convertUtf8ToIso(std::string&) { return 0; }
int getBOMEncoding(std::string_view, std::string& Name) {
  Name = "ISO-8859-1";
  return 1;
}
int chooseEncoding(std::string_view, Settings&) { return 0; }

} // namespace quillon
