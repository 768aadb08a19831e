#pragma once

#include <cstdint>

// Builders of the command lines sent to the instrument. Each writes into out (room bytes) and
// returns the number of bytes written, without a NUL in the count; room must be at least 200.
// Every field goes out as exactly two hexadecimal digits of its low byte, so a body never grows
// past its length character.

// "   ?c  " followed by "%02X " per field, with byte 3 set to 60 plus the body length.
int FormatFieldBody(char* out, int room, char command, const unsigned int* fields, int count);
// "   ?S  tt oo text": byte 3 is 73 plus the text length.
int FormatTextWrite(char* out, int room, unsigned int test, unsigned int offset, const char* text,
                    int length);
// The old interface's text chunk: test, offset and four character codes, ending in CR LF, with
// no checksum.
int FormatTextChunk(char* out, int room, unsigned int test, unsigned int offset,
                    const uint8_t characters[4]);
// The two's complement of the sum of body bytes 3 onwards.
uint8_t BodyChecksum(const char* body, int length);
// "%02X\r\n" of the checksum; returns 4.
int FormatChecksumLine(char* out, uint8_t checksum);
