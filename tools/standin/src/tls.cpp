#include "tools/standin/src/tls.h"

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>

namespace standin {
namespace {

struct BioFree {
    void operator()(BIO* p) const { BIO_free(p); }
};
struct KeyFree {
    void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
};
struct X509Free {
    void operator()(X509* p) const { X509_free(p); }
};
using BioPtr = std::unique_ptr<BIO, BioFree>;
using KeyPtr = std::unique_ptr<EVP_PKEY, KeyFree>;
using X509Ptr = std::unique_ptr<X509, X509Free>;

std::string OpenSslError(const char* what) {
    char buf[256] = {};
    const unsigned long e = ERR_get_error();
    ERR_clear_error();
    if (e == 0) return what;
    ERR_error_string_n(e, buf, sizeof buf);
    return std::string(what) + ": " + buf;
}

std::string BioText(BIO* bio) {
    char* data = nullptr;
    const long n = BIO_get_mem_data(bio, &data);
    return n > 0 ? std::string(data, static_cast<std::size_t>(n)) : std::string();
}

}  // namespace

std::string MakeSelfSignedPem(const std::string& commonName) {
    KeyPtr key(EVP_RSA_gen(2048));
    X509Ptr cert(X509_new());
    if (!key || !cert) return {};
    std::uint32_t serial = 0;
    RAND_bytes(reinterpret_cast<unsigned char*>(&serial), sizeof serial);
    X509_set_version(cert.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), static_cast<long>(serial & 0x7FFFFFFF));
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), 365L * 24 * 3600);
    X509_set_pubkey(cert.get(), key.get());
    X509_NAME* name = X509_get_subject_name(cert.get());
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8, reinterpret_cast<const unsigned char*>(commonName.c_str()),
                               -1, -1, 0);
    X509_set_issuer_name(cert.get(), name);
    if (X509_sign(cert.get(), key.get(), EVP_sha256()) == 0) return {};
    BioPtr bio(BIO_new(BIO_s_mem()));
    if (!PEM_write_bio_X509(bio.get(), cert.get()) ||
        !PEM_write_bio_PrivateKey(bio.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr)) {
        return {};
    }
    return BioText(bio.get());
}

std::unique_ptr<TlsContext> TlsContext::ForServer(const std::string& pem, std::string& error) {
    std::unique_ptr<TlsContext> ctx(new TlsContext(SSL_CTX_new(TLS_server_method())));
    BioPtr bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
    X509Ptr cert(PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr));
    if (!ctx->get() || !cert || SSL_CTX_use_certificate(ctx->get(), cert.get()) != 1) {
        error = OpenSslError("no certificate in the PEM text");
        return nullptr;
    }
    // Further certificates are the chain; the key may come before or after them.
    while (X509* extra = PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr))
        SSL_CTX_add0_chain_cert(ctx->get(), extra);
    ERR_clear_error();
    BioPtr keyBio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
    KeyPtr key(PEM_read_bio_PrivateKey(keyBio.get(), nullptr, nullptr, nullptr));
    if (!key || SSL_CTX_use_PrivateKey(ctx->get(), key.get()) != 1 || SSL_CTX_check_private_key(ctx->get()) != 1) {
        error = OpenSslError("no private key for the certificate in the PEM text");
        return nullptr;
    }
    SSL_CTX_set_max_proto_version(ctx->get(), TLS1_2_VERSION);
    SSL_CTX_set_options(ctx->get(), SSL_OP_NO_TICKET);
    SSL_CTX_set_session_cache_mode(ctx->get(), SSL_SESS_CACHE_OFF);
    return ctx;
}

std::unique_ptr<TlsContext> TlsContext::ForClient() {
    std::unique_ptr<TlsContext> ctx(new TlsContext(SSL_CTX_new(TLS_client_method())));
    SSL_CTX_set_verify(ctx->get(), SSL_VERIFY_NONE, nullptr);
    return ctx;
}

TlsStream::TlsStream(const TlsContext& context, bool server) : ssl_(SSL_new(context.get())) {
    in_ = BIO_new(BIO_s_mem());
    out_ = BIO_new(BIO_s_mem());
    SSL_set_bio(ssl_.get(), in_, out_);
    if (server)
        SSL_set_accept_state(ssl_.get());
    else
        SSL_set_connect_state(ssl_.get());
}

void TlsStream::Drain(Bytes& out) {
    std::uint8_t buf[4096];
    int n = 0;
    while ((n = BIO_read(out_, buf, sizeof buf)) > 0) out.insert(out.end(), buf, buf + n);
}

TlsStream::Step TlsStream::Handshake(ByteSpan in, Bytes& out) {
    if (!in.empty()) BIO_write(in_, in.data(), static_cast<int>(in.size()));
    const int r = SSL_do_handshake(ssl_.get());
    Drain(out);
    if (r == 1) return Step::Done;
    if (SSL_get_error(ssl_.get(), r) == SSL_ERROR_WANT_READ) return Step::Continue;
    error_ = OpenSslError("TLS handshake failed");
    return Step::Failed;
}

Bytes TlsStream::Encrypt(ByteSpan plain) {
    Bytes out;
    if (!plain.empty()) SSL_write(ssl_.get(), plain.data(), static_cast<int>(plain.size()));
    Drain(out);
    return out;
}

bool TlsStream::Decrypt(ByteSpan records, Bytes& plain) {
    if (!records.empty()) BIO_write(in_, records.data(), static_cast<int>(records.size()));
    std::uint8_t buf[16384];
    while (true) {
        const int n = SSL_read(ssl_.get(), buf, sizeof buf);
        if (n > 0) {
            plain.insert(plain.end(), buf, buf + n);
            continue;
        }
        if (SSL_get_error(ssl_.get(), n) == SSL_ERROR_WANT_READ) return true;
        error_ = OpenSslError("TLS record refused");
        return false;
    }
}

std::string TlsStream::PeerSubject() const {
    X509Ptr cert(SSL_get1_peer_certificate(ssl_.get()));
    if (!cert) return {};
    char buf[256] = {};
    X509_NAME_oneline(X509_get_subject_name(cert.get()), buf, sizeof buf);
    return buf;
}

}  // namespace standin
