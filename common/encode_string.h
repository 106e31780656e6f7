// The byte-substitution codec of the adapter hardware table's name column.
#pragma once

#include <cstdint>

// A pair of permutations of the 256 byte values; decode_table reverses encode_table.
extern const unsigned char encode_table[256];
extern const unsigned char decode_table[256];

// Replace each of the first `len` bytes in place (nothing for len <= 0); bytes past
// `len` are not touched and no terminator is written.
void encode_string(char* pstring, int32_t len);
void decode_string(char* pstring, int32_t len);

// For len > 0: terminates the text at `len` (the buffer must hold len + 1 bytes)
// and decodes its first `len` bytes in place. Does nothing otherwise.
void decode_inf_string(char* encoded_inf_name, int32_t len);
