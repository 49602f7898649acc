#pragma once

#include "net/ServiceChoice.h"
#include "platform/ui/ActivityIndicatorView.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "platform/ui/TextField.h"
#include "platform/ui/ViewController.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

namespace hestio {

/// The screen, opened from the login screen, on which a person points the
/// app at a service: host and port, then the certificate the service shows
/// (its pin and name) to compare with what the hub says of itself. Only a
/// confirmed choice is kept (Service.plist) and used; Cancel keeps the
/// previous one.
class ServiceChoiceViewController final : public platform::ViewController, public platform::TextFieldDelegate {
public:
    /// Told the choice once it is kept, before the screen goes.
    using Chosen = std::function<void(const ServiceConfiguration& chosen)>;

    [[nodiscard]] static std::shared_ptr<ServiceChoiceViewController> create(
        std::filesystem::path configDirectory, Chosen chosen);
    ServiceChoiceViewController(std::filesystem::path configDirectory, Chosen chosen);
    ~ServiceChoiceViewController() override;

    void loadView() override;
    bool textFieldShouldReturn(platform::TextField& field) override;

    /// Checks the fields and connects to the service they name.
    void connect();
    /// Leaves the screen; the previous choice stays.
    void cancel();
    /// Keeps what the service showed and leaves the screen.
    void confirm();

    std::shared_ptr<platform::TextField> hostField;
    std::shared_ptr<platform::TextField> portField;
    std::shared_ptr<platform::Button> connectButton;
    std::shared_ptr<platform::Button> cancelButton;
    std::shared_ptr<platform::ActivityIndicatorView> spinner;
    /// What went wrong, or what is going on.
    std::shared_ptr<platform::Label> messageLabel;
    /// The question whether the pin shown is the hub's, while it is asked.
    std::shared_ptr<platform::AlertView> confirmation;

private:
    void probeEnded(const std::optional<ServiceProbe::Found>& found, const std::string& message);
    void showMessage(const std::string& message);
    void setConnecting(bool connecting);
    /// While the confirmed choice is on its way to the disk nothing on the
    /// screen takes a tap.
    void setSaving(bool saving);
    void leave();

    std::filesystem::path m_configDirectory;
    Chosen m_chosen;
    ServiceProbe m_probe;
    std::optional<ServiceProbe::Found> m_found;
    bool m_saving { false };
};

}
