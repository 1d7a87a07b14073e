#include "options/settings.h"
#include "xml/target_buffer.h"
#include "xml/xml_output.h"

#include <algorithm>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <string_view>
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
