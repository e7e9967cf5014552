#include "tools/standin/tests/tds_test_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>

#include "tools/standin/src/tds_packet.h"

namespace dorvane::test {

using namespace standin;

bool Answer::HasError(int number) const {
    for (const TokenMessage& m : Messages)
        if (m.Error && m.Number == number) return true;
    return false;
}

const TokenMessage* Answer::FirstError() const {
    for (const TokenMessage& m : Messages)
        if (m.Error) return &m;
    return nullptr;
}

std::vector<std::string> Answer::Column(std::size_t i) const {
    std::vector<std::string> out;
    for (const auto& r : Rows) out.push_back(r.at(i));
    return out;
}

namespace {

std::string ReadBVarChar(ByteReader& r) {
    auto n = r.U8();
    if (!n) return {};
    auto s = r.Take(static_cast<std::size_t>(*n) * 2);
    return s ? Utf16LeToUtf8(*s) : std::string();
}

std::string HexBytes(ByteSpan bytes) {
    static const char* const kDigits = "0123456789abcdef";
    std::string out;
    for (std::uint8_t b : bytes) {
        out += kDigits[b >> 4];
        out += kDigits[b & 15];
    }
    return out;
}

struct ColumnInfo {
    std::uint8_t Type = 0;
};

}  // namespace

Answer DecodeTokens(ByteSpan payload, std::uint32_t version) {
    Answer a;
    a.Received = true;
    a.Raw.assign(payload.begin(), payload.end());
    ByteReader r(payload);
    std::vector<ColumnInfo> columns;
    const bool v72 = version >= 0x72090002;
    while (r.Remaining() > 0) {
        const std::uint8_t token = *r.U8();
        switch (token) {
            case 0xE3:
            case 0xAD:
            case 0xAB:
            case 0xAA: {
                auto len = r.U16Le();
                auto body = len ? r.Take(*len) : std::nullopt;
                if (!body) return a;
                ByteReader b(*body);
                if (token == 0xE3) {
                    const int type = *b.U8();
                    if (type == 7) {
                        const std::uint8_t n = b.U8().value_or(0);
                        if (auto bytes = b.Take(n)) a.Collation.assign(bytes->begin(), bytes->end());
                    }
                    a.EnvChanges.emplace_back(type, type == 7 ? std::string("collation") : ReadBVarChar(b));
                } else if (token == 0xAD) {
                    a.LoginAck = true;
                    b.Skip(1);
                    a.LoginAckVersion = b.U32Be().value_or(0);
                } else {
                    TokenMessage m;
                    m.Error = token == 0xAA;
                    m.Number = static_cast<int>(b.U32Le().value_or(0));
                    m.State = b.U8().value_or(0);
                    m.Severity = b.U8().value_or(0);
                    auto n = b.U16Le().value_or(0);
                    auto text = b.Take(static_cast<std::size_t>(n) * 2);
                    if (text) m.Text = Utf16LeToUtf8(*text);
                    ReadBVarChar(b);
                    m.Procedure = ReadBVarChar(b);
                    a.Messages.push_back(m);
                }
                break;
            }
            case 0x81: {
                const std::uint16_t n = *r.U16Le();
                columns.clear();
                a.ColumnNames.clear();
                for (std::uint16_t i = 0; i < n; ++i) {
                    r.Skip(v72 ? 4 : 2);
                    r.Skip(2);
                    ColumnInfo c{*r.U8()};
                    if (c.Type == 0xE7 || c.Type == 0xA7)
                        r.Skip(2 + 5);
                    else if (c.Type == 0x26)
                        r.Skip(1);
                    else if (c.Type == 0x62)
                        r.Skip(4);
                    else
                        return a;  // not a type the stand-in sends
                    columns.push_back(c);
                    a.ColumnTypes.push_back(c.Type);
                    a.ColumnNames.push_back(ReadBVarChar(r));
                }
                break;
            }
            case 0xD1: {
                std::vector<std::string> row;
                for (const ColumnInfo& c : columns) {
                    if (c.Type == 0xE7 || c.Type == 0xA7) {
                        const std::uint16_t len = *r.U16Le();
                        if (len == 0xFFFF) {
                            row.emplace_back("NULL");
                            continue;
                        }
                        // varchar comes as the code page's bytes: shown as hex, the test knows the code page.
                        row.push_back(c.Type == 0xE7 ? Utf16LeToUtf8(*r.Take(len)) : HexBytes(*r.Take(len)));
                    } else if (c.Type == 0x62) {
                        // sql_variant: base type, property bytes, properties, value; shown as "type:value".
                        const std::uint32_t len = *r.U32Le();
                        if (len == 0) {
                            row.emplace_back("NULL");
                            continue;
                        }
                        ByteReader v(*r.Take(len));
                        const std::uint8_t base = *v.U8();
                        v.Skip(*v.U8());
                        const ByteSpan data = v.Rest();
                        std::int64_t n = 0;
                        for (std::size_t k = 0; k < data.size() && base != 0xE7; ++k)
                            n |= static_cast<std::int64_t>(data[k]) << (8 * k);
                        row.push_back(std::to_string(base) + ":" +
                                      (base == 0xE7 ? Utf16LeToUtf8(data) : std::to_string(n)));
                    } else {
                        const std::uint8_t len = *r.U8();
                        if (len == 0) {
                            row.emplace_back("NULL");
                            continue;
                        }
                        std::int32_t n = len == 1   ? *r.U8()
                                         : len == 2 ? static_cast<std::int16_t>(*r.U16Le())
                                                    : static_cast<std::int32_t>(*r.U32Le());
                        row.push_back(std::to_string(n));
                    }
                }
                a.Rows.push_back(row);
                break;
            }
            case 0x79:
                a.ReturnStatus = static_cast<std::int32_t>(*r.U32Le());
                break;
            case 0xAC: {
                r.Skip(2);
                ReadBVarChar(r);
                r.Skip(1 + (v72 ? 4 : 2) + 2);
                r.Skip(2);  // INTN, length 4
                const std::uint8_t len = *r.U8();
                r.Skip(len);
                break;
            }
            case 0xFD:
            case 0xFE:
            case 0xFF: {
                DoneToken d;
                d.Token = token;
                d.Status = *r.U16Le();
                r.Skip(2);
                d.Rows = v72 ? *r.U64Le() : *r.U32Le();
                a.Dones.push_back(d);
                break;
            }
            default:
                return a;  // unknown token: stop decoding
        }
    }
    return a;
}

bool TdsClient::Connect(std::uint16_t port) {
    fd_.reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return fd_ && ::connect(fd_.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
}

bool TdsClient::SendRaw(ByteSpan plain) {
    const Bytes records = tls_ ? tls_->Encrypt(plain) : Bytes();
    const ByteSpan bytes = tls_ ? ByteSpan(records) : plain;
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t k = ::send(fd_.get(), bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (k <= 0) return false;
        sent += static_cast<std::size_t>(k);
    }
    return true;
}

bool TdsClient::SendPacket(std::uint8_t type, ByteSpan payload, std::uint8_t status) {
    ByteWriter w;
    w.U8(type);
    w.U8(status);
    w.U16Be(static_cast<std::uint16_t>(payload.size() + 8));
    w.U16Be(0);
    w.U8(1);
    w.U8(0);
    w.Raw(payload);
    return SendRaw(w.Data());
}

namespace {

// Reads n bytes or gives up at the deadline or at EOF.
bool ReadExactly(int fd, std::uint8_t* out, std::size_t n, int timeoutMs) {
    std::size_t got = 0;
    while (got < n) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0) return false;
        const ssize_t k = ::recv(fd, out + got, n - got, 0);
        if (k <= 0) return false;
        got += static_cast<std::size_t>(k);
    }
    return true;
}

}  // namespace

