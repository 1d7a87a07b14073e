#include "base/fd_io.h"
#include "driver/run.h"
#include "io/log_channel.h"

#include <csignal>
#include <iostream>
#include <string>
#include <vector>

int main(int Argc, char** Argv) {
  // before anything is opened: no file may take the place of a closed standard stream
  quillon::openStandardDescriptors();
  // a reader that goes away shows as EPIPE where it matters, and the run decides
  std::signal(SIGPIPE, SIG_IGN);
  // a file-size limit shows as a failed write (EFBIG), reported like any other
  std::signal(SIGXFSZ, SIG_IGN);
  quillon::installLogChannel();
  std::vector<std::string> Arguments(Argv + (Argc > 0 ? 1 : 0), Argv + Argc);
  const int Status = quillon::runProgram(Arguments, quillon::theSettings());
  std::clog.flush();
  std::cout.flush();
  return Status;
}
