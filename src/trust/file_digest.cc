// File digests through libcrypto's EVP interface, read piece by piece.
#include "trust/file_digest.h"

#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "handles.h"

namespace {

struct DigestContextFree {
    void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
};
using DigestContext = std::unique_ptr<EVP_MD_CTX, DigestContextFree>;

std::string to_hex(const unsigned char* bytes, unsigned len) {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned i = 0; i < len; ++i) {
        hex.push_back(digits[bytes[i] >> 4]);
        hex.push_back(digits[bytes[i] & 0xf]);
    }
    return hex;
}

// Feeds the whole file to the digest; false with *error set on a read error.
bool digest_all(int fd, EVP_MD_CTX* ctx, int* error) {
    std::vector<unsigned char> piece(DIGEST_READ_PIECE);
    for (;;) {
        ssize_t n = read(fd, piece.data(), piece.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            *error = errno;
            return false;
        }
        if (n == 0)
            return true;
        if (EVP_DigestUpdate(ctx, piece.data(), static_cast<size_t>(n)) != 1) {
            *error = EIO;
            return false;
        }
    }
}

}  // namespace

bool sha256_file(const std::string& path, std::string* hex, int* error) {
    // O_NONBLOCK: opening a FIFO must not wait for a writer; it is refused below.
    UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (fd.get() < 0) {
        *error = errno;
        return false;
    }
    struct stat st;
    if (fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        *error = EINVAL;
        return false;
    }
    DigestContext ctx(EVP_MD_CTX_new());
    if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr) != 1) {
        *error = ENOMEM;
        return false;
    }
    if (!digest_all(fd.get(), ctx.get(), error))
        return false;
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned len = 0;
    if (EVP_DigestFinal_ex(ctx.get(), md, &len) != 1) {
        *error = EIO;
        return false;
    }
    *hex = to_hex(md, len);
    return true;
}
