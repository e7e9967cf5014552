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
    return !b.Error && std::all_of(b.Statements.begin(), b.Statements.end(),
                                   [](const Statement& s) { return std::holds_alternative<SetStatement>(s); });
}

}  // namespace

Session::Session(Catalog& catalog, const SessionConfig& config, std::uint16_t spid)
    : catalog_(catalog), config_(config), spid_(spid) {}

Session::~Session() {
    if (entered_) catalog_.Leave(state_.Database);
}

Session::Reply Session::Answer(Bytes tokens) const {
    Reply r;
    r.Packets = Packetize(PacketType::TabularResult, tokens, packetSize_, spid_);
    return r;
}

Session::Reply Session::Broken(std::string reason) const {
    Reply r;
    r.Close = true;
    r.Reason = std::move(reason);
    return r;
}

Session::Reply Session::Handle(const Message& m) {
    switch (m.Type) {
        case PacketType::Prelogin:
            if (phase_ != Phase::Prelogin) return Broken("PRELOGIN after the login started");
            return HandlePrelogin(m);
        case PacketType::Login7:
            if (phase_ == Phase::LoggedIn) return Broken("a second LOGIN7");
            return HandleLogin(m);
        case PacketType::SqlBatch:
            if (phase_ != Phase::LoggedIn) return Broken("SQL batch before login");
            return HandleBatch(m);
        case PacketType::Rpc:
            if (phase_ != Phase::LoggedIn) return Broken("RPC before login");
            return HandleRpc(m);
        case PacketType::Attention: {
            if (phase_ != Phase::LoggedIn) return Broken("attention before login");
            // Every answer is complete before the next request is read, so there is nothing
            // left to cancel: acknowledge, as the client waits for the DONE with the ATTN bit.
            TokenWriter w = Writer();
            w.Done(kDoneAttn, 0, 0);
            return Answer(w.Take());
        }
        default:
            return Broken("request type " + std::to_string(static_cast<int>(m.Type)) + " is not served");
    }
}

Session::Reply Session::HandlePrelogin(const Message& m) {
    std::string error;
    auto prelogin = ParsePrelogin(m.Payload, error);
    if (!prelogin) return Broken(error);
    phase_ = Phase::Login;
    const EncryptionAnswer enc = NegotiateEncryption(config_.Encryption, prelogin->Encryption);
    Reply r = Answer(BuildPreloginAnswer(kServerVersion, enc.Answer));
    r.Protect = enc.Protect;
    if (enc.Terminate) {
        r.Close = true;
        r.Reason = enc.Answer == kEncryptReq ? "the client cannot encrypt and the server forces encryption"
                                             : "the client requires encryption and the server has none";
    }
    return r;
}

std::optional<std::string> Session::CheckAccount(const std::string& user, const std::string& password) const {
    // Login names compare by the server's collation, passwords exactly.
    const Collation& collation = catalog_.ServerCollation();
    if (config_.Accounts.empty()) {
        if (collation.Equal(user, "sa") && password.empty()) return std::string("sa");
        return std::nullopt;
    }
    for (const Account& a : config_.Accounts) {
        if (collation.Equal(a.User, user) && a.Password == password) return a.User;
    }
    return std::nullopt;
}

Session::Reply Session::HandleLogin(const Message& m) {
    std::string error;
    auto login = ParseLogin7(m.Payload, error);
    if (!login) return Broken(error);
    auto version = ChooseVersion(login->TdsVersion);
    if (!version) return Broken("TDS version older than 7.1");
    tdsVersion_ = *version;
    TokenWriter w = Writer();
    auto fail = [&](const ServerMessage& refusal, const char* reason) {
        w.Message(refusal, kServerName);
        w.Done(kDoneError, 0, 0);
        Reply r = Answer(w.Take());
        r.Close = true;
        r.Reason = reason;
        return r;
    };
    const std::optional<std::string> account =
        login->IntegratedSecurity ? std::nullopt : CheckAccount(login->UserName, login->Password);
    if (!account) return fail(MakeMessage(MessageId::LoginFailed, {login->UserName}), "login failed");
    const std::string wanted = login->Database.empty() ? "master" : login->Database;
    const std::optional<std::string> canonical = catalog_.Enter(wanted);
    if (!canonical) return fail(MakeMessage(MessageId::CannotOpenDatabase, {wanted}), "login database does not exist");
    entered_ = true;
    state_.Database = *canonical;
    state_.Login = *account;
    state_.Spid = spid_;
    loginDatabase_ = *canonical;
    const std::uint32_t before = packetSize_;
    if (login->PacketSize != 0) packetSize_ = std::clamp(login->PacketSize, kMinPacketSize, kMaxPacketSize);

    w.EnvDatabase(*canonical, "master");
    ServerMessage databaseChanged = MakeMessage(MessageId::DatabaseChanged, {*canonical});
    databaseChanged.State = 2;  // as SQL Server's login answer has it
    w.Message(databaseChanged, kServerName);
    w.EnvCollation();
    w.EnvLanguage(state_.Language, "");
    w.Message(MakeMessage(MessageId::LanguageChanged, {state_.Language}), kServerName);
    w.LoginAck("Microsoft SQL Server", kServerVersion);
    w.EnvPacketSize(packetSize_, before);
    w.Done(kDoneFinal, 0, 0);
    phase_ = Phase::LoggedIn;
    Reply r = Answer(w.Take());
    if (config_.Faults.DropAfterLogin) {
        r.Close = true;
        r.Reason = "fault drop-after-login";
    }
    return r;
}

