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
// What it finds stays as masks, one word per window and kind, bit i for byte i, in rings that
// keep the last KeptWindows windows: the structural bytes (each a separator outside quotation
// or a line feed), the special ones among them (a line feed, or a structural byte that ends a
// cell, from the structural byte before it, holding a byte that needs care), the line feeds,
// the quotation marks, the bytes needing care, and the line feeds inside quotation. The
// quotation parity starts even at the stretch's start.
class StructureScan {
public:
  static constexpr std::size_t MaxSeparators = 6;
  // The masks of this many windows stay readable behind the newest one (a power of two).
  static constexpr std::size_t KeptWindows = 2048;
  static constexpr std::size_t MaxBatch = 64; // windows per scan() call
  static_assert((KeptWindows & (KeptWindows - 1)) == 0);

  // Separators: 1 to MaxSeparators distinct bytes, none of them '"', '\r' or '\n'.
  StructureScan(std::string_view Separators, bool HighClean, ScanLevel Level);
  StructureScan(const StructureScan&) = delete;
  StructureScan& operator=(const StructureScan&) = delete;

  // A new stretch; the 64 bytes after its end must be readable.
  void start(const char* Data, std::size_t Size);
  // Scans up to Windows more windows (at most MaxBatch); nothing once the stretch is scanned.
  void scan(std::size_t Windows);
  bool finished() const { return Scanned >= Size; }
  // The bytes scanned from the stretch's start: whole windows, the last one clipped.
  std::size_t scanned() const { return Scanned; }

  // A window's masks (Window = offset / 64; scanned, and less than KeptWindows windows behind
  // the newest), bit i for byte i.
  std::uint64_t structuralBits(std::size_t Window) const { return Structurals[slot(Window)]; }
  std::uint64_t specialBits(std::size_t Window) const { return Specials[slot(Window)]; }
  std::uint64_t feedBits(std::size_t Window) const { return Feeds[slot(Window)]; }
  std::uint64_t careBits(std::size_t Window) const { return Cares[slot(Window)]; }
  std::uint64_t quoteBits(std::size_t Window) const { return Quotes[slot(Window)]; }
  // The rings themselves, for a walk that keeps them in registers: window W is at slot(W).
  const std::uint64_t* structuralRing() const { return Structurals.get(); }
  const std::uint64_t* specialRing() const { return Specials.get(); }
  static std::size_t slot(std::size_t Window) { return Window % KeptWindows; }

  // Whether [From, To) (offsets into the stretch, scanned and less than KeptWindows windows
  // behind) holds a quotation mark, or a byte that needs care.
  bool anyQuote(std::size_t From, std::size_t To) const { return anyIn(Quotes.get(), From, To); }
  bool anyCare(std::size_t From, std::size_t To) const { return anyIn(Cares.get(), From, To); }
  // The bits of window W's mask Bits that mark bytes inside [From, To).
  static std::uint64_t within(std::uint64_t Bits, std::size_t W, std::size_t From, std::size_t To) {
    if (W == From / 64)
      Bits &= ~0ULL << (From % 64);
    if (W == (To - 1) / 64)
      Bits &= ~0ULL >> (63 - (To - 1) % 64);
    return Bits;
  }
  // Whether [From, To) (as above) holds an odd number of quotation marks.
  bool oddQuotes(std::size_t From, std::size_t To) const {
    unsigned Parity = 0;
    for (std::size_t W = From / 64; From < To && W <= (To - 1) / 64; ++W)
      Parity ^= static_cast<unsigned>(__builtin_popcountll(within(Quotes[slot(W)], W, From, To)));
    return (Parity & 1) != 0;
  }
  // Whether the line feed at At lies inside quotation.
  bool quotedFeed(std::size_t At) const {
    return (QuotedFeeds[slot(At / 64)] >> (At % 64) & 1) != 0;
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
      return (Ring[slot(First)] & Head & Tail) != 0;
    if ((Ring[slot(First)] & Head) != 0)
      return true;
    for (std::size_t W = First + 1; W < Last; ++W)
      if (Ring[slot(W)] != 0)
        return true;
    return (Ring[slot(Last)] & Tail) != 0;
  }

  Sets Bytes{};
  ScanLevel Level;
  const char* Data = nullptr;
  std::size_t Size = 0;
  std::size_t Scanned = 0;       // a multiple of 64 until the end
  std::uint64_t InsideCarry = 0; // all ones while the quotation is open at a window's end
  std::uint64_t DirtyCarry = 0;  // 1 while a cell that holds a byte needing care goes on
  // per window, KeptWindows of them in a ring
  std::unique_ptr<std::uint64_t[]> Structurals;
  std::unique_ptr<std::uint64_t[]> Specials;
  std::unique_ptr<std::uint64_t[]> Feeds;
  std::unique_ptr<std::uint64_t[]> Quotes;
  std::unique_ptr<std::uint64_t[]> Cares;
  std::unique_ptr<std::uint64_t[]> QuotedFeeds;
};

} // namespace quillon
