#include "HttpsServer.h"
#include "ListenAddress.h"

#include <httplib.h>

#include <algorithm>
#include <charconv>
#include <optional>
#include <stdexcept>
#include <strings.h>

#include <sys/socket.h>

namespace hestio::sim {

namespace {
    std::string rawQuery(const std::string& target)
    {
        size_t mark = target.find('?');
        return mark == std::string::npos ? std::string() : target.substr(mark + 1);
    }

    std::string reasonFor(int status)
    {
        switch (status) {
        case 400:
            return "the request is malformed";
        case 404:
            return "unknown path";
        case 405:
            return "method not allowed";
        case 411:
            return "a request body needs a Content-Length";
        case 413:
            return "the request body is too large";
        case 414:
            return "the request line is too long";
        case 415:
            return "the request body is not form-encoded";
        default:
            return "the request was refused (HTTP " + std::to_string(status) + ")";
        }
    }

    struct Refusal {
        int status;
        std::string reason;
    };

    /// Refuses, from its headers alone, a body whose size could not be known
    /// before reading it: chunked, compressed, or declared far too large. The
    /// client never sends such bodies; the library would read them whole.
    std::optional<Refusal> bodyRefusal(const httplib::Request& request)
    {
        if (request.has_header("Transfer-Encoding"))
            return Refusal { 411, "a request body needs a Content-Length; chunked bodies are not accepted" };
        if (request.has_header("Content-Encoding")
            && strcasecmp(request.get_header_value("Content-Encoding").c_str(), "identity") != 0)
            return Refusal { 415, "compressed request bodies are not accepted" };
        if (request.is_multipart_form_data())
            return Refusal { 415, reasonFor(415) };
        size_t declared = request.get_header_value_count("Content-Length");
        if (declared > 1)
            return Refusal { 400, "the request has more than one Content-Length" };
        if (declared == 1) {
            const std::string& text = request.get_header_value("Content-Length");
            uint64_t length = 0;
            auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), length);
            if (text.empty() || error != std::errc() || end != text.data() + text.size())
                return Refusal { 400, "the Content-Length is not a number" };
            if (length > HttpsServer::kMaxDrainedBodyBytes)
                return Refusal { 413, reasonFor(413) };
        }
        return std::nullopt;
    }
}

namespace {
    /// Open connections stay below the workers: a quarter of them is always
    /// free for the next client, however many wait on slow ones.
    ConnectionLimits withinWorkers(ConnectionLimits limits, size_t threads)
    {
        limits.maxOpenConnections
            = std::clamp<size_t>(limits.maxOpenConnections, 1, std::max<size_t>(1, threads * 3 / 4));
        return limits;
    }
}

HttpsServer::HttpsServer(Service& service, const TlsIdentity& identity, size_t threads, ConnectionLimits limits)
    : m_service(service)
    , m_guard(withinWorkers(limits, threads))
    , m_server(std::make_unique<httplib::SSLServer>(identity.certificate.c_str(), identity.privateKey.c_str()))
{
    if (!m_server->is_valid())
        throw std::runtime_error("cannot use the certificate " + identity.certificate.string() + " and its key");
    m_guard.watch(m_server->ssl_context());
    configureConnections(threads);
    refuseUnreadableBodies();
    routeRequests();
    answerTransportRefusals();
}

void HttpsServer::configureConnections(size_t threads)
{
    m_server->new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
    m_server->set_payload_max_length(kMaxBodyBytes);
    m_server->set_keep_alive_max_count(1000);
    // Told once an answer has been written out.
    m_server->set_logger(
        [this](const httplib::Request& request, const httplib::Response&) { m_guard.answerSent(request.ssl); });
    // Headers and body go out in separate writes; without this the body waits
    // for the client's delayed acknowledgement (about 40 ms a reply).
    m_server->set_tcp_nodelay(true);

    // Only SO_REUSEADDR: the library's default also sets SO_REUSEPORT, which
    // would let a second service share the port instead of failing to start.
    m_server->set_socket_options([this](int socket) {
        int yes = 1;
        setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        m_listeningSocket = socket;
    });
}

