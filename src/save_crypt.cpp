// Sealing and opening of the container. Keys and decrypted copies live only
// inside one call and are wiped before their memory is released; the magic
// and version are checked by comparison because no associated data is bound.
#include "save_crypt.h"

#include <chrono>
#include <cstring>
#include <random>

#include <sodium.h>

namespace crypt {

namespace {

constexpr size_t kRandomWords = 6;  // 32-bit draws that fill the nonce
constexpr size_t kClockBytes = 8;   // monotonic time mixed into the nonce

static_assert(sizeof kMagic + 1 + kNonceBytes + kTagBytes == kHeaderBytes);
static_assert(kVersionOffset == sizeof kMagic && kNonceOffset == kVersionOffset + 1 &&
              kTagOffset == kNonceOffset + kNonceBytes && kHeaderBytes == kTagOffset + kTagBytes);
static_assert(kNonceBytes == crypto_aead_xchacha20poly1305_ietf_NPUBBYTES);
static_assert(kTagBytes == crypto_aead_xchacha20poly1305_ietf_ABYTES);
static_assert(kKeyBytes == crypto_aead_xchacha20poly1305_ietf_KEYBYTES);
static_assert(kRandomWords * 4 == kNonceBytes);

// libsodium picks its implementations on first initialisation; the static
// makes that happen exactly once even with concurrent first callers.
void ensure_sodium() {
    static const int rc = sodium_init();
    (void)rc;  // only fails without a random source, which the calls below never use
}

void derive_key(uint8_t key[kKeyBytes]) {
    uint8_t input[kSeedBytes + kKeyTagBytes];
    std::memcpy(input, kKeySeed, kSeedBytes);
    std::memcpy(input + kSeedBytes, kKeyTag, kKeyTagBytes);
    crypto_generichash(key, kKeyBytes, input, sizeof input, nullptr, 0);
    sodium_memzero(input, sizeof input);
}

void make_nonce(uint8_t nonce[kNonceBytes]) {
    try {
        std::random_device rd("default");
        for (size_t i = 0; i < kRandomWords; ++i) {
            const uint32_t v = rd();
            for (size_t b = 0; b < 4; ++b) nonce[i * 4 + b] = static_cast<uint8_t>(v >> (8 * b));
        }
    } catch (...) {
        // No usable random device: the system's generator through libsodium.
        randombytes_buf(nonce, kNonceBytes);
    }
    // The clock guards against a random source that repeats itself.
    const uint64_t ns = static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(
            std::chrono::steady_clock::now().time_since_epoch())
            .count());
    for (size_t b = 0; b < kClockBytes; ++b) nonce[b] ^= static_cast<uint8_t>(ns >> (8 * b));
}

const uint8_t* bytes(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }
uint8_t* bytes(std::string& s) { return reinterpret_cast<uint8_t*>(s.data()); }

}  // namespace

std::string encrypt(const std::string& plain) {
    ensure_sodium();
    std::string out(kHeaderBytes + plain.size(), '\0');
    uint8_t* p = bytes(out);
    std::memcpy(p, kMagic, sizeof kMagic);
    p[kVersionOffset] = kVersion;
    make_nonce(p + kNonceOffset);

    uint8_t key[kKeyBytes];
    derive_key(key);
    crypto_aead_xchacha20poly1305_ietf_encrypt_detached(p + kHeaderBytes, p + kTagOffset, nullptr,
                                                        bytes(plain), plain.size(), nullptr, 0,
                                                        nullptr, p + kNonceOffset, key);
    sodium_memzero(key, sizeof key);
    return out;
}

ReadResult decrypt(const std::string& sealed, std::string* out) {
    if (out) out->clear();
    if (sealed.empty()) return ReadResult::NotFound;
    if (sealed.size() < kHeaderBytes) return ReadResult::Tampered;
    if (std::memcmp(sealed.data(), kMagic, sizeof kMagic) != 0 ||
        static_cast<uint8_t>(sealed[kVersionOffset]) != kVersion)
        return ReadResult::Tampered;

    ensure_sodium();
    const uint8_t* p = bytes(sealed);
    const size_t n = sealed.size() - kHeaderBytes;
    std::string plain(n, '\0');
    uint8_t key[kKeyBytes];
    derive_key(key);
    const int rc = crypto_aead_xchacha20poly1305_ietf_decrypt_detached(
        bytes(plain), nullptr, p + kHeaderBytes, n, p + kTagOffset, nullptr, 0, p + kNonceOffset,
        key);
    sodium_memzero(key, sizeof key);

    // The caller's copy is theirs to keep; the working buffer is wiped.
    if (rc == 0 && out) out->assign(plain);
    sodium_memzero(plain.data(), plain.size());
    return rc == 0 ? ReadResult::Ok : ReadResult::Tampered;
}

bool looks_sealed(const std::string& data) {
    return data.size() >= kHeaderBytes && std::memcmp(data.data(), kMagic, sizeof kMagic) == 0;
}

}  // namespace crypt
