// A small TDS client for the stand-in's tests: opens a TCP connection, sends PRELOGIN
// (then does TLS as the server's answer asks), LOGIN7, SQL batches, RPCs or raw bytes, and
// decodes the answer tokens it gets back.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tools/standin/src/login7.h"
#include "tools/standin/src/tls.h"
#include "tools/standin/src/unique_fd.h"
#include "tools/standin/src/wire.h"

namespace dorvane::test {

struct TokenMessage {
    bool error = false;
    int number = 0;
    int state = 0;
    int severity = 0;
    std::string text;
    std::string procedure;
};

struct DoneToken {
    std::uint8_t token = 0;  // 0xFD DONE, 0xFE DONEPROC, 0xFF DONEINPROC
    std::uint16_t status = 0;
    std::uint64_t rows = 0;
};

struct Answer {
    bool received = false;  // a complete answer arrived (false: the connection closed)
    std::vector<TokenMessage> messages;
    std::vector<std::string> column_names;
    std::vector<std::uint8_t> column_types;      // TDS type of each column
    std::vector<std::vector<std::string>> rows;  // NULL shows as "NULL"
    std::vector<DoneToken> dones;
    std::vector<std::pair<int, std::string>> env_changes;  // type, new value
    std::vector<std::uint8_t> collation;                   // ENVCHANGE 7's new value
    std::optional<std::int32_t> return_status;
    bool login_ack = false;
    std::uint32_t login_ack_version = 0;
    std::vector<std::uint8_t> raw;  // the payload, for PRELOGIN answers

    bool HasError(int number) const;
    const TokenMessage* FirstError() const;
    std::vector<std::string> Column(std::size_t i) const;
};

// Decodes a tabular-result payload; tds_version decides DONE and column layouts.
Answer DecodeTokens(standin::ByteSpan payload, std::uint32_t tds_version);

class TdsClient {
public:
    bool Connect(std::uint16_t port);
    bool SendPacket(std::uint8_t type, standin::ByteSpan payload, std::uint8_t status = 0x01);
    bool SendRaw(standin::ByteSpan bytes);
    // Reads one whole answer message; received=false when the server closed instead.
    Answer Receive(int timeout_ms = 10000);
    // True when the server has closed the connection (reads EOF within the timeout).
    bool ClosedByServer(int timeout_ms = 5000);

    // Sends PRELOGIN with the given ENCRYPTION value; when the answer calls for TLS, runs the
    // handshake (a failed one gives received=false) and encrypts the login only or the
    // whole session as negotiated.
    Answer Prelogin(std::uint8_t encryption = standin::kEncryptOff);
    std::optional<std::uint8_t> EncryptionAnswer() const { return encryption_answer_; }
    bool Encrypted() const { return tls_ != nullptr; }
    const std::string& ServerCertificate() const { return server_certificate_; }
    Answer Login(const std::string& user, const std::string& password, const std::string& database = "",
                 std::uint32_t tds_version = 0x74000004, std::uint32_t packet_size = 4096);
    // PRELOGIN and LOGIN7 as sa with an empty password.
    bool LoginSa(const std::string& database = "");
    // The ALL_HEADERS block TDS 7.2 and later put before a batch or an RPC: one transaction
    // descriptor, outside any transaction.
    static void WriteAllHeaders(standin::ByteWriter& w);
    Answer Batch(const std::string& sql);
    Answer Rpc(standin::ByteSpan body);
    std::uint32_t Version() const { return version_; }
    // Largest answer packet received so far (packet size negotiation).
    std::size_t LargestPacket() const { return largest_packet_; }

private:
    bool ReadPlain(std::uint8_t* out, std::size_t n, int timeout_ms);
    bool Handshake();

    standin::UniqueFd fd_;
    std::unique_ptr<standin::TlsStream> tls_;
    bool login_only_ = false;
    standin::Bytes plain_;
    std::optional<std::uint8_t> encryption_answer_;
    std::string server_certificate_;
    std::uint32_t version_ = 0x74000004;
    std::size_t largest_packet_ = 0;
};

}  // namespace dorvane::test
