#include "server/storage/TempFileCap.h"

#include <cstring>
#include <sqlite3.h>

namespace vorteq::server {

namespace {

// A temporary file as the counting layer sees it: the system layer's file follows in the same block.
struct CappedFile {
    sqlite3_file base;
    TempFileCap* cap;
    sqlite3_int64 size; // the extent counted against the cap
    sqlite3_file* real;
};

sqlite3_file* realOf(sqlite3_file* file)
{
    return reinterpret_cast<CappedFile*>(file)->real;
}

// Counts a file that grows to end; false (and nothing counted) when the cap does not allow it.
bool grow(CappedFile* f, sqlite3_int64 end)
{
    if (end <= f->size)
        return true;
    if (!f->cap->reserve(end - f->size))
        return false;
    f->size = end;
    return true;
}

int capClose(sqlite3_file* file)
{
    auto* f = reinterpret_cast<CappedFile*>(file);
    f->cap->release(f->size);
    f->size = 0;
    const int rc = f->real->pMethods ? f->real->pMethods->xClose(f->real) : SQLITE_OK;
    f->real->pMethods = nullptr;
    return rc;
}

int capRead(sqlite3_file* file, void* buf, int amount, sqlite3_int64 offset)
{
    return realOf(file)->pMethods->xRead(realOf(file), buf, amount, offset);
}

int capWrite(sqlite3_file* file, const void* buf, int amount, sqlite3_int64 offset)
{
    auto* f = reinterpret_cast<CappedFile*>(file);
    if (!grow(f, offset + amount))
        return SQLITE_FULL;
    return f->real->pMethods->xWrite(f->real, buf, amount, offset);
}

int capTruncate(sqlite3_file* file, sqlite3_int64 size)
{
    auto* f = reinterpret_cast<CappedFile*>(file);
    if (size > f->size) {
        if (!grow(f, size))
            return SQLITE_FULL;
    } else {
        f->cap->release(f->size - size);
        f->size = size;
    }
    return f->real->pMethods->xTruncate(f->real, size);
}

int capSync(sqlite3_file* file, int flags)
{
    return realOf(file)->pMethods->xSync(realOf(file), flags);
}

int capFileSize(sqlite3_file* file, sqlite3_int64* size)
{
    return realOf(file)->pMethods->xFileSize(realOf(file), size);
}

int capLock(sqlite3_file* file, int level)
{
    return realOf(file)->pMethods->xLock(realOf(file), level);
}

int capUnlock(sqlite3_file* file, int level)
{
    return realOf(file)->pMethods->xUnlock(realOf(file), level);
}

int capCheckReservedLock(sqlite3_file* file, int* out)
{
    return realOf(file)->pMethods->xCheckReservedLock(realOf(file), out);
}

int capFileControl(sqlite3_file* file, int op, void* arg)
{
    auto* f = reinterpret_cast<CappedFile*>(file);
    // The sorter announces the size it is about to fill: refuse it at once when it is beyond the cap.
    if (op == SQLITE_FCNTL_SIZE_HINT && !grow(f, *static_cast<sqlite3_int64*>(arg)))
        return SQLITE_FULL;
    return f->real->pMethods->xFileControl(f->real, op, arg);
}

int capSectorSize(sqlite3_file* file)
{
    return realOf(file)->pMethods->xSectorSize(realOf(file));
}

int capDeviceCharacteristics(sqlite3_file* file)
{
    return realOf(file)->pMethods->xDeviceCharacteristics(realOf(file));
}

int capFetch(sqlite3_file* file, sqlite3_int64 offset, int amount, void** out)
{
    sqlite3_file* real = realOf(file);
    if (real->pMethods->iVersion < 3 || real->pMethods->xFetch == nullptr) {
        *out = nullptr;
        return SQLITE_OK;
    }
    return real->pMethods->xFetch(real, offset, amount, out);
}

int capUnfetch(sqlite3_file* file, sqlite3_int64 offset, void* page)
{
    sqlite3_file* real = realOf(file);
    if (real->pMethods->iVersion < 3 || real->pMethods->xUnfetch == nullptr)
        return SQLITE_OK;
    return real->pMethods->xUnfetch(real, offset, page);
}

// Temporary files never use shared memory (that is the write-ahead log's index of the main file).
const sqlite3_io_methods kCappedMethods = {
    3,
    capClose,
    capRead,
    capWrite,
    capTruncate,
    capSync,
    capFileSize,
    capLock,
    capUnlock,
    capCheckReservedLock,
    capFileControl,
    capSectorSize,
    capDeviceCharacteristics,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    capFetch,
    capUnfetch,
};

sqlite3_vfs* systemVfs(sqlite3_vfs* vfs)
{
    return static_cast<TempFileCap*>(vfs->pAppData)->systemLayer();
}

constexpr int kTemporaryKinds =
    SQLITE_OPEN_TEMP_DB | SQLITE_OPEN_TEMP_JOURNAL | SQLITE_OPEN_TRANSIENT_DB | SQLITE_OPEN_SUBJOURNAL;

int capOpen(sqlite3_vfs* vfs, sqlite3_filename name, sqlite3_file* file, int flags, int* outFlags)
{
    sqlite3_vfs* system = systemVfs(vfs);
    // The database, its journal and its write-ahead log go straight to the system layer.
    if (name != nullptr && (flags & kTemporaryKinds) == 0)
        return system->xOpen(system, name, file, flags, outFlags);
    auto* f = reinterpret_cast<CappedFile*>(file);
    std::memset(f, 0, sizeof(CappedFile));
    f->cap = static_cast<TempFileCap*>(vfs->pAppData);
    f->real = reinterpret_cast<sqlite3_file*>(f + 1);
    const int rc = system->xOpen(system, name, f->real, flags, outFlags);
    if (rc == SQLITE_OK && f->real->pMethods != nullptr)
        f->base.pMethods = &kCappedMethods;
    return rc;
}

#define VORTEQ_FORWARD(call)                                                                                 \
    sqlite3_vfs* system = systemVfs(vfs);                                                                    \
    return system->call

int capDelete(sqlite3_vfs* vfs, const char* name, int syncDir)
{
    VORTEQ_FORWARD(xDelete(system, name, syncDir));
}
int capAccess(sqlite3_vfs* vfs, const char* name, int flags, int* out)
{
    VORTEQ_FORWARD(xAccess(system, name, flags, out));
}
int capFullPathname(sqlite3_vfs* vfs, const char* name, int size, char* out)
{
    VORTEQ_FORWARD(xFullPathname(system, name, size, out));
}
void* capDlOpen(sqlite3_vfs* vfs, const char* name)
{
    VORTEQ_FORWARD(xDlOpen(system, name));
}
void capDlError(sqlite3_vfs* vfs, int size, char* out)
{
    VORTEQ_FORWARD(xDlError(system, size, out));
}
void (*capDlSym(sqlite3_vfs* vfs, void* handle, const char* symbol))(void)
{
    VORTEQ_FORWARD(xDlSym(system, handle, symbol));
}
void capDlClose(sqlite3_vfs* vfs, void* handle)
{
    VORTEQ_FORWARD(xDlClose(system, handle));
}
int capRandomness(sqlite3_vfs* vfs, int size, char* out)
{
    VORTEQ_FORWARD(xRandomness(system, size, out));
}
int capSleep(sqlite3_vfs* vfs, int micros)
{
    VORTEQ_FORWARD(xSleep(system, micros));
}
int capCurrentTime(sqlite3_vfs* vfs, double* out)
{
    VORTEQ_FORWARD(xCurrentTime(system, out));
}
int capGetLastError(sqlite3_vfs* vfs, int size, char* out)
{
    VORTEQ_FORWARD(xGetLastError(system, size, out));
}
int capCurrentTimeInt64(sqlite3_vfs* vfs, sqlite3_int64* out)
{
    VORTEQ_FORWARD(xCurrentTimeInt64(system, out));
}

#undef VORTEQ_FORWARD

std::atomic<unsigned> nextLayerNumber{0};

} // namespace

TempFileCap::TempFileCap(std::int64_t limitBytes)
    : m_limit(limitBytes), m_name("vorteq-tempcap-" + std::to_string(++nextLayerNumber))
{
    sqlite3_vfs* system = sqlite3_vfs_find(nullptr);
    if (system == nullptr || system->iVersion < 2)
        return;
    m_system = system;
    m_vfs = std::make_unique<sqlite3_vfs>();
    sqlite3_vfs& v = *m_vfs;
    std::memset(&v, 0, sizeof v);
    v.iVersion = 2;
    v.szOsFile = static_cast<int>(sizeof(CappedFile)) + system->szOsFile;
    v.mxPathname = system->mxPathname;
    v.zName = m_name.c_str();
    v.pAppData = this;
    v.xOpen = capOpen;
    v.xDelete = capDelete;
    v.xAccess = capAccess;
    v.xFullPathname = capFullPathname;
    v.xDlOpen = capDlOpen;
    v.xDlError = capDlError;
    v.xDlSym = capDlSym;
    v.xDlClose = capDlClose;
    v.xRandomness = capRandomness;
    v.xSleep = capSleep;
    v.xCurrentTime = capCurrentTime;
    v.xGetLastError = capGetLastError;
    v.xCurrentTimeInt64 = capCurrentTimeInt64;
    m_registered = sqlite3_vfs_register(m_vfs.get(), 0) == SQLITE_OK;
}

TempFileCap::~TempFileCap()
{
    if (m_registered)
        sqlite3_vfs_unregister(m_vfs.get());
}

const char* TempFileCap::vfsName() const
{
    return m_registered ? m_name.c_str() : nullptr;
}

bool TempFileCap::reserve(std::int64_t grow)
{
    std::int64_t now = m_used.load();
    do {
        if (now + grow > m_limit) {
            m_exhausted = true;
            return false;
        }
    } while (!m_used.compare_exchange_weak(now, now + grow));
    return true;
}

void TempFileCap::release(std::int64_t shrink)
{
    m_used -= shrink;
}

} // namespace vorteq::server
