#include "net/ServiceChoice.h"
#include "net/ServiceEnvironment.h"
#include "net/WebServiceConnector.h"

#include "platform/foundation/DiskWriter.h"
#include "platform/foundation/PropertyList.h"
#include "platform/http/FakeTransport.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"
#include "support/TestRunLoop.h"

#include <gtest/gtest.h>

using namespace hestio;
using platform::CertificateProbeResult;
using platform::FakeTransport;
using platform::TransportError;

namespace {

struct ServiceChoiceTest : ::testing::Test {
    test::TestRunLoop loop;
    test::LogCapture logs;
    std::shared_ptr<FakeTransport> transport = std::make_shared<FakeTransport>();

    void SetUp() override
    {
        ServiceEnvironment::shared() = ServiceEnvironment {};
        ServiceEnvironment::shared().transport = transport;
    }
    void TearDown() override { ServiceEnvironment::shared() = ServiceEnvironment {}; }

    static CertificateProbeResult shown(std::string pin, std::string name)
    {
        return { true, std::move(pin), std::move(name), {} };
    }
    static CertificateProbeResult failed(int code, std::string description = "")
    {
        return { false, {}, {}, { code, std::move(description), {} } };
    }
};

}

TEST(ServiceAddress, HostsAndPortsAreCheckedAtTheirEdges)
{
    struct Case {
        const char* host;
        const char* port;
        const char* address; ///< hostAndPort() when accepted
        const char* message; ///< otherwise
    };
    const char* portMessage = "The port must be a number from 1 to 65535.";
    const Case cases[] = {
        { "hub.local", "0", nullptr, portMessage },
        { "hub.local", "1", "hub.local:1", "" },
        { "hub.local", "65535", "hub.local:65535", "" },
        { "hub.local", "65536", nullptr, portMessage },
        { "hub.local", "999999", nullptr, portMessage },
        { "hub.local", "", nullptr, portMessage },
        { "hub.local", "84 43", nullptr, portMessage },
        { "hub.local", "-1", nullptr, portMessage },
        { "hub.local", "8443x", nullptr, portMessage },
        { " Hub.Local ", " 8443 ", "hub.local:8443", "" },
        { "192.168.1.20", "8443", "192.168.1.20:8443", "" },
        { "fe80::1", "8443", "[fe80::1]:8443", "" },
        { "[::1]", "8443", "[::1]:8443", "" },
        { "", "8443", nullptr, "Enter the hub's host name or IP address." },
        { "   ", "8443", nullptr, "Enter the hub's host name or IP address." },
        { "my hub", "8443", nullptr, "The host cannot contain spaces." },
        { "https://hub.local", "8443", nullptr, "Enter the host alone, without \"https://\", a path or a port." },
        { "hub.local:8443", "8443", nullptr, "Enter the host alone, without \"https://\", a path or a port." },
        { "hub.local/x", "8443", nullptr, "Enter the host alone, without \"https://\", a path or a port." },
        { "hüb", "8443", nullptr, "The host can hold only letters, digits, dots and hyphens." },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.host) + " | " + c.port);
        ServiceAddressCheck checked = checkServiceAddress(c.host, c.port);
        if (c.address) {
            ASSERT_TRUE(checked.address);
            EXPECT_EQ(checked.address->hostAndPort(), c.address);
            EXPECT_EQ(checked.message, "");
        } else {
            EXPECT_FALSE(checked.address);
            EXPECT_EQ(checked.message, c.message);
        }
    }
}

TEST(ServiceAddress, AKeptHostReadsBackWithItsPort)
{
    for (const char* kept : { "hub.local:9443", "[fe80::1]:9443", "10.0.0.2:9443" }) {
        ServiceAddress address = ServiceAddress::fromHostAndPort(kept);
        EXPECT_EQ(address.hostAndPort(), kept);
        EXPECT_EQ(address.port, 9443);
    }
    EXPECT_EQ(ServiceAddress::fromHostAndPort("hub.local").hostAndPort(), "hub.local:8443") << "no port: the default";
}

