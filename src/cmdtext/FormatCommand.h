// The command-line interpreter: turns one line of text such as "12 0 0 0 d'46 /R46"
// into the pending request of a ScsiDevice.
#pragma once

#include <cstdarg>

#include "scsi/ScsiDevice.h"

// Writes the pending request of device (cdb, cdbLength 12, direction, dataLength,
// timeoutMs) from commandLine and nothing else of it; the line itself is not changed.
// Tokens are separated by single blanks and read after the line is upper-cased:
//   number          one command byte, hexadecimal unless prefixed (see EvaluateNumber)
//   T(number)       typed: B one byte, W two, D or L four (most significant first),
//                   M three (the number as a logical block address in minute, second,
//                   frame); any other type letter puts no bytes
//   /R n  /W n      data in or out, n bytes (decimal); 0 or more than bufferCapacity
//                   means bufferCapacity
//   /T n            time-out of n seconds (decimal)
// A token may hold one placeholder, replaced before it is read: %D a 32-bit signed
// argument in decimal, %X a 32-bit argument in lower-case hexadecimal, %S the text of a
// const char* argument as it is (null inserts nothing). Any other letter after the %
// drops the token without taking an argument; a second placeholder stays as text.
// Without options the request reads data in, moves no data and waits 7,200 ms.
//
// Limits: a line has at most 19 tokens (the 19th takes the rest of the line, blanks and
// all). What runs past a limit is cut: a token to 14 characters, the text a placeholder
// inserts, an option's value and a typed token's inner text to 19, the command block to
// 12 bytes. Always returns 1.
int FormatCommand(ScsiDevice& device, const char* commandLine, ...);
int FormatCommandV(ScsiDevice& device, const char* commandLine, va_list arguments);
