// The server over TCP as a client tells it apart from SQL Server: the collation (its
// bytes, its code page, its case rule), the session questions clients ask at connect,
// TLS in the three encryption modes, and the packet trace.
#include <gtest/gtest.h>

#include <sstream>

#include "tools/standin/src/tls.h"
#include "tools/standin/tests/standin_process.h"
#include "tools/standin/tests/tds_test_client.h"

namespace dorvane::test {
namespace {

using namespace standin;

class WireTest : public DataFolderTest {
protected:
    WireTest() : DataFolderTest({"db_ZVQ", "数据库甲"}) {}
};

// The bytes of each dump in a --trace file, by its title line.
std::vector<std::pair<std::string, Bytes>> ReadTrace(const std::string& text) {
    std::vector<std::pair<std::string, Bytes>> dumps;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (line.size() > 5 && line[4] == ' ' && std::isxdigit(static_cast<unsigned char>(line[0])) && !dumps.empty()) {
            std::istringstream hex(line.substr(5, line.find('|') - 5));
            std::string byte;
            while (hex >> byte) {
                for (std::size_t i = 0; i + 1 < byte.size(); i += 3)
                    dumps.back().second.push_back(static_cast<std::uint8_t>(std::stoi(byte.substr(i, 2), nullptr, 16)));
            }
        } else if (line.find(" bytes") != std::string::npos) {
            dumps.emplace_back(line, Bytes{});
        }
    }
    return dumps;
}

bool Contains(const Bytes& haystack, const Bytes& needle) {
    return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) != haystack.end();
}

