#pragma once
// The cryptography of the reports, all of it from OpenSSL's libcrypto: SHA-256,
// random bytes, and Ed25519 keys and signatures. Nothing here is made by hand.
#include <cstdint>
#include <string>
#include <string_view>

namespace reportcrypto {

std::string Sha256(std::string_view bytes);  // 32 raw bytes
std::string Hex(std::string_view bytes);     // lower case
std::string Base64(std::string_view bytes);
bool FromBase64(std::string_view text, std::string& bytes);
// False when the system's random source fails.
bool RandomBytes(size_t count, std::string& out);
// A random (version 4) UUID; empty when no random bytes could be had.
std::string NewUuid();

// A SHA-512 digest taken piece by piece, for texts too long to hold.
class Sha512Stream {
  public:
    Sha512Stream();
    ~Sha512Stream();
    Sha512Stream(const Sha512Stream&) = delete;
    Sha512Stream& operator=(const Sha512Stream&) = delete;
    void Update(std::string_view bytes);
    // The 64 raw bytes; empty when the library failed at any step.
    std::string Final();

  private:
    void* ctx_ = nullptr;  // EVP_MD_CTX
    bool ok_ = false;
};

// The SHA-256 of a file's bytes, in hex; empty when it cannot be read.
std::string FileSha256(const std::string& path);

// An Ed25519 key pair held as its 32-byte private seed.
struct SigningKey {
    std::string seed;       // 32 bytes
    std::string publicKey;  // 32 bytes
    bool Valid() const { return seed.size() == 32 && publicKey.size() == 32; }
};

// "SHA256:" and the hex of the public key's SHA-256.
std::string Fingerprint(std::string_view publicKey);

// Reads a private key: a PEM file (PKCS#8, as `openssl genpkey -algorithm ed25519`
// writes it, the form Kelvane makes its own key in) or an unencrypted OpenSSH
// ed25519 key (`ssh-keygen -t ed25519 -N ''`). The file must be a regular file, not a link, and
// private to its owner. False with `error` otherwise.
bool LoadKey(const std::string& path, SigningKey& key, std::string& error);
// Loads `path`, or makes a new key and writes it there (0600, never over a file
// that is there) when there is none.
bool LoadOrCreateKey(const std::string& path, SigningKey& key, std::string& error);

std::string Sign(const SigningKey& key, std::string_view message);  // 64 bytes, empty on failure
bool Verify(std::string_view publicKey, std::string_view message, std::string_view signature);

}  // namespace reportcrypto
