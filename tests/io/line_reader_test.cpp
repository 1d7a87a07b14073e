#include "driver/run.h"
#include "io/line_reader.h"

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>
#include <vector>

#if defined(QUILLON_HAVE_ZLIB) && defined(QUILLON_HAVE_ZSTD)
#include <zlib.h>
#include <zstd.h>
#endif

#include <gtest/gtest.h>

namespace {

using quillon::LineReader;
using Result = LineReader::Result;
using namespace std::string_literals;

// Writes Text to a temporary file and hands out a descriptor reading it.
class SourceFile {
public:
  explicit SourceFile(const std::string& Text) {
    std::FILE* File = std::tmpfile();
    std::fwrite(Text.data(), 1, Text.size(), File);
    std::fflush(File);
    Fd = dup(fileno(File));
    std::fclose(File);
    lseek(Fd, 0, SEEK_SET);
  }
  ~SourceFile() { close(Fd); }
  int fd() const { return Fd; }

private:
  int Fd;
};

// Every result and line the reader gives for Text, "!" standing for TooLong; ReadLimit bytes
// at most per read. The padding after the block must read as zeros throughout.
std::vector<std::string> readAll(const std::string& Text, std::size_t ReadLimit = 0,
                                 std::size_t Block = LineReader::BlockSize) {
  SourceFile Source(Text);
  LineReader Reader(Source.fd(), Block);
  if (ReadLimit > 0)
    Reader.setReadLimit(ReadLimit);
  std::vector<std::string> Lines;
  for (;;) {
    std::string_view Line;
    const Result R = Reader.next(Line);
    if (R == Result::End || R == Result::Error)
      break;
    Lines.push_back(R == Result::TooLong ? "!" : std::string(Line));
    const std::string_view Rest = Reader.block();
    if (Rest.data() != nullptr && std::string(Rest.data() + Rest.size(), LineReader::Padding) !=
                                      std::string(LineReader::Padding, '\0'))
      Lines.push_back("padding not zeroed");
  }
  return Lines;
}

TEST(LineReader, CutsLines) {
  const std::string Long(LineReader::MaxLineLength, 'x');
  struct {
    std::string Text;
    std::vector<std::string> Lines;
  } const Cases[] = {
      {"", {}},
      {"a\nb\n", {"a", "b"}},
      {"a\nb", {"a", "b"}}, // a last line without line feed
      {"a\r\nb\r\n", {"a", "b"}},
      {"a\rb\r\r\n", {"a\rb\r"}}, // only the carriage return before the line feed goes
      {"tail\r", {"tail"}},       // a carriage return and no line feed: it ends the line
      {"\n\n", {"", ""}},
      {"a\0b\n"s, {"a\0b"s}},
      {Long + "\n" + Long + "\r\nz", {Long, Long, "z"}},
      {Long + "y\nz\n", {"!", "z"}},
      {Long + "y\r\nz\n", {"!", "z"}},
      {Long + "yy", {"!"}},
      {"a\n" + std::string(3 * LineReader::BlockSize, ';') + "\nb\n", {"a", "!", "b"}},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Text.substr(0, 20));
    EXPECT_EQ(readAll(C.Text), C.Lines);
  }
}

TEST(LineReader, LinesAcrossBlockBoundaries) {
  std::string Text;
  std::vector<std::string> Expected;
  for (int I = 0; Text.size() < 3 * LineReader::BlockSize; ++I) {
    std::string Line(static_cast<std::size_t>(I * 7919 % 5000), static_cast<char>('a' + I % 26));
    Text += Line + (I % 3 ? "\n" : "\r\n");
    Expected.push_back(Line);
  }
  EXPECT_EQ(readAll(Text), Expected);
}

