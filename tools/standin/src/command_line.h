// The serving stand-in's command line: one table of options (name, argument, help text,
// how it changes the settings), from which both the parsing and the usage text come.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/standin/src/collation.h"
#include "tools/standin/src/server.h"

namespace standin {

// What the options ask of a serving stand-in.
struct Settings {
    ServerOptions Server;
    std::vector<std::string> DataDirs;
    std::string PortFile;
    std::string CatalogFile;
    std::string CertificateFile;  // empty: a self-signed certificate made at start
    std::string TraceFile;
    const Collation* ServerCollation = &Collation::Default();
    bool Help = false;
};

// An option's effect on the settings: nullopt, or the reason its argument is refused.
using ApplyOption = std::optional<std::string> (*)(const std::string& argument, Settings& settings);

struct Option {
    std::string_view Name;       // "--listen"
    std::string_view ShortName;  // "-h", or empty
    std::string_view Argument;   // what follows it, as the usage text names it; empty: nothing
    std::string_view Help;       // its lines in the usage text
    ApplyOption Apply;
};

// Applies the options in the order given, up to --help; the reason for the first one
// that is unknown, lacks its argument or refuses it.
std::optional<std::string> ParseOptions(const std::vector<std::string>& args, Settings& settings);

// The text of --help: the forms of the command, then every option with its help.
std::string UsageText();

}  // namespace standin
