// Reads the number text of one command-line token.
#pragma once

#include <cstdint>

#include "cmdtext/TextBuffer.h"

// Upper-cases token in place and reads it in the radix defaultRadix (B binary,
// D decimal, H hexadecimal; a lower-case letter counts as its capital; any other
// letter reads as 0), unless the token names its own:
//   X'text   radix X (B'101, D'46, H'2E); the prefix is removed from the token
//   #text    decimal;  $text  hexadecimal;  %text  binary
//   a:b:c    minute:second:frame, each part read on its own, the logical block address
//   a:b      a pseudo-random value from a to b (the runtime's rand(), never seeded here)
// Decimal reads like "%ld" (a negative result becomes 0), hexadecimal like "%lX" (sign
// and 0X prefix allowed); digits beyond the 32-bit range saturate, as strtol and
// strtoul do, and a text without digits reads as 0.
uint32_t EvaluateNumber(TextBuffer& token, char defaultRadix);
