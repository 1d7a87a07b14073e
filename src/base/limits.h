#pragma once

#include <cstddef>

namespace quillon {

// A logical line (a record, with the line breaks inside its quotation) must be shorter than
// this; the reader, the parser, the run and the block converter all hold to it.
constexpr std::size_t LineLimit = 100000;

} // namespace quillon