// A regular file read ahead in blocks of every size, whole or in parts: lines of every length up
// to the longest straddle the blocks, ending with a line feed or (judged on the first block) a
// carriage return alone; a block too large for the room left is taken in parts.
TEST(LineReader, ReadAheadBlocksOfEverySize) {
  const struct {
    std::size_t Block, ReadLimit;
    const char* End;
  } Cases[] = {
      {64, 0, "\n"}, {64, 0, "\r"}, {4096, 0, "\r\n"}, {1 << 17, 0, "\r"}, {1 << 19, 20000, "\r"},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(std::to_string(C.Block) + " " + std::to_string(C.ReadLimit) + " " +
                 std::to_string(C.End[0]));
    std::string Text;
    std::vector<std::string> Expected;
    for (std::size_t I = 0; Text.size() < 3 * std::max<std::size_t>(C.Block, 1 << 18); ++I) {
      const std::size_t Length = I % 5 == 4 ? LineReader::MaxLineLength - I % 2 : I * 7919 % 3000;
      Expected.emplace_back(Length, static_cast<char>('a' + I % 26));
      Text += Expected.back() + C.End;
    }
    EXPECT_EQ(readAll(Text, C.ReadLimit, C.Block), Expected);
  }
}

// The block converter goes on with a scan of an earlier block() while refills() is unchanged:
// until then, the bytes it saw stay where they were.
TEST(LineReader, BlockStaysWhileNotRefilled) {
  std::string Text;
  for (std::size_t I = 0; Text.size() < 20000; ++I)
    Text += std::string(I * 37 % 300, static_cast<char>('a' + I % 26)) + "\n";
  for (const std::size_t Block : {64, 97, 4096}) {
    SourceFile Source(Text);
    LineReader Reader(Source.fd(), Block);
    std::string_view Seen;
    std::string Bytes;
    std::uint64_t Refills = 0;
    std::string_view Line;
    std::size_t Lines = 0;
    while (Reader.next(Line) == Result::Line) {
      ++Lines;
      if (Reader.refills() == Refills && !Seen.empty()) {
        ASSERT_EQ(std::string(Seen), Bytes) << "block " << Block << ", line " << Lines;
      }
      Seen = Reader.block();
      Bytes.assign(Seen);
      Refills = Reader.refills();
    }
    EXPECT_GT(Lines, 100u);
  }
}

// The longest line next to the edge between two reads: its line feed (or the carriage return
// before it) the last byte of one read, the first of the next, or just after. One byte more
// makes it too long wherever it falls, and the line after it is read all the same.
TEST(LineReader, LongestLineAtTheEdgeOfARead) {
  constexpr std::size_t Limit = 150000;
  const struct {
    std::size_t Length;
    const char* End;
    int FeedPastEdge; // where the line feed falls: 0 is the first byte of the second read
  } Cases[] = {
      {99999, "\n", -1},  {99999, "\n", 0},    {99999, "\n", 1},     {99999, "\r\n", 0},
      {99999, "\r\n", 1}, {99999, "\r\n", -1}, {99998, "\r\n", 0},   {100000, "\n", 0},
      {100000, "\n", 1},  {100000, "\r\n", 0}, {100000, "\r\n", -1}, {100001, "\n", 0},
  };
  for (const auto& C : Cases) {
    const std::size_t EndLength = std::string(C.End).size();
    // the first line fills up the read, so the feed lands at Limit + FeedPastEdge
    const std::size_t Feed = static_cast<std::size_t>(static_cast<long>(Limit) + C.FeedPastEdge);
    const std::size_t First = Feed - C.Length - EndLength;
    const std::string Line(C.Length, 'x');
    SCOPED_TRACE(std::to_string(C.Length) + (EndLength == 2 ? " CRLF " : " LF ") +
                 std::to_string(C.FeedPastEdge));
    const std::string Text = std::string(First, 'h') + "\n" + Line + C.End + "z\n";
    ASSERT_EQ(Text.find('\n', First + 1), Feed);
    const std::vector<std::string> Expected{
        std::string(First, 'h'), C.Length <= LineReader::MaxLineLength ? Line : "!", "z"};
    EXPECT_EQ(readAll(Text, Limit), Expected);
  }
}

