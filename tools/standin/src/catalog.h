// The server's catalog: the system databases and the user databases with their files.
// An attached database holds each of its files open read-only; detaching closes them.
// The catalog also counts the sessions using each database, which blocks its detach.
// All members are safe to call from many connection threads at once.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "tools/standin/src/collation.h"
#include "tools/standin/src/messages.h"
#include "tools/standin/src/unique_fd.h"

namespace standin {

struct DatabaseInfo {
    std::string Name;
    int Id = 0;
    bool System = false;
    bool Attached = false;
};

struct FileInfo {
    std::string Database;
    int DatabaseId = 0;
    std::string LogicalName;
    std::string PhysicalName;
    bool Log = false;
};

using CatalogError = std::optional<ServerMessage>;

// Maps a path a client gives to a path here: Wine's Z:\a\b is /a/b; others unchanged.
std::string MapClientPath(const std::string& path);

class Catalog {
public:
    // Database names compare by the collation's rules (the server's collation).
    explicit Catalog(const Collation& collation = Collation::Default());
    const Collation& ServerCollation() const { return collation_; }

    // Attaches every database found in a folder (N_Data.MDF + N_Log.LDF, or name.mdf +
    // name.ldf, names compared without case). Returns the reason when it cannot.
    std::optional<std::string> AttachFolder(const std::string& dir);

    CatalogError Attach(const std::string& name, const std::vector<std::string>& files);
    CatalogError Detach(const std::string& name);

    // A session starts using a database (login or USE): the catalog's spelling of its
    // name, or nullopt when no such database is attached.
    std::optional<std::string> Enter(const std::string& name);
    void Leave(const std::string& name);

    std::vector<DatabaseInfo> Databases() const;  // attached ones, by id
    std::vector<FileInfo> Files() const;          // of attached databases, by id
    std::optional<int> DatabaseId(const std::string& name) const;
    int UsersOf(const std::string& name) const;
    // Text form written by --catalog: see README.md.
    std::string Serialize() const;

private:
    struct File {
        std::string PhysicalName;  // as the client gave it
        std::string LocalPath;     // where it is opened here
        bool Log = false;
        UniqueFd Fd;
    };
    struct Entry {
        std::string Name;
        std::u32string Key;  // the name as the collation compares it
        int Id = 0;
        bool System = false;
        bool Attached = false;
        int Users = 0;
        std::vector<File> Files;
    };

    Entry* Find(const std::string& name);
    const Entry* Find(const std::string& name) const;
    int FreeId() const;
    CatalogError AttachLocked(const std::string& name, const std::vector<std::string>& files);

    const Collation& collation_;
    mutable std::mutex mutex_;
    std::vector<Entry> entries_;
};

}  // namespace standin
