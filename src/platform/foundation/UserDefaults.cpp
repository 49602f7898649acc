#include "platform/foundation/UserDefaults.h"

#include "platform/foundation/DiskWriter.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/Profile.h"

#include <charconv>
#include <map>
#include <memory>

namespace hestio::platform {

UserDefaults& UserDefaults::standard()
{
    // One object per file, kept for the whole process, so that references
    // handed out earlier stay valid when a test switches profiles.
    static std::mutex mutex;
    static std::map<std::filesystem::path, std::unique_ptr<UserDefaults>> byFile;
    std::filesystem::path file = Profile::current().configDirectory() / "UserDefaults.plist";
    std::lock_guard lock(mutex);
    auto& defaults = byFile[file];
    if (!defaults)
        defaults = std::make_unique<UserDefaults>(file);
    return *defaults;
}

UserDefaults::UserDefaults(std::filesystem::path file)
    : m_file(std::move(file))
{
}

void UserDefaults::loadIfNeeded() const
{
    // Values whose write failed are kept in memory rather than read over.
    if (m_reread->exchange(false) && !m_writeFailed->load())
        m_loaded = false;
    if (m_loaded)
        return;
    m_values = readPropertyListDictionary(m_file);
    m_loaded = true;
}

std::optional<PropertyListValue> UserDefaults::objectForKey(const std::string& key) const
{
    std::lock_guard lock(m_mutex);
    loadIfNeeded();
    auto it = m_values.find(key);
    if (it == m_values.end())
        return std::nullopt;
    return it->second;
}

std::optional<std::string> UserDefaults::stringForKey(const std::string& key) const
{
    auto value = objectForKey(key);
    if (!value)
        return std::nullopt;
    if (auto* text = value->asString())
        return *text;
    if (auto integer = value->asInteger())
        return std::to_string(*integer);
    return std::nullopt;
}

std::int64_t UserDefaults::integerForKey(const std::string& key) const
{
    auto value = objectForKey(key);
    if (!value)
        return 0;
    if (auto integer = value->asInteger())
        return *integer;
    if (auto* text = value->asString()) {
        std::string_view digits = *text;
        while (!digits.empty() && (digits.front() == ' ' || digits.front() == '\t'))
            digits.remove_prefix(1);
        if (!digits.empty() && digits.front() == '+')
            digits.remove_prefix(1);
        std::int64_t integer = 0;
        auto result = std::from_chars(digits.data(), digits.data() + digits.size(), integer);
        return result.ec == std::errc() ? integer : 0;
    }
    if (auto flag = value->asBool())
        return *flag ? 1 : 0;
    if (auto real = value->asReal())
        return static_cast<std::int64_t>(*real);
    return 0;
}

void UserDefaults::setObject(PropertyListValue value, const std::string& key)
{
    std::lock_guard lock(m_mutex);
    loadIfNeeded();
    auto it = m_values.find(key);
    if (it != m_values.end() && it->second == value && !m_writeFailed->load())
        return;
    m_values.insert_or_assign(key, std::move(value));
    // A failed write is logged and leaves the change unsaved in memory, where
    // synchronize() writes it again; the setter has no one to tell.
    static_cast<void>(save());
}

void UserDefaults::setInteger(std::int64_t value, const std::string& key)
{
    setObject(PropertyListValue(value), key);
}

void UserDefaults::removeObjectForKey(const std::string& key)
{
    std::lock_guard lock(m_mutex);
    loadIfNeeded();
    if (m_values.erase(key) == 0 && !m_writeFailed->load())
        return;
    // As in setObject(): a failed write is tried again by synchronize().
    static_cast<void>(save());
}

bool UserDefaults::save()
{
    // Written on the disk writer; a failure is logged there and marks the
    // values unsaved again, for synchronize() and the next change.
    std::filesystem::path file = m_file;
    DiskWriter::shared().write(
        file, propertyListToXml(PropertyListValue(m_values)),
        [file](const Status& status) {
            if (!status)
                log("Could not write property list " + file.string() + ": " + status.error().message());
        },
        [file, failed = m_writeFailed](const std::string& contents) {
            Status status = DiskWriter::replaceInFolder(file, contents);
            failed->store(!status);
            return status;
        });
    return true;
}

void UserDefaults::synchronize(std::function<void(bool stored)> done)
{
    std::lock_guard lock(m_mutex);
    if (m_writeFailed->load())
        static_cast<void>(save());
    // Told after the file's last queued write, as that write's caller is.
    DiskWriter::shared().whenWritten(m_file, [reread = m_reread, done = std::move(done)](const Status& status) {
        if (status)
            reread->store(true);
        if (done)
            done(bool(status));
    });
}

}
