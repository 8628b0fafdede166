#pragma once

// A temporary folder and a fresh database in it, for the benchmarks of the importer and the update.

#include "server/storage/Database.h"
#include "server/storage/Schema.h"

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace vorteq::bench {

// A new folder under the system's temporary folder; the benchmark removes it when done.
inline std::filesystem::path makeTempDir(const std::string& prefix)
{
    std::string tmpl = (std::filesystem::temp_directory_path() / (prefix + "_XXXXXX")).string();
    if (::mkdtemp(tmpl.data()) == nullptr)
        std::abort();
    return tmpl;
}

// A fresh database file in dir (an old one of that name is removed) with the schema the init
// command makes, daily tables up to lastYear.
inline std::string freshDatabase(const std::filesystem::path& dir, const std::string& name, int lastYear)
{
    const std::string path = (dir / name).string();
    std::filesystem::remove(path);
    auto db = server::Database::open(path, true);
    if (!db || !server::createSchema(*db, lastYear))
        std::abort();
    return path;
}

} // namespace vorteq::bench
