#include "Database.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace hestio::sim {

namespace {
    bool isFile(const std::string& path)
    {
        return !path.empty() && path != ":memory:" && path.rfind("file:", 0) != 0;
    }

    // The database holds password hashes and session tokens: owner only.
    // SQLite gives the journal files it makes the database file's permissions;
    // files from before are set here too.
    // A file that exists is changed by name: closing a descriptor of it would
    // drop every lock this process holds on it, those of a connection already
    // open to it (the hub's history has its own) among them.
    void makePrivate(const std::string& path)
    {
        if (::chmod(path.c_str(), 0600) != 0) {
            int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
            if (fd >= 0)
                ::close(fd);
        }
        for (const char* suffix : { "-wal", "-shm", "-journal" })
            ::chmod((path + suffix).c_str(), 0600);
    }

    [[noreturn]] void fail(sqlite3* db, const std::string& what)
    {
        throw DatabaseError(what + ": " + (db ? sqlite3_errmsg(db) : "out of memory"));
    }
}

Database::Database(const std::string& path)
{
    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
    if (isFile(path))
        makePrivate(path);
    if (sqlite3_open_v2(path.c_str(), &m_db, flags, nullptr) != SQLITE_OK) {
        std::string message = "cannot open database " + path + ": " + (m_db ? sqlite3_errmsg(m_db) : "out of memory");
        sqlite3_close(m_db);
        m_db = nullptr;
        throw DatabaseError(message);
    }
    sqlite3_busy_timeout(m_db, 5000);
    execute("PRAGMA journal_mode=WAL");
    execute("PRAGMA synchronous=NORMAL");
    execute("PRAGMA foreign_keys=ON");
}

Database::~Database()
{
    sqlite3_close(m_db);
}

void Database::execute(const char* sql)
{
    char* error = nullptr;
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
        std::string message = error ? error : "unknown error";
        sqlite3_free(error);
        throw DatabaseError(std::string("statement failed: ") + message);
    }
}

Statement Database::prepare(const char* sql)
{
    return Statement(m_db, sql);
}

int64_t Database::lastInsertId() const
{
    return sqlite3_last_insert_rowid(m_db);
}

int Database::changes() const
{
    return sqlite3_changes(m_db);
}

Statement::Statement(sqlite3* db, const char* sql)
    : m_db(db)
{
    if (sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr) != SQLITE_OK)
        fail(db, std::string("cannot prepare ") + sql);
}

Statement::~Statement()
{
    sqlite3_finalize(m_stmt);
}

Statement::Statement(Statement&& other) noexcept
    : m_db(other.m_db)
    , m_stmt(other.m_stmt)
{
    other.m_stmt = nullptr;
}

Statement& Statement::bind(int index, int64_t value)
{
    if (sqlite3_bind_int64(m_stmt, index, value) != SQLITE_OK)
        fail(m_db, "bind");
    return *this;
}

Statement& Statement::bind(int index, double value)
{
    if (sqlite3_bind_double(m_stmt, index, value) != SQLITE_OK)
        fail(m_db, "bind");
    return *this;
}

Statement& Statement::bind(int index, std::string_view value)
{
    if (sqlite3_bind_text(m_stmt, index, value.data(), static_cast<int>(value.size()), SQLITE_TRANSIENT) != SQLITE_OK)
        fail(m_db, "bind");
    return *this;
}

Statement& Statement::bindBlob(int index, std::string_view bytes)
{
    if (sqlite3_bind_blob(m_stmt, index, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT) != SQLITE_OK)
        fail(m_db, "bind");
    return *this;
}

Statement& Statement::bindNull(int index)
{
    if (sqlite3_bind_null(m_stmt, index) != SQLITE_OK)
        fail(m_db, "bind");
    return *this;
}

bool Statement::step()
{
    int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    fail(m_db, "step");
}

void Statement::run()
{
    while (step()) { }
}

int64_t Statement::integer(int column) const
{
    return sqlite3_column_int64(m_stmt, column);
}

double Statement::real(int column) const
{
    return sqlite3_column_double(m_stmt, column);
}

std::string Statement::text(int column) const
{
    auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
    return bytes ? std::string(bytes, static_cast<size_t>(sqlite3_column_bytes(m_stmt, column))) : std::string();
}

std::string Statement::blob(int column) const
{
    const void* bytes = sqlite3_column_blob(m_stmt, column);
    return bytes
        ? std::string(static_cast<const char*>(bytes), static_cast<size_t>(sqlite3_column_bytes(m_stmt, column)))
        : std::string();
}

bool Statement::isNull(int column) const
{
    return sqlite3_column_type(m_stmt, column) == SQLITE_NULL;
}

Transaction::Transaction(Database& db)
    : m_db(db)
{
    m_db.execute("BEGIN IMMEDIATE");
}

Transaction::~Transaction()
{
    if (!m_done) {
        try {
            m_db.execute("ROLLBACK");
        } catch (const DatabaseError&) {
        }
    }
}

void Transaction::commit()
{
    m_db.execute("COMMIT");
    m_done = true;
}

}
