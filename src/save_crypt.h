// Seals a byte string into a self-describing container (magic, version,
// nonce, tag, ciphertext) with XChaCha20-Poly1305 and opens it again. The key
// is derived from constants compiled into the program, so it keeps casual
// edits out and detects corruption; it is not a secret from the user.
//
// Include this header before <unistd.h> (or anything that pulls it in, such
// as gtest or <thread>): glibc declares a function named crypt there, which a
// namespace of the same name cannot share the global scope with.
#pragma once

#ifdef _UNISTD_H
#error "include save_crypt.h before <unistd.h>: its crypt() clashes with namespace crypt"
#endif
#define crypt zxrc_libc_crypt_unused
#include <unistd.h>
#undef crypt

#include <cstddef>
#include <cstdint>
#include <string>

namespace crypt {

// Container layout, byte offsets into the file.
inline constexpr char kMagic[4] = {'Z', 'X', 'R', 'C'};
inline constexpr uint8_t kVersion = 1;
inline constexpr size_t kVersionOffset = 4;
inline constexpr size_t kNonceOffset = 5;
inline constexpr size_t kNonceBytes = 24;
inline constexpr size_t kTagOffset = 29;
inline constexpr size_t kTagBytes = 16;
inline constexpr size_t kHeaderBytes = 45;  // ciphertext starts here
inline constexpr size_t kKeyBytes = 32;

// The key is the unkeyed 32-byte BLAKE2b digest of seed followed by tag.
// Changing either makes every existing settings file unreadable.
inline constexpr size_t kSeedBytes = 32;
inline constexpr size_t kKeyTagBytes = 16;
inline constexpr uint8_t kKeySeed[kSeedBytes] = {
    0x5a, 0x78, 0x51, 0x9e, 0x3c, 0xd1, 0x07, 0x6b, 0xa4, 0x22, 0xf0, 0x8d, 0x61, 0xbe, 0x39, 0xc5,
    0x0e, 0x97, 0x4f, 0x2a, 0xd8, 0x73, 0x16, 0xe4, 0x8b, 0x50, 0xcd, 0x3e, 0xa9, 0x04, 0x7f, 0xb2};
inline constexpr char kKeyTag[kKeyTagBytes + 1] = "zxrc-settings-v1";

enum class ReadResult : int { Ok = 0, NotFound = 1, Tampered = 2 };

// Seals `plain` under a fresh nonce; the result is kHeaderBytes longer.
std::string encrypt(const std::string& plain);

// Opens and authenticates `sealed`. `out` (may be null) is cleared first and
// filled only on Ok. Empty input is NotFound; anything else that is not an
// intact container of ours is Tampered.
ReadResult decrypt(const std::string& sealed, std::string* out = nullptr);

// Cheap shape test: long enough and starts with the magic. Proves nothing.
bool looks_sealed(const std::string& data);

}  // namespace crypt
