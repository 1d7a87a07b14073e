#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

namespace quillon {

// The vector code a scan runs: 8-byte words anywhere, SSE2 on every x86-64, AVX2 where the
// processor has it.
enum class ScanLevel { Words = 0, Sse2 = 1, Avx2 = 2 };

// The best level this processor runs.
ScanLevel bestScanLevel();
// Level, or the best one below it that this processor runs.
ScanLevel usableScanLevel(ScanLevel Level);

// Finds the structure of a stretch of CSV text 64 bytes (a window) at a time: quotation
// marks, line feeds, separators outside quotation, and the bytes that need care in a cell (any
// byte but printable ASCII other than & < > " ', and, when HighClean, 0xA0 to 0xFF).
//
// Its output is a list of the structural bytes, each a separator outside quotation or a line
// feed, in order. An entry is flagged Special when it is a line feed, or when the cell that
// ends there (from the structural byte before it) holds a byte that needs care; whether a line
// feed lies inside quotation can be asked. The quotation parity starts even at the stretch's
// start.
class StructureScan {
public:
  static constexpr std::size_t MaxSeparators = 6;
  static constexpr std::uint32_t Special = 1u << 31;
  static constexpr std::uint32_t OffsetBits = Special - 1;
  // The masks of this many windows stay readable behind the newest one.
  static constexpr std::size_t KeptWindows = 2048;
  static constexpr std::size_t MaxBatch = 64; // windows per scan() call

  // Separators: 1 to MaxSeparators distinct bytes, none of them '"', '\r' or '\n'.
  StructureScan(std::string_view Separators, bool HighClean, ScanLevel Level);
  StructureScan(const StructureScan&) = delete;
  StructureScan& operator=(const StructureScan&) = delete;

  // A new stretch; the 64 bytes after its end must be readable. At most OffsetBits bytes.
  void start(const char* Data, std::size_t Size);
  // Scans up to Windows more windows (at most MaxBatch); returns the structural bytes found,
  // which stay valid until the next call. Empty once the stretch is scanned.
  const std::uint32_t* scan(std::size_t Windows, std::size_t& Count);
  bool finished() const { return Scanned >= Size; }

  // Whether [From, To) (offsets into the stretch, scanned and less than KeptWindows windows
  // behind) holds a quotation mark, or a byte that needs care.
  bool anyQuote(std::size_t From, std::size_t To) const { return anyIn(Quotes.get(), From, To); }
  bool anyCare(std::size_t From, std::size_t To) const { return anyIn(Cares.get(), From, To); }
  // The bytes needing care (or the quotation marks) in window Window (offset / 64; scanned, and
  // less than KeptWindows windows behind), bit i for byte i.
  std::uint64_t careBits(std::size_t Window) const { return Cares[Window % KeptWindows]; }
  std::uint64_t quoteBits(std::size_t Window) const { return Quotes[Window % KeptWindows]; }
  // Whether the line feed at At lies inside quotation.
  bool quotedFeed(std::size_t At) const {
    return (QuotedFeeds[At / 64 % KeptWindows] >> (At % 64) & 1) != 0;
  }

  ScanLevel level() const { return Level; }

  // One window's masks, bit i for byte i; the kernels fill them.
  struct Masks {
    std::uint64_t Quote;
    std::uint64_t Feed;
    std::uint64_t Separator;
    std::uint64_t Care;
  };
  // The byte sets, in the forms the kernels use.
  struct Sets {
    std::array<unsigned char, MaxSeparators> Separators; // repeated to fill the slots
    std::size_t SeparatorSlots;                          // 2 or MaxSeparators
    bool HighClean;
  };

private:
  static bool anyIn(const std::uint64_t* Ring, std::size_t From, std::size_t To) {
    if (From >= To)
      return false;
    const std::size_t First = From / 64;
    const std::size_t Last = (To - 1) / 64;
    const std::uint64_t Head = ~0ULL << (From % 64);
    const std::uint64_t Tail = ~0ULL >> (63 - (To - 1) % 64);
    if (First == Last)
      return (Ring[First % KeptWindows] & Head & Tail) != 0;
    if ((Ring[First % KeptWindows] & Head) != 0)
      return true;
    for (std::size_t W = First + 1; W < Last; ++W)
      if (Ring[W % KeptWindows] != 0)
        return true;
    return (Ring[Last % KeptWindows] & Tail) != 0;
  }

  Sets Bytes{};
  ScanLevel Level;
  const char* Data = nullptr;
  std::size_t Size = 0;
  std::size_t Scanned = 0;                 // a multiple of 64 until the end
  std::uint64_t InsideCarry = 0;           // all ones while the quotation is open at a window's end
  std::uint64_t DirtyCarry = 0;            // 1 while a cell that holds a byte needing care goes on
  std::unique_ptr<std::uint64_t[]> Quotes; // per window, KeptWindows of them in a ring
  std::unique_ptr<std::uint64_t[]> Cares;
  std::unique_ptr<std::uint64_t[]> QuotedFeeds;
  std::unique_ptr<std::uint32_t[]> Found; // the structural bytes of the last scan() call
};

} // namespace quillon
