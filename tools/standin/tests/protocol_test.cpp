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
    EXPECT_TRUE(ParsePacketHeader(Packet(0x01, 1, {}), &why));
    EXPECT_FALSE(ParsePacketHeader(Bytes{0x01, 0x01, 0x00}, &why));
    EXPECT_EQ(why, "truncated packet header");
    EXPECT_FALSE(ParsePacketHeader(Bytes{0x55, 0x01, 0x00, 0x08, 0, 0, 0, 0}, &why));  // unknown type
    EXPECT_FALSE(ParsePacketHeader(Bytes{0x01, 0x01, 0x00, 0x04, 0, 0, 0, 0}, &why));  // shorter than a header
    EXPECT_FALSE(ParsePacketHeader(Bytes{0x01, 0x01, 0xFF, 0xFF, 0, 0, 0, 0}, &why));  // absurd length
}

TEST(Packets, MessagesSpanPacketsAndAnswersSplitAtThePacketSize) {
    MessageAssembler a;
    EXPECT_EQ(a.Feed(Packet(0x01, 0, {1, 2, 3})), MessageAssembler::Result::kNeedMore);
    EXPECT_EQ(a.Feed(Packet(0x01, 1, {4})), MessageAssembler::Result::kComplete);
    Message m = a.TakeMessage();
    EXPECT_EQ(m.payload, (Bytes{1, 2, 3, 4}));
    EXPECT_EQ(a.Feed(Packet(0x01, 0, {1})), MessageAssembler::Result::kNeedMore);
    EXPECT_EQ(a.Feed(Packet(0x03, 1, {1})), MessageAssembler::Result::kError);  // type changed mid-message

    Bytes payload(1500, 0xAB);
    Bytes out = Packetize(PacketType::kTabularResult, payload, 512, 51);
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
    in.tds_version = 0x71000001;
    in.packet_size = 8192;
    in.user_name = "sa";
    in.password = "pässwörd";
    in.database = "db_ZVQ";
    in.app_name = "app";
    std::string why;
    auto out = ParseLogin7(BuildLogin7(in), &why);
    ASSERT_TRUE(out) << why;
    EXPECT_EQ(out->tds_version, 0x71000001u);
    EXPECT_EQ(out->packet_size, 8192u);
    EXPECT_EQ(out->user_name, "sa");
    EXPECT_EQ(out->password, "pässwörd");
    EXPECT_EQ(out->database, "db_ZVQ");
}

TEST(Login7Parsing, MalformedRecordsAreRefused) {
    Login7 in;
    in.user_name = "sa";
    in.database = "master";
    const Bytes good = BuildLogin7(in);
    std::string why;
    for (std::size_t n : {0ul, 4ul, 40ul, 85ul}) {
        EXPECT_FALSE(ParseLogin7(ByteSpan(good).first(n), &why)) << n;
    }
    Bytes bad_offset = good;
    bad_offset[36 + 4] = 0xF0;  // user name offset far past the end
    bad_offset[36 + 5] = 0x7F;
    EXPECT_FALSE(ParseLogin7(bad_offset, &why));
    EXPECT_EQ(why, "LOGIN7 field points outside the record");
    Bytes long_field = good;
    long_field[36 + 32 + 2] = 0xFF;  // database length runs past the record
    EXPECT_FALSE(ParseLogin7(long_field, &why));
    Bytes bad_length = good;
    bad_length[0] = 0xFF;
    bad_length[1] = 0xFF;  // length field larger than the message
    EXPECT_FALSE(ParseLogin7(bad_length, &why));
}

TEST(PreloginParsing, OptionsAndAnswer) {
    std::string why;
    const Bytes client{0x00, 0x00, 0x0B, 0x00, 0x06, 0x01, 0x00, 0x11, 0x00, 0x01, 0xFF, 9, 0, 0, 0, 0, 0, 0x01};
    auto p = ParsePrelogin(client, &why);
    ASSERT_TRUE(p) << why;
    EXPECT_EQ(p->encryption, 0x01);
    EXPECT_FALSE(ParsePrelogin(Bytes{0x00, 0x00, 0x0B}, &why));
    EXPECT_FALSE(ParsePrelogin(Bytes{0x01, 0x00, 0x40, 0x00, 0x01, 0xFF}, &why));  // points outside
    auto answer = ParsePrelogin(BuildPreloginAnswer(0x10000000, kEncryptNotSup), &why);
    ASSERT_TRUE(answer) << why;
    EXPECT_EQ(answer->encryption, 0x02);  // ENCRYPT_NOT_SUP
}

