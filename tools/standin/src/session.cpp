#include "tools/standin/src/session.h"

#include <algorithm>
#include <cstdlib>

#include "tools/standin/src/login7.h"
#include "tools/standin/src/messages.h"
#include "tools/standin/src/rpc.h"
#include "tools/standin/src/sql_parser.h"
#include "tools/standin/src/wire.h"

namespace standin {
namespace {

constexpr std::uint32_t kServerVersion = 0x100003E8;  // 16.0.1000, what LOGINACK reports

// The TDS version the server answers with: the client's, when it is one of 7.1-7.4.
std::optional<std::uint32_t> ChooseVersion(std::uint32_t requested) {
    // LOGIN7 carries the version little-endian; a byte-swapped value is read the same way.
    const std::uint32_t swapped =
        ((requested & 0xFF) << 24) | ((requested & 0xFF00) << 8) | ((requested >> 8) & 0xFF00) | (requested >> 24);
    for (std::uint32_t v : {requested, swapped}) {
        const std::uint8_t major = v >> 24;
        if (major < 0x71) continue;
        if (v >= kTds74) return kTds74;
        if (v >= kTds73B) return kTds73B;
        if (v >= kTds73A) return kTds73A;
        if (v >= kTds72) return kTds72;
        return kTds71;
    }
    return std::nullopt;
}

bool OnlySets(const ParsedBatch& b) {
    return !b.error && std::all_of(b.statements.begin(), b.statements.end(),
                                   [](const Statement& s) { return std::holds_alternative<SetStatement>(s); });
}

}  // namespace

Session::Session(Catalog& catalog, const SessionConfig& config, std::uint16_t spid)
    : catalog_(catalog), config_(config), spid_(spid) {}

Session::~Session() {
    if (entered_) catalog_.Leave(state_.database);
}

Session::Reply Session::Answer(Bytes tokens) const {
    Reply r;
    r.packets = Packetize(PacketType::kTabularResult, tokens, packet_size_, spid_);
    return r;
}

Session::Reply Session::Broken(std::string reason) const {
    Reply r;
    r.close = true;
    r.reason = std::move(reason);
    return r;
}

Session::Reply Session::Handle(const Message& m) {
    switch (m.type) {
        case PacketType::kPrelogin:
            if (phase_ != Phase::kPrelogin) return Broken("PRELOGIN after the login started");
            return HandlePrelogin(m);
        case PacketType::kLogin7:
            if (phase_ == Phase::kLoggedIn) return Broken("a second LOGIN7");
            return HandleLogin(m);
        case PacketType::kSqlBatch:
            if (phase_ != Phase::kLoggedIn) return Broken("SQL batch before login");
            return HandleBatch(m);
        case PacketType::kRpc:
            if (phase_ != Phase::kLoggedIn) return Broken("RPC before login");
            return HandleRpc(m);
        case PacketType::kAttention: {
            if (phase_ != Phase::kLoggedIn) return Broken("attention before login");
            // Every answer is complete before the next request is read, so there is nothing
            // left to cancel: acknowledge, as the client waits for the DONE with the ATTN bit.
            TokenWriter w = Writer();
            w.Done(kDoneAttn, 0, 0);
            return Answer(w.Take());
        }
        default:
            return Broken("request type " + std::to_string(static_cast<int>(m.type)) + " is not served");
    }
}

Session::Reply Session::HandlePrelogin(const Message& m) {
    std::string error;
    auto prelogin = ParsePrelogin(m.payload, &error);
    if (!prelogin) return Broken(error);
    phase_ = Phase::kLogin;
    const EncryptionAnswer enc = NegotiateEncryption(config_.encryption, prelogin->encryption);
    Reply r;
    r.packets =
        Packetize(PacketType::kTabularResult, BuildPreloginAnswer(kServerVersion, enc.answer), packet_size_, spid_);
    r.protect = enc.protection;
    if (enc.terminate) {
        r.close = true;
        r.reason = enc.answer == kEncryptReq ? "the client cannot encrypt and the server forces encryption"
                                             : "the client requires encryption and the server has none";
    }
    return r;
}

std::optional<std::string> Session::CheckAccount(const std::string& user, const std::string& password) const {
    // Login names compare by the server's collation, passwords exactly.
    const Collation& collation = catalog_.ServerCollation();
    if (config_.accounts.empty()) {
        if (collation.Equal(user, "sa") && password.empty()) return std::string("sa");
        return std::nullopt;
    }
    for (const Account& a : config_.accounts) {
        if (collation.Equal(a.user, user) && a.password == password) return a.user;
    }
    return std::nullopt;
}

Session::Reply Session::HandleLogin(const Message& m) {
    std::string error;
    auto login = ParseLogin7(m.payload, &error);
    if (!login) return Broken(error);
    auto version = ChooseVersion(login->tds_version);
    if (!version) return Broken("TDS version older than 7.1");
    tds_version_ = *version;
    TokenWriter w = Writer();
    auto fail = [&](ServerMessage msg, const char* reason) {
        w.Message(msg, kServerName);
        w.Done(kDoneError, 0, 0);
        Reply r = Answer(w.Take());
        r.close = true;
        r.reason = reason;
        return r;
    };
    const std::optional<std::string> account =
        login->integrated_security ? std::nullopt : CheckAccount(login->user_name, login->password);
    if (!account) {
        ServerMessage msg{kErrLoginFailed, 1, 14, FormatLoginFailed(login->user_name), {}, 1};
        return fail(msg, "login failed");
    }
    const std::string wanted = login->database.empty() ? "master" : login->database;
    std::string canonical;
    if (!catalog_.Enter(wanted, &canonical)) {
        ServerMessage msg{kErrCannotOpenDatabase, 1, 11, FormatCannotOpenDatabase(wanted), {}, 1};
        return fail(msg, "login database does not exist");
    }
    entered_ = true;
    state_.database = canonical;
    state_.login = *account;
    state_.spid = spid_;
    login_database_ = canonical;
    const std::uint32_t before = packet_size_;
    if (login->packet_size != 0) packet_size_ = std::clamp(login->packet_size, kMinPacketSize, kMaxPacketSize);

    w.EnvDatabase(canonical, "master");
    w.Message(ServerMessage{kInfoDatabaseChanged, 2, 0, FormatDatabaseChanged(canonical), {}, 1}, kServerName);
    w.EnvCollation();
    w.EnvLanguage(state_.language, "");
    w.Message(ServerMessage{kInfoLanguageChanged, 1, 0, FormatLanguageChanged(state_.language), {}, 1}, kServerName);
    w.LoginAck("Microsoft SQL Server", kServerVersion);
    w.EnvPacketSize(packet_size_, before);
    w.Done(kDoneFinal, 0, 0);
    phase_ = Phase::kLoggedIn;
    Reply r = Answer(w.Take());
    if (config_.faults.drop_after_login) {
        r.close = true;
        r.reason = "fault drop-after-login";
    }
    return r;
}

void Session::ResetIfAsked(const Message& m, TokenWriter& w) {
    if (!(m.status & (kStatusResetConnection | kStatusResetConnectionSkipTran))) return;
    // Back to the login's database; should that one have been detached meanwhile, the
    // session stays where it is, as it still holds that database.
    std::string canonical;
    if (!catalog_.ServerCollation().Equal(state_.database, login_database_) &&
        catalog_.Enter(login_database_, &canonical)) {
        catalog_.Leave(state_.database);
        state_.database = canonical;
    }
    state_.options.clear();
    state_.language = "us_english";
    prepared_.clear();
    w.EnvResetAck();
}

std::optional<ByteSpan> Session::Body(const Message& m) const {
    if (tds_version_ < kTds72) return ByteSpan(m.payload);
    return SkipAllHeaders(m.payload);
}

Session::Reply Session::HandleBatch(const Message& m) {
    auto body = Body(m);
    if (!body) return Broken("SQL batch headers do not fit the message");
    const ParsedBatch batch = ParseSqlBatch(Utf16LeToUtf8(*body), catalog_.ServerCollation());
    if (!OnlySets(batch)) {
        if (config_.faults.drop_during_execute && !set_up_done_) return Broken("fault drop-during-execute");
        set_up_done_ = true;
    }
    TokenWriter w = Writer();
    ResetIfAsked(m, w);
    Executor(catalog_, state_, w).RunBatch(batch, false);
    return Answer(w.Take());
}

Session::Reply Session::HandleRpc(const Message& m) {
    auto body = Body(m);
    if (!body) return Broken("RPC headers do not fit the message");
    std::string error, unsupported;
    auto req = ParseRpc(*body, &error, &unsupported);
    if (!req) return Broken(error);
    if (config_.faults.drop_during_execute && !set_up_done_) return Broken("fault drop-during-execute");
    set_up_done_ = true;
    TokenWriter w = Writer();
    ResetIfAsked(m, w);
    Executor ex(catalog_, state_, w);
    if (!unsupported.empty()) {
        ex.Report(ServerMessage{kErrNotSupported, 1, 16, FormatNotSupported(unsupported), {}, 1});
        w.DoneProc(kDoneError, kCmdExecute, 0);
        return Answer(w.Take());
    }
    for (std::size_t i = 0; i < req->calls.size(); ++i) {
        const RpcCall& call = req->calls[i];
        const bool last = i + 1 == req->calls.size();
        if (call.procedure.empty()) {
            RunProcById(call, last, ex, w);
        } else {
            // The name may be qualified: master.dbo.sp_detach_db.
            const std::size_t dot = call.procedure.find_last_of('.');
            std::string name = dot == std::string::npos ? call.procedure : call.procedure.substr(dot + 1);
            if (name.size() >= 2 && name.front() == '[' && name.back() == ']') name = name.substr(1, name.size() - 2);
            ex.RunRpcProcedure(name, call.arguments, last);
        }
    }
    return Answer(w.Take());
}

void Session::RunProcById(const RpcCall& call, bool last, Executor& ex, TokenWriter& w) {
    const std::uint16_t done = last ? kDoneFinal : kDoneMore;
    auto text_arg = [&](std::size_t i) {
        return i < call.arguments.size() ? call.arguments[i].value.text : std::string();
    };
    auto run = [&](const std::string& sql) { ex.RunBatch(ParseSqlBatch(sql, catalog_.ServerCollation()), true); };
    switch (call.proc_id) {
        case kProcIdExecuteSql:
            run(text_arg(0));
            w.ReturnStatus(0);
            w.DoneProc(done, kCmdExecute, 0);
            return;
        case kProcIdPrepare:
        case kProcIdPrepExec: {
            // The statement runs as written; parameter markers are not supported (they are
            // variables, which the parser refuses with SQL Server's own error).
            const std::int32_t handle = next_handle_++;
            prepared_[handle] = text_arg(2);
            if (call.proc_id == kProcIdPrepExec) run(prepared_[handle]);
            w.ReturnStatus(0);
            w.ReturnValueInt(0, call.arguments.empty() ? "" : call.arguments[0].name, handle);
            w.DoneProc(done, kCmdExecute, 0);
            return;
        }
        case kProcIdExecute:
        case kProcIdUnprepare: {
            const std::int32_t handle = std::atoi(text_arg(0).c_str());
            auto it = prepared_.find(handle);
            if (it == prepared_.end()) {
                ex.Report(ServerMessage{8179,
                                        1,
                                        16,
                                        "Could not find prepared statement with handle " + std::to_string(handle) + ".",
                                        {},
                                        1});
                w.ReturnStatus(1);
                w.DoneProc(done | kDoneError, kCmdExecute, 0);
                return;
            }
            if (call.proc_id == kProcIdExecute)
                run(it->second);
            else
                prepared_.erase(it);
            w.ReturnStatus(0);
            w.DoneProc(done, kCmdExecute, 0);
            return;
        }
        default:
            ex.Report(ServerMessage{kErrNotSupported,
                                    1,
                                    16,
                                    FormatNotSupported("system procedure id " + std::to_string(call.proc_id)),
                                    {},
                                    1});
            w.DoneProc(done | kDoneError, kCmdExecute, 0);
    }
}

}  // namespace standin
