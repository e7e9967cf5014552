// Detaches through Dorvane's connection layer exactly as one press of "分离" does (Open
// with the built connection string, Execute the built statement, release), timed inside
// the process with QueryPerformanceCounter:
//   bench_detach PORT NAME UNIX_FOLDER CYCLES   re-attach (untimed), then a timed detach,
//                                               CYCLES times; prints "detach_ms <ms>"
//   bench_detach PORT NAME                      one detach, for timing the whole process
#include <windows.h>
#include <sql.h>
#include <sqlext.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/detach_rules.h"
#include "bench/bench_timer.h"
#include "db/connection.h"

namespace {

std::wstring Server(int port) { return L"127.0.0.1," + std::to_wstring(port); }

void Detach(int port, const std::wstring& name) {
    db::Connection connection;
    connection.Open(app::BuildConnectionString(Server(port)), L"", L"");
    connection.Execute(app::BuildDetachStatement(name));
}

// The re-attach between timed detaches goes through the same layer but is not timed.
void Attach(int port, const std::wstring& name, const std::wstring& folder) {
    db::Connection connection;
    connection.Open(app::BuildConnectionString(Server(port)), L"", L"");
    connection.Execute(L"EXEC sp_attach_db @dbname = N'" + name + L"', @filename1 = N'" + folder + L"/" + name +
                       L"_Data.MDF', @filename2 = N'" + folder + L"/" + name + L"_Log.LDF'");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 3 && argc != 5) {
        std::fprintf(stderr, "usage: bench_detach PORT NAME [UNIX_FOLDER CYCLES]\n");
        return 2;
    }
    const int port = _wtoi(argv[1]);
    const std::wstring name = argv[2];
    try {
        if (argc == 3) {
            Detach(port, name);
            return 0;
        }
        const int cycles = _wtoi(argv[4]);
        for (int i = 0; i < cycles; ++i) {
            Attach(port, name, argv[3]);
            const double start = bench::NowMs();
            Detach(port, name);
            bench::Report("detach_ms", bench::NowMs() - start);
        }
    } catch (const db::Error& e) {
        std::fprintf(stderr, "bench_detach: %s\n", e.what());
        return 1;
    }
    return 0;
}
