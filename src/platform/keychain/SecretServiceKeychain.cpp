#include "platform/keychain/SecretServiceKeychain.h"

#include "platform/keychain/FileKeychain.h"

#include "platform/foundation/LazyLibrary.h"
#include "platform/foundation/Log.h"

#include <libsecret/secret.h>

// libsecret is opened when the desktop's secret service is first looked for,
// not when the program starts: a run without a session bus (headless, tests)
// never loads it nor the cryptography library it brings, and a desktop
// without it keeps the credentials in the profile's file, as it does without
// a secret service.
namespace {
hestio::platform::LazyLibrary& secretLibrary()
{
    static hestio::platform::LazyLibrary library("libsecret-1.so.0", "install libsecret");
    return library;
}
}

#define HESTIO_SECRET(name) HESTIO_LAZY_FUNCTION(secretLibrary(), name)
#define secret_password_clearv_sync(...) HESTIO_SECRET(secret_password_clearv_sync)(__VA_ARGS__)
#define secret_password_searchv_sync(...) HESTIO_SECRET(secret_password_searchv_sync)(__VA_ARGS__)
#define secret_password_storev_binary_sync(...) HESTIO_SECRET(secret_password_storev_binary_sync)(__VA_ARGS__)
#define secret_retrievable_get_attributes(...) HESTIO_SECRET(secret_retrievable_get_attributes)(__VA_ARGS__)
#define secret_retrievable_retrieve_secret_sync(...) HESTIO_SECRET(secret_retrievable_retrieve_secret_sync)(__VA_ARGS__)
#define secret_service_get_sync(...) HESTIO_SECRET(secret_service_get_sync)(__VA_ARGS__)
#define secret_value_get(...) HESTIO_SECRET(secret_value_get)(__VA_ARGS__)
#define secret_value_new(...) HESTIO_SECRET(secret_value_new)(__VA_ARGS__)
#define secret_value_unref(...) HESTIO_SECRET(secret_value_unref)(__VA_ARGS__)

#include <cstdlib>
#include <memory>

namespace hestio::platform {

namespace {

    const SecretSchema* schema()
    {
        static const SecretSchema credentialSchema = {
            "org.hestio.Credential",
            SECRET_SCHEMA_DONT_MATCH_NAME,
            {
                { "service", SECRET_SCHEMA_ATTRIBUTE_STRING },
                { "account", SECRET_SCHEMA_ATTRIBUTE_STRING },
                { "label", SECRET_SCHEMA_ATTRIBUTE_STRING },
                { nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING },
            },
            0,
            nullptr,
            nullptr,
            nullptr,
            nullptr,
            nullptr,
            nullptr,
            nullptr,
        };
        return &credentialSchema;
    }

    struct HashTableDeleter {
        void operator()(GHashTable* table) const { g_hash_table_unref(table); }
    };
    using Attributes = std::unique_ptr<GHashTable, HashTableDeleter>;

    Attributes attributesFor(const KeychainQuery& query)
    {
        Attributes table(g_hash_table_new_full(g_str_hash, g_str_equal, g_free, g_free));
        auto put = [&](const char* key, const std::optional<std::string>& value) {
            if (value)
                g_hash_table_insert(table.get(), g_strdup(key), g_strdup(value->c_str()));
        };
        put("service", query.service);
        put("account", query.account);
        put("label", query.label);
        return table;
    }

    struct ErrorHolder {
        GError* error { nullptr };
        ~ErrorHolder()
        {
            if (error)
                g_error_free(error);
        }
    };

    enum class Lookup { AttributesOnly, WithSecret };

