#include "app/HestioLauncher.h"

#include "app/HestioAppDelegate.h"
#include "net/KeychainWrapper.h"
#include "net/ServiceConfiguration.h"
#include "net/ServiceEnvironment.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/Profile.h"
#include "platform/http/CurlTransport.h"
#include "platform/keychain/KeychainStore.h"

#include <malloc.h>

namespace hestio {

using namespace platform;

namespace {

    /// The host owns one ApplicationDelegate by unique_ptr; the session owner is
    /// shared (request objects and timers hold it weakly), so this forwards.
    class ForwardingDelegate final : public ApplicationDelegate {
    public:
        ForwardingDelegate()
            : m_session(HestioAppDelegate::sharedPointer())
        {
        }
        ~ForwardingDelegate() override
        {
            m_session.reset();
            HestioAppDelegate::resetShared();
            ServiceEnvironment::shared() = ServiceEnvironment {};
            KeychainWrapper::setStore(nullptr);
        }

        void didFinishLaunching(Application& a) override { m_session->didFinishLaunching(a); }
        void didEnterBackground(Application& a) override { m_session->didEnterBackground(a); }
        void didRegisterForRemoteNotifications(Application& a, const std::vector<std::uint8_t>& token) override
        {
            m_session->didRegisterForRemoteNotifications(a, token);
        }
        void didFailToRegisterForRemoteNotifications(Application& a, const std::string& error) override
        {
            m_session->didFailToRegisterForRemoteNotifications(a, error);
        }
        void didReceiveRemoteNotification(Application& a, const std::string& payload) override
        {
            m_session->didReceiveRemoteNotification(a, payload);
        }

    private:
        std::shared_ptr<HestioAppDelegate> m_session;
    };

}

std::unique_ptr<ApplicationDelegate> makeHestioApplicationDelegate(Application& application, const HostOptions& options)
{
    // Blocks of a megabyte and more (replies and their decoded weeks, the
    // window's picture, a graph's kept pixels) are mapped apart and given back
    // to the system when freed. Left to itself the allocator raises this bound
    // after each such block is freed, until they all come from the heap and
    // stay resident after the screen that used them has gone (12 MB after
    // four graphs). A frame's own buffers (coverage masks, the line's
    // outline) stay below it, so frames reuse heap memory rather than map
    // and fault in fresh pages each time.
    mallopt(M_MMAP_THRESHOLD, 1024 * 1024);
    // One heap for all threads. The allocator gives each thread that meets
    // another in it a heap of its own (the network's, the disk writer's, the
    // decoder's idle keeper), and each keeps its free pages and the blocks
    // it last held, half a megabyte for the network's after four graph
    // screens; the other threads allocate little and seldom.
    mallopt(M_ARENA_MAX, 1);
    Profile profile = Profile::current();
    static_cast<void>(profile.createDirectories()); // a failure is logged; the app starts regardless

    ServiceConfiguration service = ServiceConfiguration::load(profile.configDirectory());
    if (options.serviceHost)
        service.host = *options.serviceHost;
    if (options.servicePin)
        service.pin = *options.servicePin;

    ServiceEnvironment& environment = ServiceEnvironment::shared();
    environment.serviceHost.set(service.host);
    if (options.requestTimeoutSeconds)
        environment.requestTimeoutSeconds = *options.requestTimeoutSeconds;
    environment.transport = std::make_shared<CurlTransport>(ServerTrust { service.hostName(), service.pin });

    KeychainWrapper::setStore(makeDefaultKeychain((profile.dataDirectory() / "credentials").string()));
    application.setDeviceTokenPath((profile.dataDirectory() / "device-token").string());
    return std::make_unique<ForwardingDelegate>();
}

}
