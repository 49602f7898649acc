#include "Certificate.h"

#include "Crypto.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <stdexcept>
#include <unistd.h>

namespace hestio::sim {

namespace {
    struct Deleter {
        void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
        void operator()(X509* p) const { X509_free(p); }
        void operator()(X509_EXTENSION* p) const { X509_EXTENSION_free(p); }
        void operator()(FILE* p) const { std::fclose(p); }
    };
    template<typename T> using Owned = std::unique_ptr<T, Deleter>;

    [[noreturn]] void fail(const std::string& what)
    {
        throw std::runtime_error("certificate: " + what);
    }

    Owned<FILE> openForWriting(const std::filesystem::path& path, mode_t mode)
    {
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, mode);
        if (fd < 0)
            fail("cannot write " + path.string());
        FILE* file = ::fdopen(fd, "w");
        if (!file) {
            ::close(fd);
            fail("cannot write " + path.string());
        }
        return Owned<FILE>(file);
    }

    void addExtension(X509* cert, int nid, const char* value)
    {
        X509V3_CTX ctx;
        X509V3_set_ctx_nodb(&ctx);
        X509V3_set_ctx(&ctx, cert, cert, nullptr, nullptr, 0);
        Owned<X509_EXTENSION> ext(X509V3_EXT_conf_nid(nullptr, &ctx, nid, value));
        if (!ext || X509_add_ext(cert, ext.get(), -1) != 1)
            fail("cannot add extension");
    }

    void create(const std::filesystem::path& certPath, const std::filesystem::path& keyPath)
    {
        Owned<EVP_PKEY> key(EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256"));
        if (!key)
            fail("cannot make a key");
        Owned<X509> cert(X509_new());
        if (!cert)
            fail("out of memory");
        X509_set_version(cert.get(), 2);
        unsigned char serial[16];
        RAND_bytes(serial, sizeof serial);
        serial[0] &= 0x7F;
        BIGNUM* bn = BN_bin2bn(serial, sizeof serial, nullptr);
        BN_to_ASN1_INTEGER(bn, X509_get_serialNumber(cert.get()));
        BN_free(bn);
        X509_gmtime_adj(X509_getm_notBefore(cert.get()), -24L * 3600);
        X509_gmtime_adj(X509_getm_notAfter(cert.get()), 3650L * 24 * 3600);
        X509_set_pubkey(cert.get(), key.get());
        X509_NAME* name = X509_get_subject_name(cert.get());
        X509_NAME_add_entry_by_txt(
            name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("hestio-hub"), -1, -1, 0);
        X509_set_issuer_name(cert.get(), name);
        addExtension(cert.get(), NID_subject_alt_name, "DNS:localhost,IP:127.0.0.1");
        addExtension(cert.get(), NID_basic_constraints, "critical,CA:FALSE");
        if (X509_sign(cert.get(), key.get(), EVP_sha256()) <= 0)
            fail("cannot sign");

        // Written under temporary names and renamed, so that a crash never
        // leaves a key without its certificate.
        auto keyTemp = keyPath.string() + ".new";
        auto certTemp = certPath.string() + ".new";
        {
            auto file = openForWriting(keyTemp, 0600);
            if (PEM_write_PrivateKey(file.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) != 1)
                fail("cannot write the key");
        }
        {
            auto file = openForWriting(certTemp, 0644);
            if (PEM_write_X509(file.get(), cert.get()) != 1)
                fail("cannot write the certificate");
        }
        std::filesystem::rename(keyTemp, keyPath);
        std::filesystem::rename(certTemp, certPath);
    }
}

std::string publicKeyPin(const std::filesystem::path& certificate)
{
    Owned<FILE> file(std::fopen(certificate.c_str(), "r"));
    if (!file)
        fail("cannot read " + certificate.string());
    Owned<X509> cert(PEM_read_X509(file.get(), nullptr, nullptr, nullptr));
    if (!cert)
        fail("not a PEM certificate: " + certificate.string());
    unsigned char* der = nullptr;
    int length = i2d_PUBKEY(X509_get0_pubkey(cert.get()), &der);
    if (length <= 0)
        fail("cannot read the public key");
    unsigned char digest[32];
    EVP_Digest(der, static_cast<size_t>(length), digest, nullptr, EVP_sha256(), nullptr);
    OPENSSL_free(der);
    return base64(std::string_view(reinterpret_cast<const char*>(digest), sizeof digest));
}

TlsIdentity loadOrCreateIdentity(const std::filesystem::path& folder)
{
    TlsIdentity identity;
    identity.certificate = folder / "certificate.pem";
    identity.privateKey = folder / "private-key.pem";
    if (!std::filesystem::exists(identity.certificate) || !std::filesystem::exists(identity.privateKey)) {
        create(identity.certificate, identity.privateKey);
        identity.createdNow = true;
    }
    identity.pin = publicKeyPin(identity.certificate);
    return identity;
}

}
