// dorvane-standin: a stand-in SQL Server for Dorvane's tests and demo runs.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "tools/standin/src/catalog.h"
#include "tools/standin/src/collation.h"
#include "tools/standin/src/sample_content.h"
#include "tools/standin/src/server.h"
#include "tools/standin/src/signal_pipe.h"
#include "tools/standin/src/supervisor.h"
#include "tools/standin/src/tls.h"
#include "tools/standin/src/trace.h"
#include "tools/standin/src/unique_fd.h"

namespace {

constexpr const char* kUsage = R"(Usage:
  dorvane-standin [options]          serve TDS 7.1-7.4 clients
  dorvane-standin make-sample DIR NAME
                                     write NAME_Data.MDF and NAME_Log.LDF (sample content) into DIR
  dorvane-standin supervise --port-file FILE
                                     start and stop stand-ins for tests on request (see README.md)

Options:
  --listen HOST:PORT    address to listen on (default 127.0.0.1:1433; port 0 picks a free port)
  --port-file FILE      write the port number and a newline to FILE once listening
  --data DIR            attach every database in DIR at start (repeatable):
                        N_Data.MDF + N_Log.LDF give database N, name.mdf + name.ldf give
                        database name; an .mdf without its log is attached with the data file only
  --account USER:PASSWORD
                        a login the server accepts (repeatable; default: sa with an empty password)
  --catalog FILE        write the catalog to FILE on exit and on SIGUSR1
  --collation NAME      server collation (default SQL_Latin1_General_CP1_CI_AS); also
                        SQL_Latin1_General_CP1_CS_AS, Latin1_General_CI_AS, Latin1_General_CS_AS,
                        Chinese_PRC_CI_AS, Chinese_PRC_CS_AS
  --encryption login-only | force | none
                        TLS as SQL Server does it: the login packet only unless the client
                        asks for more (default), the whole session ("force encryption"),
                        or no certificate at all (clients that require encryption are refused)
  --certificate FILE    PEM file with the certificate and its private key (default: a
                        self-signed certificate made at start)
  --trace FILE          write every packet in and out to FILE as a hex dump (decrypted; raw
                        TLS records as well)
  --fault drop-after-login | drop-during-execute
                        close connections right after a successful login, or on the first
                        batch after the session's SET statements, without answering
  --delay-ms N          wait N milliseconds before every answer
  --max-connections N   connections served at once (default 64; more are closed at once)
  --verbose             log connections and errors to stderr
  --help                print this text
)";

int Fail(const std::string& text) {
    std::cerr << "dorvane-standin: " << text << "\n";
    return 2;
}

// Writes a whole file through a temporary name and rename(), so readers never see half.
bool WriteAtomically(const std::string& path, const std::string& content) {
    const std::string tmp = path + ".tmp." + std::to_string(::getpid());
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        out << content;
        if (!out.flush()) return false;
    }
    return std::rename(tmp.c_str(), path.c_str()) == 0;
}