bool TdsClient::ReadPlain(std::uint8_t* out, std::size_t n, int timeoutMs) {
    while (plain_.size() < n) {
        std::uint8_t buf[16384];
        const std::size_t want = tls_ ? sizeof buf : n - plain_.size();
        if (!ReadExactly(fd_.get(), buf, 1, timeoutMs)) return false;
        pollfd p{fd_.get(), POLLIN, 0};
        ssize_t more = 0;
        if (want > 1 && ::poll(&p, 1, 0) > 0) more = std::max<ssize_t>(0, ::recv(fd_.get(), buf + 1, want - 1, 0));
        const ByteSpan raw(buf, static_cast<std::size_t>(more) + 1);
        if (!tls_)
            plain_.insert(plain_.end(), raw.begin(), raw.end());
        else if (!tls_->Decrypt(raw, plain_))
            return false;
    }
    std::copy(plain_.begin(), plain_.begin() + static_cast<std::ptrdiff_t>(n), out);
    plain_.erase(plain_.begin(), plain_.begin() + static_cast<std::ptrdiff_t>(n));
    return true;
}

Answer TdsClient::Receive(int timeoutMs) {
    Bytes payload;
    while (true) {
        std::uint8_t h[8];
        if (!ReadPlain(h, 8, timeoutMs)) return Answer{};
        const std::size_t len = (h[2] << 8) | h[3];
        if (h[0] != 0x04 || len < 8) return Answer{};
        largestPacket_ = std::max(largestPacket_, len);
        const std::size_t at = payload.size();
        payload.resize(at + len - 8);
        if (!ReadPlain(payload.data() + at, len - 8, timeoutMs)) return Answer{};
        if (h[1] & 0x01) break;
    }
    return DecodeTokens(payload, version_);
}

