#include "base/fd_io.h"
#include "io/target_buffer.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <string>
#include <thread>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

using quillon::readSome;
using quillon::writeAll;

// A pipe whose ends close with the test.
struct Pipe {
  Pipe() { EXPECT_EQ(::pipe(Ends), 0); }
  ~Pipe() {
    for (const int End : Ends)
      if (End >= 0)
        ::close(End);
  }
  void closeEnd(int I) {
    ::close(Ends[I]);
    Ends[I] = -1;
  }
  int Ends[2] = {-1, -1};
};

void setNonBlocking(int Fd) { ::fcntl(Fd, F_SETFL, ::fcntl(Fd, F_GETFL) | O_NONBLOCK); }

// Some parents hand down non-blocking pipes: an empty one is waited for, not an error.
TEST(FdIo, ReadWaitsOnAnEmptyNonBlockingPipe) {
  Pipe P;
  setNonBlocking(P.Ends[0]);
  std::thread Writer([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_TRUE(writeAll(P.Ends[1], "abc", 3));
    P.closeEnd(1);
  });
  char Buffer[16];
  const ssize_t Got = readSome(P.Ends[0], Buffer, sizeof Buffer);
  Writer.join();
  ASSERT_EQ(Got, 3);
  EXPECT_EQ(std::string(Buffer, 3), "abc");
  EXPECT_EQ(readSome(P.Ends[0], Buffer, sizeof Buffer), 0); // the writer is gone: the end
}

// A full non-blocking pipe, drained slowly, takes every byte in order.
TEST(FdIo, WriteWaitsOnAFullNonBlockingPipe) {
  Pipe P;
  setNonBlocking(P.Ends[1]);
  std::string Data(1 << 20, ' ');
  for (std::size_t I = 0; I < Data.size(); ++I)
    Data[I] = static_cast<char>('a' + I % 23);
  std::string Received;
  std::thread Reader([&] {
    char Buffer[8192];
    for (int Round = 0;; ++Round) {
      if (Round % 16 == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
      const ssize_t Got = readSome(P.Ends[0], Buffer, sizeof Buffer);
      if (Got <= 0)
        break;
      Received.append(Buffer, static_cast<std::size_t>(Got));
    }
  });
  EXPECT_TRUE(writeAll(P.Ends[1], Data.data(), Data.size()));
  P.closeEnd(1);
  Reader.join();
  EXPECT_EQ(Received.size(), Data.size());
  EXPECT_TRUE(Received == Data);
}

// A pipe without a reader: the failure says EPIPE, so the run can end the way SIGPIPE would;
// a full device is an ordinary write error.
TEST(FdIo, BrokenPipeIsToldApart) {
  const auto Previous = std::signal(SIGPIPE, SIG_IGN);
  {
    Pipe P;
    P.closeEnd(0);
    errno = 0;
    EXPECT_FALSE(writeAll(P.Ends[1], "x", 1));
    EXPECT_EQ(errno, EPIPE);
    quillon::TargetBuffer Out(P.Ends[1]);
    Out.append("text");
    EXPECT_FALSE(Out.flush());
    EXPECT_TRUE(Out.failed());
    EXPECT_TRUE(Out.brokenPipe());
  }
  std::signal(SIGPIPE, Previous);
  const int Full = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
  if (Full >= 0) {
    quillon::TargetBuffer Out(Full);
    Out.append("text");
    EXPECT_FALSE(Out.flush());
    EXPECT_TRUE(Out.failed());
    EXPECT_FALSE(Out.brokenPipe());
    ::close(Full);
  }
}

// Closed once, by whoever holds it last; the standard descriptors are never closed.
TEST(FdIo, DescriptorClosesOnce) {
  const int Fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  ASSERT_GT(Fd, 2);
  {
    quillon::Descriptor First(Fd);
    quillon::Descriptor Second(std::move(First));
    EXPECT_EQ(First.get(), -1);
    EXPECT_EQ(Second.get(), Fd);
    quillon::Descriptor Third;
    Third = std::move(Second);
    EXPECT_GE(::fcntl(Fd, F_GETFD), 0);
  }
  EXPECT_EQ(::fcntl(Fd, F_GETFD), -1);
  {
    quillon::Descriptor Output(1);
    EXPECT_TRUE(Output.close());
  }
  EXPECT_GE(::fcntl(1, F_GETFD), 0);
}

} // namespace
