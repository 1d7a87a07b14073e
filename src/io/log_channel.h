#pragma once

namespace quillon {

// Gives std::clog a real buffer on standard error, written out at each flush (std::endl),
// while std::cerr stays unbuffered: both share the descriptor, so their lines keep the
// order in which the program wrote them.
void installLogChannel();

} // namespace quillon
