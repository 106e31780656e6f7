// SHA-256 digests of whole files, as sha256sum prints them, from OpenSSL's
// libcrypto: what the checksum manifest of a repository records.
#pragma once

#include <cstddef>
#include <string>

// Piece in which a file is read: images run to tens of megabytes and are never
// held whole in memory.
constexpr size_t DIGEST_READ_PIECE = size_t{64} * 1024;

// Length of a digest written as lower-case hexadecimal.
constexpr size_t SHA256_HEX_LEN = 64;

// The SHA-256 of the regular file at `path` in lower-case hexadecimal. Returns
// false with *error set to an errno value when it cannot be read (EINVAL for a
// file that is not a regular one: a FIFO or device is never read).
bool sha256_file(const std::string& path, std::string* hex, int* error);
