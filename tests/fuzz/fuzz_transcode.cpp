// The transcoders and the byte-order-mark check on arbitrary bytes.
#include "encoding/encoding.h"
#include "fuzz_support.h"
#include "options/settings.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {
using quillon::fuzz::check;
using quillon::fuzz::shown;

constexpr const char* Target = "transcode";
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  quillon::fuzz::QuietStreams Quiet;
  const std::string In(reinterpret_cast<const char*>(Data), Size);

  int High = 0;
  for (const char C : In)
    High += static_cast<unsigned char>(C) >= 0x80 ? 1 : 0;

  std::string Utf8 = In;
  const int Up = quillon::convertIsoToUtf8(Utf8);
  check(Up == High, Target,
        "convertIsoToUtf8 counted " + std::to_string(Up) + " of " + std::to_string(High) +
            " bytes from 0x80 in " + shown(In));
  check(quillon::fuzz::isValidUtf8(Utf8), Target,
        "convertIsoToUtf8 of " + shown(In) + " is no UTF-8: " + shown(Utf8));
  std::string Back = Utf8;
  const int Down = quillon::convertUtf8ToIso(Back);
  check(Back == In, Target, "round trip of " + shown(In) + " gives " + shown(Back));
  check(Down == Up, Target,
        "round trip counts " + std::to_string(Up) + " and " + std::to_string(Down) + " for " +
            shown(In));

  std::string Narrow = In;
  const int Count = quillon::convertUtf8ToIso(Narrow);
  check(Narrow.size() <= In.size(), Target, "convertUtf8ToIso lengthened " + shown(In));
  check(Count >= 0 && Count <= High, Target,
        "convertUtf8ToIso counted " + std::to_string(Count) + " for " + shown(In));

  std::string Name;
  const int Kind = quillon::getBOMEncoding(In, Name);
  check(Kind >= 1 && Kind <= 6 && !Name.empty(), Target, "mark kind " + std::to_string(Kind));
  const bool Utf8Mark = In.compare(0, 3, "\xEF\xBB\xBF") == 0;
  check((Kind == 2) == Utf8Mark, Target, "UTF-8 mark of " + shown(In) + " not told");

  for (const bool Utf8Output : {false, true}) {
    quillon::Settings S;
    S.Encoding = Utf8Output ? quillon::EncodingUtf8 : quillon::EncodingIso;
    S.OutputUTF8 = Utf8Output;
    S.VerboseMode = true;
    S.ConvertI2U = S.ConvertU2I = true;
    S.StyleList = S.NamespaceURI = S.SourceName = S.eRoot = In;
    const int Skip = quillon::chooseEncoding(In, S, false);
    check(Skip == (Kind >= 3   ? -1
                   : Kind == 2 ? 3
                               : 0),
          Target,
          "chooseEncoding skips " + std::to_string(Skip) + " for mark kind " +
              std::to_string(Kind));
    check(!(S.ConvertDataI2U && S.ConvertDataU2I), Target, "both data directions chosen");
  }
  return 0;
}