TEST(PreloginParsing, EncryptionNegotiatesAsSqlServersTable) {
    using M = EncryptionMode;
    using P = Protection;
    struct Cell {
        M server;
        std::optional<std::uint8_t> client;
        std::uint8_t answer;
        P protection;
        bool terminate;
    };
    const Cell table[] = {
        {M::kLoginOnly, kEncryptOff, kEncryptOff, P::kLoginOnly, false},
        {M::kLoginOnly, kEncryptOn, kEncryptOn, P::kFull, false},
        {M::kLoginOnly, kEncryptReq, kEncryptOn, P::kFull, false},
        {M::kLoginOnly, kEncryptNotSup, kEncryptNotSup, P::kNone, false},
        {M::kForce, kEncryptOff, kEncryptReq, P::kFull, false},
        {M::kForce, kEncryptOn, kEncryptOn, P::kFull, false},
        {M::kForce, kEncryptReq, kEncryptOn, P::kFull, false},
        {M::kForce, kEncryptNotSup, kEncryptReq, P::kNone, true},
        {M::kNone, kEncryptOff, kEncryptNotSup, P::kNone, false},
        {M::kNone, kEncryptOn, kEncryptNotSup, P::kNone, true},
        {M::kNone, kEncryptReq, kEncryptNotSup, P::kNone, true},
        {M::kNone, kEncryptNotSup, kEncryptNotSup, P::kNone, false},
        {M::kLoginOnly, std::nullopt, kEncryptNotSup, P::kNone, false},  // no ENCRYPTION option
    };
    for (const Cell& c : table) {
        const EncryptionAnswer a = NegotiateEncryption(c.server, c.client);
        const int row = static_cast<int>(&c - table);
        EXPECT_EQ(a.answer, c.answer) << "row " << row;
        EXPECT_EQ(a.protection, c.protection) << "row " << row;
        EXPECT_EQ(a.terminate, c.terminate) << "row " << row;
    }
}

