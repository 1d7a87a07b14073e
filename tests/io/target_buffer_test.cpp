#include "io/target_buffer.h"
#include "options/settings.h"
#include "xml/xml_output.h"

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

namespace {

using quillon::TargetBuffer;

// Nothing reaches the sink before a block is full or flush() is called; a full block goes out
// whole, and a piece larger than a block goes out in one piece.
TEST(TargetBuffer, BlocksReachTheSinkWhenFull) {
  std::string Sink;
  TargetBuffer Out(Sink);
  const std::string Line(1000, 'x');
  std::size_t Written = 0;
  while (Written + Line.size() <= TargetBuffer::BlockSize) {
    Out.append(Line);
    Written += Line.size();
  }
  EXPECT_EQ(Sink.size(), 0u);
  Out.append(Line); // does not fit: the block goes first
  EXPECT_EQ(Sink.size(), Written);
  const std::string Large(3 * TargetBuffer::BlockSize + 5, 'L');
  Out.append(Large);
  EXPECT_EQ(Sink.size(), Written + Line.size());
  Out.append('!');
  Out.appendNumber(-9223372036854775807LL - 1);
  Out.appendNumber(0);
  EXPECT_TRUE(Out.flush());
  EXPECT_EQ(Sink, std::string(Written, 'x') + Line + Large + "!-92233720368547758080");
  EXPECT_TRUE(Out.flush()); // nothing left: nothing more
  EXPECT_EQ(Sink.size(), Written + Line.size() + Large.size() + 22);
}

// Writers fill reserved room directly; only what they commit counts.
TEST(TargetBuffer, ReserveAndCommit) {
  std::string Sink;
  TargetBuffer Out(Sink);
  Out.append("ab");
  char* At = Out.reserve(10);
  std::copy_n("cdefghijkl", 10, At);
  Out.commit(At + 3);
  At = Out.reserve(2 * TargetBuffer::BlockSize); // more than a block
  std::fill_n(At, 2 * TargetBuffer::BlockSize, 'z');
  Out.commit(At + 2 * TargetBuffer::BlockSize);
  Out.lineEnd();
  Out.flush();
  EXPECT_EQ(Sink, "abcde" + std::string(2 * TargetBuffer::BlockSize, 'z') + "\n");
}

TEST(TargetBuffer, EachLineAtOnceWhenAsked) {
  std::string Sink;
  TargetBuffer Out(Sink);
  EXPECT_FALSE(Out.flushEachLine());
  Out.append("one");
  Out.lineEnd();
  EXPECT_EQ(Sink, "");
  Out.setFlushEachLine(true);
  Out.append("two");
  EXPECT_EQ(Sink, "");
  Out.lineEnd();
  EXPECT_EQ(Sink, "one\ntwo\n");
}

// A write that fails is remembered, and what follows is dropped.
TEST(TargetBuffer, FailedWrite) {
  const int Fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  ASSERT_GE(Fd, 0);
  {
    TargetBuffer Out(Fd);
    Out.append("text");
    EXPECT_FALSE(Out.failed());
    EXPECT_FALSE(Out.flush());
    EXPECT_TRUE(Out.failed());
    Out.append(std::string(TargetBuffer::BlockSize + 1, 'x'));
    EXPECT_FALSE(Out.flush());
    EXPECT_TRUE(Out.failed());
  }
  ::close(Fd);
  // /dev/full takes nothing
  const int Full = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
  if (Full >= 0) {
    TargetBuffer Out(Full);
    Out.append("x");
    EXPECT_FALSE(Out.flush());
    EXPECT_TRUE(Out.failed());
    ::close(Full);
  }
}

// A file written by the background thread holds exactly what was appended, pieces larger than
// a block and blocks of every fill among them, in order.
TEST(TargetBuffer, BackgroundWritesKeepTheBytes) {
  char Name[] = "/tmp/quillon-target-XXXXXX";
  const int Fd = ::mkstemp(Name);
  ASSERT_GE(Fd, 0);
  std::string Want;
  {
    TargetBuffer Out(Fd);
    Out.writeInBackground();
    const std::size_t Sizes[] = {
        1, TargetBuffer::BlockSize - 1, 2,    3 * TargetBuffer::BlockSize + 5,
        7, TargetBuffer::BlockSize,     4096, TargetBuffer::BlockSize + 1};
    char Fill = 'a';
    for (int Round = 0; Round < 3; ++Round)
      for (const std::size_t Size : Sizes) {
        const std::string Piece(Size, Fill);
        Fill = Fill == 'z' ? 'a' : static_cast<char>(Fill + 1);
        Out.append(Piece);
        Want += Piece;
        if (Size == 7)
          Out.push(); // a block sent before it is full
      }
    EXPECT_TRUE(Out.flush());
    EXPECT_FALSE(Out.failed());
  }
  std::string Got(Want.size() + 1, '\0');
  const ssize_t Read = ::pread(Fd, Got.data(), Got.size(), 0);
  ::close(Fd);
  ::unlink(Name);
  ASSERT_EQ(Read, static_cast<ssize_t>(Want.size()));
  Got.resize(Want.size());
  EXPECT_TRUE(Got == Want);
}

// A run stops at the first failed() check after a failed write. Written at once, the failure is
// known at that check; written in the background, it may become known only later, and then a
// message may be written only if the failed block was sent after the latest check.
TEST(TargetBuffer, LateFailureKeepsWhatMayBeTold) {
  struct sigaction Ignore {};
  struct sigaction Old {};
  Ignore.sa_handler = SIG_IGN;
  ASSERT_EQ(::sigaction(SIGXFSZ, &Ignore, &Old), 0);
  struct rlimit Limit {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &Limit), 0);
  const struct rlimit Small { 65536, Limit.rlim_max };
  for (const bool Background : {false, true})
    for (const bool CheckedAfter : {false, true}) {
      SCOPED_TRACE(::testing::Message() << "background " << Background << ", failed() checked "
                                        << (CheckedAfter ? "after" : "before") << " the push");
      char Name[] = "/tmp/quillon-target-XXXXXX";
      const int Fd = ::mkstemp(Name);
      ASSERT_GE(Fd, 0);
      ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &Small), 0);
      {
        TargetBuffer Out(Fd);
        if (Background) {
          Out.writeInBackground();
        }
        EXPECT_TRUE(Out.mayTell());
        Out.append(std::string(TargetBuffer::BlockSize, 'x'));
        if (!CheckedAfter) {
          EXPECT_FALSE(Out.failed());
        }
        Out.append('y'); // the full block goes, and fails past the limit
        if (CheckedAfter && !Out.failed()) {
          EXPECT_TRUE(Background); // written at once, the failure is known here
          EXPECT_FALSE(Out.mayTell());
        } else {
          EXPECT_EQ(Out.mayTell(), !CheckedAfter || Background);
        }
        EXPECT_TRUE(Out.failed());
        EXPECT_FALSE(Out.mayTell());
        EXPECT_EQ(Out.error(), EFBIG);
        EXPECT_FALSE(Out.flush());
      }
      ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &Limit), 0);
      ::close(Fd);
      ::unlink(Name);
    }
  ::sigaction(SIGXFSZ, &Old, nullptr);
}

