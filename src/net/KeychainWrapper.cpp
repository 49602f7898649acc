#include "net/KeychainWrapper.h"

#include <cassert>
#include <mutex>

namespace hestio {

namespace {

    namespace status = platform::keychain_status;

    std::mutex g_storeMutex;
    std::shared_ptr<platform::KeychainStore> g_store;

    void report(std::optional<KeychainError>* error, int code)
    {
        if (error)
            *error = KeychainError { code };
    }

    void clear(std::optional<KeychainError>* error)
    {
        if (error)
            error->reset();
    }

    platform::KeychainQuery itemQuery(const std::string& key, const std::string& service)
    {
        return { key, service, std::nullopt };
    }

}

void KeychainWrapper::setStore(std::shared_ptr<platform::KeychainStore> store)
{
    std::lock_guard lock(g_storeMutex);
    g_store = std::move(store);
}

std::shared_ptr<platform::KeychainStore> KeychainWrapper::store()
{
    std::lock_guard lock(g_storeMutex);
    assert(g_store && "KeychainWrapper::setStore must be called at start-up");
    return g_store;
}

KeychainWrapper::Text KeychainWrapper::getValueForKey(
    const Text& key, const Text& serviceName, std::optional<KeychainError>* error)
{
    if (!key || !serviceName) {
        report(error, KeychainError::missingArgument);
        return std::nullopt;
    }
    clear(error);
    auto keychain = store();

    platform::KeychainItem attributes;
    platform::KeychainStatus found = keychain->copyAttributes(itemQuery(*key, *serviceName), &attributes);
    if (found == status::itemNotFound)
        return std::nullopt;
    if (found != status::success) {
        report(error, found);
        return std::nullopt;
    }

    std::optional<std::string> data;
    platform::KeychainStatus read = keychain->copyData(itemQuery(*key, *serviceName), &data);
    if (read == status::itemNotFound) {
        // It was there a moment ago: vanished between the two lookups.
        report(error, KeychainError::unreadableItem);
        return std::nullopt;
    }
    if (read != status::success) {
        report(error, read);
        return std::nullopt;
    }
    if (!data) {
        report(error, KeychainError::unreadableItem);
        return std::nullopt;
    }
    return data;
}

bool KeychainWrapper::storeKey(const Text& key, const Text& value, const Text& serviceName, bool updateExisting,
    std::optional<KeychainError>* error)
{
    if (!key || !value || !serviceName) {
        report(error, KeychainError::missingArgument);
        return false;
    }
    clear(error);

    std::optional<KeychainError> lookupError;
    Text existing = getValueForKey(key, serviceName, &lookupError);
    if (lookupError && lookupError->code == KeychainError::unreadableItem) {
        // An item we cannot read is in the way: remove it and start afresh.
        if (!deleteItemForKey(key, serviceName, error))
            return false;
        lookupError.reset();
        existing.reset();
    }
    if (lookupError) {
        report(error, lookupError->code);
        return false;
    }

    auto keychain = store();
    platform::KeychainStatus result;
    if (existing) {
        if (*existing == *value || !updateExisting)
            return true;
        result = keychain->update({ *key, *serviceName, *serviceName }, *value);
    } else {
        result = keychain->add({ *key, *serviceName, *serviceName, *value, true });
    }
    if (result != status::success) {
        report(error, result);
        return false;
    }
    return true;
}

bool KeychainWrapper::deleteItemForKey(const Text& key, const Text& serviceName, std::optional<KeychainError>* error)
{
    if (!key || !serviceName) {
        report(error, KeychainError::missingArgument);
        return false;
    }
    clear(error);
    platform::KeychainStatus result = store()->remove(itemQuery(*key, *serviceName));
    if (result != status::success) {
        report(error, result);
        return false;
    }
    return true;
}

}