TEST(RpcParsing, NamedCallsAndTruncation) {
    Bytes call = BuildRpcNVarCharCall("sp_detach_db", {{"@dbname", "db_ZVQ"}, {"@skipchecks", "true"}});
    std::string why, unsupported;
    auto r = ParseRpc(call, &why, &unsupported);
    ASSERT_TRUE(r) << why;
    ASSERT_EQ(r->calls.size(), 1u);
    EXPECT_EQ(r->calls[0].procedure, "sp_detach_db");
    ASSERT_EQ(r->calls[0].arguments.size(), 2u);
    EXPECT_EQ(r->calls[0].arguments[0].name, "@dbname");
    EXPECT_EQ(r->calls[0].arguments[0].value.text, "db_ZVQ");
    // Cut anywhere, the message is refused or, cut between parameters, carries fewer.
    for (std::size_t n = 1; n < call.size(); ++n) {
        auto cut = ParseRpc(ByteSpan(call).first(n), &why, &unsupported);
        if (cut) {
            EXPECT_LT(cut->calls.at(0).arguments.size(), 2u) << n;
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
    EXPECT_FALSE(ParseRpc(w.Data(), &why, &unsupported));
}

// A session fed messages directly; answers decoded by the test client's decoder.
class SessionTest : public ::testing::Test {
protected:
    test::Answer Send(PacketType type, const Bytes& payload, bool* closed = nullptr) {
        Message m;
        m.type = type;
        m.payload = payload;
        Session::Reply r = session_.Handle(m);
        if (closed) *closed = r.close;
        Bytes body;
        for (std::size_t pos = 0; pos < r.packets.size();) {
            const std::size_t len = (r.packets[pos + 2] << 8) | r.packets[pos + 3];
            body.insert(body.end(), r.packets.begin() + pos + 8, r.packets.begin() + pos + len);
            pos += len;
        }
        return test::DecodeTokens(body, version_);
    }
    test::Answer Login(const std::string& user, const std::string& password, const std::string& db, bool* closed) {
        Login7 l;
        l.tds_version = version_;
        l.user_name = user;
        l.password = password;
        l.database = db;
        l.packet_size = 8000;
        return Send(PacketType::kLogin7, BuildLogin7(l), closed);
    }
    test::Answer Sql(const std::string& sql) {
        Bytes p = Utf8ToUtf16Le(sql);
        if (version_ >= kTds72) {
            Bytes headers{22, 0, 0, 0, 18, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0};
            p.insert(p.begin(), headers.begin(), headers.end());
        }
        return Send(PacketType::kSqlBatch, p);
    }

    std::uint32_t version_ = kTds74;
    Catalog catalog_;
    SessionConfig config_{{{"dorvane", "s3cret"}}, {}};
    Session session_{catalog_, config_, 51};
};

TEST_F(SessionTest, LoginAnswerCarriesDatabasePacketSizeAndVersion) {
    bool closed = true;
    test::Answer a = Login("DORVANE", "s3cret", "", &closed);
    EXPECT_FALSE(closed);
    EXPECT_TRUE(a.login_ack);
    EXPECT_EQ(a.login_ack_version, kTds74);
    EXPECT_EQ(session_.PacketSize(), 8000u);
    ASSERT_FALSE(a.env_changes.empty());
    EXPECT_EQ(a.env_changes[0], (std::pair<int, std::string>{1, "master"}));
    EXPECT_NE(std::find(a.env_changes.begin(), a.env_changes.end(), std::pair<int, std::string>{4, "8000"}),
              a.env_changes.end());
    ASSERT_FALSE(a.dones.empty());
    EXPECT_EQ(a.dones.back().status, 0);
    EXPECT_EQ(catalog_.UsersOf("master"), 1);
}

TEST_F(SessionTest, WrongPasswordAndUnknownDatabaseFailTheLogin) {
    bool closed = false;
    test::Answer a = Login("dorvane", "wrong", "", &closed);
    EXPECT_TRUE(closed);
    EXPECT_FALSE(a.login_ack);
    ASSERT_NE(a.FirstError(), nullptr);
    EXPECT_EQ(a.FirstError()->number, 18456);
    EXPECT_EQ(a.FirstError()->severity, 14);
    EXPECT_EQ(a.FirstError()->state, 1);
    EXPECT_EQ(a.FirstError()->text, "Login failed for user 'dorvane'.");
    EXPECT_EQ(a.dones.back().status & kDoneError, kDoneError);

    Session other(catalog_, config_, 52);
    Login7 l;
    l.tds_version = kTds74;
    l.user_name = "dorvane";
    l.password = "s3cret";
    l.database = "nowhere";
    Message m{PacketType::kLogin7, 0, BuildLogin7(l)};
    Session::Reply r = other.Handle(m);
    EXPECT_TRUE(r.close);
    EXPECT_FALSE(other.LoggedIn());
}

TEST_F(SessionTest, Tds71SessionUsesNoBatchHeaders) {
    version_ = kTds71;
    bool closed = false;
    ASSERT_TRUE(Login("dorvane", "s3cret", "", &closed).login_ack);
    test::Answer a = Sql("SELECT DB_NAME()");
    ASSERT_EQ(a.rows.size(), 1u);
    EXPECT_EQ(a.rows[0][0], "master");
    EXPECT_EQ(a.dones.back().rows, 1u);
    EXPECT_EQ(a.dones.back().status, kDoneCount);
}

TEST_F(SessionTest, BatchesRpcsAndAttention) {
    bool closed = false;
    ASSERT_TRUE(Login("dorvane", "s3cret", "", &closed).login_ack);
    test::Answer set = Sql("SET ANSI_NULLS ON SET LANGUAGE us_english");
    EXPECT_EQ(set.FirstError(), nullptr);
    ASSERT_EQ(set.dones.size(), 2u);
    EXPECT_EQ(set.dones[0].status, kDoneMore);
    EXPECT_EQ(set.dones[1].status, kDoneFinal);
    EXPECT_EQ(session_.State().options.at("ANSI_NULLS"), "ON");

    test::Answer rpc = Send(PacketType::kRpc, [] {
        Bytes p{22, 0, 0, 0, 18, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0};
        Bytes call = BuildRpcNVarCharCall("sp_detach_db", {{"@dbname", "tempdb"}});
        p.insert(p.end(), call.begin(), call.end());
        return p;
    }());
    EXPECT_TRUE(rpc.HasError(3708));
    EXPECT_EQ(rpc.return_status, 1);
    ASSERT_FALSE(rpc.dones.empty());
    EXPECT_EQ(rpc.dones.back().token, 0xFE);
    EXPECT_EQ(rpc.dones.back().status & kDoneMore, 0);

    test::Answer attn = Send(PacketType::kAttention, {});
    ASSERT_EQ(attn.dones.size(), 1u);
    EXPECT_EQ(attn.dones[0].status, kDoneAttn);

    test::Answer bad = Sql("SELECT 1 FROM");
    EXPECT_TRUE(bad.HasError(102));
    // A batch starting with an unknown word is a procedure call, as SQL Server reads it.
    EXPECT_TRUE(Sql("SELEKT 1").HasError(2812));
    EXPECT_EQ(bad.dones.back().status, kDoneError);
}

TEST_F(SessionTest, ResetConnectionRestoresTheLoginState) {
    bool closed = false;
    ASSERT_TRUE(Login("dorvane", "s3cret", "", &closed).login_ack);
    Sql("USE tempdb SET NOCOUNT ON");
    EXPECT_EQ(catalog_.UsersOf("tempdb"), 1);
    Bytes select = Utf8ToUtf16Le("SELECT DB_NAME()");
    Bytes headers{22, 0, 0, 0, 18, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0};
    select.insert(select.begin(), headers.begin(), headers.end());
    Message m{PacketType::kSqlBatch, kStatusEom | kStatusResetConnection, select};
    Session::Reply r = session_.Handle(m);
    test::Answer a = test::DecodeTokens(ByteSpan(r.packets).subspan(8), version_);
    EXPECT_EQ(a.env_changes.at(0).first, 18);
    EXPECT_EQ(a.rows.at(0).at(0), "master");
    EXPECT_EQ(catalog_.UsersOf("tempdb"), 0);
    EXPECT_TRUE(session_.State().options.empty());
}

TEST_F(SessionTest, RequestsOutOfOrderCloseTheConnection) {
    bool closed = false;
    Send(PacketType::kSqlBatch, Utf8ToUtf16Le("SELECT 1"), &closed);
    EXPECT_TRUE(closed);
}

}  // namespace
}  // namespace dorvane::test
