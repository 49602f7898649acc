#pragma once

#include <optional>
#include <string>

namespace hestio::platform {

/// Which certificates HTTPS trusts. The service host is trusted when its
/// certificate's public key matches the configured pin, whether or not the
/// certificate chains to a trusted root; every other host is verified the
/// ordinary way. A mismatch is a transport failure.
struct ServerTrust {
    std::string pinnedHost; ///< host name, without port (matched without regard to case)
    std::string publicKeyPin; ///< "sha256//BASE64" or plain BASE64; empty: verify normally

    /// The pin in the form the TLS layer takes ("sha256//…"), none when unset.
    [[nodiscard]] std::optional<std::string> curlPin() const;
};

/// What identifies a certificate to a person comparing it with the service's
/// own account of it.
struct CertificateIdentity {
    std::string publicKeyPin; ///< "sha256//" and the base64 of the SHA-256 of the DER public key
    std::string subjectName; ///< the subject's common name; "" when it has none
};

/// The identity of a PEM certificate; none when the text holds no readable
/// certificate.
[[nodiscard]] std::optional<CertificateIdentity> identityOfCertificate(const std::string& pem);

/// The host part of an http(s) URL, without user info or port; lower-cased.
[[nodiscard]] std::string hostOfURL(const std::string& url);

}
