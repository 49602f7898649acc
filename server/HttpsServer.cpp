#include "HttpsServer.h"

#include <httplib.h>

#include <stdexcept>

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
        case 413:
            return "the request body is too large";
        case 414:
            return "the request line is too long";
        default:
            return "the request was refused (HTTP " + std::to_string(status) + ")";
        }
    }
}

HttpsServer::HttpsServer(Service& service, const TlsIdentity& identity, size_t threads)
    : m_service(service)
    , m_server(std::make_unique<httplib::SSLServer>(identity.certificate.c_str(), identity.privateKey.c_str()))
{
    if (!m_server->is_valid())
        throw std::runtime_error("cannot use the certificate " + identity.certificate.string() + " and its key");
    m_server->new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
    m_server->set_payload_max_length(kMaxBodyBytes);
    m_server->set_keep_alive_max_count(1000);
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

    auto handler = [this](const httplib::Request& request, httplib::Response& response) {
        ServiceRequest serviceRequest { request.method, request.path, rawQuery(request.target), request.body };
        ServiceReply reply = m_service.handle(serviceRequest);
        response.status = reply.status;
        response.set_content(reply.body, "application/json");
    };
    m_server->Get(".*", handler);
    m_server->Post(".*", handler);
    m_server->Put(".*", handler);
    m_server->Delete(".*", handler);
    m_server->Patch(".*", handler);
    m_server->Options(".*", handler);
    // Refusals made by the transport itself (a body over the limit, a broken
    // request line) still answer with a JSON object.
    m_server->set_error_handler([](const httplib::Request&, httplib::Response& response) {
        if (response.body.empty())
            response.set_content(Service::errorBody(reasonFor(response.status)), "application/json");
    });
}

HttpsServer::~HttpsServer() = default;

int HttpsServer::bind(int port)
{
    int bound
        = port == 0 ? m_server->bind_to_any_port("127.0.0.1") : (m_server->bind_to_port("127.0.0.1", port) ? port : -1);
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
