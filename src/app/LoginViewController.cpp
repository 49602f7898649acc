#include "app/LoginViewController.h"

#include "app/ServiceChoiceViewController.h"

#include "net/Endpoints.h"
#include "net/KeychainWrapper.h"
#include "net/ServiceEnvironment.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/Profile.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/gfx/Context.h"
#include "platform/gfx/Gradient.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Animator.h"
#include "platform/ui/Label.h"

namespace hestio {

using namespace platform;

namespace {

    /// The screen's backdrop: a deep night-blue gradient.
    class LoginBackdrop final : public View {
    public:
        using View::View;
        std::string className() const override { return "LoginBackdrop"; }
        void draw(Context& context, const Rect&) override
        {
            Gradient gradient { { { 0, Color::hex(0x1d3557) }, { 0.6, Color::hex(0x0f1c2e) },
                { 1, Color::hex(0x0a121d) } } };
            context.drawLinearGradient(gradient, { 0, 0 }, { 0, bounds().height() });
        }
    };

    std::shared_ptr<Button> makeBarButton(const char* identifier, const char* title, Rect frame)
    {
        auto button = Button::create(Button::Type::RoundedRect, frame);
        button->setAccessibilityIdentifier(identifier);
        button->setTitle(title);
        return button;
    }

}

std::shared_ptr<TextField> LoginViewController::makeField(const char* identifier, const char* placeholder, Rect frame)
{
    auto field = TextField::create(frame);
    field->setAccessibilityIdentifier(identifier);
    field->setPlaceholder(placeholder);
    field->setBorderStyle(TextBorderStyle::RoundedRect);
    field->setFont(Font::systemFont(17));
    field->setClearButtonMode(TextFieldViewMode::WhileEditing);
    field->setAutocorrectionType(AutocorrectionType::No);
    field->setAutocapitalizationType(AutocapitalizationType::None);
    return field;
}

std::shared_ptr<LoginViewController> LoginViewController::create(std::shared_ptr<Session> session)
{
    return std::make_shared<LoginViewController>(std::move(session));
}

LoginViewController::LoginViewController(std::shared_ptr<Session> session)
    : m_session(std::move(session))
{
    setTitle("Sign In");
}

std::shared_ptr<WebServiceConnectorDelegate> LoginViewController::selfAsDelegate()
{
    return std::dynamic_pointer_cast<LoginViewController>(shared_from_this());
}

void LoginViewController::loadView()
{
    auto root = std::make_shared<LoginBackdrop>(Rect { 0, 0, 320, 460 });
    root->setAutoresizingMask(AutoresizingFlexibleWidth | AutoresizingFlexibleHeight);

    lightbulb = ImageView::create(Rect { 120, 36, 80, 110 });
    lightbulb->setAccessibilityIdentifier("lightbulb");
    lightbulb->setImageNamed("lightbulb");
    lightbulb->setHighlightedImageNamed("lightbulb-on");
    root->addSubview(lightbulb);

    logotext = ImageView::create(Rect { 85, 156, 150, 40 });
    logotext->setAccessibilityIdentifier("logotext");
    logotext->setImageNamed("logotext");
    root->addSubview(logotext);

    username = makeField("username", "User name", { 25, 214, 270, 40 });
    username->setReturnKeyType(ReturnKeyType::Next);
    root->addSubview(username);

    password = makeField("password", "Password", { 25, 262, 270, 40 });
    password->setSecureTextEntry(true);
    password->setReturnKeyType(ReturnKeyType::Go);
    root->addSubview(password);

    login = Button::create(Button::Type::RoundedRect, { 25, 318, 270, 44 });
    login->setAccessibilityIdentifier("login");
    login->setTitle("Sign In");
    std::weak_ptr<ViewController> weak = weak_from_this();
    login->addTarget(ControlEventTouchUpInside, [weak](Control&) {
        if (auto self = std::dynamic_pointer_cast<LoginViewController>(weak.lock()))
            self->logIn();
    });
    root->addSubview(login);

    // In the top right corner, clear of the light bulb (also when it slides
    // up for the keyboard) and of everything below it, in either orientation.
    chooseServiceButton = Button::create(Button::Type::InfoLight, { 282, 8, 30, 30 });
    chooseServiceButton->setAccessibilityIdentifier("chooseService");
    chooseServiceButton->setAccessibilityLabel("Choose the service");
    chooseServiceButton->setAutoresizingMask(AutoresizingFlexibleLeftMargin);
    chooseServiceButton->addTarget(ControlEventTouchUpInside, [weak](Control&) {
        if (auto self = std::dynamic_pointer_cast<LoginViewController>(weak.lock()))
            self->chooseService();
    });
    root->addSubview(chooseServiceButton);

    keyboardControls = makeKeyboardControls();
    username->setInputAccessoryView(keyboardControls);
    password->setInputAccessoryView(keyboardControls);

    setView(root);
    activeField = username.get();
}

std::shared_ptr<View> LoginViewController::makeKeyboardControls()
{
    auto bar = View::create({ 0, 0, 320, 44 });
    bar->setAccessibilityIdentifier("keyboardControls");
    bar->setBackgroundColor(Color::hex(0x5d6570, 0.95));
    std::weak_ptr<ViewController> weak = weak_from_this();
    auto wire = [weak](Button& button, void (LoginViewController::*action)()) {
        button.addTarget(ControlEventTouchUpInside, [weak, action](Control&) {
            if (auto self = std::dynamic_pointer_cast<LoginViewController>(weak.lock()))
                (self.get()->*action)();
        });
    };
    previousButton = makeBarButton("previousButton", "Previous", { 6, 7, 80, 30 });
    wire(*previousButton, &LoginViewController::prevField);
    nextButton = makeBarButton("nextButton", "Next", { 92, 7, 64, 30 });
    wire(*nextButton, &LoginViewController::nextField);
    auto done = makeBarButton("doneButton", "Done", { 250, 7, 64, 30 });
    wire(*done, &LoginViewController::resignKeyboard);
    for (const auto& button : { previousButton, nextButton, done })
        bar->addSubview(button);
    updateKeyboardControls();
    return bar;
}

void LoginViewController::updateKeyboardControls()
{
    // Previous leads nowhere from the first field, Next nowhere from the last.
    if (previousButton)
        previousButton->setEnabled(activeField != username.get());
    if (nextButton)
        nextButton->setEnabled(activeField != password.get());
}

void LoginViewController::viewDidAppear(bool)
{
    username->setDelegate(this);
    password->setDelegate(this);
    activeField = username.get();
    updateKeyboardControls();
}

void LoginViewController::moveViews(const char* animationName, double dy)
{
    Animator& animator = Animator::current();
    animator.beginAnimations(animationName);
    animator.setAnimationDuration(slideSeconds);
    for (View* moved : { static_cast<View*>(lightbulb.get()), static_cast<View*>(logotext.get()),
             static_cast<View*>(username.get()), static_cast<View*>(password.get()) })
        moved->setFrame(moved->frame().offsetBy(0, dy));
    animator.commitAnimations();
}

void LoginViewController::textFieldDidBeginEditing(TextField& field)
{
    if (!animatedUp) {
        animatedUp = true;
        moveViews("Move Up", -slideDistance);
    }
    activeField = &field;
    updateKeyboardControls();
}

bool LoginViewController::textFieldShouldReturn(TextField&)
{
    if (activeField == username.get()) {
        nextField();
        return true;
    }
    if (animatedUp) {
        animatedUp = false;
        moveViews("Move Down", slideDistance);
    }
    if (activeField)
        activeField->resignFirstResponder();
    logIn();
    return true;
}

void LoginViewController::nextField()
{
    if (activeField != password.get())
        password->becomeFirstResponder();
}

void LoginViewController::prevField()
{
    if (activeField != username.get())
        username->becomeFirstResponder();
}

void LoginViewController::resignKeyboard()
{
    if (activeField)
        activeField->resignFirstResponder();
}

void LoginViewController::chooseService()
{
    resignKeyboard();
    std::weak_ptr<ViewController> weak = weak_from_this();
    std::string previousHost = ServiceEnvironment::shared().serviceHost.get();
    auto chooser = ServiceChoiceViewController::create(
        Profile::current().configDirectory(), [weak, previousHost](const ServiceConfiguration& chosen) {
            if (auto self = std::dynamic_pointer_cast<LoginViewController>(weak.lock()))
                self->serviceChosen(previousHost, chosen);
        });
    presentModalViewController(chooser, true);
}

void LoginViewController::serviceChosen(const std::string& previousHost, const ServiceConfiguration& chosen)
{
    if (chosen.host == previousHost)
        return;
    // Another service: what was kept from the one before, and the
    // credentials stored for it, are not for this one.
    m_session->offline().deleteCache();
    auto& defaults = UserDefaults::standard();
    if (std::optional<std::string> stored = defaults.stringForKey("username")) {
        std::optional<KeychainError> ignored;
        KeychainWrapper::deleteItemForKey(stored, Session::keychainService, &ignored);
        defaults.removeObjectForKey("username");
        defaults.synchronize();
    }
}

void LoginViewController::logIn()
{
    view();
    if (username->text().empty() || password->text().empty()) {
        AlertView::create("Error", "Please enter your username and password.", nullptr, "OK")->show();
        return;
    }
    usernameText = username->text();
    passwordText = password->text();
    std::string parameters = "name=" + escapeParameter(usernameText) + "&password=" + escapeParameter(passwordText);
    if (auto token = m_session->pushToken())
        parameters += "&push_token=" + escapeParameter(*token);
    wsc = WebServiceConnector::create(endpoints::kSignIn.path, parameters, true);
    wsc->setDelegate(selfAsDelegate());
    wsc->startConnectionForDownload(true);
}

std::string LoginViewController::signInParameters(const std::string& name, const std::string& pass)
{
    return m_session->signInParameters(name, pass);
}

void LoginViewController::backgroundLoginForUsername(const std::string& name, const std::string& pass, bool synchronous)
{
    Session& session = *m_session;
    std::shared_ptr<User> previousUser = session.curUser();
    session.setCurUser(nullptr);
    usernameText = name;
    passwordText = pass;
    wsc = WebServiceConnector::create(endpoints::kSignIn.path, signInParameters(name, pass), true);
    wsc->setDelegate(selfAsDelegate());
    if (!synchronous) {
        wsc->startConnectionForDownload(true);
        if (wsc->isRunning()) {
            m_storedSignIn = wsc;
            session.signInStarted();
        }
        return;
    }
    json::Value reply = wsc->startSynchronousConnection();
    if (reply.isNone() && previousUser && previousUser->hasToken()) {
        // No answer came (the network is away): the user who was signed in
        // stays, rather than an empty one whose requests all carry
        // "token=(null)"; the next sign-in tries again.
        session.setCurUser(std::move(previousUser));
        return;
    }
    // The service read the stored credentials and said no: the session ends
    // as at logout. The user without a token made below has the next
    // loginSynchronous try again.
    // Ending the session shows a new login screen, which may let go of this
    // one while it still makes the user.
    auto keepAlive = shared_from_this();
    if (!reply.isNone() && !WebServiceConnector::successOf(reply))
        session.endSessionRefused();
    createUser(reply);
}

void LoginViewController::requestFinished(WebServiceConnector& request, bool success, const json::Value& data)
{
    auto keepAlive = shared_from_this();
    bool stored = m_storedSignIn && &request == m_storedSignIn.get();
    m_storedCredentialsRefused = stored && !success && request.answeredWithJSON();
    WebServiceConnectorDelegate::requestFinished(request, success, data);
    m_storedCredentialsRefused = false;
    if (stored) {
        m_storedSignIn.reset();
        m_session->signInEnded();
    }
}

void LoginViewController::requestFailed(WebServiceConnector& request, const platform::TransportError& error)
{
    auto keepAlive = shared_from_this();
    WebServiceConnectorDelegate::requestFailed(request, error);
    if (m_storedSignIn && &request == m_storedSignIn.get()) {
        m_storedSignIn.reset();
        m_session->signInEnded();
    }
}

void LoginViewController::createUser(const json::Value& reply)
{
    m_session->createUser(reply);
}

void LoginViewController::dataReceived(bool success, const json::Value& data, int)
{
    auto& center = NotificationCenter::defaultCenter();
    if (!success) {
        AlertView::create("Authentication Failed", "Wrong username or password", nullptr, "OK")->show();
        // Stored credentials refused end the session as a logout does (which
        // brings the login screen); a wrong password typed here ends nothing.
        if (m_storedCredentialsRefused)
            m_session->endSessionRefused();
        else
            center.post("LoginFailed", this);
        return;
    }
    view();
    Animator& animator = Animator::current();
    animator.beginAnimations("Light bulb");
    animator.setAnimationDelay(finishDelaySeconds);
    animator.setAnimationBeginsFromCurrentState(true);
    lightbulb->setHighlighted(true);
    animator.commitAnimations();

    m_session->userSignsIn(usernameText);
    auto& defaults = UserDefaults::standard();
    defaults.setObject(usernameText, "username");
    defaults.synchronize(); // a failed write is tried again; nothing waits for the disk
    std::optional<KeychainError> ignored;
    KeychainWrapper::storeKey(usernameText, passwordText, Session::keychainService, true, &ignored);
    createUser(data);
    center.post("UserLoggedIn", this);
    center.post("refresh", this);

    std::weak_ptr<ViewController> weak = weak_from_this();
    RunLoop::current().postDelayed(finishDelaySeconds, [weak] {
        if (auto self = std::dynamic_pointer_cast<LoginViewController>(weak.lock()))
            self->finishedLoggingIn();
    });
}

void LoginViewController::finishedLoggingIn()
{
    if (presentingViewController())
        dismissModalViewControllerAnimated(true);
}

}