// At the end of a regular file the reader tells whether the file was cut or extended while it
// was read; what counts is the offset reached, as standard input may start further in.
TEST(LineReader, SourceChangedWhileRead) {
  using Change = LineReader::Change;
  std::string Text;
  for (int I = 0; I < 200; ++I)
    Text += "line " + std::to_string(I) + "\n";
  enum class Act { Nothing, Truncate, Append, StartFurtherIn };
  const struct {
    const char* Name;
    Act What;
    Change Expected;
  } Cases[] = {
      {"unchanged", Act::Nothing, Change::None},
      {"truncated after the first read", Act::Truncate, Change::Truncated},
      {"grown after the end", Act::Append, Change::Grown},
      {"read from an offset", Act::StartFurtherIn, Change::None},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Name);
    SourceFile Source(Text);
    if (C.What == Act::StartFurtherIn)
      ::lseek(Source.fd(), 100, SEEK_SET);
    LineReader Reader(Source.fd());
    Reader.setReadLimit(512);
    std::string_view Line;
    ASSERT_EQ(Reader.next(Line), Result::Line);
    if (C.What == Act::Truncate) {
      ASSERT_EQ(::ftruncate(Source.fd(), 300), 0);
    }
    Result R;
    while ((R = Reader.next(Line)) == Result::Line) {
    }
    EXPECT_EQ(R, Result::End);
    if (C.What == Act::Append) {
      ASSERT_EQ(::pwrite(Source.fd(), "more\n", 5, static_cast<off_t>(Text.size())), 5);
    }
    EXPECT_EQ(Reader.sourceChange(), C.Expected);
  }
  // a pipe has no size to compare
  int Ends[2];
  ASSERT_EQ(::pipe(Ends), 0);
  ASSERT_EQ(::write(Ends[1], "a\n", 2), 2);
  ::close(Ends[1]);
  LineReader Reader(Ends[0]);
  std::string_view Line;
  while (Reader.next(Line) == Result::Line) {
  }
  EXPECT_EQ(Reader.sourceChange(), LineReader::Change::None);
  ::close(Ends[0]);
}

// What a reader holds beyond the lines it handed out: the rest of its block, no more.
TEST(LineReader, BufferedIsTheRestOfTheBlock) {
  const std::string Rest = "r1\nr2";
  SourceFile Small("header\r\n" + Rest);
  LineReader Reader(Small.fd());
  EXPECT_EQ(Reader.block(), "");
  std::string_view Line;
  ASSERT_EQ(Reader.next(Line), Result::Line);
  EXPECT_EQ(Line, "header");
  EXPECT_EQ(Reader.block(), Rest);
  ASSERT_EQ(Reader.next(Line), Result::Line);
  EXPECT_EQ(Reader.block(), "r2");
  ASSERT_EQ(Reader.next(Line), Result::Line);
  EXPECT_EQ(Reader.block(), "");

  // a source larger than a block: the first read stops somewhere inside it
  std::string Large = "h\n";
  for (int I = 0; Large.size() < 3 * LineReader::BlockSize; ++I)
    Large += std::to_string(I) + ";x\n";
  SourceFile Big(Large);
  LineReader BigReader(Big.fd());
  ASSERT_EQ(BigReader.next(Line), Result::Line);
  const std::string_view Buffered = BigReader.block();
  EXPECT_GE(Buffered.size(), LineReader::BlockSize - 2);
  EXPECT_LT(Buffered.size(), Large.size() - 2);
  EXPECT_EQ(Buffered, std::string_view(Large).substr(2, Buffered.size()));
}

TEST(LineReader, ReadErrorIsReported) {
  LineReader Reader(-1);
  std::string_view Line;
  EXPECT_EQ(Reader.next(Line), Result::Error);
  // a regular file is read a block ahead: its error comes where the read would have failed
  char Name[] = "/tmp/quillon-reader-XXXXXX";
  const int Fd = ::mkstemp(Name);
  ASSERT_GE(Fd, 0);
  ASSERT_EQ(::write(Fd, "a\nb\n", 4), 4);
  const int WriteOnly = ::open(Name, O_WRONLY);
  ::unlink(Name);
  ::close(Fd);
  ASSERT_GE(WriteOnly, 0);
  LineReader Unreadable(WriteOnly);
  errno = 0; // the error number is the read's, not one left from before
  EXPECT_EQ(Unreadable.next(Line), Result::Error);
  EXPECT_EQ(Unreadable.error(), EBADF);
  EXPECT_EQ(Unreadable.next(Line), Result::Error);
  ::close(WriteOnly);
}

