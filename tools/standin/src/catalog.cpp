#include "tools/standin/src/catalog.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <map>
#include <sstream>

#include "base/text.h"
#include "tools/standin/src/messages.h"
#include "tools/standin/src/wire.h"

namespace standin {
namespace {

constexpr const char* kSystemDatabases[] = {"master", "tempdb", "model", "msdb"};

bool EndsWithNoCase(const std::string& s, std::string_view suffix) {
    return s.size() >= suffix.size() &&
           base::EqualsIgnoringAsciiCase(std::string_view(s).substr(s.size() - suffix.size()), suffix);
}

std::string BaseName(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Stem(const std::string& path) {
    std::string b = BaseName(path);
    const std::size_t dot = b.find_last_of('.');
    return dot == std::string::npos ? b : b.substr(0, dot);
}

}  // namespace

std::string MapClientPath(const std::string& path) {
    if (path.size() >= 3 && (path[0] == 'Z' || path[0] == 'z') && path[1] == ':' &&
        (path[2] == '\\' || path[2] == '/')) {
        std::string out = path.substr(2);
        std::replace(out.begin(), out.end(), '\\', '/');
        return out;
    }
    return path;
}

Catalog::Catalog(const Collation& collation) : collation_(collation) {
    int id = 1;
    for (const char* name : kSystemDatabases) {
        Entry e;
        e.Name = name;
        e.Key = collation_.Fold(name);
        e.Id = id++;
        e.System = true;
        e.Attached = true;
        // System databases have no files here; sys.master_files shows where SQL Server keeps them.
        File data;
        data.PhysicalName = std::string("(stand-in system database)/") + name + ".mdf";
        File log;
        log.PhysicalName = std::string("(stand-in system database)/") + name + "log.ldf";
        log.Log = true;
        e.Files.push_back(std::move(data));
        e.Files.push_back(std::move(log));
        entries_.push_back(std::move(e));
    }
}

Catalog::Entry* Catalog::Find(const std::string& name) {
    // Detached databases stay listed, so the list grows with every new name attached: the
    // folded keys keep each look-up one fold and plain comparisons.
    const std::u32string key = collation_.Fold(name);
    for (Entry& e : entries_)
        if (e.Key == key) return &e;
    return nullptr;
}

const Catalog::Entry* Catalog::Find(const std::string& name) const {
    const std::u32string key = collation_.Fold(name);
    for (const Entry& e : entries_)
        if (e.Key == key) return &e;
    return nullptr;
}

int Catalog::FreeId() const {
    for (int id = 5;; ++id) {
        const bool used =
            std::any_of(entries_.begin(), entries_.end(), [&](const Entry& e) { return e.Attached && e.Id == id; });
        if (!used) return id;
    }
}

std::optional<std::string> Catalog::AttachFolder(const std::string& given) {
    // Absolute paths, so sys.master_files and the catalog file name the files exactly.
    char* real = ::realpath(given.c_str(), nullptr);
    if (!real) return "cannot find the data folder " + given;
    const std::string dir = real;
    std::free(real);
    DIR* d = ::opendir(dir.c_str());
    if (!d) return "cannot read the data folder " + dir;
    std::vector<std::string> names;
    while (dirent* ent = ::readdir(d)) names.emplace_back(ent->d_name);
    ::closedir(d);
    std::sort(names.begin(), names.end());
    auto findFile = [&](const std::string& wanted) -> std::optional<std::string> {
        for (const std::string& n : names)
            if (base::EqualsIgnoringAsciiCase(n, wanted)) return n;
        return std::nullopt;
    };
    for (const std::string& n : names) {
        if (!EndsWithNoCase(n, ".mdf")) continue;
        std::string stem = n.substr(0, n.size() - 4);
        std::string db = stem;
        std::string logName = stem + ".ldf";
        if (EndsWithNoCase(stem, "_Data")) {
            db = stem.substr(0, stem.size() - 5);
            logName = db + "_Log.LDF";
        }
        std::vector<std::string> files{dir + "/" + n};
        if (auto log = findFile(logName)) files.push_back(dir + "/" + *log);
        if (CatalogError e = Attach(db, files)) return "cannot attach " + db + " from " + dir + ": " + e->Text;
    }
    return std::nullopt;
}

CatalogError Catalog::Attach(const std::string& name, const std::vector<std::string>& files) {
    std::lock_guard lock(mutex_);
    return AttachLocked(name, files);
}

CatalogError Catalog::AttachLocked(const std::string& name, const std::vector<std::string>& paths) {
    Entry* existing = Find(name);
    if (existing && existing->Attached) return MakeMessage(MessageId::DatabaseExists, {name});
    if (name.empty()) return MakeMessage(MessageId::NotSupported, {"a database without a name"});
    std::vector<File> files;
    for (const std::string& p : paths) {
        File f;
        f.PhysicalName = p;
        f.LocalPath = MapClientPath(p);
        f.Log = EndsWithNoCase(p, ".ldf");
        f.Fd = UniqueFd(::open(f.LocalPath.c_str(), O_RDONLY | O_CLOEXEC));
        struct stat st {};
        if (!f.Fd || ::fstat(f.Fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
            return MakeMessage(MessageId::FileNotFound, {p});
        // One file belongs to one attached database, as with SQL Server's exclusive open.
        for (const Entry& e : entries_) {
            if (!e.Attached) continue;
            for (const File& other : e.Files) {
                struct stat ost {};
                if (other.Fd && ::fstat(other.Fd.get(), &ost) == 0 && ost.st_dev == st.st_dev &&
                    ost.st_ino == st.st_ino) {
                    return MakeMessage(MessageId::FileInUse, {p});
                }
            }
        }
        files.push_back(std::move(f));
    }
    const int id = FreeId();
    if (!existing) {
        entries_.emplace_back();
        existing = &entries_.back();
        existing->Name = name;
    }
    existing->Name = name;
    existing->Key = collation_.Fold(name);
    existing->Id = id;
    existing->Attached = true;
    existing->Users = 0;
    existing->Files = std::move(files);
    return std::nullopt;
}

CatalogError Catalog::Detach(const std::string& name) {
    std::lock_guard lock(mutex_);
    Entry* e = Find(name);
    if (!e || !e->Attached) return MakeMessage(MessageId::DatabaseNotFound, {name});
    if (e->System) return MakeMessage(MessageId::SystemDatabase, {e->Name});
    if (e->Users > 0) return MakeMessage(MessageId::DatabaseInUse, {e->Name});
    e->Attached = false;
    for (File& f : e->Files) f.Fd.reset();
    return std::nullopt;
}

std::optional<std::string> Catalog::Enter(const std::string& name) {
    std::lock_guard lock(mutex_);
    Entry* e = Find(name);
    if (!e || !e->Attached) return std::nullopt;
    ++e->Users;
    return e->Name;
}

void Catalog::Leave(const std::string& name) {
    std::lock_guard lock(mutex_);
    if (Entry* e = Find(name); e && e->Users > 0) --e->Users;
}

std::vector<DatabaseInfo> Catalog::Databases() const {
    std::lock_guard lock(mutex_);
    std::vector<DatabaseInfo> out;
    for (const Entry& e : entries_)
        if (e.Attached) out.push_back({e.Name, e.Id, e.System, true});
    std::sort(out.begin(), out.end(), [](const DatabaseInfo& a, const DatabaseInfo& b) { return a.Id < b.Id; });
    return out;
}

std::vector<FileInfo> Catalog::Files() const {
    std::lock_guard lock(mutex_);
    std::vector<FileInfo> out;
    for (const Entry& e : entries_) {
        if (!e.Attached) continue;
        for (const File& f : e.Files) out.push_back({e.Name, e.Id, Stem(f.PhysicalName), f.PhysicalName, f.Log});
    }
    std::stable_sort(out.begin(), out.end(),
                     [](const FileInfo& a, const FileInfo& b) { return a.DatabaseId < b.DatabaseId; });
    return out;
}

std::optional<int> Catalog::DatabaseId(const std::string& name) const {
    std::lock_guard lock(mutex_);
    const Entry* e = Find(name);
    if (!e || !e->Attached) return std::nullopt;
    return e->Id;
}

int Catalog::UsersOf(const std::string& name) const {
    std::lock_guard lock(mutex_);
    const Entry* e = Find(name);
    return e ? e->Users : 0;
}

std::string Catalog::Serialize() const {
    std::lock_guard lock(mutex_);
    std::ostringstream out;
    out << "# dorvane-standin catalog\n";
    for (const Entry& e : entries_) {
        out << "database\t" << e.Name << '\t' << (e.System ? "system" : "user") << '\t'
            << (e.Attached ? "attached" : "detached") << '\n';
        for (const File& f : e.Files)
            out << "file\t" << e.Name << '\t' << (f.Log ? "log" : "rows") << '\t' << f.PhysicalName << '\n';
    }
    return out.str();
}

}  // namespace standin
