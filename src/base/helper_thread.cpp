#include "base/helper_thread.h"

#include <csignal>
#include <new>
#include <pthread.h>
#include <system_error>

namespace quillon {

bool startHelperThread(std::thread& Thread, std::function<void()> Work) {
  // the new thread inherits the mask it is started with
  sigset_t Blocked;
  sigfillset(&Blocked);
  for (const int Fault : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGABRT, SIGSYS})
    sigdelset(&Blocked, Fault);
  sigset_t Saved;
  ::pthread_sigmask(SIG_BLOCK, &Blocked, &Saved);
  bool Started = true;
  try {
    Thread = std::thread(std::move(Work));
  } catch (const std::system_error&) {
    Started = false;
  } catch (const std::bad_alloc&) {
    Started = false;
  }
  ::pthread_sigmask(SIG_SETMASK, &Saved, nullptr);
  return Started;
}

HandOffThread::~HandOffThread() {
  if (!Started)
    return;
  {
    const std::lock_guard<std::mutex> Guard(Lock);
    Quit = true;
  }
  Turn.notify_all();
  Thread.join();
}

bool HandOffThread::start(std::function<bool()> Job) {
  this->Job = std::move(Job);
  Started = startHelperThread(Thread, [this] { run(); });
  return Started;
}

void HandOffThread::hand() {
  {
    const std::lock_guard<std::mutex> Guard(Lock);
    Busy = true;
  }
  Turn.notify_all();
}

void HandOffThread::wait() {
  std::unique_lock<std::mutex> Guard(Lock);
  Turn.wait(Guard, [this] { return !Busy; });
}

void HandOffThread::run() {
  std::unique_lock<std::mutex> Guard(Lock);
  for (;;) {
    Turn.wait(Guard, [this] { return Busy || Quit; });
    if (Quit)
      return;
    Guard.unlock();
    const bool More = Job();
    Guard.lock();
    Busy = false;
    Turn.notify_all();
    if (!More)
      return;
  }
}

} // namespace quillon
