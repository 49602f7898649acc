#pragma once

#include <string>
#include <utility>
#include <vector>

namespace hestio::platform {

using HttpHeaders = std::vector<std::pair<std::string, std::string>>;

/// One HTTP request as the app forms it. Requests always reload (no cache).
struct HttpRequest {
    std::string method { "GET" };
    std::string url;
    HttpHeaders headers;
    std::string body;
    double timeoutSeconds { 30 };

    /// The value of the first header named `name` (case-insensitive), or "".
    [[nodiscard]] std::string header(const std::string& name) const;
};

struct HttpResponse {
    int statusCode { 0 };
    HttpHeaders headers;
    std::string body;
};

/// A failure below HTTP: no answer came. Codes follow the phone platform's
/// URL-loading error codes so that log lines read the same.
struct TransportError {
    enum Code : int {
        Unknown = -1,
        Cancelled = -999,
        BadURL = -1000,
        TimedOut = -1001,
        UnsupportedURL = -1002,
        CannotFindHost = -1003,
        CannotConnectToHost = -1004,
        NetworkConnectionLost = -1005,
        NotConnectedToInternet = -1009,
        BadServerResponse = -1011,
        SecureConnectionFailed = -1200,
        ServerCertificateUntrusted = -1202,
        DataLengthExceedsMaximum = -1103,
    };
    int code { Unknown };
    std::string localizedDescription;
    std::string failingURL;
    /// With ServerCertificateUntrusted: the service host showed a public key
    /// other than its pin (the certificate changed, or someone stands between).
    bool certificateChanged { false };
};

/// The outcome of a synchronous send: a response, or the transport error.
struct HttpResult {
    bool ok { false };
    HttpResponse response;
    TransportError error;
};

}
