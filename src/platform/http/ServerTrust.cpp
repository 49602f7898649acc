#include "platform/http/ServerTrust.h"

#include "platform/foundation/LazyLibrary.h"
#include "platform/foundation/Log.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <algorithm>
#include <cctype>
#include <memory>

// OpenSSL's libcrypto is opened when a certificate is first read, not when
// the program starts: its four thousand symbols were the largest share of
// the dynamic loader's work at every start, and a certificate is read only
// after a request, when the transport has loaded it already.
namespace {
hestio::platform::LazyLibrary& crypto()
{
    static hestio::platform::LazyLibrary library("libcrypto.so.3", "install OpenSSL 3");
    return library;
}
}

#define HESTIO_CRYPTO(name) HESTIO_LAZY_FUNCTION(crypto(), name)
#define ASN1_STRING_to_UTF8(...) HESTIO_CRYPTO(ASN1_STRING_to_UTF8)(__VA_ARGS__)
#define BIO_free(...) HESTIO_CRYPTO(BIO_free)(__VA_ARGS__)
#define BIO_new_mem_buf(...) HESTIO_CRYPTO(BIO_new_mem_buf)(__VA_ARGS__)
#define CRYPTO_free(...) HESTIO_CRYPTO(CRYPTO_free)(__VA_ARGS__)
#define EVP_Digest(...) HESTIO_CRYPTO(EVP_Digest)(__VA_ARGS__)
#define EVP_EncodeBlock(...) HESTIO_CRYPTO(EVP_EncodeBlock)(__VA_ARGS__)
#define EVP_sha256(...) HESTIO_CRYPTO(EVP_sha256)(__VA_ARGS__)
#define PEM_read_bio_X509(...) HESTIO_CRYPTO(PEM_read_bio_X509)(__VA_ARGS__)
#define X509_free(...) HESTIO_CRYPTO(X509_free)(__VA_ARGS__)
#define X509_NAME_ENTRY_get_data(...) HESTIO_CRYPTO(X509_NAME_ENTRY_get_data)(__VA_ARGS__)
#define X509_NAME_get_entry(...) HESTIO_CRYPTO(X509_NAME_get_entry)(__VA_ARGS__)
#define X509_NAME_get_index_by_NID(...) HESTIO_CRYPTO(X509_NAME_get_index_by_NID)(__VA_ARGS__)
#define X509_get0_pubkey(...) HESTIO_CRYPTO(X509_get0_pubkey)(__VA_ARGS__)
#define X509_get_subject_name(...) HESTIO_CRYPTO(X509_get_subject_name)(__VA_ARGS__)
#define i2d_PUBKEY(...) HESTIO_CRYPTO(i2d_PUBKEY)(__VA_ARGS__)

namespace hestio::platform {

std::optional<std::string> ServerTrust::curlPin() const
{
    if (publicKeyPin.empty())
        return std::nullopt;
    if (publicKeyPin.rfind("sha256//", 0) == 0)
        return publicKeyPin;
    return "sha256//" + publicKeyPin;
}

namespace {
    struct OpenSslDeleter {
        void operator()(BIO* bio) const { BIO_free(bio); }
        void operator()(X509* certificate) const { X509_free(certificate); }
    };

    std::string commonNameOf(X509* certificate)
    {
        X509_NAME* subject = X509_get_subject_name(certificate);
        int index = subject ? X509_NAME_get_index_by_NID(subject, NID_commonName, -1) : -1;
        if (index < 0)
            return {};
        ASN1_STRING* data = X509_NAME_ENTRY_get_data(X509_NAME_get_entry(subject, index));
        unsigned char* text = nullptr;
        int length = ASN1_STRING_to_UTF8(&text, data);
        if (length < 0)
            return {};
        std::string name(reinterpret_cast<const char*>(text), static_cast<std::size_t>(length));
        OPENSSL_free(text);
        return name;
    }
}

std::optional<CertificateIdentity> identityOfCertificate(const std::string& pem)
{
    if (auto missing = crypto().open()) {
        hestio::log("Cannot read the service's certificate: " + *missing);
        return std::nullopt;
    }
    std::unique_ptr<BIO, OpenSslDeleter> bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
    if (!bio)
        return std::nullopt;
    std::unique_ptr<X509, OpenSslDeleter> certificate(PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr));
    EVP_PKEY* key = certificate ? X509_get0_pubkey(certificate.get()) : nullptr;
    if (!key)
        return std::nullopt;
    unsigned char* der = nullptr;
    int length = i2d_PUBKEY(key, &der);
    if (length <= 0)
        return std::nullopt;
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digestLength = 0;
    bool digested
        = EVP_Digest(der, static_cast<std::size_t>(length), digest, &digestLength, EVP_sha256(), nullptr) == 1;
    OPENSSL_free(der);
    if (!digested)
        return std::nullopt;
    unsigned char base64[4 * ((EVP_MAX_MD_SIZE + 2) / 3) + 1];
    int written = EVP_EncodeBlock(base64, digest, static_cast<int>(digestLength));
    CertificateIdentity identity;
    identity.publicKeyPin
        = "sha256//" + std::string(reinterpret_cast<const char*>(base64), static_cast<std::size_t>(written));
    identity.subjectName = commonNameOf(certificate.get());
    return identity;
}

std::string hostOfURL(const std::string& url)
{
    auto schemeEnd = url.find("://");
    std::size_t start = schemeEnd == std::string::npos ? 0 : schemeEnd + 3;
    std::size_t end = url.find_first_of("/?#", start);
    std::string authority = url.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (auto at = authority.rfind('@'); at != std::string::npos)
        authority.erase(0, at + 1);
    std::string host;
    if (!authority.empty() && authority.front() == '[') {
        auto close = authority.find(']');
        host = authority.substr(1, close == std::string::npos ? std::string::npos : close - 1);
    } else {
        host = authority.substr(0, authority.find(':'));
    }
    std::transform(host.begin(), host.end(), host.begin(), [](unsigned char c) { return std::tolower(c); });
    return host;
}

}
