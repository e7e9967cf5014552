// One client connection's protocol state: PRELOGIN, LOGIN7, then SQL batches, RPCs and
// attention signals. Takes whole request messages and gives back the answer packets;
// the network code only moves bytes.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "tools/standin/src/catalog.h"
#include "tools/standin/src/executor.h"
#include "tools/standin/src/login7.h"
#include "tools/standin/src/rpc.h"
#include "tools/standin/src/tds_packet.h"

namespace standin {

struct Account {
    std::string user;
    std::string password;
};

struct Faults {
    bool drop_after_login = false;
    bool drop_during_execute = false;
};

struct SessionConfig {
    std::vector<Account> accounts;  // empty: only sa with an empty password
    Faults faults;
    EncryptionMode encryption = EncryptionMode::kLoginOnly;
};

class Session {
public:
    Session(Catalog& catalog, const SessionConfig& config, std::uint16_t spid);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    struct Reply {
        Bytes packets;       // may be empty
        bool close = false;  // close the connection after sending
        std::string reason;  // why it closes, for --verbose
        // After sending: the TLS handshake follows, then this protection (PRELOGIN only).
        Protection protect = Protection::kNone;
    };
    Reply Handle(const Message& message);

    bool LoggedIn() const { return phase_ == Phase::kLoggedIn; }
    std::uint32_t PacketSize() const { return packet_size_; }
    const SessionState& State() const { return state_; }

private:
    enum class Phase { kPrelogin, kLogin, kLoggedIn };
    Reply HandlePrelogin(const Message& m);
    Reply HandleLogin(const Message& m);
    Reply HandleBatch(const Message& m);
    Reply HandleRpc(const Message& m);
    // Puts the session back as it was after login when the request asks for it.
    void ResetIfAsked(const Message& m, TokenWriter& w);
    Reply Answer(Bytes tokens) const;
    Reply Broken(std::string reason) const;
    // The login's name as the server spells it, or nullopt when user or password is wrong.
    std::optional<std::string> CheckAccount(const std::string& user, const std::string& password) const;
    TokenWriter Writer() const { return TokenWriter(tds_version_, catalog_.ServerCollation()); }
    std::optional<ByteSpan> Body(const Message& m) const;
    // Runs one RPC call given by procedure id (sp_executesql and the prepare family).
    void RunProcById(const RpcCall& call, bool last, Executor& ex, TokenWriter& w);

    Catalog& catalog_;
    const SessionConfig& config_;
    std::uint16_t spid_;
    Phase phase_ = Phase::kPrelogin;
    std::uint32_t tds_version_ = 0x74000004;
    std::uint32_t packet_size_ = kDefaultPacketSize;
    SessionState state_;
    std::string login_database_;
    bool entered_ = false;                          // state_.database is counted in the catalog
    bool set_up_done_ = false;                      // a non-SET request has been seen (for drop-during-execute)
    std::map<std::int32_t, std::string> prepared_;  // sp_prepare handles and their SQL
    std::int32_t next_handle_ = 1;
};

}  // namespace standin