int MakeSample(const std::string& dir, const std::string& name) {
    auto write = [&](const std::string& file, const std::vector<std::uint8_t>& bytes) {
        std::ofstream out(dir + "/" + file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return static_cast<bool>(out.flush());
    };
    if (!write(standin::SampleDataFileName(name), standin::SampleDataFileContent(name)) ||
        !write(standin::SampleLogFileName(name), standin::SampleLogFileContent(name))) {
        return Fail("cannot write the sample database " + name + " into " + dir);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && args[0] == "make-sample") {
        if (args.size() != 3) return Fail("make-sample needs DIR and NAME");
        return MakeSample(args[1], args[2]);
    }
    if (!args.empty() && args[0] == "supervise") return standin::RunSupervisor(argv[0], args);

    standin::ServerOptions options;
    std::vector<std::string> data_dirs;
    std::string port_file, catalog_file, certificate_file, trace_file;
    const standin::Collation* collation = &standin::Collation::Default();
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> const std::string* { return i + 1 < args.size() ? &args[++i] : nullptr; };
        if (a == "--help" || a == "-h") {
            std::cout << kUsage;
            return 0;
        }
        if (a == "--verbose") {
            options.verbose = true;
            continue;
        }
        static const char* const kWithValue[] = {"--listen",    "--port-file",  "--data",        "--account",
                                                 "--catalog",   "--fault",      "--delay-ms",    "--max-connections",
                                                 "--collation", "--encryption", "--certificate", "--trace"};
        if (std::find(std::begin(kWithValue), std::end(kWithValue), a) == std::end(kWithValue)) {
            return Fail("unknown argument " + a + " (see --help)");
        }
        const std::string* v = value();
        if (!v) return Fail(a + " needs a value (see --help)");
        if (a == "--listen") {
            const std::size_t colon = v->rfind(':');
            if (colon == std::string::npos) return Fail("--listen wants HOST:PORT, got " + *v);
            options.host = v->substr(0, colon);
            if (options.host.size() >= 2 && options.host.front() == '[')
                options.host = options.host.substr(1, options.host.size() - 2);
            char* end = nullptr;
            const long port = std::strtol(v->c_str() + colon + 1, &end, 10);
            if (*end != '\0' || port < 0 || port > 65535 || colon + 1 == v->size())
                return Fail("bad port in --listen " + *v);
            options.port = static_cast<std::uint16_t>(port);
        } else if (a == "--port-file") {
            port_file = *v;
        } else if (a == "--data") {
            data_dirs.push_back(*v);
        } else if (a == "--account") {
            const std::size_t colon = v->find(':');
            if (colon == std::string::npos || colon == 0) return Fail("--account wants USER:PASSWORD, got " + *v);
            options.session.accounts.push_back({v->substr(0, colon), v->substr(colon + 1)});
        } else if (a == "--catalog") {
            catalog_file = *v;
        } else if (a == "--collation") {
            collation = standin::Collation::Find(*v);
            if (!collation) return Fail("unknown collation " + *v + " (see --help)");
        } else if (a == "--encryption") {
            if (*v == "login-only")
                options.session.encryption = standin::EncryptionMode::kLoginOnly;
            else if (*v == "force")
                options.session.encryption = standin::EncryptionMode::kForce;
            else if (*v == "none")
                options.session.encryption = standin::EncryptionMode::kNone;
            else
                return Fail("unknown encryption mode " + *v + " (login-only, force, none)");
        } else if (a == "--certificate") {
            certificate_file = *v;
        } else if (a == "--trace") {
            trace_file = *v;
        } else if (a == "--fault") {
            if (*v == "drop-after-login")
                options.session.faults.drop_after_login = true;
            else if (*v == "drop-during-execute")
                options.session.faults.drop_during_execute = true;
            else
                return Fail("unknown fault " + *v + " (drop-after-login, drop-during-execute)");
        } else if (a == "--delay-ms" || a == "--max-connections") {
            char* end = nullptr;
            const long n = std::strtol(v->c_str(), &end, 10);
            if (*end != '\0' || n < 0 || n > 3600000 || v->empty()) return Fail("bad number for " + a + ": " + *v);
            if (a == "--delay-ms")
                options.delay_ms = static_cast<int>(n);
            else
                options.max_connections = static_cast<int>(std::max(1L, n));
        }
    }

    if (options.session.encryption != standin::EncryptionMode::kNone) {
        std::string pem;
        if (certificate_file.empty()) {
            pem = standin::MakeSelfSignedPem();
        } else {
            std::ifstream in(certificate_file, std::ios::binary);
            if (!in) return Fail("cannot read the certificate file " + certificate_file);
            pem.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
        std::string why;
        auto tls = standin::TlsContext::ForServer(pem, &why);
        if (!tls)
            return Fail("cannot use the certificate" + (certificate_file.empty() ? "" : " in " + certificate_file) +
                        ": " + why);
        options.tls = std::move(tls);
    }
    if (!trace_file.empty()) {
        options.trace = std::make_shared<standin::Trace>(trace_file);
        if (!options.trace->Valid()) return Fail("cannot write the trace file " + trace_file);
    }

    standin::Catalog catalog(*collation);
    for (const std::string& dir : data_dirs) {
        if (auto error = catalog.AttachFolder(dir)) return Fail(*error);
    }
    const standin::SignalPipe signals({SIGTERM, SIGINT, SIGUSR1});
    if (!signals.Valid()) return Fail("cannot create the signal pipe");

    standin::Server server(catalog, options);
    if (auto error = server.Listen()) return Fail(*error);
    if (!port_file.empty() && !WriteAtomically(port_file, std::to_string(server.Port()) + "\n")) {
        return Fail("cannot write the port file " + port_file);
    }
    auto save_catalog = [&] {
        if (!catalog_file.empty() && !WriteAtomically(catalog_file, catalog.Serialize())) {
            std::cerr << "dorvane-standin: cannot write the catalog file " << catalog_file << "\n";
        }
    };
    while (true) {
        pollfd fds[2] = {{server.ListenFd(), POLLIN, 0}, {signals.ReadFd(), POLLIN, 0}};
        const int r = ::poll(fds, 2, 1000);
        if (r < 0 && errno != EINTR) return Fail(std::string("poll failed: ") + std::strerror(errno));
        server.Reap();
        if (r <= 0) continue;
        if (fds[1].revents & POLLIN) {
            if (const int sig = signals.Next()) {
                if (sig == SIGUSR1) {
                    save_catalog();
                    continue;
                }
                break;
            }
        }
        if (fds[0].revents & POLLIN) server.AcceptOne();
    }
    server.Shutdown();
    save_catalog();
    return 0;
}
