// Writes the seeds of the tls_session, code_page, options, detach_statement and
// error_text targets into CORPUS/<target>/, made with the project's own code: TDS packets
// from the stand-in's builders, names and texts as the tests use them, the server's own
// error texts as FreeTDS words them.
//   build/pf-fuzz/fuzz/fuzz_seeds fuzz/corpus
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "tools/standin/src/collation.h"
#include "tools/standin/src/login7.h"
#include "tools/standin/src/messages.h"
#include "tools/standin/src/tds_packet.h"
#include "tools/standin/src/wire.h"

namespace {

using standin::Bytes;

// The corpus folder, from the command line.
std::filesystem::path& Corpus() {
    static std::filesystem::path corpus;
    return corpus;
}

void Write(const std::string& target, const std::string& name, const Bytes& bytes) {
    std::filesystem::create_directories(Corpus() / target);
    std::ofstream out(Corpus() / target / name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

Bytes Text(std::string_view utf8) { return Bytes(utf8.begin(), utf8.end()); }

// ---- tls_session: a mode byte, a framing byte per handshake flight, then chunks.

Bytes LoginPackets() {
    standin::Login7 login;
    login.TdsVersion = 0x74000004;
    login.PacketSize = 4096;
    login.HostName = "fuzz";
    login.UserName = "sa";
    login.AppName = "Dorvane";
    login.ServerName = "127.0.0.1";
    login.LibraryName = "ODBC";
    return standin::Packetize(standin::PacketType::Login7, standin::BuildLogin7(login), 4096, 0);
}

Bytes BatchPackets(std::string_view sql) {
    standin::ByteWriter w;
    w.U32Le(22);  // ALL_HEADERS: total length, then one transaction descriptor header
    w.U32Le(18);
    w.U16Le(2);
    w.U64Le(0);
    w.U32Le(1);
    w.Raw(standin::Utf8ToUtf16Le(sql));
    return standin::Packetize(standin::PacketType::SqlBatch, w.Data(), 4096, 0);
}

// Bytes as chunks of at most 255, each through TLS or not; `endTls` on the last one.
void AddChunks(Bytes& seed, const Bytes& bytes, bool encrypted, bool endTls = false) {
    for (std::size_t pos = 0; pos < bytes.size(); pos += 255) {
        const std::size_t n = std::min<std::size_t>(255, bytes.size() - pos);
        const bool last = pos + n == bytes.size();
        seed.push_back(static_cast<std::uint8_t>((encrypted ? 0x01 : 0) | (last && endTls ? 0x02 : 0)));
        seed.push_back(static_cast<std::uint8_t>(n));
        seed.insert(seed.end(), bytes.begin() + static_cast<std::ptrdiff_t>(pos),
                    bytes.begin() + static_cast<std::ptrdiff_t>(pos + n));
    }
}

void TlsSessionSeeds() {
    const Bytes login = LoginPackets();
    Bytes seed = {standin::kEncryptOff, 0x00, 0x00};  // SQL Server's default: the login only
    AddChunks(seed, login, true, true);
    AddChunks(seed, BatchPackets("SET TEXTSIZE 2147483647 SELECT @@VERSION"), false);
    Write("tls_session", "login_only", seed);

    seed = {0x04 | standin::kEncryptOff, 0x01, 0x05};  // forced: the whole session, small packets
    AddChunks(seed, login, true);
    AddChunks(seed, BatchPackets("sp_detach_db N'数据库甲','true'"), true);
    Write("tls_session", "forced_small_packets", seed);

    seed = {standin::kEncryptReq, 0x00, 0x00};
    AddChunks(seed, login, true);
    AddChunks(seed, BatchPackets("SELECT name FROM sys.databases ORDER BY name"), true);
    Write("tls_session", "client_requires", seed);

    seed = {standin::kEncryptNotSup};
    AddChunks(seed, login, false);
    AddChunks(seed, BatchPackets("USE master"), false);
    Write("tls_session", "no_tls", seed);

    Write("tls_session", "changed_hello", {standin::kEncryptOn, 0x40, 0x30, 0x00, 0x5A});
    Write("tls_session", "cut_key_exchange", {standin::kEncryptOff, 0x00, 0x80, 0x40, 0x00});
}

// ---- code_page: bytes as UTF-8, as UTF-16LE and as code page bytes.

void CodePageSeeds() {
    const char* const kTexts[] = {"数据库甲", "Ünïcødé café €", "𝒳 and 한국어", "O'Brien"};
    int n = 0;
    for (const char* text : kTexts) {
        Write("code_page", "utf8_" + std::to_string(n), Text(text));
        Write("code_page", "utf16_" + std::to_string(n), standin::Utf8ToUtf16Le(text));
        ++n;
    }
    Write("code_page", "cp936", standin::Collation::Find("Chinese_PRC_CI_AS")->Encode("数据库甲 · 中文"));
    Write("code_page", "cp1252", standin::Collation::Default().Encode("café € – “quoted”"));
}

// ---- options: argument vectors, separated by nulls.

void Arguments(const std::string& name, std::initializer_list<std::string_view> args) {
    Bytes seed;
    for (std::string_view a : args) {
        if (!seed.empty()) seed.push_back(0);
        seed.insert(seed.end(), a.begin(), a.end());
    }
    Write("options", name, seed);
}

void OptionSeeds() {
    Arguments("run", {"--listen", "127.0.0.1:0", "--port-file", "/tmp/port", "--data", "/srv/DataSource",
                      "--catalog", "/tmp/catalog"});
    Arguments("collation_tls", {"--collation", "Chinese_PRC_CS_AS", "--encryption", "force", "--certificate",
                                "/tmp/server.pem", "--trace", "/tmp/trace.log"});
    Arguments("faults", {"--account", "sa:", "--account", "user:pass:word", "--fault", "drop-after-login",
                         "--fault", "drop-during-execute", "--delay-ms", "1500", "--max-connections", "4",
                         "--verbose"});
    Arguments("ipv6_help", {"--listen", "[::1]:1433", "-h", "--bogus"});
    Arguments("refused", {"--listen", "localhost", "--encryption", "maybe"});
}

// ---- detach_statement: file titles in UTF-16LE.

void DetachSeeds() {
    const char* const kTitles[] = {"db_ZVQ_Data.MDF", "O'Brien_Data.MDF", "数据库甲_Data.MDF",
                                   "[x]]'\"--_Data.MDF", "𝒳_Data.MDF", "tab\tbell\a_Data.MDF", "x.MDF"};
    int n = 0;
    for (const char* title : kTitles) Write("detach_statement", "title_" + std::to_string(n++), standin::Utf8ToUtf16Le(title));
}

// ---- error_text: UTF-16LE records separated by U+FFFF.

void ErrorTextSeeds() {
    auto records = [](std::initializer_list<std::string_view> messages) {
        Bytes seed;
        for (std::string_view m : messages) {
            if (!seed.empty()) seed.insert(seed.end(), {0xFF, 0xFF});
            const Bytes units = standin::Utf8ToUtf16Le(m);
            seed.insert(seed.end(), units.begin(), units.end());
        }
        return seed;
    };
    const std::string server = "[FreeTDS][SQL Server]";
    using standin::MakeMessage;
    using standin::MessageId;
    Write("error_text", "not_found", records({server + MakeMessage(MessageId::DatabaseNotFound, {"数据库甲"}).Text}));
    Write("error_text", "in_use", records({server + MakeMessage(MessageId::DatabaseInUse, {"db_ZVQ"}).Text,
                                           server + MakeMessage(MessageId::LoginFailed, {"sa"}).Text}));
    Write("error_text", "unreachable",
          records({server + "Unable to connect: Adaptive Server is unavailable or does not exist",
                   server + "Unable to connect to data source"}));
    Bytes odd = records({"text", "after a null"});
    odd.insert(odd.begin() + 8, {0x00, 0x00, 0x00, 0xD8});  // a null, then an unpaired high surrogate
    Write("error_text", "null_and_surrogate", odd);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: fuzz_seeds CORPUS_FOLDER\n";
        return 2;
    }
    Corpus() = argv[1];
    TlsSessionSeeds();
    CodePageSeeds();
    OptionSeeds();
    DetachSeeds();
    ErrorTextSeeds();
    return 0;
}