void HttpsServer::refuseUnreadableBodies()
{
    // Runs once the headers are in and before any body is read.
    m_server->set_pre_routing_handler([this](const httplib::Request& request, httplib::Response& response) {
        auto refusal = bodyRefusal(request);
        if (!refusal)
            return httplib::Server::HandlerResponse::Unhandled;
        // The body stays unread, so the connection cannot carry another request.
        m_guard.stopReading(request.ssl);
        response.status = refusal->status;
        response.set_header("Connection", "close");
        response.set_content(Service::errorBody(refusal->reason), "application/json");
        return httplib::Server::HandlerResponse::Handled;
    });
}

void HttpsServer::routeRequests()
{
    auto answer = [this](const httplib::Request& request, std::string body, httplib::Response& response) {
        m_guard.requestReceived(request.ssl);
        ServiceRequest serviceRequest { request.method, request.path, rawQuery(request.target), std::move(body),
            canonicalPeerAddress(request.remote_addr) };
        ServiceReply reply = m_service.handle(serviceRequest);
        response.status = reply.status;
        if (!reply.allow.empty())
            response.set_header("Allow", reply.allow);
        response.set_content(reply.body, "application/json");
    };
    auto withoutBody
        = [answer](const httplib::Request& request, httplib::Response& response) { answer(request, {}, response); };
    // Bodies are read here rather than by the library, which holds form-encoded
    // bodies to a smaller limit of its own.
    auto withBody = [this, answer](const httplib::Request& request, httplib::Response& response,
                        const httplib::ContentReader& reader) {
        std::string body;
        if (request.has_header("Content-Length")) {
            bool complete = reader([&body](const char* data, size_t size) {
                if (body.size() + size > kMaxBodyBytes)
                    return false;
                body.append(data, size);
                return true;
            });
            if (!complete) {
                // A body over the limit has been read and dropped; anything
                // else leaves the connection at an unknown place.
                int status = response.status == 413 || ConnectionGuard::takeCutForSize() ? 413 : 400;
                if (status != 413)
                    m_guard.stopReading(request.ssl);
                response.status = status;
                response.set_content(Service::errorBody(reasonFor(status)), "application/json");
                return;
            }
        }
        answer(request, std::move(body), response);
    };
    m_server->Get(".*", withoutBody);
    m_server->Options(".*", withoutBody);
    m_server->Post(".*", withBody);
    m_server->Put(".*", withBody);
    m_server->Delete(".*", withBody);
    m_server->Patch(".*", withBody);
}

void HttpsServer::answerTransportRefusals()
{
    // Refusals made by the transport itself (a body over the limit, a broken
    // request line) still answer with a JSON object.
    m_server->set_error_handler([](const httplib::Request&, httplib::Response& response) {
        // The library reads a request cut for its size as a broken one.
        if (ConnectionGuard::takeCutForSize()) {
            response.status = 413;
            response.set_content(Service::errorBody("the request is too large"), "application/json");
        }
        if (response.body.empty())
            response.set_content(Service::errorBody(reasonFor(response.status)), "application/json");
    });
}

HttpsServer::~HttpsServer() = default;

int HttpsServer::bind(const std::string& host, int port)
{
    int bound = port == 0 ? m_server->bind_to_any_port(host) : (m_server->bind_to_port(host, port) ? port : -1);
    // The library listens with a backlog of 5, so a burst of clients
    // connecting at once saw dropped handshakes retried a second later.
    if (bound > 0 && m_listeningSocket >= 0)
        ::listen(m_listeningSocket, 256);
    return bound;
}

void HttpsServer::run()
{
    m_server->listen_after_bind();
}

void HttpsServer::stop()
{
    m_server->stop();
}

}
