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
    bool Error = false;
    int Number = 0;
    int State = 0;
    int Severity = 0;
    std::string Text;
    std::string Procedure;
};

struct DoneToken {
    std::uint8_t Token = 0;  // 0xFD DONE, 0xFE DONEPROC, 0xFF DONEINPROC
    std::uint16_t Status = 0;
    std::uint64_t Rows = 0;
};

struct Answer {
    bool Received = false;  // a complete answer arrived (false: the connection closed)
    std::vector<TokenMessage> Messages;
    std::vector<std::string> ColumnNames;
    std::vector<std::uint8_t> ColumnTypes;       // TDS type of each column
    std::vector<std::vector<std::string>> Rows;  // NULL shows as "NULL"
    std::vector<DoneToken> Dones;
    std::vector<std::pair<int, std::string>> EnvChanges;  // type, new value
    std::vector<std::uint8_t> Collation;                  // ENVCHANGE 7's new value
    std::optional<std::int32_t> ReturnStatus;
    bool LoginAck = false;
    std::uint32_t LoginAckVersion = 0;
    std::vector<std::uint8_t> Raw;  // the payload, for PRELOGIN answers

    bool HasError(int number) const;
    const TokenMessage* FirstError() const;
    std::vector<std::string> Column(std::size_t i) const;
};

// Decodes a tabular-result payload; tdsVersion decides DONE and column layouts.
Answer DecodeTokens(standin::ByteSpan payload, std::uint32_t tdsVersion);

class TdsClient {
public:
    bool Connect(std::uint16_t port);
    bool SendPacket(std::uint8_t type, standin::ByteSpan payload, std::uint8_t status = 0x01);
    bool SendRaw(standin::ByteSpan bytes);
    // Reads one whole answer message; Received is false when the server closed instead.
    Answer Receive(int timeoutMs = 10000);
    // True when the server has closed the connection (reads EOF within the timeout).
    bool ClosedByServer(int timeoutMs = 5000);

    // Sends PRELOGIN with the given ENCRYPTION value; when the answer calls for TLS, runs the
    // handshake (a failed one gives Received false) and encrypts the login only or the
    // whole session as negotiated.
    Answer Prelogin(std::uint8_t encryption = standin::kEncryptOff);
    // Connect, then Prelogin: true when the server answered the PRELOGIN.
    bool Open(std::uint16_t port, std::uint8_t encryption = standin::kEncryptOff);
    std::optional<std::uint8_t> EncryptionAnswer() const { return encryptionAnswer_; }
    bool Encrypted() const { return tls_ != nullptr; }
    const std::string& ServerCertificate() const { return serverCertificate_; }
    Answer Login(const std::string& user, const std::string& password, const std::string& database = "",
                 std::uint32_t tdsVersion = 0x74000004, std::uint32_t packetSize = 4096);
    // PRELOGIN and LOGIN7 as sa with an empty password.
    bool LoginSa(const std::string& database = "");
    // The ALL_HEADERS block TDS 7.2 and later put before a batch or an RPC: one transaction
    // descriptor, outside any transaction.
    static void WriteAllHeaders(standin::ByteWriter& w);
    Answer Batch(const std::string& sql);
    Answer Rpc(standin::ByteSpan body);
    std::uint32_t Version() const { return version_; }
    // Largest answer packet received so far (packet size negotiation).
    std::size_t LargestPacket() const { return largestPacket_; }

private:
    bool ReadPlain(std::uint8_t* out, std::size_t n, int timeoutMs);
    bool Handshake();

    standin::UniqueFd fd_;
    std::unique_ptr<standin::TlsStream> tls_;
    bool loginOnly_ = false;
    standin::Bytes plain_;
    std::optional<std::uint8_t> encryptionAnswer_;
    std::string serverCertificate_;
    std::uint32_t version_ = 0x74000004;
    std::size_t largestPacket_ = 0;
};

}  // namespace dorvane::test