void Session::ResetIfAsked(const Message& m, TokenWriter& w) {
    if (!(m.Status & (kStatusResetConnection | kStatusResetConnectionSkipTran))) return;
    // Back to the login's database; should that one have been detached meanwhile, the
    // session stays where it is, as it still holds that database.
    if (!catalog_.ServerCollation().Equal(state_.Database, loginDatabase_)) {
        if (std::optional<std::string> canonical = catalog_.Enter(loginDatabase_)) {
            catalog_.Leave(state_.Database);
            state_.Database = *canonical;
        }
    }
    state_.Options.clear();
    state_.Language = "us_english";
    prepared_.clear();
    w.EnvResetAck();
}

std::optional<ByteSpan> Session::Body(const Message& m) const {
    if (tdsVersion_ < kTds72) return ByteSpan(m.Payload);
    return SkipAllHeaders(m.Payload);
}

Session::Reply Session::HandleBatch(const Message& m) {
    auto body = Body(m);
    if (!body) return Broken("SQL batch headers do not fit the message");
    const ParsedBatch batch = ParseSqlBatch(Utf16LeToUtf8(*body), catalog_.ServerCollation());
    if (!OnlySets(batch)) {
        if (config_.Faults.DropDuringExecute && !setUpDone_) return Broken("fault drop-during-execute");
        setUpDone_ = true;
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
    auto req = ParseRpc(*body, error, unsupported);
    if (!req) return Broken(error);
    if (config_.Faults.DropDuringExecute && !setUpDone_) return Broken("fault drop-during-execute");
    setUpDone_ = true;
    TokenWriter w = Writer();
    ResetIfAsked(m, w);
    Executor ex(catalog_, state_, w);
    if (!unsupported.empty()) {
        ex.Report(MakeMessage(MessageId::NotSupported, {unsupported}));
        w.DoneProc(kDoneError, kCmdExecute, 0);
        return Answer(w.Take());
    }
    for (std::size_t i = 0; i < req->Calls.size(); ++i) {
        const RpcCall& call = req->Calls[i];
        const bool last = i + 1 == req->Calls.size();
        if (call.Procedure.empty()) {
            RunProcById(call, last, ex, w);
        } else {
            // The name may be qualified: master.dbo.sp_detach_db.
            const std::size_t dot = call.Procedure.find_last_of('.');
            std::string name = dot == std::string::npos ? call.Procedure : call.Procedure.substr(dot + 1);
            if (name.size() >= 2 && name.front() == '[' && name.back() == ']') name = name.substr(1, name.size() - 2);
            ex.RunProcedure(name, call.Arguments, last);
        }
    }
    return Answer(w.Take());
}

void Session::RunProcById(const RpcCall& call, bool last, Executor& ex, TokenWriter& w) {
    const std::uint16_t done = last ? kDoneFinal : kDoneMore;
    auto textArg = [&](std::size_t i) {
        return i < call.Arguments.size() ? call.Arguments[i].Value.Text : std::string();
    };
    auto run = [&](const std::string& sql) { ex.RunBatch(ParseSqlBatch(sql, catalog_.ServerCollation()), true); };
    switch (call.ProcId) {
        case kProcIdExecuteSql:
            run(textArg(0));
            w.ReturnStatus(0);
            w.DoneProc(done, kCmdExecute, 0);
            return;
        case kProcIdPrepare:
        case kProcIdPrepExec: {
            // The statement runs as written; parameter markers are not supported (they are
            // variables, which the parser refuses with SQL Server's own error).
            const std::int32_t handle = nextHandle_++;
            prepared_[handle] = textArg(2);
            if (call.ProcId == kProcIdPrepExec) run(prepared_[handle]);
            w.ReturnStatus(0);
            w.ReturnValueInt(0, call.Arguments.empty() ? "" : call.Arguments[0].Name, handle);
            w.DoneProc(done, kCmdExecute, 0);
            return;
        }
        case kProcIdExecute:
        case kProcIdUnprepare: {
            const std::int32_t handle = std::atoi(textArg(0).c_str());
            auto it = prepared_.find(handle);
            if (it == prepared_.end()) {
                ex.Report(MakeMessage(MessageId::PreparedStatementNotFound, {std::to_string(handle)}));
                w.ReturnStatus(1);
                w.DoneProc(done | kDoneError, kCmdExecute, 0);
                return;
            }
            if (call.ProcId == kProcIdExecute)
                run(it->second);
            else
                prepared_.erase(it);
            w.ReturnStatus(0);
            w.DoneProc(done, kCmdExecute, 0);
            return;
        }
        default:
            ex.Report(MakeMessage(MessageId::NotSupported, {"system procedure id " + std::to_string(call.ProcId)}));
            w.DoneProc(done | kDoneError, kCmdExecute, 0);
    }
}

}  // namespace standin
