#include "tools/standin/src/command_line.h"

#include <algorithm>
#include <cstdlib>

namespace standin {
namespace {

using Refusal = std::optional<std::string>;

constexpr std::string_view kCommands = R"(Usage:
  dorvane-standin [options]          serve TDS 7.1-7.4 clients
  dorvane-standin make-sample DIR NAME
                                     write NAME_Data.MDF and NAME_Log.LDF (sample content) into DIR
  dorvane-standin supervise --port-file FILE
                                     start and stop stand-ins for tests on request (see README.md)

Options:
)";
// Where an option's help starts in the usage text.
constexpr std::size_t kHelpColumn = 24;

// A whole decimal number from min to max.
std::optional<long> ParseNumber(const std::string& text, long min, long max) {
    char* end = nullptr;
    const long n = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || n < min || n > max) return std::nullopt;
    return n;
}

Refusal Listen(const std::string& v, Settings& s) {
    const std::size_t colon = v.rfind(':');
    if (colon == std::string::npos) return "--listen wants HOST:PORT, got " + v;
    std::string host = v.substr(0, colon);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    const std::optional<long> port = ParseNumber(v.substr(colon + 1), 0, 65535);
    if (!port) return "bad port in --listen " + v;
    s.Server.Host = host;
    s.Server.Port = static_cast<std::uint16_t>(*port);
    return std::nullopt;
}

Refusal AddAccount(const std::string& v, Settings& s) {
    const std::size_t colon = v.find(':');
    if (colon == std::string::npos || colon == 0) return "--account wants USER:PASSWORD, got " + v;
    s.Server.Session.Accounts.push_back({v.substr(0, colon), v.substr(colon + 1)});
    return std::nullopt;
}

Refusal ChooseCollation(const std::string& v, Settings& s) {
    s.ServerCollation = Collation::Find(v);
    if (!s.ServerCollation) return "unknown collation " + v + " (see --help)";
    return std::nullopt;
}

Refusal ChooseEncryption(const std::string& v, Settings& s) {
    static constexpr std::pair<std::string_view, EncryptionMode> kModes[] = {
        {"login-only", EncryptionMode::LoginOnly}, {"force", EncryptionMode::Force}, {"none", EncryptionMode::None}};
    for (const auto& [name, mode] : kModes) {
        if (v != name) continue;
        s.Server.Session.Encryption = mode;
        return std::nullopt;
    }
    return "unknown encryption mode " + v + " (login-only, force, none)";
}

Refusal AddFault(const std::string& v, Settings& s) {
    SessionFaults& faults = s.Server.Session.Faults;
    if (v == "drop-after-login")
        faults.DropAfterLogin = true;
    else if (v == "drop-during-execute")
        faults.DropDuringExecute = true;
    else
        return "unknown fault " + v + " (drop-after-login, drop-during-execute)";
    return std::nullopt;
}

// The largest number --delay-ms and --max-connections take.
constexpr long kLargestNumber = 3600000;

Refusal SetDelay(const std::string& v, Settings& s) {
    const std::optional<long> n = ParseNumber(v, 0, kLargestNumber);
    if (!n) return "bad number for --delay-ms: " + v;
    s.Server.DelayMs = static_cast<int>(*n);
    return std::nullopt;
}

Refusal SetMaxConnections(const std::string& v, Settings& s) {
    const std::optional<long> n = ParseNumber(v, 0, kLargestNumber);
    if (!n) return "bad number for --max-connections: " + v;
    s.Server.MaxConnections = static_cast<int>(std::max(1L, *n));
    return std::nullopt;
}

// The argument as the settings' value of that name; Append adds it to a list.
template <std::string Settings::*Field>
Refusal Store(const std::string& v, Settings& s) {
    s.*Field = v;
    return std::nullopt;
}

template <std::vector<std::string> Settings::*Field>
Refusal Append(const std::string& v, Settings& s) {
    (s.*Field).push_back(v);
    return std::nullopt;
}

Refusal BeVerbose(const std::string&, Settings& s) {
    s.Server.Verbose = true;
    return std::nullopt;
}

