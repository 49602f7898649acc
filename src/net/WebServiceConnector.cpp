#include "net/WebServiceConnector.h"

#include "net/ServiceChoice.h"
#include "net/ServiceEnvironment.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/Redaction.h"
#include "json/Decoder.h"

#include <algorithm>
#include <optional>
#include <strings.h>

namespace hestio {

namespace {

    constexpr const char* basePath = "/kivoraserver";

    /// Room left after a reply's body, when its length is announced, for a
    /// header put in front of it where it is kept (`ReplyCache::storeOwned`).
    constexpr std::size_t kRoomForAHeader = 512;
    /// Announced lengths past this are not believed ahead of the body.
    constexpr std::size_t kLargestReservedBody = std::size_t { 64 } << 20;

    /// The body's announced length, when it is a plain decimal number.
    std::optional<std::size_t> announcedLength(const platform::HttpHeaders& headers)
    {
        for (const auto& [name, value] : headers) {
            if (name.size() != 14 || strncasecmp(name.c_str(), "Content-Length", 14) != 0)
                continue;
            if (value.empty() || value.size() > 12
                || !std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; }))
                return std::nullopt;
            return static_cast<std::size_t>(std::stoull(value));
        }
        return std::nullopt;
    }

    json::Value decode(const std::string& body)
    {
        json::Error error;
        return json::objectFromJSONDataWithParseOptions(
            std::string_view(body.data(), body.size()), json::ParseOptionStrict, &error);
    }

    /// Asynchronous exchanges running now (they all run on the main thread).
    /// The activity indicator shows while any runs: one that ends must not
    /// hide it while another still runs.
    int exchangesInFlight = 0;

    void setActivityIndicator(bool visible)
    {
        const ServiceEnvironment& environment = ServiceEnvironment::shared();
        if (environment.setNetworkActivityIndicatorVisible)
            environment.setNetworkActivityIndicatorVisible(visible);
    }

}

void WebServiceConnector::showActivity(bool running)
{
    if (running == m_showsActivity)
        return;
    m_showsActivity = running;
    if (running ? exchangesInFlight++ == 0 : --exchangesInFlight == 0)
        setActivityIndicator(running);
}

void WebServiceConnectorDelegate::requestFinished(WebServiceConnector& request, bool success, const json::Value& data)
{
    if (request.forDownloading())
        dataReceived(success, data, request.tag());
    else
        dataSent(success, request.tag());
}

void WebServiceConnectorDelegate::requestFailed(WebServiceConnector& request, const platform::TransportError& error)
{
    requestToServerFailedWithError(error, request.parameters());
}

std::shared_ptr<WebServiceConnector> WebServiceConnector::create(
    std::string remainingURI, std::optional<std::string> parameters, bool forPost)
{
    return std::shared_ptr<WebServiceConnector>(
        new WebServiceConnector(std::move(remainingURI), std::move(parameters), forPost));
}

WebServiceConnector::WebServiceConnector(std::string remainingURI, std::optional<std::string> parameters, bool forPost)
    : m_remainingURI(std::move(remainingURI))
    , m_callerParameters(std::move(parameters))
    , m_isPost(forPost)
{
    formRequest();
}

void WebServiceConnector::formRequest()
{
    const ServiceEnvironment& environment = ServiceEnvironment::shared();
    std::optional<std::string> token;
    if (!m_withoutToken && environment.currentToken)
        token = environment.currentToken();
    // With nobody signed in the parameter still goes out, as "token=(null)".
    std::string tokenParameter = "token=" + token.value_or("(null)");

    if (!m_callerParameters || m_callerParameters->empty())
        m_parameters = tokenParameter;
    else
        m_parameters = *m_callerParameters + "&" + tokenParameter;

    std::string base = "https://" + environment.serviceHost.get() + basePath;
    // Values arrive escaped already (escapeParameter), so the URL is not
    // escaped a second time.
    if (m_isPost)
        m_url = base + m_remainingURI;
    else
        m_url = base + m_remainingURI + "?" + tokenParameter + "&" + m_parameters;
}

void WebServiceConnector::sendWithoutToken()
{
    m_withoutToken = true;
    formRequest();
}

WebServiceConnector::~WebServiceConnector()
{
    // Reached while an exchange runs only when the loop that was to deliver
    // its answer has gone: nobody is left to hear it.
    if (m_exchange)
        m_exchange->cancel();
    m_runningHold.cancel();
    showActivity(false);
}

platform::HttpRequest WebServiceConnector::makeRequest() const
{
    platform::HttpRequest request;
    request.url = m_url;
    request.timeoutSeconds = ServiceEnvironment::shared().requestTimeoutSeconds;
    if (m_isPost) {
        request.method = "POST";
        request.body = m_parameters;
        request.headers.emplace_back("Content-Length", std::to_string(request.body.size()));
    } else {
        request.method = "GET";
    }
    return request;
}

bool WebServiceConnector::successOf(const json::Value& reply)
{
    return reply.isDictionary() && reply["success"].boolValue();
}

