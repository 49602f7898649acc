#pragma once

#include "platform/http/Transport.h"

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace hestio {

/// A text one thread may change while another reads it: each read returns a
/// whole copy of one value that was set, never a mix.
class LockedText {
public:
    LockedText(std::string value = {})
        : m_value(std::move(value))
    {
    }
    LockedText(const LockedText& other)
        : m_value(other.get())
    {
    }
    LockedText& operator=(const LockedText& other);

    [[nodiscard]] std::string get() const;
    void set(std::string value);

private:
    mutable std::mutex m_mutex;
    std::string m_value;
};

/// What every request object needs from the running app: the transport, the
/// service host, the session token, and the two things it shows (the info
/// panel and the network activity indicator). The app delegate fills it at
/// launch; tests fill it with a fake transport. Main thread only, except
/// `transport` and `serviceHost`, which the background resend reads.
struct ServiceEnvironment {
    std::shared_ptr<platform::Transport> transport;
    /// "host" or "host:port", without scheme. Changed on the main thread when
    /// the user chooses another service, read by requests on any thread.
    LockedText serviceHost { "localhost:8443" };
    /// How long one request may take before it fails as a transport failure.
    double requestTimeoutSeconds { 30 };
    /// The signed-in user's token, none when nobody is signed in. Never blocks.
    std::function<std::optional<std::string>()> currentToken;
    /// Whether the signed-in user's token has expired and can be renewed with
    /// stored credentials, so that a request made now must wait for that.
    std::function<bool()> sessionNeedsRenewal;
    /// Renews the session without blocking and calls `done` on the main loop
    /// once the renewal ended, whichever way; several waiting requests share
    /// one renewal.
    std::function<void(std::function<void()> done)> renewSession;
    /// Shows the drop-down info panel (type 1 = error).
    std::function<void(int type, const std::string& title, const std::string& subtitle, double hideAfterSeconds)>
        showInfoPanel;
    std::function<void(bool visible)> setNetworkActivityIndicatorVisible;
    /// Told (instead of the info panel) when the service showed a certificate
    /// other than its pin: the app says so and offers the choice of service.
    std::function<void()> certificateChanged;
    /// Told when an asynchronous exchange ended: `reachedService` is true
    /// when the service answered (in JSON, whatever it said), false when the
    /// exchange failed below HTTP or something on the way answered instead
    /// (an error page that is not JSON).
    std::function<void(bool reachedService)> exchangeEnded;

    static ServiceEnvironment& shared();
};

/// Percent-encodes a value for a form-encoded parameter text: every byte
/// outside A–Z, a–z, 0–9, "-", ".", "_" and "~" becomes "%XX". Every value a
/// caller inserts goes through this, so an "&" or "=" in a password or a
/// device name cannot split or inject parameters.
[[nodiscard]] std::string escapeParameter(std::string_view value);

}
