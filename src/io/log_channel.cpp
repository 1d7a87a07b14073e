#include "io/log_channel.h"

#include "base/fd_io.h"

#include <iostream>
#include <streambuf>

namespace quillon {

namespace {
class FdBuffer : public std::streambuf {
public:
  explicit FdBuffer(int Fd) : Fd(Fd) { setp(Space, Space + sizeof Space); }

protected:
  int_type overflow(int_type C) override {
    if (writeOut() != 0)
      return traits_type::eof();
    if (!traits_type::eq_int_type(C, traits_type::eof())) {
      *pptr() = traits_type::to_char_type(C);
      pbump(1);
    }
    return traits_type::not_eof(C);
  }
  int sync() override { return writeOut(); }

private:
  int writeOut() {
    // a closed standard error, or a reader that went away, loses the log, never the run
    writeAll(Fd, pbase(), static_cast<std::size_t>(pptr() - pbase()));
    setp(Space, Space + sizeof Space);
    return 0;
  }

  int Fd;
  char Space[8192];
};
} // namespace

void installLogChannel() {
  // never destroyed: the standard streams still flush through it at exit
  static FdBuffer* const LogBuffer = new FdBuffer(2);
  std::clog.rdbuf(LogBuffer);
}

} // namespace quillon
