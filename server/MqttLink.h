#pragma once

#include "platform/foundation/Result.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

struct mosquitto;
struct mosquitto_message;

namespace hestio::sim {

/// Where the broker is: mqtt://HOST:PORT, or mqtts://HOST:PORT over TLS.
struct BrokerAddress {
    bool tls { false };
    std::string host;
    int port { 1883 };
    bool operator==(const BrokerAddress&) const = default;
};

/// Reads a broker URL; the port defaults to 1883 (8883 for mqtts). An IPv6
/// host goes in brackets. An Error tells what is wrong.
platform::Result<BrokerAddress> parseBrokerUrl(std::string_view url);

struct BrokerSettings {
    BrokerAddress address;
    /// Certificate authorities to check an mqtts broker with; empty: the system's.
    std::string caFile;
    std::string user;
    std::string password;
    int keepAliveSeconds { 30 };
    /// Backoff between reconnection attempts: doubles from the first to the last.
    int firstRetrySeconds { 1 };
    int longestRetrySeconds { 60 };
};

/// One connection to the broker, kept up on its own thread: it reconnects
/// with backoff after a loss, subscribes again each time (and so receives
/// the retained messages again), and hands each message to `onMessage` on
/// that thread.
class MqttLink {
public:
    using MessageHandler = std::function<void(const std::string& topic, std::string_view payload, bool retained)>;

    MqttLink(BrokerSettings settings, std::vector<std::string> subscriptions, MessageHandler onMessage);
    ~MqttLink();
    MqttLink(const MqttLink&) = delete;
    MqttLink& operator=(const MqttLink&) = delete;

    /// Starts connecting; an Error when the settings cannot be used at all
    /// (a CA file that cannot be read). A broker that is down is not one: the
    /// link keeps trying.
    platform::Result<bool> start();
    void stop();
    /// Told on the link's thread when a connection is made (true, before
    /// any message of it) and when one is lost (false); not when the link
    /// stops. Set before start().
    void onConnectionChange(std::function<void(bool connected)> changed);
    /// Subscribes to one more filter, now if connected and after every reconnection.
    void subscribe(const std::string& filter);
    /// Sends with QoS 1; false while the broker is not connected.
    bool publish(const std::string& topic, const std::string& payload);
    [[nodiscard]] bool connected() const { return m_connected; }

private:
    /// Connects, serves the connection until it is lost, waits, and again.
    void run();
    static void onConnect(mosquitto*, void* self, int code);
    static void onDisconnect(mosquitto*, void* self, int code);
    static void onMessage(mosquitto*, void* self, const mosquitto_message* message);
    /// The connection is gone: told once, unless the link is stopping.
    void lost();

    BrokerSettings m_settings;
    std::mutex m_subscriptionsMutex;
    std::vector<std::string> m_subscriptions;
    MessageHandler m_onMessage;
    std::function<void(bool connected)> m_onConnectionChange;
    mosquitto* m_client { nullptr };
    std::atomic<bool> m_connected { false };
    std::thread m_thread;
    std::mutex m_stopMutex;
    std::condition_variable m_stopped;
    bool m_stopping { false };
    /// Whether a loss was logged already, so a broker that stays down gives one line.
    std::atomic<bool> m_lossLogged { false };
};

}
