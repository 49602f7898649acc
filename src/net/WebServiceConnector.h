#pragma once

#include "platform/foundation/RunLoop.h"
#include "platform/http/HttpTypes.h"
#include "platform/http/Transport.h"
#include "json/Value.h"

#include <atomic>
#include <memory>
#include <optional>
#include <string>

namespace hestio {

/// What a screen implements to hear back from its requests; every call comes
/// on the main thread.
class WebServiceConnectorDelegate {
public:
    virtual ~WebServiceConnectorDelegate() = default;
    /// A download finished; `data` is the decoded reply (none when the body
    /// was not JSON).
    virtual void dataReceived(bool /*success*/, const json::Value& /*data*/, int /*tag*/) { }
    /// A send finished.
    virtual void dataSent(bool /*success*/, int /*tag*/) { }
    /// Optional: the exchange failed below HTTP. Return false from the default
    /// to say "not implemented".
    virtual bool requestToServerFailedWithError(
        const platform::TransportError& /*error*/, const std::string& /*parameters*/)
    {
        return false;
    }
};

/// One exchange with the service: forms the request under
/// "https://<host>/kivoraserver", adds the session token, sends it, decodes
/// the reply and calls the delegate back. Made with create(); the owner keeps
/// it until its callback. Releasing it cancels the exchange: no callback
/// follows.
class WebServiceConnector : public std::enable_shared_from_this<WebServiceConnector> {
public:
    /// `parameters` is the caller's "key=value&…" text, values already passed
    /// through escapeParameter(); none or empty for no parameters.
    static std::shared_ptr<WebServiceConnector> create(
        std::string remainingURI, std::optional<std::string> parameters, bool forPost);
    ~WebServiceConnector();

    void setTag(int tag) { m_tag = tag; }
    int tag() const { return m_tag; }
    /// Kept alive by the run loop while an exchange runs, so the delegate
    /// lives to hear its answer; weakly otherwise. Not by this object: the
    /// delegate usually owns it, and the two would keep each other alive when
    /// no answer ever comes (the loop went away first).
    void setDelegate(std::weak_ptr<WebServiceConnectorDelegate> delegate) { m_delegate = std::move(delegate); }

    /// Starts the exchange and returns at once.
    void startConnectionForDownload(bool forDownloading);
    /// Sends and blocks; the decoded reply, or none when no answer came.
    /// Shows nothing and calls no delegate. Callable from any thread.
    json::Value startSynchronousConnection();

    const std::string& url() const { return m_url; }
    const std::string& parameters() const { return m_parameters; }
    bool isPost() const { return m_isPost; }
    bool forDownloading() const { return m_forDownloading; }
    bool isRunning() const { return m_exchange != nullptr; }
    /// After an exchange finished: whether its body was JSON, that is, an
    /// answer of the service itself rather than an error page or a broken
    /// body from something on the way. False before.
    bool answeredWithJSON() const { return m_answeredWithJSON; }

    /// The HTTP request this object sends.
    platform::HttpRequest makeRequest() const;
    /// "success" of a decoded reply: false unless it is a dictionary whose
    /// "success" reads true.
    static bool successOf(const json::Value& reply);

private:
    WebServiceConnector(std::string remainingURI, std::optional<std::string> parameters, bool forPost);
    void finish();
    void fail(const platform::TransportError& error);

    std::string m_url;
    std::string m_parameters;
    bool m_isPost { false };
    std::atomic<int> m_tag { 0 };
    std::atomic<bool> m_forDownloading { false };
    std::weak_ptr<WebServiceConnectorDelegate> m_delegate;
    platform::TimerHandle m_delegateHold;
    std::string m_receivedData;
    bool m_answeredWithJSON { false };
    std::shared_ptr<platform::Exchange> m_exchange;
};

}