bool TdsClient::Handshake() {
    static const std::unique_ptr<TlsContext> context = TlsContext::ForClient();
    auto tls = std::make_unique<TlsStream>(*context, false);
    Bytes in;
    while (true) {
        Bytes out;
        const TlsStream::Step step = tls->Handshake(in, out);
        if (step == TlsStream::Step::Failed) return false;
        if (!out.empty() && !SendPacket(0x12, out)) return false;
        if (step == TlsStream::Step::Done) break;
        // The server's handshake messages come in PRELOGIN packets.
        std::uint8_t h[8];
        if (!ReadPlain(h, 8, 10000) || h[0] != 0x12) return false;
        in.resize(static_cast<std::size_t>((h[2] << 8) | h[3]) - 8);
        if (!ReadPlain(in.data(), in.size(), 10000)) return false;
    }
    serverCertificate_ = tls->PeerSubject();
    tls_ = std::move(tls);
    return true;
}

bool TdsClient::ClosedByServer(int timeoutMs) {
    std::uint8_t b[256];
    while (true) {
        pollfd p{fd_.get(), POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0) return false;
        const ssize_t k = ::recv(fd_.get(), b, sizeof b, 0);
        if (k == 0) return true;
        if (k < 0) return errno == ECONNRESET;
    }
}

Answer TdsClient::Prelogin(std::uint8_t encryption) {
    // VERSION and ENCRYPTION, the way drivers open.
    const std::uint8_t body[] = {0x00, 0x00, 0x0B, 0x00, 0x06, 0x01, 0x00, 0x11, 0x00,
                                 0x01, 0xFF, 0x09, 0x00, 0x00, 0x00, 0x00, 0x00, encryption};
    if (!SendPacket(0x12, body)) return Answer{};
    Answer a = Receive();
    std::string malformed;
    auto p = a.Received ? ParsePrelogin(a.Raw, malformed) : std::nullopt;
    encryptionAnswer_ = p ? p->Encryption : std::nullopt;
    const std::uint8_t answer = encryptionAnswer_.value_or(kEncryptNotSup);
    // Login only when both said OFF; the whole session when either wants it.
    if (answer == kEncryptNotSup || encryption == kEncryptNotSup) return a;
    loginOnly_ = answer == kEncryptOff && encryption == kEncryptOff;
    if (!Handshake()) return Answer{};
    return a;
}

bool TdsClient::Open(std::uint16_t port, std::uint8_t encryption) {
    return Connect(port) && Prelogin(encryption).Received;
}

Answer TdsClient::Login(const std::string& user, const std::string& password, const std::string& database,
                        std::uint32_t tdsVersion, std::uint32_t packetSize) {
    Login7 l;
    l.TdsVersion = tdsVersion;
    l.PacketSize = packetSize;
    l.HostName = "testhost";
    l.UserName = user;
    l.Password = password;
    l.AppName = "standin-tests";
    l.ServerName = "127.0.0.1";
    l.LibraryName = "standin-test-client";
    l.Database = database;
    version_ = tdsVersion;
    if (!SendPacket(0x10, BuildLogin7(l))) return Answer{};
    if (loginOnly_) tls_.reset();
    return Receive();
}

bool TdsClient::LoginSa(const std::string& database) {
    if (!Prelogin().Received) return false;
    Answer a = Login("sa", "", database);
    return a.Received && a.LoginAck;
}

Answer TdsClient::Batch(const std::string& sql) {
    ByteWriter w;
    if (version_ >= 0x72090002) WriteAllHeaders(w);
    w.Raw(Utf8ToUtf16Le(sql));
    const Bytes& body = w.Data();
    // Split into packets of 4096 bytes, as a client with the default size does.
    std::size_t pos = 0;
    do {
        const std::size_t n = std::min<std::size_t>(4088, body.size() - pos);
        const bool last = pos + n == body.size();
        if (!SendPacket(0x01, ByteSpan(body).subspan(pos, n), last ? 0x01 : 0x00)) return Answer{};
        pos += n;
    } while (pos < body.size());
    return Receive();
}

void TdsClient::WriteAllHeaders(ByteWriter& w) {
    w.U32Le(22);  // total length
    w.U32Le(18);  // this header's length
    w.U16Le(2);   // transaction descriptor
    w.U64Le(0);   // no transaction
    w.U32Le(1);   // outstanding requests
}

Answer TdsClient::Rpc(ByteSpan call) {
    ByteWriter w;
    WriteAllHeaders(w);
    w.Raw(call);
    if (!SendPacket(0x03, w.Data())) return Answer{};
    return Receive();
}

}  // namespace dorvane::test
