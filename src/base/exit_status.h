#pragma once

// The exit statuses of a run: each tells which check stopped it.
namespace quillon {

constexpr int ExitOK = 0;
constexpr int ExitBadOptions = 1;
constexpr int ExitNoSourceName = 2;
constexpr int ExitNoTargetName = 3;
constexpr int ExitNoLineBuffer = 5;
constexpr int ExitSourceAccess = 6;
constexpr int ExitBadHeader = 7; // unsupported encoding, or a header without cells
constexpr int ExitNoColumnNames = 8;
constexpr int ExitTargetAccess = 9;
constexpr int ExitHeaderInQuotes = 10;
// The status of a process that SIGPIPE ended: what a run gives when the reader of its output
// went away, the signal itself being ignored.
constexpr int ExitBrokenPipe = 141;

} // namespace quillon