Refusal AskForHelp(const std::string&, Settings& s) {
    s.Help = true;
    return std::nullopt;
}

constexpr Option kOptions[] = {
    {"--listen", "", "HOST:PORT", "address to listen on (default 127.0.0.1:1433; port 0 picks a free port)", Listen},
    {"--port-file", "", "FILE", "write the port number and a newline to FILE once listening",
     Store<&Settings::PortFile>},
    {"--data", "", "DIR",
     "attach every database in DIR at start (repeatable):\n"
     "N_Data.MDF + N_Log.LDF give database N, name.mdf + name.ldf give\n"
     "database name; an .mdf without its log is attached with the data file only",
     Append<&Settings::DataDirs>},
    {"--account", "", "USER:PASSWORD", "a login the server accepts (repeatable; default: sa with an empty password)",
     AddAccount},
    {"--catalog", "", "FILE", "write the catalog to FILE on exit and on SIGUSR1", Store<&Settings::CatalogFile>},
    {"--collation", "", "NAME",
     "server collation (default SQL_Latin1_General_CP1_CI_AS); also\n"
     "SQL_Latin1_General_CP1_CS_AS, Latin1_General_CI_AS, Latin1_General_CS_AS,\n"
     "Chinese_PRC_CI_AS, Chinese_PRC_CS_AS",
     ChooseCollation},
    {"--encryption", "", "login-only | force | none",
     "TLS as SQL Server does it: the login packet only unless the client\n"
     "asks for more (default), the whole session (\"force encryption\"),\n"
     "or no certificate at all (clients that require encryption are refused)",
     ChooseEncryption},
    {"--certificate", "", "FILE",
     "PEM file with the certificate and its private key (default: a\n"
     "self-signed certificate made at start)",
     Store<&Settings::CertificateFile>},
    {"--trace", "", "FILE",
     "write every packet in and out to FILE as a hex dump (decrypted; raw\n"
     "TLS records as well)",
     Store<&Settings::TraceFile>},
    {"--fault", "", "drop-after-login | drop-during-execute",
     "close connections right after a successful login, or on the first\n"
     "batch after the session's SET statements, without answering",
     AddFault},
    {"--delay-ms", "", "N", "wait N milliseconds before every answer", SetDelay},
    {"--max-connections", "", "N", "connections served at once (default 64; more are closed at once)",
     SetMaxConnections},
    {"--verbose", "", "", "log connections and errors to stderr", BeVerbose},
    {"--help", "-h", "", "print this text", AskForHelp},
};

const Option* Find(std::string_view name) {
    for (const Option& o : kOptions)
        if (name == o.Name || (!o.ShortName.empty() && name == o.ShortName)) return &o;
    return nullptr;
}

}  // namespace

std::optional<std::string> ParseOptions(const std::vector<std::string>& args, Settings& settings) {
    for (std::size_t i = 0; i < args.size() && !settings.Help; ++i) {
        const Option* option = Find(args[i]);
        if (!option) return "unknown argument " + args[i] + " (see --help)";
        std::string argument;
        if (!option->Argument.empty()) {
            if (i + 1 == args.size()) return args[i] + " needs a value (see --help)";
            argument = args[++i];
        }
        if (Refusal refusal = option->Apply(argument, settings)) return refusal;
    }
    return std::nullopt;
}

std::string UsageText() {
    std::string text(kCommands);
    for (const Option& o : kOptions) {
        std::string line = "  " + std::string(o.Name);
        if (!o.Argument.empty()) line += " " + std::string(o.Argument);
        // The help starts on the option's own line when two spaces still fit before it.
        if (line.size() + 2 <= kHelpColumn)
            line.resize(kHelpColumn, ' ');
        else
            line += "\n" + std::string(kHelpColumn, ' ');
        std::string_view help = o.Help;
        for (std::size_t end; (end = help.find('\n')) != std::string_view::npos; help.remove_prefix(end + 1))
            line += std::string(help.substr(0, end)) + "\n" + std::string(kHelpColumn, ' ');
        text += line + std::string(help) + "\n";
    }
    return text;
}

}  // namespace standin