TEST_F(ServiceChoiceTest, AProbeEndsOnceWithWhatTheServiceShowedAndASecondStartIsRefused)
{
    transport->enqueueProbe(shown("sha256//PIN=", "hestio-hub"), 2.0);
    ServiceProbe probe;
    std::vector<std::string> ended;
    auto record = [&](const std::optional<ServiceProbe::Found>& found, const std::string& message) {
        ended.push_back(found ? found->address.hostAndPort() + " " + found->pin + " " + found->name : message);
    };
    ServiceAddress address { "hub.local", 8443 };
    ASSERT_TRUE(probe.start(address, record));
    EXPECT_TRUE(probe.isRunning());
    EXPECT_FALSE(probe.start(address, record)) << "a second tap starts nothing";
    ASSERT_EQ(transport->probes().size(), 1u);
    EXPECT_EQ(transport->probes()[0].host, "hub.local");
    EXPECT_EQ(transport->probes()[0].port, 8443);
    EXPECT_EQ(transport->probes()[0].timeoutSeconds, ServiceProbe::timeoutSeconds);
    loop.advance(1.9);
    EXPECT_TRUE(ended.empty());
    loop.advance(0.2);
    EXPECT_EQ(ended, (std::vector<std::string> { "hub.local:8443 sha256//PIN= hestio-hub" }));
    EXPECT_FALSE(probe.isRunning());

    // Cancelled: nothing comes, and another probe may start.
    transport->enqueueProbe(shown("sha256//OTHER=", "x"), 1.0);
    ASSERT_TRUE(probe.start(address, record));
    probe.cancel();
    loop.advance(5);
    EXPECT_EQ(ended.size(), 1u);
    EXPECT_TRUE(probe.start(address, record));
    loop.advance(1);
    EXPECT_EQ(ended.back(),
        "Nothing at hub.local:8443 accepted the connection. Check the address and that the hub "
        "is running.");
}

TEST_F(ServiceChoiceTest, EachFailureHasAMessageThatSaysWhatToCheck)
{
    struct Case {
        CertificateProbeResult result;
        const char* message;
    };
    const Case cases[] = {
        { failed(TransportError::CannotConnectToHost),
            "Nothing at 10.0.0.2:9443 accepted the connection. Check the address and that the hub is running." },
        { failed(TransportError::CannotFindHost), "No host named \"10.0.0.2\" was found. Check the name." },
        { failed(TransportError::TimedOut),
            "10.0.0.2:9443 did not answer in time. Check the address and that this device is on the hub's network." },
        { failed(TransportError::SecureConnectionFailed),
            "10.0.0.2:9443 answered, but not over a secure connection. Is it the hub's port?" },
        { failed(TransportError::Unknown, "Out of memory"), "Could not connect to 10.0.0.2:9443: Out of memory" },
    };
    for (const Case& c : cases) {
        transport->enqueueProbe(c.result);
        ServiceProbe probe;
        std::vector<std::string> messages;
        probe.start({ "10.0.0.2", 9443 }, [&](const std::optional<ServiceProbe::Found>& found, const std::string& m) {
            EXPECT_FALSE(found);
            messages.push_back(m);
        });
        loop.runPending();
        EXPECT_EQ(messages, (std::vector<std::string> { c.message }));
    }

    transport->setRefusesToStart(true);
    ServiceProbe probe;
    int calls = 0;
    probe.start({ "10.0.0.2", 9443 }, [&](const std::optional<ServiceProbe::Found>&, const std::string& m) {
        ++calls;
        EXPECT_EQ(m, "Could not start a connection to 10.0.0.2:9443.");
    });
    loop.advance(1);
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(probe.isRunning());
}

