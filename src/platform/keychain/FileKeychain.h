#pragma once

#include "platform/keychain/ItemTable.h"

namespace hestio::platform {

/// A store kept in one private file (mode 0600), for machines without a
/// Secret Service. Every change rewrites the file atomically; an unreadable
/// or damaged file reads as empty (damaged lines are skipped) with one log line.
class FileKeychain final : public ItemTable {
public:
    explicit FileKeychain(std::string path);
    [[nodiscard]] const std::string& path() const { return m_path; }

protected:
    [[nodiscard]] KeychainStatus didChange() override;

private:
    void load();
    std::string m_path;
};

}
