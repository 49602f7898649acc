#pragma once

#include <filesystem>
#include <string>

namespace hestio::sim {

/// The service's TLS identity: a self-signed certificate for 127.0.0.1 and
/// localhost with its private key, kept in the data folder.
struct TlsIdentity {
    std::filesystem::path certificate;
    std::filesystem::path privateKey;
    /// base64 of the SHA-256 of the certificate's public key (DER
    /// SubjectPublicKeyInfo): what a client pins.
    std::string pin;
    bool createdNow { false };
};

/// Loads the identity from `folder`, making a new key and certificate there
/// when none exist yet. Throws std::runtime_error when they cannot be made or read.
[[nodiscard]] TlsIdentity loadOrCreateIdentity(const std::filesystem::path& folder);

/// The pin of a PEM certificate file.
[[nodiscard]] std::string publicKeyPin(const std::filesystem::path& certificate);

}