// The records are the same bytes whether each line goes out at once (a terminal) or not;
// with each line at once, every record is out before the next is written.
TEST(TargetBuffer, RecordsLineByLine) {
  quillon::resetSettings();
  for (int Mode = 0; Mode <= 4; ++Mode) {
    SCOPED_TRACE(Mode);
    quillon::Settings S;
    S.Mode = Mode;
    S.WriteId = S.WriteNum = true;
    S.SuppressEmpty = Mode == 2;
    const std::vector<std::string_view> Cells{"a<b", "", "c"};
    std::string Documents[2];
    for (int EachLine = 0; EachLine < 2; ++EachLine) {
      std::string& Sink = Documents[EachLine];
      TargetBuffer Out(Sink);
      Out.setFlushEachLine(EachLine == 1);
      quillon::RunCounters Counters;
      quillon::RecordWriter Writer(S, Out, Counters);
      Writer.prepareColumnNames({"x", "y", "z"});
      Writer.writeRecord(1, Cells);
      if (EachLine == 1) {
        EXPECT_FALSE(Sink.empty());
        EXPECT_EQ(Sink.back(), '\n');
      } else {
        EXPECT_TRUE(Sink.empty());
      }
      Writer.writeRecord(2, Cells);
      Out.flush();
    }
    EXPECT_EQ(Documents[0], Documents[1]);
    EXPECT_NE(Documents[0].find("a&lt;b"), std::string::npos) << Documents[0];
  }
}

} // namespace
