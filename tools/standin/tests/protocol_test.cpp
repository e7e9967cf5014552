// Packet, PRELOGIN, LOGIN7 and RPC parsing, including malformed and truncated input,
// and whole sessions driven message by message without a socket.
#include <gtest/gtest.h>

#include "tools/standin/src/login7.h"
#include "tools/standin/src/rpc.h"
#include "tools/standin/src/session.h"
#include "tools/standin/src/tds_packet.h"
#include "tools/standin/tests/standin_process.h"
#include "tools/standin/tests/tds_test_client.h"

namespace dorvane::test {
namespace {

using namespace standin;

Bytes Packet(std::uint8_t type, std::uint8_t status, const Bytes& payload) {
    Bytes p{type,
            status,
            static_cast<std::uint8_t>((payload.size() + 8) >> 8),
            static_cast<std::uint8_t>((payload.size() + 8) & 0xFF),
            0,
            0,
            1,
            0};
    p.insert(p.end(), payload.begin(), payload.end());
    return p;
}

TEST(Packets, HeaderChecks) {
    std::string why;
    EXPECT_TRUE(ParsePacketHeader(Packet(0x01, 1, {}), why));
    EXPECT_FALSE(ParsePacketHeader(Bytes{0x01, 0x01, 0x00}, why));
    EXPECT_EQ(why, "truncated packet header");
    EXPECT_FALSE(ParsePacketHeader(Bytes{0x55, 0x01, 0x00, 0x08, 0, 0, 0, 0}, why));  // unknown type
    EXPECT_FALSE(ParsePacketHeader(Bytes{0x01, 0x01, 0x00, 0x04, 0, 0, 0, 0}, why));  // shorter than a header
    EXPECT_FALSE(ParsePacketHeader(Bytes{0x01, 0x01, 0xFF, 0xFF, 0, 0, 0, 0}, why));  // absurd length
}

TEST(Packets, MessagesSpanPacketsAndAnswersSplitAtThePacketSize) {
    MessageAssembler a;
    EXPECT_EQ(a.Feed(Packet(0x01, 0, {1, 2, 3})), MessageAssembler::Result::NeedMore);
    EXPECT_EQ(a.Feed(Packet(0x01, 1, {4})), MessageAssembler::Result::Complete);
    Message m = a.TakeMessage();
    EXPECT_EQ(m.Payload, (Bytes{1, 2, 3, 4}));
    EXPECT_EQ(a.Feed(Packet(0x01, 0, {1})), MessageAssembler::Result::NeedMore);
    EXPECT_EQ(a.Feed(Packet(0x03, 1, {1})), MessageAssembler::Result::Error);  // type changed mid-message

    Bytes payload(1500, 0xAB);
    Bytes out = Packetize(PacketType::TabularResult, payload, 512, 51);
    // 504 payload bytes per 512-byte packet: 504 + 504 + 492.
    ASSERT_EQ(out.size(), 1500u + 3 * 8);
    EXPECT_EQ(out[1], 0);
    EXPECT_EQ((out[2] << 8) | out[3], 512);
    EXPECT_EQ(out[1024 + 1], kStatusEom);
    EXPECT_EQ((out[1024 + 2] << 8) | out[1024 + 3], 492 + 8);
    EXPECT_EQ((out[4] << 8) | out[5], 51);
}

TEST(Login7Parsing, RoundTripAndPasswordScrambling) {
    for (int b = 0; b < 256; ++b)
        EXPECT_EQ(UnscramblePasswordByte(ScramblePasswordByte(static_cast<std::uint8_t>(b))), b);
    Login7 in;
    in.TdsVersion = 0x71000001;
    in.PacketSize = 8192;
    in.UserName = "sa";
    in.Password = "pässwörd";
    in.Database = "db_ZVQ";
    in.AppName = "app";
    std::string why;
    auto out = ParseLogin7(BuildLogin7(in), why);
    ASSERT_TRUE(out) << why;
    EXPECT_EQ(out->TdsVersion, 0x71000001u);
    EXPECT_EQ(out->PacketSize, 8192u);
    EXPECT_EQ(out->UserName, "sa");
    EXPECT_EQ(out->Password, "pässwörd");
    EXPECT_EQ(out->Database, "db_ZVQ");
}

TEST(Login7Parsing, MalformedRecordsAreRefused) {
    Login7 in;
    in.UserName = "sa";
    in.Database = "master";
    const Bytes good = BuildLogin7(in);
    std::string why;
    for (std::size_t n : {0ul, 4ul, 40ul, 85ul}) {
        EXPECT_FALSE(ParseLogin7(ByteSpan(good).first(n), why)) << n;
    }
    Bytes badOffset = good;
    badOffset[36 + 4] = 0xF0;  // user name offset far past the end
    badOffset[36 + 5] = 0x7F;
    EXPECT_FALSE(ParseLogin7(badOffset, why));
    EXPECT_EQ(why, "LOGIN7 field points outside the record");
    Bytes longField = good;
    longField[36 + 32 + 2] = 0xFF;  // database length runs past the record
    EXPECT_FALSE(ParseLogin7(longField, why));
    Bytes badLength = good;
    badLength[0] = 0xFF;
    badLength[1] = 0xFF;  // length field larger than the message
    EXPECT_FALSE(ParseLogin7(badLength, why));
}

TEST(PreloginParsing, OptionsAndAnswer) {
    std::string why;
    const Bytes client{0x00, 0x00, 0x0B, 0x00, 0x06, 0x01, 0x00, 0x11, 0x00, 0x01, 0xFF, 9, 0, 0, 0, 0, 0, 0x01};
    auto p = ParsePrelogin(client, why);
    ASSERT_TRUE(p) << why;
    EXPECT_EQ(p->Encryption, 0x01);
    EXPECT_FALSE(ParsePrelogin(Bytes{0x00, 0x00, 0x0B}, why));
    EXPECT_FALSE(ParsePrelogin(Bytes{0x01, 0x00, 0x40, 0x00, 0x01, 0xFF}, why));  // points outside
    auto answer = ParsePrelogin(BuildPreloginAnswer(0x10000000, kEncryptNotSup), why);
    ASSERT_TRUE(answer) << why;
    EXPECT_EQ(answer->Encryption, 0x02);  // ENCRYPT_NOT_SUP
}

TEST(PreloginParsing, EncryptionNegotiatesAsSqlServersTable) {
    using P = Protection;
    struct Outcome {
        std::uint8_t Answer;
        P Protect;
        bool Terminate;
    };
    // A row per ENCRYPTION value the client sends (nullopt: no ENCRYPTION option), a column
    // per server mode, as in README.md's table.
    static constexpr EncryptionMode kModes[] = {EncryptionMode::LoginOnly, EncryptionMode::Force, EncryptionMode::None};
    struct Row {
        std::optional<std::uint8_t> Client;
        Outcome ByMode[std::size(kModes)];
    };
    const Row table[] = {
        {kEncryptOff,
         {{kEncryptOff, P::LoginOnly, false}, {kEncryptReq, P::Full, false}, {kEncryptNotSup, P::None, false}}},
        {kEncryptOn, {{kEncryptOn, P::Full, false}, {kEncryptOn, P::Full, false}, {kEncryptNotSup, P::None, true}}},
        {kEncryptNotSup,
         {{kEncryptNotSup, P::None, false}, {kEncryptReq, P::None, true}, {kEncryptNotSup, P::None, false}}},
        {kEncryptReq, {{kEncryptOn, P::Full, false}, {kEncryptOn, P::Full, false}, {kEncryptNotSup, P::None, true}}},
        {std::nullopt,
         {{kEncryptNotSup, P::None, false}, {kEncryptReq, P::None, true}, {kEncryptNotSup, P::None, false}}},
    };
    for (const Row& row : table) {
        for (std::size_t m = 0; m < std::size(kModes); ++m) {
            SCOPED_TRACE("client " + (row.Client ? std::to_string(*row.Client) : std::string("none")) + ", mode " +
                         std::to_string(m));
            const EncryptionAnswer a = NegotiateEncryption(kModes[m], row.Client);
            EXPECT_EQ(a.Answer, row.ByMode[m].Answer);
            EXPECT_EQ(a.Protect, row.ByMode[m].Protect);
            EXPECT_EQ(a.Terminate, row.ByMode[m].Terminate);
        }
    }
}

TEST(RpcParsing, NamedCallsAndTruncation) {
    Bytes call = BuildRpcNVarCharCall("sp_detach_db", {{"@dbname", "db_ZVQ"}, {"@skipchecks", "true"}});
    std::string why, unsupported;
    auto r = ParseRpc(call, why, unsupported);
    ASSERT_TRUE(r) << why;
    ASSERT_EQ(r->Calls.size(), 1u);
    EXPECT_EQ(r->Calls[0].Procedure, "sp_detach_db");
    ASSERT_EQ(r->Calls[0].Arguments.size(), 2u);
    EXPECT_EQ(r->Calls[0].Arguments[0].Name, "@dbname");
    EXPECT_EQ(r->Calls[0].Arguments[0].Value.Text, "db_ZVQ");
    // Cut anywhere, the message is refused or, cut between parameters, carries fewer.
    for (std::size_t n = 1; n < call.size(); ++n) {
        auto cut = ParseRpc(ByteSpan(call).first(n), why, unsupported);
        if (cut) {
            EXPECT_LT(cut->Calls.at(0).Arguments.size(), 2u) << n;
        }
    }
    EXPECT_FALSE(SkipAllHeaders(Bytes{0xFF, 0, 0, 0, 1}));

    // An integer parameter whose length byte claims more than eight bytes.
    ByteWriter w;
    w.U16Le(1);
    w.Raw(Utf8ToUtf16Le("p"));
    w.U16Le(0);
    w.U8(0);     // unnamed parameter
    w.U8(0);     // status
    w.U8(0x26);  // INTN
    w.U8(16);
    w.U8(16);
    w.Raw(Bytes(16, 0xAA));
    EXPECT_FALSE(ParseRpc(w.Data(), why, unsupported));
}

// A session fed messages directly; answers decoded by the test client's decoder.
class SessionTest : public ::testing::Test {
protected:
    // The answer to one request message; closed_ tells whether the session closes after it.
    test::Answer Send(PacketType type, const Bytes& payload, std::uint8_t status = 0) {
        Session::Reply r = session_.Handle(Message{type, status, payload});
        closed_ = r.Close;
        Bytes body;
        for (std::size_t pos = 0; pos < r.Packets.size();) {
            const std::size_t len = (r.Packets[pos + 2] << 8) | r.Packets[pos + 3];
            body.insert(body.end(), r.Packets.begin() + pos + 8, r.Packets.begin() + pos + len);
            pos += len;
        }
        return test::DecodeTokens(body, version_);
    }
    test::Answer Login(const std::string& user, const std::string& password, const std::string& db) {
        Login7 l;
        l.TdsVersion = version_;
        l.UserName = user;
        l.Password = password;
        l.Database = db;
        l.PacketSize = 8000;
        return Send(PacketType::Login7, BuildLogin7(l));
    }
    // A batch or RPC body behind the ALL_HEADERS block that TDS 7.2 and later put first.
    Bytes WithHeaders(const Bytes& body) const {
        if (version_ < kTds72) return body;
        ByteWriter w;
        TdsClient::WriteAllHeaders(w);
        w.Raw(body);
        return w.Take();
    }
    test::Answer Sql(const std::string& sql, std::uint8_t status = 0) {
        return Send(PacketType::SqlBatch, WithHeaders(Utf8ToUtf16Le(sql)), status);
    }