TEST_F(WireTest, CollationDecidesLiteralsNamesAndWhatTheServerSays) {
    struct Case {
        const char* Name;
        Bytes TdsBytes;
        bool CjkLiteralSurvives;
        bool CaseSensitive;
    };
    const Case cases[] = {
        {"SQL_Latin1_General_CP1_CI_AS", {0x09, 0x04, 0xD0, 0x00, 0x34}, false, false},
        {"Chinese_PRC_CI_AS", {0x04, 0x08, 0xD0, 0x00, 0x00}, true, false},
        {"Latin1_General_CS_AS", {0x09, 0x04, 0xC0, 0x00, 0x00}, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        auto server = Start({"--collation", c.Name});
        TdsClient client;
        ASSERT_TRUE(client.Open(server->Port()));
        Answer login = client.Login("sa", "", "");
        ASSERT_TRUE(login.LoginAck);
        EXPECT_EQ(login.Collation, c.TdsBytes);
        EXPECT_EQ(client.Batch("SELECT SERVERPROPERTY('Collation')").Rows.at(0).at(0), std::string("231:") + c.Name);
        // A literal without N: varchar bytes of the code page, or '?' where it has none.
        Answer literal = client.Batch("SELECT '数据'");
        EXPECT_EQ(literal.ColumnTypes.at(0), 0xA7);
        EXPECT_EQ(literal.Rows.at(0).at(0), c.CjkLiteralSurvives ? "cafdbedd" : "3f3f");
        Answer plain = client.Batch("sp_detach_db '数据库甲','true'");
        if (c.CjkLiteralSurvives) {
            EXPECT_EQ(plain.FirstError(), nullptr);
            EXPECT_EQ(client.Batch("sp_attach_db N'数据库甲', N'" + data_ / "数据库甲_Data.MDF" + "'").FirstError(),
                      nullptr);
        } else {
            ASSERT_TRUE(plain.HasError(15010));
            EXPECT_NE(plain.FirstError()->Text.find("'" + std::string(4, '?') + "'"), std::string::npos);
        }
        EXPECT_EQ(client.Batch("sp_detach_db N'数据库甲','true'").FirstError(), nullptr);
        // Names compare by the collation's case rule: databases and logins alike.
        EXPECT_EQ(client.Batch("sp_detach_db 'DB_zvq'").HasError(15010), c.CaseSensitive);
        TdsClient upper;
        ASSERT_TRUE(upper.Open(server->Port()));
        EXPECT_EQ(upper.Login("SA", "", "").LoginAck, !c.CaseSensitive);
    }
}

TEST_F(WireTest, ConnectTimeQuestionsGetSqlServersTypes) {
    auto server = Start();
    TdsClient c;
    ASSERT_TRUE(c.Connect(server->Port()));
    ASSERT_TRUE(c.LoginSa());
    Answer a = c.Batch(
        "SELECT @@MAX_PRECISION, @@SPID, @@TRANCOUNT, @@SERVERNAME, @@LANGUAGE, DB_NAME(), USER_NAME(), "
        "SUSER_SNAME(), SERVERPROPERTY('ProductVersion'), SERVERPROPERTY('EngineEdition'), "
        "SERVERPROPERTY('InstanceName'), @@VERSION");
    ASSERT_EQ(a.FirstError(), nullptr) << a.FirstError()->Text;
    EXPECT_EQ(a.ColumnTypes,
              (std::vector<std::uint8_t>{0x26, 0x26, 0x26, 0xE7, 0xE7, 0xE7, 0xE7, 0xE7, 0x62, 0x62, 0x62, 0xE7}));
    const std::vector<std::string>& row = a.Rows.at(0);
    EXPECT_EQ(row[0], "38");
    EXPECT_GE(std::stoi(row[1]), 51);
    EXPECT_EQ(std::vector<std::string>(row.begin() + 2, row.begin() + 11),
              (std::vector<std::string>{"0", "DORVANE-STANDIN", "us_english", "master", "dbo", "sa", "231:16.0.1000.6",
                                        "56:3", "NULL"}));
    EXPECT_NE(row[11].find("stand-in"), std::string::npos);
    // SET options show in @@OPTIONS (QUOTED_IDENTIFIER 256, ANSI_NULLS 32).
    EXPECT_EQ(c.Batch("SET QUOTED_IDENTIFIER ON SET ANSI_NULLS ON SELECT @@OPTIONS").Rows.at(0).at(0), "288");
    // What the stand-in does not answer stays an error.
    for (const char* sql : {"SELECT @@ROWCOUNT", "SELECT SERVERPROPERTY('IsPolyBaseInstalled')"}) {
        Answer refused = c.Batch(sql);
        ASSERT_TRUE(refused.HasError(50000)) << sql;
        EXPECT_TRUE(refused.Rows.empty()) << sql;
    }
}

TEST_F(WireTest, EncryptionModesNegotiateAndProtectAsSqlServerDoes) {
    TempDir certs;
    WriteFileBytes(certs / "server.pem", MakeSelfSignedPem("standin-test-certificate"));
    struct Case {
        std::vector<std::string> Args;
        std::uint8_t Answer;
        bool EncryptedAfterLogin;
        const char* Certificate;
    };
    const Case cases[] = {
        {{}, kEncryptOff, false, "SSL_Self_Signed_Fallback"},
        {{"--encryption", "force", "--certificate", certs / "server.pem"},
         kEncryptReq,
         true,
         "standin-test-certificate"},
        {{"--encryption", "none"}, kEncryptNotSup, false, ""},
    };
    for (const Case& c : cases) {
        auto server = Start(c.Args);
        SCOPED_TRACE(c.Answer);
        TdsClient client;
        ASSERT_TRUE(client.Connect(server->Port()));
        ASSERT_TRUE(client.Prelogin(kEncryptOff).Received);
        EXPECT_EQ(client.EncryptionAnswer(), c.Answer);
        EXPECT_NE(client.ServerCertificate().find(c.Certificate), std::string::npos) << client.ServerCertificate();
        ASSERT_TRUE(client.Login("sa", "", "").LoginAck);
        EXPECT_EQ(client.Encrypted(), c.EncryptedAfterLogin);
        EXPECT_EQ(client.Batch("sp_detach_db 'db_ZVQ','true'").FirstError(), nullptr);
        EXPECT_EQ(client.Batch("sp_attach_db 'db_ZVQ', '" + data_ / "db_ZVQ_Data.MDF" + "'").FirstError(), nullptr);
    }
    // A client that asks for encryption gets the whole session encrypted from a server
    // that encrypts the login only; one that requires it is refused by a server without.
    auto loginOnly = Start();
    TdsClient wants;
    ASSERT_TRUE(wants.Open(loginOnly->Port(), kEncryptOn));
    EXPECT_EQ(wants.EncryptionAnswer(), kEncryptOn);
    ASSERT_TRUE(wants.Login("sa", "", "").LoginAck);
    EXPECT_TRUE(wants.Encrypted());
    EXPECT_EQ(wants.Batch("SELECT DB_NAME()").Rows.at(0).at(0), "master");
    auto none = Start({"--encryption", "none"});
    TdsClient insists;
    ASSERT_TRUE(insists.Open(none->Port(), kEncryptReq));
    EXPECT_EQ(insists.EncryptionAnswer(), kEncryptNotSup);
    EXPECT_TRUE(insists.ClosedByServer());
    // A client that cannot encrypt is refused by a forcing server; one that skips the
    // handshake it agreed to is closed.
    auto force = Start({"--encryption", "force"});
    TdsClient cannot;
    ASSERT_TRUE(cannot.Open(force->Port(), kEncryptNotSup));
    EXPECT_EQ(cannot.EncryptionAnswer(), kEncryptReq);
    EXPECT_TRUE(cannot.ClosedByServer());
    TdsClient skips;
    ASSERT_TRUE(skips.Connect(force->Port()));
    ASSERT_TRUE(skips.SendPacket(0x12, Bytes{0x01, 0x00, 0x06, 0x00, 0x01, 0xFF, kEncryptOff}));
    ASSERT_TRUE(skips.Receive().Received);
    skips.SendPacket(0x10, BuildLogin7(Login7{}));
    EXPECT_TRUE(skips.ClosedByServer());
}

TEST_F(WireTest, TraceShowsTheLoginDecryptedAndUnreadableOnTheWire) {
    auto server = Start({"--trace", data_ / "trace.txt"});
    {
        TdsClient c;
        ASSERT_TRUE(c.Connect(server->Port()));
        ASSERT_TRUE(c.LoginSa());
        EXPECT_EQ(c.Batch("SELECT DB_NAME()").Rows.at(0).at(0), "master");
    }
    EXPECT_EQ(server->Stop(), 0);
    const auto dumps = ReadTrace(ReadFileBytes(data_ / "trace.txt"));
    const Bytes appName = Utf8ToUtf16Le("standin-tests");  // inside the LOGIN7 record
    std::vector<std::string> order;
    for (const auto& [title, bytes] : dumps) {
        if (title.find("type 0x10") != std::string::npos) {
            EXPECT_NE(title.find("received TDS packet type 0x10 (decrypted from TLS)"), std::string::npos) << title;
            EXPECT_TRUE(Contains(bytes, appName));
        }
        if (title.find("raw TLS") != std::string::npos) {
            EXPECT_FALSE(Contains(bytes, appName)) << title;
        }
        order.push_back(title.substr(title.find("spid")));
        order.back() = order.back().substr(order.back().find(' ', 5) + 1);
        order.back() = order.back().substr(0, order.back().find(','));
    }
    // PRELOGIN and its answer in clear, the handshake in PRELOGIN packets, the login as TLS
    // records, its answer and everything after in clear again.
    ASSERT_GE(order.size(), 8u);
    EXPECT_EQ(order[0], "received TDS packet type 0x12 (clear)");
    EXPECT_EQ(order[1], "sent TDS packet type 0x04 (clear)");
    const auto login = std::find(order.begin(), order.end(), "received TDS packet type 0x10 (decrypted from TLS)");
    ASSERT_NE(login, order.end());
    EXPECT_EQ(*(login - 1), "received raw TLS records as on the wire");
    EXPECT_EQ(*(login + 1), "sent TDS packet type 0x04 (clear)");
    EXPECT_EQ(*(login + 2), "received TDS packet type 0x01 (clear)");
}

}  // namespace
}  // namespace dorvane::test
