#pragma once

#include <initializer_list>
#include <ostream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

// Sends the given standard streams into one string while in scope, so the order of lines
// written to std::cerr and std::clog can be checked as a whole.
class Capture {
public:
  explicit Capture(std::initializer_list<std::ostream*> Streams) {
    for (std::ostream* Stream : Streams)
      Saved.emplace_back(Stream, Stream->rdbuf(Text.rdbuf()));
  }
  Capture(const Capture&) = delete;
  Capture& operator=(const Capture&) = delete;
  ~Capture() {
    for (auto& [Stream, Old] : Saved)
      Stream->rdbuf(Old);
  }
  std::string text() const { return Text.str(); }

private:
  std::ostringstream Text;
  std::vector<std::pair<std::ostream*, std::streambuf*>> Saved;
};
