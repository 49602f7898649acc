#pragma once

#include "net/ServiceConfiguration.h"
#include "net/WebServiceConnector.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/TextField.h"
#include "platform/ui/ViewController.h"
#include "session/Session.h"

#include <memory>
#include <string>

namespace hestio {

/// The modal sign-in screen, and the sign-in exchange the stored-credential
/// sign-in uses too.
class LoginViewController final : public platform::ViewController,
                                  public platform::TextFieldDelegate,
                                  public WebServiceConnectorDelegate {
public:
    [[nodiscard]] static std::shared_ptr<LoginViewController> create(std::shared_ptr<Session> session);
    explicit LoginViewController(std::shared_ptr<Session> session);
    /// A text field as the sign-in screens have them: rounded, 17 points,
    /// without correction or capitals.
    [[nodiscard]] static std::shared_ptr<platform::TextField> makeField(
        const char* identifier, const char* placeholder, platform::Rect frame);

    void loadView() override;
    void viewDidAppear(bool animated) override;

    // Actions
    void logIn();
    void nextField();
    void prevField();
    void resignKeyboard();
    /// Opens the screen that points the app at a service.
    void chooseService();

    // Text fields
    void textFieldDidBeginEditing(platform::TextField& field) override;
    bool textFieldShouldReturn(platform::TextField& field) override;

    // The sign-in exchange
    void backgroundLoginForUsername(const std::string& name, const std::string& password, bool synchronous);
    /// The stored-credential sign-in's parameters: the name, the password and
    /// the push token read afresh from the credential store (which also
    /// becomes the session's push token).
    [[nodiscard]] std::string signInParameters(const std::string& name, const std::string& password);
    /// Builds the User from a sign-in reply and installs it as the session's.
    void createUser(const json::Value& reply);
    void dataReceived(bool success, const json::Value& data, int tag) override;
    void requestFinished(WebServiceConnector& request, bool success, const json::Value& data) override;
    void requestFailed(WebServiceConnector& request, const platform::TransportError& error) override;

    std::shared_ptr<platform::TextField> username;
    std::shared_ptr<platform::TextField> password;
    std::shared_ptr<platform::Button> login;
    std::shared_ptr<platform::ImageView> lightbulb;
    std::shared_ptr<platform::ImageView> logotext;
    /// The small button at the top right that opens the choice of service.
    std::shared_ptr<platform::Button> chooseServiceButton;
    /// Previous, Next and Done above the keyboard of both fields.
    std::shared_ptr<platform::View> keyboardControls;
    std::shared_ptr<platform::Button> previousButton;
    std::shared_ptr<platform::Button> nextButton;
    platform::TextField* activeField { nullptr };
    std::string usernameText;
    std::string passwordText;
    std::shared_ptr<WebServiceConnector> wsc;
    bool animatedUp { false };

    static constexpr double slideDistance = 90;
    static constexpr double slideSeconds = 0.25;
    static constexpr double finishDelaySeconds = 0.5;

private:
    std::shared_ptr<Session> m_session;
    /// The sign-in with the stored credentials while it is on its way.
    std::shared_ptr<WebServiceConnector> m_storedSignIn;
    /// While its refusal is handed on: the service itself said no to the
    /// stored credentials (not something on the way).
    bool m_storedCredentialsRefused { false };
    std::shared_ptr<platform::View> makeKeyboardControls();
    void updateKeyboardControls();
    void moveViews(const char* animationName, double dy);
    void finishedLoggingIn();
    void serviceChosen(const std::string& previousHost, const ServiceConfiguration& chosen);
    std::shared_ptr<WebServiceConnectorDelegate> selfAsDelegate();
};

}
