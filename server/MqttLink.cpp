#include "MqttLink.h"

#include <mosquitto.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <random>
#include <stdexcept>

namespace hestio::sim {

namespace {
    void initialiseLibraryOnce()
    {
        static const int initialised = [] { return mosquitto_lib_init(); }();
        (void)initialised;
    }

    std::string clientId()
    {
        std::random_device random;
        char text[40];
        std::snprintf(text, sizeof text, "hestio-hub-%08x", random());
        return text;
    }

    std::string endpointText(const BrokerAddress& address)
    {
        return std::string(address.tls ? "mqtts://" : "mqtt://") + address.host + ":" + std::to_string(address.port);
    }
}

platform::Result<BrokerAddress> parseBrokerUrl(std::string_view url)
{
    BrokerAddress address;
    std::string_view rest;
    if (url.substr(0, 7) == "mqtt://") {
        rest = url.substr(7);
    } else if (url.substr(0, 8) == "mqtts://") {
        address.tls = true;
        address.port = 8883;
        rest = url.substr(8);
    } else {
        return platform::Error("--mqtt needs a URL such as mqtt://localhost:1883 or mqtts://host:8883");
    }
    if (!rest.empty() && rest.back() == '/')
        rest.remove_suffix(1);
    if (rest.find('@') != std::string_view::npos)
        return platform::Error("--mqtt takes no user or password: they belong in the configuration file");
    std::string_view portText;
    if (!rest.empty() && rest.front() == '[') {
        size_t close = rest.find(']');
        if (close == std::string_view::npos)
            return platform::Error("--mqtt: the IPv6 address lacks its closing ]");
        address.host = std::string(rest.substr(1, close - 1));
        rest = rest.substr(close + 1);
        if (!rest.empty() && rest.front() != ':')
            return platform::Error("--mqtt: only a port may follow the host");
        if (!rest.empty())
            portText = rest.substr(1);
    } else {
        size_t colon = rest.find(':');
        address.host = std::string(rest.substr(0, colon));
        if (colon != std::string_view::npos)
            portText = rest.substr(colon + 1);
        if (colon != std::string_view::npos && portText.empty())
            return platform::Error("--mqtt: the port is missing after ':'");
    }
    if (address.host.empty() || address.host.find_first_of("/?#@ ") != std::string::npos)
        return platform::Error("--mqtt needs a host name, such as mqtt://localhost:1883");
    if (!portText.empty()) {
        int port = 0;
        auto [end, error] = std::from_chars(portText.data(), portText.data() + portText.size(), port);
        if (error != std::errc() || end != portText.data() + portText.size() || port < 1 || port > 65535)
            return platform::Error("--mqtt: the port must be a number from 1 to 65535");
        address.port = port;
    }
    return address;
}

MqttLink::MqttLink(BrokerSettings settings, std::vector<std::string> subscriptions, MessageHandler onMessage)
    : m_settings(std::move(settings))
    , m_subscriptions(std::move(subscriptions))
    , m_onMessage(std::move(onMessage))
{
    initialiseLibraryOnce();
    m_client = mosquitto_new(clientId().c_str(), true, this);
    if (!m_client)
        throw std::runtime_error("cannot make an MQTT client (out of memory)");
    mosquitto_int_option(m_client, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    mosquitto_connect_callback_set(m_client, &MqttLink::onConnect);
    mosquitto_disconnect_callback_set(m_client, &MqttLink::onDisconnect);
    mosquitto_message_callback_set(m_client, &MqttLink::onMessage);
    mosquitto_reconnect_delay_set(m_client, static_cast<unsigned>(m_settings.firstRetrySeconds),
        static_cast<unsigned>(m_settings.longestRetrySeconds), true);
}

MqttLink::~MqttLink()
{
    stop();
    mosquitto_destroy(m_client);
}

platform::Result<bool> MqttLink::start()
{
    if (!m_settings.user.empty()) {
        const char* password = m_settings.password.empty() ? nullptr : m_settings.password.c_str();
        if (mosquitto_username_pw_set(m_client, m_settings.user.c_str(), password) != MOSQ_ERR_SUCCESS)
            return platform::Error("the broker user name cannot be used");
    }
    if (m_settings.address.tls) {
        const char* caFile = m_settings.caFile.empty() ? nullptr : m_settings.caFile.c_str();
        const char* caPath = caFile ? nullptr : "/etc/ssl/certs";
        if (caFile && !std::ifstream(caFile))
            return platform::Error("cannot read the CA file " + m_settings.caFile);
        if (mosquitto_tls_set(m_client, caFile, caPath, nullptr, nullptr, nullptr) != MOSQ_ERR_SUCCESS)
            return platform::Error("cannot use the CA file " + m_settings.caFile + " for the broker's certificate");
    }
    // Another thread (this one's) runs the network loop while requests publish.
    mosquitto_threaded_set(m_client, true);
    m_thread = std::thread([this] { run(); });
    return true;
}

void MqttLink::run()
{
    int delaySeconds = m_settings.firstRetrySeconds;
    bool first = true;
    while (true) {
        int code = first ? mosquitto_connect(
                       m_client, m_settings.address.host.c_str(), m_settings.address.port, m_settings.keepAliveSeconds)
                         : mosquitto_reconnect(m_client);
        if (code == MOSQ_ERR_SUCCESS) {
            first = false;
            // Served until the connection is lost or the link stops.
            while ((code = mosquitto_loop(m_client, 1000, 1)) == MOSQ_ERR_SUCCESS) {
                if (m_connected)
                    delaySeconds = m_settings.firstRetrySeconds;
                std::lock_guard lock(m_stopMutex);
                if (m_stopping)
                    return;
            }
        }
        lost();
        if (!m_lossLogged.exchange(true))
            std::fprintf(stderr, "hestio-hub: cannot reach the broker at %s (%s); trying again\n",
                endpointText(m_settings.address).c_str(), mosquitto_strerror(code));
        std::unique_lock lock(m_stopMutex);
        if (m_stopped.wait_for(lock, std::chrono::seconds(delaySeconds), [this] { return m_stopping; }))
            return;
        delaySeconds = std::min(delaySeconds * 2, m_settings.longestRetrySeconds);
    }
}

void MqttLink::stop()
{
    {
        std::lock_guard lock(m_stopMutex);
        m_stopping = true;
    }
    m_stopped.notify_all();
    if (m_thread.joinable()) {
        mosquitto_disconnect(m_client);
        m_thread.join();
    }
}

void MqttLink::onConnectionChange(std::function<void(bool connected)> changed)
{
    m_onConnectionChange = std::move(changed);
}

void MqttLink::lost()
{
    if (!m_connected.exchange(false))
        return;
    {
        std::lock_guard lock(m_stopMutex);
        if (m_stopping)
            return;
    }
    if (m_onConnectionChange)
        m_onConnectionChange(false);
}

void MqttLink::subscribe(const std::string& filter)
{
    std::lock_guard lock(m_subscriptionsMutex);
    m_subscriptions.push_back(filter);
    if (m_connected)
        mosquitto_subscribe(m_client, nullptr, filter.c_str(), 1);
}

bool MqttLink::publish(const std::string& topic, const std::string& payload)
{
    if (!m_connected)
        return false;
    return mosquitto_publish(
               m_client, nullptr, topic.c_str(), static_cast<int>(payload.size()), payload.data(), 1, false)
        == MOSQ_ERR_SUCCESS;
}

void MqttLink::onConnect(mosquitto* client, void* self, int code)
{
    auto* link = static_cast<MqttLink*>(self);
    if (code != 0) {
        std::fprintf(stderr, "hestio-hub: the broker at %s refused the connection: %s\n",
            endpointText(link->m_settings.address).c_str(), mosquitto_connack_string(code));
        return;
    }
    if (link->m_onConnectionChange)
        link->m_onConnectionChange(true);
    {
        std::lock_guard lock(link->m_subscriptionsMutex);
        for (const auto& filter : link->m_subscriptions)
            mosquitto_subscribe(client, nullptr, filter.c_str(), 1);
        // Under the lock: a filter added from now on is subscribed at once.
        link->m_connected = true;
    }
    link->m_lossLogged = false;
    std::printf("hestio-hub connected to the broker at %s\n", endpointText(link->m_settings.address).c_str());
    std::fflush(stdout);
}

void MqttLink::onDisconnect(mosquitto*, void* self, int)
{
    static_cast<MqttLink*>(self)->lost();
}

void MqttLink::onMessage(mosquitto*, void* self, const mosquitto_message* message)
{
    auto* link = static_cast<MqttLink*>(self);
    if (!message || !message->topic)
        return;
    std::string_view payload(static_cast<const char*>(message->payload), static_cast<size_t>(message->payloadlen));
    try {
        link->m_onMessage(message->topic, payload, message->retain);
    } catch (const std::exception& error) {
        // One bad message must not end the link; the store may be briefly busy.
        std::fprintf(stderr, "hestio-hub: a message on the broker could not be taken: %s\n", error.what());
    }
}

}
