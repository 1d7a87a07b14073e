#include "base/helper_thread.h"

#include <csignal>
#include <pthread.h>

#include <gtest/gtest.h>

namespace {

// Each job sees what the owner wrote before hand(), and the owner what the job wrote once
// wait() returns; no lock of their own (ThreadSanitizer checks the order). The job that
// returns false is the last: a wait() after it must not hang.
TEST(HandOffThread, OneJobPerHandOverUntilTheLast) {
  int Owner = 0;
  int Jobs = 0;
  bool SignalsBlocked = true;
  quillon::HandOffThread Helper;
  ASSERT_TRUE(Helper.start([&] {
    sigset_t Mask;
    ::pthread_sigmask(SIG_SETMASK, nullptr, &Mask);
    SignalsBlocked = SignalsBlocked && sigismember(&Mask, SIGINT) == 1;
    Jobs = Owner;
    return Jobs < 3;
  }));
  for (int I = 1; I <= 3; ++I) {
    Owner = I;
    Helper.hand();
    Helper.wait();
    EXPECT_EQ(Jobs, I);
  }
  Helper.wait();
  EXPECT_EQ(Jobs, 3);
  EXPECT_TRUE(SignalsBlocked); // the ending signals' handler runs on the main thread alone
}

} // namespace
