// What the load test needs around the stand-in: a temporary data folder, the server as
// a child process on a free port, and FreeTDS's ODBC driver through unixODBC with owned
// handles.
#pragma once

#include <sql.h>
#include <sqlext.h>
#include <sys/types.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace load {

// A fresh folder under /tmp, removed with its contents.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& Path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

std::string ReadFileBytes(const std::string& path);
// Runs `dorvane-standin make-sample DIR NAME`; false when it failed.
bool MakeSample(const std::string& dir, const std::string& name);

// dorvane-standin listening on 127.0.0.1 on a port of its choosing; stopped (SIGTERM,
// then SIGKILL after 10 s) and reaped by the destructor.
class StandinProcess {
 public:
  explicit StandinProcess(const std::vector<std::string>& args);
  ~StandinProcess();
  StandinProcess(const StandinProcess&) = delete;
  StandinProcess& operator=(const StandinProcess&) = delete;
  bool Running() const { return port_ != 0; }
  int Port() const { return port_; }
  const std::string& StartError() const { return error_; }

 private:
  TempDir dir_;
  pid_t pid_ = -1;
  int port_ = 0;
  std::string error_;
};

// One ODBC handle of any type, freed once.
class OdbcHandle {
 public:
  OdbcHandle() = default;
  OdbcHandle(SQLSMALLINT type, SQLHANDLE parent);
  OdbcHandle(OdbcHandle&& o) noexcept : type_(o.type_), h_(std::exchange(o.h_, SQLHANDLE{})) {}
  OdbcHandle& operator=(OdbcHandle&& o) noexcept;
  OdbcHandle(const OdbcHandle&) = delete;
  OdbcHandle& operator=(const OdbcHandle&) = delete;
  ~OdbcHandle();
  SQLHANDLE Get() const { return h_; }
  SQLSMALLINT Type() const { return type_; }
  explicit operator bool() const { return h_ != SQL_NULL_HANDLE; }

 private:
  SQLSMALLINT type_ = SQL_HANDLE_ENV;
  SQLHANDLE h_ = SQL_NULL_HANDLE;
};

// The first diagnostic record of a handle: native error number and message text.
struct Diagnostic {
  long native = 0;
  std::string state;
  std::string text;
};
Diagnostic FirstDiagnostic(const OdbcHandle& h);

// The result of one statement: success, or the server's first diagnostic, and the
// first column of every row of the first result.
struct Outcome {
  bool ok = false;
  Diagnostic error;
  std::vector<std::string> rows;
};

// A logged-in session through FreeTDS's ODBC driver (named by its file, so no odbcinst
// entry is needed); disconnected and freed by the destructor, connection before
// environment.
class Session {
 public:
  // Connects as sa with an empty password to master; on failure Connected() is false
  // and Error() tells why.
  Session(int port, int loginTimeoutSeconds = 10);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;
  bool Connected() const { return connected_; }
  const Diagnostic& Error() const { return error_; }
  Outcome Run(const std::string& sql);

 private:
  OdbcHandle env_;
  OdbcHandle dbc_;
  bool connected_ = false;
  Diagnostic error_;
};

}  // namespace load
