#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace quillon {

// Starts Work on a thread of its own, with every signal that is not a fault blocked there, so
// that the main thread alone runs the ending signals' handler. False when the system gives no
// thread (a process limit, no memory): the caller then does the work itself.
bool startHelperThread(std::thread& Thread, std::function<void()> Work);

// A helper thread that takes one job at a time from the thread that owns it: the owner hands a
// job over, goes on with its own work and waits for the job only when it needs what the job
// did. Between wait() and the next hand() the helper is idle, so the owner may touch whatever
// the job uses without a lock of its own; hand() and wait() order those accesses.
class HandOffThread {
public:
  HandOffThread() = default;
  HandOffThread(const HandOffThread&) = delete;
  HandOffThread& operator=(const HandOffThread&) = delete;
  // A job under way is finished; one handed over and not yet begun is dropped.
  ~HandOffThread();

  // Starts the thread, which runs Job once for each hand(); after a Job that returns false it
  // ends and takes no more jobs. False when the system gives no thread.
  bool start(std::function<bool()> Job);
  // Hands the next job over; the helper must be idle.
  void hand();
  // Waits until the job handed over last is done.
  void wait();

private:
  void run();

  std::function<bool()> Job;
  std::mutex Lock;
  std::condition_variable Turn; // a job is handed over, done, or the thread asked to end
  bool Busy = false;            // a job is handed over and not yet done
  bool Quit = false;
  bool Started = false;
  std::thread Thread;
};

} // namespace quillon
