#include "driver/log_channel.h"
#include "driver/run.h"

#include <iostream>
#include <string>
#include <vector>

int main(int Argc, char** Argv) {
  quillon::installLogChannel();
  std::vector<std::string> Arguments(Argv + (Argc > 0 ? 1 : 0), Argv + Argc);
  const int Status = quillon::runProgram(Arguments, quillon::theSettings());
  std::clog.flush();
  std::cout.flush();
  return Status;
}
