// Supervisor mode for tests that run as Windows programs under Wine: they cannot start
// or signal Linux processes, so they ask this process, over a line protocol on
// 127.0.0.1, to start stand-ins and to stop or kill them. See README.md.
#pragma once

#include <string>
#include <vector>

namespace standin {

// args: {"supervise", "--port-file", FILE}. Returns the process exit code.
int RunSupervisor(const std::vector<std::string>& args);

// Splits a control line: the command, then arguments separated by tabs.
std::vector<std::string> SplitControlLine(const std::string& line);

}  // namespace standin