// Blocks read ahead come in order, whole or in the smaller parts a later read asks for.
TEST(LineReader, ReadAheadInSmallerParts) {
  std::string Text;
  std::vector<std::string> Expected;
  for (int I = 0; Text.size() < 20000; ++I) {
    Expected.push_back(std::to_string(I) + std::string(static_cast<std::size_t>(I % 37), 'r'));
    Text += Expected.back() + "\n";
  }
  SourceFile Source(Text);
  LineReader Reader(Source.fd());
  Reader.setReadLimit(4096);
  std::vector<std::string> Lines;
  std::string_view Line;
  while (Lines.size() < 10 && Reader.next(Line) == Result::Line)
    Lines.emplace_back(Line);
  Reader.setReadLimit(1000); // the block read ahead is taken in parts
  while (Reader.next(Line) == Result::Line)
    Lines.emplace_back(Line);
  EXPECT_EQ(Lines, Expected);
  EXPECT_EQ(Reader.sourceChange(), LineReader::Change::None);
}

// Every result and line the reader gives for a pipe written in Pieces, each written once the
// reader has taken the one before, so that reads see them apart; "!" stands for an error.
std::vector<std::string> readPieces(const std::vector<std::string>& Pieces, std::size_t Block) {
  int Ends[2];
  if (::pipe(Ends) != 0)
    return {"no pipe"};
  std::thread Writer([&Pieces, Fd = Ends[1], ReadEnd = Ends[0]] {
    for (const std::string& Piece : Pieces) {
      // however slowly the reader starts, it has read all there was before the next piece
      int Waiting = 1;
      for (int Tries = 0; Tries < 2000 && ::ioctl(ReadEnd, FIONREAD, &Waiting) == 0 && Waiting > 0;
           ++Tries)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      std::this_thread::sleep_for(std::chrono::milliseconds(2)); // and is waiting again
      if (::write(Fd, Piece.data(), Piece.size()) != static_cast<ssize_t>(Piece.size()))
        break;
    }
    ::close(Fd);
  });
  std::vector<std::string> Lines;
  {
    LineReader Reader(Ends[0], Block);
    std::string_view Line;
    Result R;
    while ((R = Reader.next(Line)) != Result::End) {
      Lines.push_back(R == Result::Line ? std::string(Line) : "!");
      if (R == Result::Error)
        break;
    }
  }
  Writer.join();
  ::close(Ends[0]);
  return Lines;
}

// Lines end at a carriage return alone when the first block (8 bytes here) holds one and no
// line feed; a short first read is not the first block.
TEST(LineReader, LineEndsJudgedOnTheFirstBlock) {
  const struct {
    std::vector<std::string> Pieces;
    std::vector<std::string> Lines;
  } Cases[] = {
      {{"a\r", "\nb\r\n"}, {"a", "b"}},
      {{"a\r", "b\r", "\"c\rd\"\r"}, {"a", "b", "\"c", "d\""}},
      {{"h\r12345", "6789\r12", "\rz"}, {"h", "123456789", "12", "z"}},
      {{"1234567\r", "b\n"}, {"1234567", "b"}}, // a full block decides
      {{"123456\r", "b\n"}, {"123456\rb"}},
      {{"12345678", "\rb\r"}, {"12345678\rb\r"}},
      {{"a\r"}, {"a"}},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Pieces[0]);
    EXPECT_EQ(readPieces(C.Pieces, 8), C.Lines);
  }
}

