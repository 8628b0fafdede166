#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

struct sqlite3_vfs;

namespace vorteq::server {

// A cap on the temporary storage of one database connection. SQLite writes the spill of a large
// sort, a transient table or a statement journal to temporary files; it has no limit of its own
// for them, so a single statement can fill the disk. The connection is opened through a file layer
// of its own (registered under vfsName()) that hands every file to the system's layer and counts the
// bytes of the temporary ones: a write that would take them beyond the cap fails as "disk full" and
// the statement ends with an error. Must outlive the connection opened through it.
class TempFileCap {
public:
    explicit TempFileCap(std::int64_t limitBytes);
    ~TempFileCap();
    TempFileCap(const TempFileCap&) = delete;
    TempFileCap& operator=(const TempFileCap&) = delete;

    // The name to open the connection with; nullptr when the layer could not be registered (the
    // connection then goes without the cap).
    const char* vfsName() const;
    std::int64_t limit() const { return m_limit; }
    // Bytes the open temporary files hold now.
    std::int64_t used() const { return m_used.load(); }
    // True once a write was refused; cleared by clearExhausted().
    bool exhausted() const { return m_exhausted.load(); }
    void clearExhausted() { m_exhausted = false; }

    // For the file layer: reserve grow bytes more, or give shrink bytes back.
    bool reserve(std::int64_t grow);
    void release(std::int64_t shrink);
    sqlite3_vfs* systemLayer() const { return m_system; }

private:
    std::int64_t m_limit;
    std::atomic<std::int64_t> m_used{0};
    std::atomic<bool> m_exhausted{false};
    std::string m_name;
    sqlite3_vfs* m_system = nullptr;
    std::unique_ptr<sqlite3_vfs> m_vfs;
    bool m_registered = false;
};

} // namespace vorteq::server
