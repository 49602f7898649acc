#pragma once

#include "platform/foundation/RunLoop.h"
#include "platform/http/HttpTypes.h"
#include "platform/http/Transport.h"
#include "json/Value.h"

#include <any>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>

namespace hestio {

class WebServiceConnector;

/// What a screen implements to hear back from its requests; every call comes
/// on the main thread. Every started request reaches exactly one of
/// requestFinished or requestFailed (or none after an explicit cancel).
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

    /// The request that finished, so that a delegate with several requests in
    /// flight can tell them apart by what each one sent (its tag, context or
    /// parameters). The default hands on to dataReceived or dataSent.
    virtual void requestFinished(WebServiceConnector& request, bool success, const json::Value& data);
    /// The request that failed below HTTP. The default hands on to
    /// requestToServerFailedWithError.
    virtual void requestFailed(WebServiceConnector& request, const platform::TransportError& error);
};

/// One exchange with the service: forms the request under
/// "https://<host>/kivoraserver", adds the session token, sends it, decodes
/// the reply and calls the delegate back. Made with create().
///
/// A started exchange keeps itself and its delegate alive (through the run
/// loop that started it) until its one callback has been delivered, whatever
/// its owner does with the pointer it kept: replacing or releasing it does not
/// cancel anything. Only cancel() stops it, and then no callback follows.
/// When the session's token has expired, the request first waits for the
/// session to be renewed (without blocking the loop) and then goes out with
/// the new token.
class WebServiceConnector : public std::enable_shared_from_this<WebServiceConnector> {
public:
    /// `parameters` is the caller's "key=value&…" text, values already passed
    /// through escapeParameter(); none or empty for no parameters.
    [[nodiscard]] static std::shared_ptr<WebServiceConnector> create(
        std::string remainingURI, std::optional<std::string> parameters, bool forPost);
    ~WebServiceConnector();

    void setTag(int tag) { m_tag = tag; }
    int tag() const { return m_tag; }
    /// What the caller wants to know again when the answer comes (which row,
    /// which kind of request, the value sent); read it back with context<T>().
    void setContext(std::any context) { m_context = std::move(context); }
    template<typename T> const T* context() const { return std::any_cast<T>(&m_context); }
    /// Kept alive by the run loop while an exchange runs, so the delegate
    /// lives to hear its answer; weakly otherwise. Not by this object: the
    /// delegate usually owns it, and the two would keep each other alive when
    /// no answer ever comes (the loop went away first).
    void setDelegate(std::weak_ptr<WebServiceConnectorDelegate> delegate) { m_delegate = std::move(delegate); }

    /// Starts the exchange and returns at once.
    void startConnectionForDownload(bool forDownloading);
    /// Stops a running exchange (logout, the session ending); no callback
    /// follows. Nothing happens when none runs.
    void cancel();
    /// Sends and blocks; the decoded reply, or none when no answer came.
    /// Shows nothing and calls no delegate. Callable from any thread.
    json::Value startSynchronousConnection();

    const std::string& url() const { return m_url; }
    const std::string& parameters() const { return m_parameters; }
    bool isPost() const { return m_isPost; }
    bool forDownloading() const { return m_forDownloading; }
    bool isRunning() const { return m_exchange != nullptr || m_waitingForSession; }
    /// The request goes out with "token=(null)" whoever is signed in: the
    /// sign-in itself, which must not carry the token it replaces.
    void sendWithoutToken();
    /// After an exchange finished: whether its body was JSON, that is, an
    /// answer of the service itself rather than an error page or a broken
    /// body from something on the way. False before.
    bool answeredWithJSON() const { return m_answeredWithJSON; }
    /// The reply's body as it came, during the finishing callback only (so
    /// that a screen can keep what it shows); empty before and after.
    const std::string& replyBody() const { return m_replyBody; }
    /// The reply's body as it came, moved out, during the finishing callback
    /// (so that a screen can hand what it keeps on without a copy); empty
    /// before and after, and once taken.
    std::string takeReplyBody() { return std::exchange(m_replyBody, std::string()); }
    /// Whether replyBody() is kept for the finishing callback (the default).
    /// A screen that keeps only what it decoded turns it off: the text then
    /// goes as soon as it is decoded, before the callback (most of a
    /// megabyte for a week of minute samples).
    void setKeepsReplyBody(bool keeps) { m_keepsReplyBody = keeps; }
    bool keepsReplyBody() const { return m_keepsReplyBody; }

    /// The HTTP request this object sends.
    platform::HttpRequest makeRequest() const;
    /// "success" of a decoded reply: false unless it is a dictionary whose
    /// "success" reads true.
    [[nodiscard]] static bool successOf(const json::Value& reply);

private:
    WebServiceConnector(std::string remainingURI, std::optional<std::string> parameters, bool forPost);
    void formRequest();
    void send();
    /// Ends the exchange: drops what it kept alive and hides the activity
    /// indicator. Returns the delegate that is to hear of it, if any.
    std::shared_ptr<WebServiceConnectorDelegate> endExchange();
    /// Counts this exchange among those that keep the activity indicator on
    /// (`running`) or no longer; the indicator changes when the first starts
    /// and when the last ends.
    void showActivity(bool running);
    void finish();
    void fail(const platform::TransportError& error);

    std::string m_remainingURI;
    std::optional<std::string> m_callerParameters;
    bool m_withoutToken { false };
    bool m_waitingForSession { false };
    std::any m_context;
    std::string m_url;
    std::string m_parameters;
    bool m_isPost { false };
    std::atomic<int> m_tag { 0 };
    std::atomic<bool> m_forDownloading { false };
    std::weak_ptr<WebServiceConnectorDelegate> m_delegate;
    /// Holds this object and its delegate on the run loop while the exchange
    /// runs; the loop lets both go if it ends first.
    platform::TimerHandle m_runningHold;
    std::string m_receivedData;
    std::string m_replyBody;
    bool m_answeredWithJSON { false };
    bool m_keepsReplyBody { true };
    std::shared_ptr<platform::Exchange> m_exchange;
    bool m_showsActivity { false };
};

}
