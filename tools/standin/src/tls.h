// TLS as TDS 7.x uses it, on OpenSSL: the server's certificate and key, and one
// connection's TLS state over memory buffers, so that its records can travel inside TDS
// PRELOGIN packets during the handshake and straight on the socket afterwards.
#pragma once

#include <openssl/ssl.h>

#include <memory>
#include <string>

#include "tools/standin/src/wire.h"

namespace standin {

struct SslCtxFree {
    void operator()(SSL_CTX* p) const { SSL_CTX_free(p); }
};
struct SslFree {
    void operator()(SSL* p) const { SSL_free(p); }
};

// A certificate valid for a year with its new RSA key, both as PEM text; SQL Server names
// the one it makes for itself SSL_Self_Signed_Fallback.
std::string MakeSelfSignedPem(const std::string& commonName = "SSL_Self_Signed_Fallback");

class TlsContext {
public:
    // A server's context from PEM text holding the certificate (chain) and its private key.
    // TLS 1.2 at most, as SQL Server offers before TDS 8; no session tickets or resumption.
    // nullptr with the reason in `error` when the PEM text has no usable pair.
    static std::unique_ptr<TlsContext> ForServer(const std::string& pem, std::string& error);
    // A client's context that accepts any certificate (for tests that speak TDS themselves).
    static std::unique_ptr<TlsContext> ForClient();
    SSL_CTX* get() const { return ctx_.get(); }

private:
    explicit TlsContext(SSL_CTX* ctx) : ctx_(ctx) {}
    std::unique_ptr<SSL_CTX, SslCtxFree> ctx_;
};

class TlsStream {
public:
    TlsStream(const TlsContext& context, bool server);

    enum class Step { Continue, Done, Failed };
    // Takes the peer's handshake bytes (none for a client's first call) and appends what
    // must go back to `out`.
    Step Handshake(ByteSpan in, Bytes& out);
    // Plain bytes to TLS records, and TLS records (any part of them) to the plain bytes
    // they complete, appended to `plain`. Decrypt is false when the records are broken or
    // the peer closed.
    Bytes Encrypt(ByteSpan plain);
    bool Decrypt(ByteSpan records, Bytes& plain);
    // The peer certificate's subject (one line), or empty.
    std::string PeerSubject() const;
    const std::string& Error() const { return error_; }

private:
    void Drain(Bytes& out);
    std::unique_ptr<SSL, SslFree> ssl_;
    BIO* in_ = nullptr;   // owned by ssl_
    BIO* out_ = nullptr;  // owned by ssl_
    std::string error_;
};

}  // namespace standin