void WebServiceConnector::startConnectionForDownload(bool forDownloading)
{
    // Starting again replaces the exchange in flight; it reports nothing.
    cancel();
    m_forDownloading = forDownloading;
    if (auto* loop = platform::RunLoop::currentIfAny()) {
        auto hold = std::make_shared<
            std::pair<std::shared_ptr<WebServiceConnector>, std::shared_ptr<WebServiceConnectorDelegate>>>(
            shared_from_this(), m_delegate.lock());
        m_runningHold = loop->keepAlive(std::move(hold));
    }
    const ServiceEnvironment& environment = ServiceEnvironment::shared();
    if (!m_withoutToken && environment.sessionNeedsRenewal && environment.renewSession
        && environment.sessionNeedsRenewal()) {
        // The token has expired: wait for the renewal, then go out with the
        // new one. The loop keeps running meanwhile.
        m_waitingForSession = true;
        std::weak_ptr<WebServiceConnector> weakSelf = weak_from_this();
        environment.renewSession([weakSelf] {
            auto self = weakSelf.lock();
            if (!self || !self->m_waitingForSession)
                return; // cancelled while waiting
            self->m_waitingForSession = false;
            self->formRequest();
            self->send();
        });
        return;
    }
    formRequest();
    send();
}

void WebServiceConnector::send()
{
    const ServiceEnvironment& environment = ServiceEnvironment::shared();
    std::weak_ptr<WebServiceConnector> weakSelf = weak_from_this();
    platform::ExchangeCallbacks callbacks {
        [weakSelf](int, const platform::HttpHeaders& headers) {
            auto self = weakSelf.lock();
            if (!self)
                return;
            self->m_receivedData.clear();
            // The body then lands in one block of its size, not in ever
            // larger ones each copied into the next (a week of samples is
            // most of a megabyte).
            if (auto length = announcedLength(headers); length && *length <= kLargestReservedBody)
                self->m_receivedData.reserve(*length + kRoomForAHeader);
        },
        [weakSelf](std::string_view chunk) {
            if (auto self = weakSelf.lock())
                self->m_receivedData.append(chunk);
        },
        [weakSelf] {
            if (auto self = weakSelf.lock())
                self->finish();
        },
        [weakSelf](const platform::TransportError& error) {
            if (auto self = weakSelf.lock())
                self->fail(error);
        },
    };
    m_receivedData.clear();
    m_exchange = environment.transport ? environment.transport->start(makeRequest(), std::move(callbacks)) : nullptr;
    if (!m_exchange) {
        m_runningHold.cancel();
        hestio::log("The connection failed...");
        return;
    }
    showActivity(true);
}

void WebServiceConnector::cancel()
{
    m_waitingForSession = false;
    if (auto exchange = std::move(m_exchange)) {
        exchange->cancel();
        showActivity(false);
    }
    m_receivedData.clear();
    m_runningHold.cancel();
}

std::shared_ptr<WebServiceConnectorDelegate> WebServiceConnector::endExchange()
{
    m_exchange.reset();
    auto delegate = m_delegate.lock();
    m_runningHold.cancel();
    showActivity(false);
    return delegate;
}

void WebServiceConnector::finish()
{
    auto keepAlive = shared_from_this(); // the delegate may release us from its callback
    json::Value reply = decode(m_receivedData);
    m_answeredWithJSON = !reply.isNone();
    if (m_keepsReplyBody)
        m_replyBody = std::move(m_receivedData);
    m_receivedData = std::string();
    auto delegate = endExchange();
    // Only the service answers in JSON; an error page from something on the
    // way says it could not be reached.
    if (const auto& exchangeEnded = ServiceEnvironment::shared().exchangeEnded)
        exchangeEnded(m_answeredWithJSON);
    if (delegate)
        delegate->requestFinished(*this, successOf(reply), reply);
    m_replyBody = std::string();
}

void WebServiceConnector::fail(const platform::TransportError& error)
{
    auto keepAlive = shared_from_this();
    m_receivedData.clear();
    auto delegate = endExchange();
    const ServiceEnvironment& environment = ServiceEnvironment::shared();
    if (error.certificateChanged && environment.certificateChanged) {
        environment.certificateChanged();
    } else if (environment.showInfoPanel && error.certificateChanged) {
        // Not a passing trouble of the network: it stays until it is read.
        environment.showInfoPanel(1, kCertificateChangedTitle, kCertificateChangedMessage, 10.0);
    } else if (environment.showInfoPanel) {
        environment.showInfoPanel(1, "Network Failure!",
            "Problem connecting to the network. Check your internet connection and try again later!", 3.0);
    }
    hestio::log("Connection failed! Error - " + error.localizedDescription + " " + redactSecrets(error.failingURL));
    hestio::log("Error Code: " + std::to_string(error.code));
    if (environment.exchangeEnded)
        environment.exchangeEnded(false);
    if (delegate)
        delegate->requestFailed(*this, error);
}

json::Value WebServiceConnector::startSynchronousConnection()
{
    std::shared_ptr<platform::Transport> transport = ServiceEnvironment::shared().transport;
    if (!transport)
        return {};
    platform::HttpResult result = transport->sendSynchronous(makeRequest());
    if (!result.ok)
        return {};
    return decode(result.response.body);
}

}
