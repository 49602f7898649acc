#pragma once

#include "DeviceMapping.h"
#include "History.h"
#include "LiveHome.h"
#include "PlugMessages.h"
#include "Store.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace hestio::sim {

/// Sends a command to the broker; false when it could not be sent.
using PublishFunction = std::function<bool(const std::string& topic, const std::string& payload)>;
/// Adds a topic filter to those subscribed to, now and after each reconnection.
using SubscribeFunction = std::function<void(const std::string& filter)>;

struct IngestSettings {
    std::string bridgeBase { kDefaultBridgeBase };
    std::vector<MappedDevice> mapped;
    /// The most devices made from the broker; plugs found beyond it are ignored.
    size_t maxDevices { 1000 };
    /// How long a switching request waits for the plug to report its new state.
    std::chrono::milliseconds confirmTimeout { 5000 };
};

/// The household's plugs as the broker shows them: reads every message,
/// makes a device for each plug found, keeps what each reports now, and
/// switches them. Messages arrive on the broker's thread while requests ask
/// on theirs; one lock guards the state.
class PlugIngest : public LiveHome {
public:
    /// `history`, when given, keeps every reading (it outlives the ingest).
    PlugIngest(Store& store, int64_t householdId, IngestSettings settings, std::function<int64_t()> now,
        History* history = nullptr);

    /// The topic filters to subscribe to.
    [[nodiscard]] std::vector<std::string> subscriptions() const;
    void setPublisher(PublishFunction publish);
    /// For topics learnt from the plugs themselves (a custom full topic).
    void setSubscriber(SubscribeFunction subscribe);
    /// The most moved topics followed, so that made-up discovery records cannot grow them without end.
    static constexpr size_t kMostMovedTopics = 6000;
    /// One message from the broker, at the service's time now. A retained
    /// one is the broker's old copy: it tells state, but no reading of now.
    void onMessage(const std::string& topic, std::string_view payload, bool retained = false);

    /// The connection to the broker was lost, or is back: what the hub did
    /// not hear whole stays without samples in the history.
    void brokerLost();
    void brokerBack();

    /// The same payload on the same topic within this while is a repeat
    /// (QoS 1 sends again when unsure); it is not kept twice.
    static constexpr int64_t kRepeatWithinMs = 3000;

    LiveStatus status(int64_t deviceId, int64_t nowMs) override;
    std::vector<PowerSample> samples(int64_t deviceId, int64_t fromMs, int64_t toMs) override;
    std::vector<EnergyBlock> hourlyEnergy(
        const std::vector<int64_t>& deviceIds, int64_t fromMs, int64_t toMs, const std::string& zone) override;
    SwitchOutcome switchTo(int64_t deviceId, const std::string& name, bool on) override;
    /// Worked out from the history at most every kSuggestionsEveryMs.
    std::vector<Suggestion> suggestions(
        const std::vector<DeviceRow>& devices, const std::string& zone, int64_t nowMs) override;
    static constexpr int64_t kSuggestionsEveryMs = 5 * 60'000;

    /// How long a reading stands without a newer one: a few of the plug's own
    /// intervals, within bounds.
    static constexpr int64_t kShortestFreshMs = 30'000;
    static constexpr int64_t kLongestFreshMs = 11 * 60'000;
    static constexpr int64_t kUnknownIntervalFreshMs = 6 * 60'000;

private:
    struct Plug {
        int64_t deviceId {};
        std::string unit;
        std::optional<PlugCommand> command;
        bool commandDescribed { false };
        std::optional<int64_t> lastReadingMs;
        double watts {};
        /// A reading known only from a retained copy or from before the hub
        /// started: its time is not now, so it stands as old until a live one
        /// comes. Looked up in the history once.
        std::optional<PowerSample> heldReading;
        bool heldLookedUp { false };
        /// The mean gap between readings, once two have come.
        double intervalMs {};
        std::optional<bool> relayOn;
        /// Counts relay reports, so a waiting command knows one came after it.
        uint64_t relayReports {};
        /// The latest switching request and the state it asked for.
        uint64_t commandTicket {};
        bool commandWants {};
    };

    void apply(const PlugReport& report, int64_t nowMs, bool keep, bool retained);
    /// The reading a plug without a live one since the hub started stands on.
    std::optional<PowerSample> heldReading(Plug& plug, int64_t nowMs);
    /// Whether the message repeats the one before it on its topic.
    bool isRepeat(const std::string& topic, std::string_view payload, int64_t nowMs);
    Plug* plugFor(const PlugReport& report);
    Plug* plugOfDevice(int64_t deviceId);
    [[nodiscard]] int64_t freshForMs(const Plug& plug) const;

    Store& m_store;
    int64_t m_householdId;
    IngestSettings m_settings;
    std::function<int64_t()> m_now;
    PublishFunction m_publish;
    SubscribeFunction m_subscribe;
    History* m_history;
    /// Topics a plug publishes on instead of its family's usual ones, with the usual topic.
    std::map<std::string, std::string> m_movedTopics;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::map<std::string, Plug> m_plugs;
    std::map<int64_t, std::string> m_keyOfDevice;
    std::map<std::string, bool> m_unitOnline;
    std::map<std::string, BridgeDevice> m_bridgeDevices;
    std::map<std::string, std::vector<size_t>> m_mappedByTopic;
    bool m_limitLogged { false };
    int64_t m_lastLimitLogMs { 0 };
    /// The last payload's hash and time by topic, for the topics of known plugs.
    std::map<std::string, std::pair<size_t, int64_t>> m_lastPayloads;
    std::optional<int64_t> m_suggestionsAtMs;
    std::vector<Suggestion> m_suggestions;
};

}
