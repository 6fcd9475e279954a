// Character helpers of the command-line interpreter that do not depend on the C
// library's locale: upper-casing and hexadecimal digits, ASCII only.
#pragma once

// Turns a to z into A to Z in place; every other byte stays as it is.
void UpperCase(char* text);
// The value of a hexadecimal digit (either case), -1 for any other character.
int HexDigit(char c);
