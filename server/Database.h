#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace hestio::sim {

/// A failure of the database file itself (cannot open, disk full, corrupt
/// schema). Request handlers never see it for bad input: they validate first.
class DatabaseError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class Statement;

/// One SQLite connection. Not thread-safe by itself: `Store` serialises access.
class Database {
public:
    explicit Database(const std::string& path);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    void execute(const char* sql);
    [[nodiscard]] Statement prepare(const char* sql);
    int64_t lastInsertId() const;
    [[nodiscard]] int changes() const;
    sqlite3* handle() const { return m_db; }

private:
    sqlite3* m_db { nullptr };
};

/// A prepared statement with positional binding (1-based) and column reading
/// (0-based).
class Statement {
public:
    Statement(sqlite3* db, const char* sql);
    ~Statement();
    Statement(Statement&& other) noexcept;
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    Statement& operator=(Statement&&) = delete;

    Statement& bind(int index, int64_t value);
    Statement& bind(int index, int value) { return bind(index, static_cast<int64_t>(value)); }
    Statement& bind(int index, double value);
    Statement& bind(int index, std::string_view value);
    Statement& bindNull(int index);
    Statement& bindBlob(int index, std::string_view bytes);

    /// Advances to the next row; false when done.
    bool step();
    /// Runs a statement that returns no rows.
    void run();

    int64_t integer(int column) const;
    [[nodiscard]] double real(int column) const;
    [[nodiscard]] std::string text(int column) const;
    [[nodiscard]] std::string blob(int column) const;
    [[nodiscard]] bool isNull(int column) const;

private:
    sqlite3* m_db;
    sqlite3_stmt* m_stmt { nullptr };
};

/// Begins a transaction and rolls it back unless commit() was called.
class Transaction {
public:
    explicit Transaction(Database& db);
    ~Transaction();
    void commit();

private:
    Database& m_db;
    bool m_done { false };
};

}
