#include "net/WebServiceConnector.h"

#include "net/ServiceEnvironment.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/Redaction.h"
#include "json/Decoder.h"

namespace hestio {

namespace {

    constexpr const char* basePath = "/kivoraserver";

    json::Value decode(const std::string& body)
    {
        json::Error error;
        return json::objectFromJSONDataWithParseOptions(
            std::string_view(body.data(), body.size()), json::ParseOptionStrict, &error);
    }

}

std::shared_ptr<WebServiceConnector> WebServiceConnector::create(
    std::string remainingURI, std::optional<std::string> parameters, bool forPost)
{
    return std::shared_ptr<WebServiceConnector>(
        new WebServiceConnector(std::move(remainingURI), std::move(parameters), forPost));
}

WebServiceConnector::WebServiceConnector(std::string remainingURI, std::optional<std::string> parameters, bool forPost)
    : m_isPost(forPost)
{
    const ServiceEnvironment& environment = ServiceEnvironment::shared();
    std::optional<std::string> token = environment.currentToken ? environment.currentToken() : std::nullopt;
    // With nobody signed in the parameter still goes out, as "token=(null)".
    std::string tokenParameter = "token=" + token.value_or("(null)");

    if (!parameters || parameters->empty())
        m_parameters = tokenParameter;
    else
        m_parameters = *parameters + "&" + tokenParameter;

    std::string base = "https://" + environment.serviceHost + basePath;
    // Values arrive escaped already (escapeParameter), so the URL is not
    // escaped a second time.
    if (m_isPost)
        m_url = base + remainingURI;
    else
        m_url = base + remainingURI + "?" + tokenParameter + "&" + m_parameters;
}

WebServiceConnector::~WebServiceConnector()
{
    if (m_exchange)
        m_exchange->cancel();
    m_delegateHold.cancel();
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
    m_forDownloading = forDownloading;
    const ServiceEnvironment& environment = ServiceEnvironment::shared();
    std::weak_ptr<WebServiceConnector> weakSelf = weak_from_this();
    platform::ExchangeCallbacks callbacks {
        [weakSelf](int, const platform::HttpHeaders&) {
            if (auto self = weakSelf.lock())
                self->m_receivedData.clear();
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
    m_exchange = environment.transport ? environment.transport->start(makeRequest(), std::move(callbacks)) : nullptr;
    if (!m_exchange) {
        hestio::log("The connection failed...");
        return;
    }
    if (auto* loop = platform::RunLoop::currentIfAny())
        m_delegateHold = loop->keepAlive(m_delegate.lock());
    m_receivedData.clear();
    if (environment.setNetworkActivityIndicatorVisible)
        environment.setNetworkActivityIndicatorVisible(true);
}

void WebServiceConnector::finish()
{
    auto keepAlive = shared_from_this(); // the delegate may release us from its callback
    json::Value reply = decode(m_receivedData);
    m_answeredWithJSON = !reply.isNone();
    m_receivedData.clear();
    m_receivedData.shrink_to_fit();
    m_exchange.reset();
    auto delegate = m_delegate.lock();
    m_delegateHold.cancel();
    const ServiceEnvironment& environment = ServiceEnvironment::shared();
    if (environment.setNetworkActivityIndicatorVisible)
        environment.setNetworkActivityIndicatorVisible(false);
    bool success = successOf(reply);
    if (!delegate)
        return;
    if (m_forDownloading)
        delegate->dataReceived(success, reply, m_tag);
    else
        delegate->dataSent(success, m_tag);
}

void WebServiceConnector::fail(const platform::TransportError& error)
{
    auto keepAlive = shared_from_this();
    m_receivedData.clear();
    m_exchange.reset();
    auto delegate = m_delegate.lock();
    m_delegateHold.cancel();
    const ServiceEnvironment& environment = ServiceEnvironment::shared();
    if (environment.showInfoPanel) {
        environment.showInfoPanel(1, "Network Failure!",
            "Problem connecting to the network. Check your internet connection and try again later!", 3.0);
    }
    hestio::log("Connection failed! Error - " + error.localizedDescription + " " + redactSecrets(error.failingURL));
    hestio::log("Error Code: " + std::to_string(error.code));
    if (environment.setNetworkActivityIndicatorVisible)
        environment.setNetworkActivityIndicatorVisible(false);
    if (delegate)
        delegate->requestToServerFailedWithError(error, m_parameters);
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
