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
    return s.size() >= suffix.size() && base::EqualsIgnoringAsciiCase(std::string_view(s).substr(s.size() - suffix.size()), suffix);
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

ServerMessage Error(int number, std::string text) {
    ServerMessage m;
    m.number = number;
    m.severity = 16;
    m.state = 1;
    m.text = std::move(text);
    return m;
}

std::string FileInUseText(const std::string& path) {
    return "Unable to open the physical file \"" + path +
           "\". Operating system error 32: \"32(The process cannot access the file because it is being used by "
           "another process.)\".";
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
        e.name = name;
        e.key = collation_.Fold(name);
        e.id = id++;
        e.system = true;
        e.attached = true;
        // System databases have no files here; sys.master_files shows where SQL Server keeps them.
        File data;
        data.physical_name = std::string("(stand-in system database)/") + name + ".mdf";
        File log;
        log.physical_name = std::string("(stand-in system database)/") + name + "log.ldf";
        log.log = true;
        e.files.push_back(std::move(data));
        e.files.push_back(std::move(log));
        entries_.push_back(std::move(e));
    }
}

Catalog::Entry* Catalog::Find(const std::string& name) {
    // Detached databases stay listed, so the list grows with every new name attached: the
    // folded keys keep each look-up one fold and plain comparisons.
    const std::u32string key = collation_.Fold(name);
    for (Entry& e : entries_)
        if (e.key == key) return &e;
    return nullptr;
}

const Catalog::Entry* Catalog::Find(const std::string& name) const {
    const std::u32string key = collation_.Fold(name);
    for (const Entry& e : entries_)
        if (e.key == key) return &e;
    return nullptr;
}

int Catalog::FreeId() const {
    for (int id = 5;; ++id) {
        const bool used =
            std::any_of(entries_.begin(), entries_.end(), [&](const Entry& e) { return e.attached && e.id == id; });
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
    auto find_file = [&](const std::string& wanted) -> std::optional<std::string> {
        for (const std::string& n : names)
            if (base::EqualsIgnoringAsciiCase(n, wanted)) return n;
        return std::nullopt;
    };
    for (const std::string& n : names) {
        if (!EndsWithNoCase(n, ".mdf")) continue;
        std::string stem = n.substr(0, n.size() - 4);
        std::string db = stem;
        std::string log_name = stem + ".ldf";
        if (EndsWithNoCase(stem, "_Data")) {
            db = stem.substr(0, stem.size() - 5);
            log_name = db + "_Log.LDF";
        }
        std::vector<std::string> files{dir + "/" + n};
        if (auto log = find_file(log_name)) files.push_back(dir + "/" + *log);
        if (CatalogError e = Attach(db, files)) return "cannot attach " + db + " from " + dir + ": " + e->text;
    }
    return std::nullopt;
}

CatalogError Catalog::Attach(const std::string& name, const std::vector<std::string>& files) {
    std::lock_guard lock(mutex_);
    return AttachLocked(name, files);
}

CatalogError Catalog::AttachLocked(const std::string& name, const std::vector<std::string>& paths) {
    Entry* existing = Find(name);
    if (existing && existing->attached) return Error(kErrDatabaseExists, FormatDatabaseExists(name));
    if (name.empty()) return Error(kErrNotSupported, FormatNotSupported("a database without a name"));
    std::vector<File> files;
    for (const std::string& p : paths) {
        File f;
        f.physical_name = p;
        f.local_path = MapClientPath(p);
        f.log = EndsWithNoCase(p, ".ldf");
        f.fd = UniqueFd(::open(f.local_path.c_str(), O_RDONLY | O_CLOEXEC));
        struct stat st {};
        if (!f.fd || ::fstat(f.fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
            return Error(kErrCannotOpenFile, FormatCannotOpenFile(p));
        }
        // One file belongs to one attached database, as with SQL Server's exclusive open.
        for (const Entry& e : entries_) {
            if (!e.attached) continue;
            for (const File& other : e.files) {
                struct stat ost {};
                if (other.fd && ::fstat(other.fd.get(), &ost) == 0 && ost.st_dev == st.st_dev &&
                    ost.st_ino == st.st_ino) {
                    return Error(kErrCannotOpenFile, FileInUseText(p));
                }
            }
        }
        files.push_back(std::move(f));
    }
    const int id = FreeId();
    if (!existing) {
        entries_.emplace_back();
        existing = &entries_.back();
        existing->name = name;
    }
    existing->name = name;
    existing->key = collation_.Fold(name);
    existing->id = id;
    existing->attached = true;
    existing->users = 0;
    existing->files = std::move(files);
    return std::nullopt;
}

CatalogError Catalog::Detach(const std::string& name) {
    std::lock_guard lock(mutex_);
    Entry* e = Find(name);
    if (!e || !e->attached) return Error(kErrDatabaseNotFound, FormatDatabaseNotFound(name));
    if (e->system) return Error(kErrSystemDatabase, FormatSystemDatabase(e->name));
    if (e->users > 0) return Error(kErrDatabaseInUse, FormatDatabaseInUse(e->name));
    e->attached = false;
    for (File& f : e->files) f.fd.reset();
    return std::nullopt;
}

bool Catalog::Enter(const std::string& name, std::string* canonical) {
    std::lock_guard lock(mutex_);
    Entry* e = Find(name);
    if (!e || !e->attached) return false;
    ++e->users;
    if (canonical) *canonical = e->name;
    return true;
}

void Catalog::Leave(const std::string& name) {
    std::lock_guard lock(mutex_);
    if (Entry* e = Find(name); e && e->users > 0) --e->users;
}

std::vector<DatabaseInfo> Catalog::Databases() const {
    std::lock_guard lock(mutex_);
    std::vector<DatabaseInfo> out;
    for (const Entry& e : entries_)
        if (e.attached) out.push_back({e.name, e.id, e.system, true});
    std::sort(out.begin(), out.end(), [](const DatabaseInfo& a, const DatabaseInfo& b) { return a.id < b.id; });
    return out;
}

std::vector<FileInfo> Catalog::Files() const {
    std::lock_guard lock(mutex_);
    std::vector<FileInfo> out;
    for (const Entry& e : entries_) {
        if (!e.attached) continue;
        for (const File& f : e.files) out.push_back({e.name, e.id, Stem(f.physical_name), f.physical_name, f.log});
    }
    std::stable_sort(out.begin(), out.end(),
                     [](const FileInfo& a, const FileInfo& b) { return a.database_id < b.database_id; });
    return out;
}

std::optional<int> Catalog::DatabaseId(const std::string& name) const {
    std::lock_guard lock(mutex_);
    const Entry* e = Find(name);
    if (!e || !e->attached) return std::nullopt;
    return e->id;
}

int Catalog::UsersOf(const std::string& name) const {
    std::lock_guard lock(mutex_);
    const Entry* e = Find(name);
    return e ? e->users : 0;
}

std::string Catalog::Serialize() const {
    std::lock_guard lock(mutex_);
    std::ostringstream out;
    out << "# dorvane-standin catalog\n";
    for (const Entry& e : entries_) {
        out << "database\t" << e.name << '\t' << (e.system ? "system" : "user") << '\t'
            << (e.attached ? "attached" : "detached") << '\n';
        for (const File& f : e.files)
            out << "file\t" << e.name << '\t' << (f.log ? "log" : "rows") << '\t' << f.physical_name << '\n';
    }
    return out.str();
}

}  // namespace standin
