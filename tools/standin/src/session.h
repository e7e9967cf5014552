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
    std::string User;
    std::string Password;
};

// --fault: where connections are dropped on purpose.
struct SessionFaults {
    bool DropAfterLogin = false;
    bool DropDuringExecute = false;
};

struct SessionConfig {
    std::vector<Account> Accounts;  // empty: only sa with an empty password
    SessionFaults Faults;
    EncryptionMode Encryption = EncryptionMode::LoginOnly;
};

class Session {
public:
    Session(Catalog& catalog, const SessionConfig& config, std::uint16_t spid);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    struct Reply {
        Bytes Packets;       // may be empty
        bool Close = false;  // close the connection after sending
        std::string Reason;  // why it closes, for --verbose
        // After sending: the TLS handshake follows, then this protection (PRELOGIN only).
        Protection Protect = Protection::None;
    };
    Reply Handle(const Message& message);

    bool LoggedIn() const { return phase_ == Phase::LoggedIn; }
    std::uint32_t PacketSize() const { return packetSize_; }
    const SessionState& State() const { return state_; }

private:
    enum class Phase { Prelogin, Login, LoggedIn };
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
    TokenWriter Writer() const { return TokenWriter(tdsVersion_, catalog_.ServerCollation()); }
    std::optional<ByteSpan> Body(const Message& m) const;
    // Runs one RPC call given by procedure id (sp_executesql and the prepare family).
    void RunProcById(const RpcCall& call, bool last, Executor& ex, TokenWriter& w);

    Catalog& catalog_;
    const SessionConfig& config_;
    std::uint16_t spid_;
    Phase phase_ = Phase::Prelogin;
    std::uint32_t tdsVersion_ = 0x74000004;
    std::uint32_t packetSize_ = kDefaultPacketSize;
    SessionState state_;
    std::string loginDatabase_;
    bool entered_ = false;                          // state_.Database is counted in the catalog
    bool setUpDone_ = false;                        // a non-SET request has been seen (for drop-during-execute)
    std::map<std::int32_t, std::string> prepared_;  // sp_prepare handles and their SQL
    std::int32_t nextHandle_ = 1;
};

}  // namespace standin
