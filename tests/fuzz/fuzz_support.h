// Small helpers shared by the libFuzzer targets: the input as text and as lines,
// and a check that stops the run as a finding when a parser breaks its contract.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

// A broken contract is a finding like a crash: libFuzzer keeps the input.
#define FUZZ_CHECK(cond)                                                                   \
    do {                                                                                   \
        if (!(cond)) {                                                                     \
            fprintf(stderr, "fuzz check failed: %s (%s:%d)\n", #cond, __FILE__, __LINE__); \
            abort();                                                                       \
        }                                                                                  \
    } while (0)

// The input as a text: everything up to its first NUL byte, as a C caller sees it.
inline std::string FuzzText(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    return text.substr(0, text.find('\0'));
}

// The input cut at its first newline: the line before it and the rest after it.
inline void FuzzSplitLine(const uint8_t* data, size_t size, std::string* line, std::string* rest) {
    std::string all(reinterpret_cast<const char*>(data), size);
    size_t nl = all.find('\n');
    *line = all.substr(0, nl);
    *rest = nl == std::string::npos ? std::string() : all.substr(nl + 1);
}

// A copy of the bytes in its own heap block, so that AddressSanitizer sees a read
// past the end of the input.
class FuzzBuffer {
  public:
    explicit FuzzBuffer(size_t size) : bytes_(size) {}
    FuzzBuffer(const void* data, size_t size) : bytes_(size) {
        if (size > 0)
            std::copy(static_cast<const char*>(data), static_cast<const char*>(data) + size,
                      bytes_.begin());
    }
    char* data() { return bytes_.data(); }
    const char* data() const { return bytes_.data(); }
    size_t size() const { return bytes_.size(); }

  private:
    std::vector<char> bytes_;
};

// A read-only stream over the bytes (null for an empty input, which fmemopen
// refuses).
inline FILE* FuzzStream(FuzzBuffer* buffer) {
    if (buffer->size() == 0)
        return nullptr;
    return fmemopen(buffer->data(), buffer->size(), "r");
}
