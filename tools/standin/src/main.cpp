// dorvane-standin: a stand-in SQL Server for Dorvane's tests and demo runs.
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "tools/standin/src/catalog.h"
#include "tools/standin/src/command_line.h"
#include "tools/standin/src/sample_content.h"
#include "tools/standin/src/server.h"
#include "tools/standin/src/signal_pipe.h"
#include "tools/standin/src/supervisor.h"
#include "tools/standin/src/tls.h"
#include "tools/standin/src/trace.h"

namespace {

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

// make-sample DIR NAME
int MakeSample(const std::vector<std::string>& args) {
    if (args.size() != 3) return Fail("make-sample needs DIR and NAME");
    const std::string& dir = args[1];
    const std::string& name = args[2];
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

// The server's TLS context (unless encryption is off) and its trace, as the settings ask;
// the reason when one of them cannot be made.
std::optional<std::string> PrepareTlsAndTrace(standin::Settings& settings) {
    standin::ServerOptions& server = settings.Server;
    const std::string& certificate = settings.CertificateFile;
    if (server.Session.Encryption != standin::EncryptionMode::None) {
        std::string pem;
        if (certificate.empty()) {
            pem = standin::MakeSelfSignedPem();
        } else {
            std::ifstream in(certificate, std::ios::binary);
            if (!in) return "cannot read the certificate file " + certificate;
            pem.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
        std::string why;
        server.Tls = standin::TlsContext::ForServer(pem, why);
        if (!server.Tls)
            return "cannot use the certificate" + (certificate.empty() ? "" : " in " + certificate) + ": " + why;
    }
    if (!settings.TraceFile.empty()) {
        server.PacketTrace = std::make_shared<standin::Trace>(settings.TraceFile);
        if (!server.PacketTrace->Valid()) return "cannot write the trace file " + settings.TraceFile;
    }
    return std::nullopt;
}

// Accepts connections until SIGTERM or SIGINT; SIGUSR1 saves the catalog meanwhile.
// The reason when waiting itself fails.
std::optional<std::string> ServeUntilStopped(standin::Server& server, const standin::SignalPipe& signals,
                                             const std::function<void()>& saveCatalog) {
    while (true) {
        pollfd fds[2] = {{server.ListenFd(), POLLIN, 0}, {signals.ReadFd(), POLLIN, 0}};
        const int r = ::poll(fds, 2, 1000);
        if (r < 0 && errno != EINTR) return std::string("poll failed: ") + std::strerror(errno);
        server.Reap();
        if (r <= 0) continue;
        if (fds[1].revents & POLLIN) {
            if (const int sig = signals.Next()) {
                if (sig != SIGUSR1) return std::nullopt;
                saveCatalog();
                continue;
            }
        }
        if (fds[0].revents & POLLIN) server.AcceptOne();
    }
}

int Serve(standin::Settings settings) {
    if (auto problem = PrepareTlsAndTrace(settings)) return Fail(*problem);
    standin::Catalog catalog(*settings.ServerCollation);
    for (const std::string& dir : settings.DataDirs) {
        if (auto error = catalog.AttachFolder(dir)) return Fail(*error);
    }
    const standin::SignalPipe signals({SIGTERM, SIGINT, SIGUSR1});
    if (!signals.Valid()) return Fail("cannot create the signal pipe");

    standin::Server server(catalog, std::move(settings.Server));
    if (auto error = server.Listen()) return Fail(*error);
    const std::string& portFile = settings.PortFile;
    if (!portFile.empty() && !WriteAtomically(portFile, std::to_string(server.Port()) + "\n")) {
        return Fail("cannot write the port file " + portFile);
    }
    const std::string& catalogFile = settings.CatalogFile;
    auto saveCatalog = [&] {
        if (!catalogFile.empty() && !WriteAtomically(catalogFile, catalog.Serialize())) {
            std::cerr << "dorvane-standin: cannot write the catalog file " << catalogFile << "\n";
        }
    };
    if (auto error = ServeUntilStopped(server, signals, saveCatalog)) return Fail(*error);
    server.Shutdown();
    saveCatalog();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && args[0] == "make-sample") return MakeSample(args);
    if (!args.empty() && args[0] == "supervise") return standin::RunSupervisor(args);
    standin::Settings settings;
    if (auto refusal = standin::ParseOptions(args, settings)) return Fail(*refusal);
    if (settings.Help) {
        std::cout << standin::UsageText();
        return 0;
    }
    return Serve(std::move(settings));
}
