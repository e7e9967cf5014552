// The stand-in's option table (command_line.cpp), fed argument vectors: the input split at
// its nulls, as the arguments of a program arrive. Properties:
//  - any vector is accepted or refused, and a refusal quotes an argument, so the operator
//    sees which one;
//  - what is accepted can be served: at least one connection, a delay within bounds, a
//    collation the stand-in knows;
//  - nothing after --help counts: the vector cut after it gives the same outcome;
//  - every argument as the value of --listen either is refused or gives its host as
//    written, without the brackets of "[::1]:1433" only.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "tools/standin/src/command_line.h"

namespace {

struct Outcome {
    std::optional<std::string> Refusal;
    standin::Settings Settings;
};

Outcome Parse(const std::vector<std::string>& args) {
    Outcome o;
    o.Refusal = standin::ParseOptions(args, o.Settings);
    return o;
}

void CheckListen(const std::string& value) {
    const Outcome o = Parse({"--listen", value});
    if (o.Refusal) return;
    const std::string given = value.substr(0, value.rfind(':'));
    const std::string& host = o.Settings.Server.Host;
    fuzz::Check(host == given || "[" + host + "]" == given, "--listen changed the host");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::string> args = fuzz::Split(fuzz::Chars(data, size), '\0');
    const Outcome o = Parse(args);
    if (o.Refusal) {
        fuzz::Check(!o.Refusal->empty(), "an argument vector refused without a reason");
        fuzz::Check(std::any_of(args.begin(), args.end(),
                                [&](const std::string& a) { return o.Refusal->find(a) != std::string::npos; }),
                    "a refusal that quotes none of the arguments");
    } else {
        const standin::ServerOptions& server = o.Settings.Server;
        fuzz::Check(server.MaxConnections >= 1, "a server that serves no connection");
        fuzz::Check(server.DelayMs >= 0 && server.DelayMs <= 3600000, "a delay out of bounds");
        fuzz::Check(o.Settings.ServerCollation != nullptr, "no collation");
    }
    if (o.Settings.Help) {
        // The --help the parse stopped at is the first one whose cut asks for help (an
        // earlier one may be another option's value).
        bool stopped = false;
        for (std::size_t i = 0; i < args.size() && !stopped; ++i) {
            if (args[i] != "--help" && args[i] != "-h") continue;
            const Outcome cut = Parse(std::vector<std::string>(args.begin(), args.begin() + i + 1));
            stopped = cut.Settings.Help;
            if (stopped) fuzz::Check(cut.Refusal == o.Refusal, "arguments after --help counted");
        }
        fuzz::Check(stopped, "help without --help");
    }
    for (const std::string& a : args) CheckListen(a);
    return 0;
}