    // Looks up one matching item, with or without its secret.
    [[nodiscard]] KeychainStatus lookup(const KeychainQuery& query, Lookup what, KeychainItem* item, bool* hadSecret)
    {
        bool withSecret = what == Lookup::WithSecret;
        ErrorHolder e;
        auto attributes = attributesFor(query);
        int flags = SECRET_SEARCH_UNLOCK | (withSecret ? SECRET_SEARCH_LOAD_SECRETS : 0);
        GList* found = secret_password_searchv_sync(
            schema(), attributes.get(), static_cast<SecretSearchFlags>(flags), nullptr, &e.error);
        if (e.error)
            return keychain_status::notAvailable;
        if (!found)
            return keychain_status::itemNotFound;
        auto* retrievable = static_cast<SecretRetrievable*>(found->data);
        if (item) {
            GHashTable* attrs = secret_retrievable_get_attributes(retrievable);
            auto get = [&](const char* key) {
                auto* value = static_cast<const char*>(g_hash_table_lookup(attrs, key));
                return std::string(value ? value : "");
            };
            item->service = get("service");
            item->account = get("account");
            item->label = get("label");
            item->data.clear();
            if (withSecret) {
                SecretValue* value = secret_retrievable_retrieve_secret_sync(retrievable, nullptr, nullptr);
                if (value) {
                    gsize length = 0;
                    const char* bytes = secret_value_get(value, &length);
                    item->data.assign(bytes, length);
                    *hadSecret = true;
                    secret_value_unref(value);
                }
            }
            g_hash_table_unref(attrs);
        }
        g_list_free_full(found, g_object_unref);
        return keychain_status::success;
    }

    [[nodiscard]] KeychainStatus store(const KeychainItem& item)
    {
        ErrorHolder e;
        KeychainQuery query { item.account, item.service, item.label };
        auto attributes = attributesFor(query);
        SecretValue* value = secret_value_new(item.data.data(), static_cast<gssize>(item.data.size()), "text/plain");
        std::string name = item.service + " (" + item.account + ")";
        gboolean stored = secret_password_storev_binary_sync(
            schema(), attributes.get(), SECRET_COLLECTION_DEFAULT, name.c_str(), value, nullptr, &e.error);
        secret_value_unref(value);
        return stored && !e.error ? keychain_status::success : keychain_status::notAvailable;
    }

}

bool SecretServiceKeychain::isAvailable()
{
    // Without a session bus libsecret would try to autolaunch one.
    const char* bus = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (!bus || !*bus)
        return false;
    if (auto missing = secretLibrary().open()) {
        hestio::log("No secret service: " + *missing);
        return false;
    }
    ErrorHolder e;
    SecretService* service = secret_service_get_sync(SECRET_SERVICE_OPEN_SESSION, nullptr, &e.error);
    if (!service)
        return false;
    g_object_unref(service);
    return !e.error;
}

KeychainStatus SecretServiceKeychain::copyAttributes(const KeychainQuery& query, KeychainItem* attributes)
{
    KeychainItem item;
    bool hadSecret = false;
    KeychainStatus status = lookup(query, Lookup::AttributesOnly, &item, &hadSecret);
    if (status == keychain_status::success && attributes)
        *attributes = item;
    return status;
}

KeychainStatus SecretServiceKeychain::copyData(const KeychainQuery& query, std::optional<std::string>* data)
{
    KeychainItem item;
    bool hadSecret = false;
    KeychainStatus status = lookup(query, Lookup::WithSecret, &item, &hadSecret);
    if (status == keychain_status::success && data) {
        if (hadSecret)
            *data = item.data;
        else
            data->reset();
    }
    return status;
}

KeychainStatus SecretServiceKeychain::update(const KeychainQuery& query, const std::string& data)
{
    KeychainItem item;
    bool hadSecret = false;
    KeychainStatus status = lookup(query, Lookup::AttributesOnly, &item, &hadSecret);
    if (status != keychain_status::success)
        return status;
    item.data = data;
    return store(item);
}

KeychainStatus SecretServiceKeychain::add(const KeychainItem& item)
{
    KeychainStatus status = copyAttributes(KeychainQuery { item.account, item.service, std::nullopt }, nullptr);
    if (status == keychain_status::success)
        return keychain_status::duplicateItem;
    if (status != keychain_status::itemNotFound)
        return status;
    return store(item);
}

KeychainStatus SecretServiceKeychain::remove(const KeychainQuery& query)
{
    ErrorHolder e;
    auto attributes = attributesFor(query);
    gboolean removed = secret_password_clearv_sync(schema(), attributes.get(), nullptr, &e.error);
    if (e.error)
        return keychain_status::notAvailable;
    return removed ? keychain_status::success : keychain_status::itemNotFound;
}

std::unique_ptr<KeychainStore> makeDefaultKeychain(const std::string& fallbackFile)
{
    if (SecretServiceKeychain::isAvailable())
        return std::make_unique<SecretServiceKeychain>();
    return std::make_unique<FileKeychain>(fallbackFile);
}

}