TEST_F(ServiceChoiceTest, AKeptChoiceIsTheFileTheAppReadsBackAndTheOnlyTrust)
{
    test::TempDir config;
    // What keepServiceChoice() tells, once the loop has run; none before.
    auto keep = [&](const ServiceConfiguration& choice, const std::filesystem::path& folder) {
        std::optional<bool> told;
        keepServiceChoice(choice, folder, [&](bool kept) { told = kept; });
        EXPECT_FALSE(told) << "told on the loop, never within the call";
        loop.runPending();
        return told;
    };
    // Told once the held disk has taken it: the completion outlives the
    // block that holds the disk.
    std::optional<bool> told;
    {
        // Until the disk has it, the app stays where it was.
        platform::HeldFlushes stuck;
        keepServiceChoice({ "[fe80::1]:9443", "sha256//PIN=" }, config.path(), [&](bool kept) { told = kept; });
        loop.advance(60);
        EXPECT_FALSE(told);
        EXPECT_EQ(ServiceEnvironment::shared().serviceHost.get(), ServiceEnvironment().serviceHost.get());
        EXPECT_TRUE(transport->serverTrust().publicKeyPin.empty());
    }
    loop.runPending();
    EXPECT_EQ(told, true);
    ASSERT_EQ(keep({ "[fe80::1]:9443", "sha256//PIN=" }, config.path()), true);
    auto kept = platform::readPropertyListDictionary(config.path() / "Service.plist");
    EXPECT_EQ(kept.size(), 2u) << "the host and the pin, nothing else";
    ServiceConfiguration loaded = ServiceConfiguration::load(config.path());
    EXPECT_EQ(loaded.host, "[fe80::1]:9443");
    EXPECT_EQ(loaded.pin, "sha256//PIN=");
    EXPECT_EQ(ServiceEnvironment::shared().serviceHost.get(), "[fe80::1]:9443");
    EXPECT_EQ(transport->serverTrust().pinnedHost, "fe80::1");
    EXPECT_EQ(transport->serverTrust().publicKeyPin, "sha256//PIN=");

    // A folder that cannot take the file: nothing changes.
    test::TempDir other;
    other.write("blocker", "x");
    EXPECT_EQ(keep({ "hub.local:8443", "sha256//NEW=" }, other.path() / "blocker"), false);
    EXPECT_TRUE(logs.contains("Could not write property list"));
    EXPECT_EQ(ServiceEnvironment::shared().serviceHost.get(), "[fe80::1]:9443");
    EXPECT_EQ(transport->serverTrust().publicKeyPin, "sha256//PIN=");
}

TEST_F(ServiceChoiceTest, AChangedCertificateIsToldApartFromANetworkFailure)
{
    std::vector<std::string> shown;
    int told = 0;
    auto& environment = ServiceEnvironment::shared();
    environment.showInfoPanel = [&](int, const std::string& title, const std::string& subtitle, double hideAfter) {
        shown.push_back(title + "|" + subtitle + "|" + std::to_string(static_cast<int>(hideAfter)));
    };
    FakeTransport::Reply changed;
    changed.error = TransportError { TransportError::ServerCertificateUntrusted, "changed", {}, true };
    auto send = [&](FakeTransport::Reply reply) {
        transport->enqueue(std::move(reply));
        auto request = WebServiceConnector::create("/api/device", std::nullopt, false);
        request->startConnectionForDownload(true);
        loop.runPending();
    };
    send(changed);
    send(FakeTransport::Reply::failure());
    EXPECT_EQ(shown,
        (std::vector<std::string> {
            "Certificate Changed|The service's certificate has changed, so nothing was sent to it. If your hub was set "
            "up again, choose the service again with the i button at the top right of the sign-in screen.|10",
            "Network Failure!|Problem connecting to the network. Check your internet connection and try again "
            "later!|3" }));

    environment.certificateChanged = [&] { ++told; };
    send(changed);
    EXPECT_EQ(told, 1);
    EXPECT_EQ(shown.size(), 2u) << "the app says it instead of the panel";
}