#if defined(QUILLON_HAVE_ZLIB) && defined(QUILLON_HAVE_ZSTD)
std::string gzipped(std::string Text) {
  z_stream Z{};
  std::string Out(Text.size() + 64, '\0');
  deflateInit2(&Z, 6, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
  Z.next_in = reinterpret_cast<Bytef*>(Text.data());
  Z.avail_in = static_cast<uInt>(Text.size());
  Z.next_out = reinterpret_cast<Bytef*>(Out.data());
  Z.avail_out = static_cast<uInt>(Out.size());
  deflate(&Z, Z_FINISH);
  Out.resize(Z.total_out);
  deflateEnd(&Z);
  return Out;
}

std::string zstdFrame(const std::string& Text) {
  std::string Out(ZSTD_compressBound(Text.size()), '\0');
  Out.resize(ZSTD_compress(Out.data(), Out.size(), Text.data(), Text.size(), 3));
  return Out;
}

// The format is judged once enough bytes came to tell it, however few the first read brings;
// what the decompressors hand out is cut into lines like any source.
TEST(LineReader, CompressedSourcesInPieces) {
  const std::string Gz = gzipped("a;b\n1;2\n");
  const std::string Zs = zstdFrame("a;b\n1;2\n");
  const std::vector<std::string> Twice{"a;b", "1;2", "a;b", "1;2"};
  const struct {
    const char* Name;
    std::vector<std::string> Pieces;
    std::vector<std::string> Lines;
  } Cases[] = {
      {"two gzip members", {Gz.substr(0, 1), Gz.substr(1, 1), Gz.substr(2) + Gz}, Twice},
      {"two zstd frames", {Zs.substr(0, 3), Zs.substr(3, 2), Zs.substr(5) + Zs}, Twice},
      {"zstd cut in its header", {Zs.substr(0, 6)}, {"!"}},
      {"text that begins like bzip2", {"B", "Zh", "9\n"}, {"BZh9"}},
      {"the first gzip byte alone", {"\x1f"}, {"\x1f"}},
      {"xz",
       {"\xfd"
        "7zXZ",
        std::string(1, '\0')},
       {"!"}},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Name);
    EXPECT_EQ(readPieces(C.Pieces, 64), C.Lines);
  }
}
#endif

TEST(TargetName, DerivedFromSource) {
  struct {
    const char* Source;
    const char* Target;
  } const Cases[] = {
      {"data.csv", "data.xml"},
      {"a.b.csv", "a.b.xml"},
      {"data", "data.xml"},
      {"dir.old/data", "dir.old/data.xml"},
      {"c:\\in.d\\data", "c:\\in.d\\data.xml"},
      {"c:\\in.d\\x.csv", "c:\\in.d\\x.xml"},
      {"a\\b.c/d", "a\\b.c/d.xml"},
      {".hidden", ".xml"},
      {"dir/.csv", "dir/.xml"},
      {"x.", "x.xml"},
      {"data.csv.gz", "data.xml"},
      {"data.csv.zst", "data.xml"},
      {"data.gz", "data.xml"},
      {"dir.gz/data", "dir.gz/data.xml"},
      {".gz", ".xml"},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Source);
    EXPECT_EQ(quillon::deriveTargetName(C.Source), C.Target);
  }
}

} // namespace

namespace {

// reach() from a byte of a line, the longest line before it or none: the line and the bytes after
// it stay whole wherever the buffer moves them, and the next lines come out as they would have.
TEST(LineReader, ReachesAheadOfALine) {
  const std::string Pad(LineReader::MaxReach, 'p');
  for (const std::size_t Before : {std::size_t{0}, LineReader::MaxLineLength - 5}) {
    SCOPED_TRACE(Before);
    const std::string Line = std::string(Before, 'q') + "ab";
    SourceFile Source("head\n" + Line + "\xC3\xA9\n" + Pad + "\nlast");
    LineReader Reader(Source.fd(), 64);
    std::string_view Got;
    ASSERT_EQ(Reader.next(Got), Result::Line);
    ASSERT_EQ(Reader.next(Got), Result::Line);
    // never more than the most
    const std::string_view Held = Reader.reach(Got.data() + Line.size(), 2 * LineReader::MaxReach);
    EXPECT_EQ(Held.size(), LineReader::MaxReach);
    EXPECT_EQ(std::string(Held.substr(0, 4)), "\xC3\xA9\np");
    EXPECT_EQ(std::string(Held.data() - Line.size(), Line.size()), Line);
    ASSERT_EQ(Reader.next(Got), Result::Line);
    EXPECT_EQ(Got, Pad);
    ASSERT_EQ(Reader.next(Got), Result::Line);
    EXPECT_EQ(Got, "last");
  }
}

} // namespace