    std::uint32_t version_ = kTds74;
    bool closed_ = false;
    Catalog catalog_;
    SessionConfig config_{{{"dorvane", "s3cret"}}, {}};
    Session session_{catalog_, config_, 51};
};

TEST_F(SessionTest, LoginAnswerCarriesDatabasePacketSizeAndVersion) {
    test::Answer a = Login("DORVANE", "s3cret", "");
    EXPECT_FALSE(closed_);
    EXPECT_TRUE(a.LoginAck);
    EXPECT_EQ(a.LoginAckVersion, kTds74);
    EXPECT_EQ(session_.PacketSize(), 8000u);
    ASSERT_FALSE(a.EnvChanges.empty());
    EXPECT_EQ(a.EnvChanges[0], (std::pair<int, std::string>{1, "master"}));
    EXPECT_NE(std::find(a.EnvChanges.begin(), a.EnvChanges.end(), std::pair<int, std::string>{4, "8000"}),
              a.EnvChanges.end());
    ASSERT_FALSE(a.Dones.empty());
    EXPECT_EQ(a.Dones.back().Status, 0);
    EXPECT_EQ(catalog_.UsersOf("master"), 1);
}

TEST_F(SessionTest, WrongPasswordAndUnknownDatabaseFailTheLogin) {
    test::Answer a = Login("dorvane", "wrong", "");
    EXPECT_TRUE(closed_);
    EXPECT_FALSE(a.LoginAck);
    ASSERT_NE(a.FirstError(), nullptr);
    EXPECT_EQ(a.FirstError()->Number, 18456);
    EXPECT_EQ(a.FirstError()->Severity, 14);
    EXPECT_EQ(a.FirstError()->State, 1);
    EXPECT_EQ(a.FirstError()->Text, "Login failed for user 'dorvane'.");
    EXPECT_EQ(a.Dones.back().Status & kDoneError, kDoneError);

    Session other(catalog_, config_, 52);
    Login7 l;
    l.TdsVersion = kTds74;
    l.UserName = "dorvane";
    l.Password = "s3cret";
    l.Database = "nowhere";
    Message m{PacketType::Login7, 0, BuildLogin7(l)};
    Session::Reply r = other.Handle(m);
    EXPECT_TRUE(r.Close);
    EXPECT_FALSE(other.LoggedIn());
}

TEST_F(SessionTest, Tds71SessionUsesNoBatchHeaders) {
    version_ = kTds71;
    ASSERT_TRUE(Login("dorvane", "s3cret", "").LoginAck);
    test::Answer a = Sql("SELECT DB_NAME()");
    ASSERT_EQ(a.Rows.size(), 1u);
    EXPECT_EQ(a.Rows[0][0], "master");
    EXPECT_EQ(a.Dones.back().Rows, 1u);
    EXPECT_EQ(a.Dones.back().Status, kDoneCount);
}

TEST_F(SessionTest, BatchesRpcsAndAttention) {
    ASSERT_TRUE(Login("dorvane", "s3cret", "").LoginAck);
    test::Answer set = Sql("SET ANSI_NULLS ON SET LANGUAGE us_english");
    EXPECT_EQ(set.FirstError(), nullptr);
    ASSERT_EQ(set.Dones.size(), 2u);
    EXPECT_EQ(set.Dones[0].Status, kDoneMore);
    EXPECT_EQ(set.Dones[1].Status, kDoneFinal);
    EXPECT_EQ(session_.State().Options.at("ANSI_NULLS"), "ON");

    test::Answer rpc =
        Send(PacketType::Rpc, WithHeaders(BuildRpcNVarCharCall("sp_detach_db", {{"@dbname", "tempdb"}})));
    EXPECT_TRUE(rpc.HasError(3708));
    EXPECT_EQ(rpc.ReturnStatus, 1);
    ASSERT_FALSE(rpc.Dones.empty());
    EXPECT_EQ(rpc.Dones.back().Token, 0xFE);
    EXPECT_EQ(rpc.Dones.back().Status & kDoneMore, 0);

    test::Answer attn = Send(PacketType::Attention, {});
    ASSERT_EQ(attn.Dones.size(), 1u);
    EXPECT_EQ(attn.Dones[0].Status, kDoneAttn);

    test::Answer bad = Sql("SELECT 1 FROM");
    EXPECT_TRUE(bad.HasError(102));
    // A batch starting with an unknown word is a procedure call, as SQL Server reads it.
    EXPECT_TRUE(Sql("SELEKT 1").HasError(2812));
    EXPECT_EQ(bad.Dones.back().Status, kDoneError);
}

TEST_F(SessionTest, ResetConnectionRestoresTheLoginState) {
    ASSERT_TRUE(Login("dorvane", "s3cret", "").LoginAck);
    Sql("USE tempdb SET NOCOUNT ON");
    EXPECT_EQ(catalog_.UsersOf("tempdb"), 1);
    test::Answer a = Sql("SELECT DB_NAME()", kStatusEom | kStatusResetConnection);
    EXPECT_EQ(a.EnvChanges.at(0).first, 18);
    EXPECT_EQ(a.Rows.at(0).at(0), "master");
    EXPECT_EQ(catalog_.UsersOf("tempdb"), 0);
    EXPECT_TRUE(session_.State().Options.empty());
}

TEST_F(SessionTest, RequestsOutOfOrderCloseTheConnection) {
    Send(PacketType::SqlBatch, Utf8ToUtf16Le("SELECT 1"));
    EXPECT_TRUE(closed_);
}

}  // namespace
}  // namespace dorvane::test
