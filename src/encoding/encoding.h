#pragma once

// The room encoding/: byte-order marks, the encoding decision, the transcoders. It may use
// base/ and options/.

#include "options/settings.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quillon {

// Both rewrite Text in place and return the number of characters converted. The single-byte
// side is ISO-8859-1 with the Windows-1252 characters at 0x80 to 0x9F. A UTF-8 sequence
// without a single-byte form is left as it is and not counted.
int convertIsoToUtf8(std::string& Text);
int convertUtf8ToIso(std::string& Text);
// UTF-8 text that becomes a name in an ISO-8859-1 document: a character from U+0080 to U+00FF
// becomes its one byte, every other one beyond ASCII one '_', and so does each byte from 0x80
// up that begins no well-formed sequence. Returns the number of characters so converted.
int convertUtf8ToIsoName(std::string& Text);

// The length (2 to 4) of the well-formed UTF-8 sequence that begins at Pos, its code point in
// CodePoint; 0 when none begins there (overlong forms, surrogates and code points beyond
// U+10FFFF are not well-formed, nor is a sequence cut off by the end of Text).
std::size_t decodeUtf8(std::string_view Text, std::size_t Pos, std::uint32_t& CodePoint);

// Whether a source without a mark reads as UTF-8, judged on Window, which begins at its first
// byte from 0x80 up: at least one well-formed multi-byte sequence, and every byte from 0x80 up
// part of one. Cut: the source goes on after Window, so a sequence its end cuts is not judged.
bool readsAsUtf8(std::string_view Window, bool Cut);
// Rewrites each byte of Text from 0x80 up that is no part of a well-formed sequence as the
// UTF-8 of its Windows-1252 character; returns their number.
int repairUtf8(std::string& Text);

// Kind of byte-order mark at the start of a header line: 1 = none (ISO-8859-1), 2 = UTF-8,
// 3 = UTF-16 LE, 4 = UTF-16 BE, 5 = UTF-32 LE, 6 = UTF-32 BE; Name receives the kind's name.
// A mark counts only when all of its bytes are in the line.
int getBOMEncoding(std::string_view Header, std::string& Name);

// Transcodes the command-line texts into the document's encoding where the options ask for
// it, the alias names formed again; says so in verbose mode (Verbose).
void convertOptionTexts(Settings& S, bool Verbose);
// Decides the source encoding from the header line as read: a mark decides; without one, a
// source is read as UTF-8 when UnmarkedUtf8 (the option or the judgement says so). Reports it
// in verbose mode, sets ConvertDataI2U or ConvertDataU2I and transcodes the command-line texts
// when asked.
// Returns the number of mark bytes to skip (0 or 3), or -1 for a refused encoding, whose
// error line it has written.
int chooseEncoding(std::string_view Header, Settings& S, bool UnmarkedUtf8);
// Sets ConvertDataI2U and ConvertDataU2I for a source read as UTF-8 (Utf8Source) or as
// ISO-8859-1/Windows-1252.
void setSourceReading(Settings& S, bool Utf8Source);

} // namespace quillon
