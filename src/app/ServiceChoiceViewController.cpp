#include "app/ServiceChoiceViewController.h"

#include "app/LoginViewController.h"

#include "net/ServiceEnvironment.h"

namespace hestio {

using namespace platform;

namespace {

    std::shared_ptr<TextField> makeField(const char* identifier, const char* placeholder, Rect frame)
    {
        auto field = LoginViewController::makeField(identifier, placeholder, frame);
        field->setAutoresizingMask(AutoresizingFlexibleLeftMargin | AutoresizingFlexibleRightMargin);
        return field;
    }

    /// What the person compares with what the hub shows of itself.
    std::string confirmationText(const ServiceProbe::Found& found)
    {
        return "Service: " + (found.name.empty() ? std::string("(no name)") : found.name)
            + "\nAddress: " + found.address.hostAndPort() + "\nPin: " + found.pin
            + "\n\nConfirm only if the hub shows the same pin (\"hestio-hub pin\" on the hub).";
    }

}

std::shared_ptr<ServiceChoiceViewController> ServiceChoiceViewController::create(
    std::filesystem::path configDirectory, Chosen chosen)
{
    return std::make_shared<ServiceChoiceViewController>(std::move(configDirectory), std::move(chosen));
}

ServiceChoiceViewController::ServiceChoiceViewController(std::filesystem::path configDirectory, Chosen chosen)
    : m_configDirectory(std::move(configDirectory))
    , m_chosen(std::move(chosen))
{
    setTitle("Choose the Service");
}

ServiceChoiceViewController::~ServiceChoiceViewController()
{
    if (confirmation)
        confirmation->onButtonClicked = nullptr;
}

void ServiceChoiceViewController::loadView()
{
    // Everything lies in the top 300 points, so that it shows in landscape
    // too, and keeps the middle of the screen when it turns.
    auto root = View::create(Rect { 0, 0, 320, 460 });
    root->setAutoresizingMask(AutoresizingFlexibleWidth | AutoresizingFlexibleHeight);
    root->setBackgroundColor(Color::hex(0x1d3557));
    const auto centred = AutoresizingFlexibleLeftMargin | AutoresizingFlexibleRightMargin;

    auto title = Label::create({ 20, 14, 280, 24 });
    title->setText("Choose the Service");
    title->setFont(Font::boldSystemFont(18));
    title->setTextColor(Color::whiteColor());
    title->setBackgroundColor(Color::clear());
    title->setTextAlignment(TextAlignment::Center);
    title->setAutoresizingMask(centred);
    root->addSubview(title);

    ServiceAddress current = ServiceAddress::fromHostAndPort(ServiceEnvironment::shared().serviceHost.get());
    hostField = makeField("serviceHost", "Host name or IP address", { 25, 46, 270, 40 });
    hostField->setText(current.host);
    hostField->setKeyboardType(KeyboardType::URL);
    hostField->setReturnKeyType(ReturnKeyType::Next);
    hostField->setDelegate(this);
    root->addSubview(hostField);
    portField = makeField("servicePort", "Port", { 25, 94, 270, 40 });
    portField->setText(std::to_string(current.port));
    portField->setKeyboardType(KeyboardType::NumberPad);
    portField->setReturnKeyType(ReturnKeyType::Go);
    portField->setDelegate(this);
    root->addSubview(portField);

    std::weak_ptr<ViewController> weak = weak_from_this();
    auto wire = [weak](Button& button, void (ServiceChoiceViewController::*action)()) {
        button.addTarget(ControlEventTouchUpInside, [weak, action](Control&) {
            if (auto self = std::dynamic_pointer_cast<ServiceChoiceViewController>(weak.lock()))
                (self.get()->*action)();
        });
    };
    cancelButton = Button::create(Button::Type::RoundedRect, { 25, 146, 130, 44 });
    cancelButton->setAccessibilityIdentifier("serviceCancel");
    cancelButton->setTitle("Cancel");
    wire(*cancelButton, &ServiceChoiceViewController::cancel);
    connectButton = Button::create(Button::Type::RoundedRect, { 165, 146, 130, 44 });
    connectButton->setAccessibilityIdentifier("serviceConnect");
    connectButton->setTitle("Connect");
    wire(*connectButton, &ServiceChoiceViewController::connect);
    for (const auto& button : { cancelButton, connectButton }) {
        button->setAutoresizingMask(centred);
        root->addSubview(button);
    }

    spinner = ActivityIndicatorView::create(ActivityIndicatorView::Style::White);
    spinner->setFrame({ 150, 204, 20, 20 });
    spinner->setAccessibilityIdentifier("serviceSpinner");
    spinner->setAutoresizingMask(centred);
    root->addSubview(spinner);

    messageLabel = Label::create({ 25, 232, 270, 64 });
    messageLabel->setAccessibilityIdentifier("serviceMessage");
    messageLabel->setNumberOfLines(0);
    messageLabel->setFont(Font::systemFont(14));
    messageLabel->setTextColor(Color::rgb(1.0, 0.82, 0.82));
    messageLabel->setBackgroundColor(Color::clear());
    messageLabel->setTextAlignment(TextAlignment::Center);
    messageLabel->setAutoresizingMask(centred);
    root->addSubview(messageLabel);

    setView(root);
}

bool ServiceChoiceViewController::textFieldShouldReturn(TextField& field)
{
    if (&field == hostField.get()) {
        portField->becomeFirstResponder();
        return true;
    }
    connect();
    return true;
}

void ServiceChoiceViewController::showMessage(const std::string& message)
{
    messageLabel->setText(message);
}

void ServiceChoiceViewController::setConnecting(bool connecting)
{
    connectButton->setEnabled(!connecting);
    hostField->setEnabled(!connecting);
    portField->setEnabled(!connecting);
    if (connecting)
        spinner->startAnimating();
    else
        spinner->stopAnimating();
}

void ServiceChoiceViewController::setSaving(bool saving)
{
    m_saving = saving;
    setConnecting(saving);
    cancelButton->setEnabled(!saving);
}

void ServiceChoiceViewController::connect()
{
    view();
    if (m_probe.isRunning() || m_saving)
        return; // the first tap's connection, or the choice, is still on its way
    ServiceAddressCheck checked = checkServiceAddress(hostField->text(), portField->text());
    if (!checked.address) {
        showMessage(checked.message);
        return;
    }
    view()->endEditing(true);
    showMessage("Connecting to " + checked.address->hostAndPort() + "…");
    setConnecting(true);
    std::weak_ptr<ViewController> weak = weak_from_this();
    m_probe.start(
        *checked.address, [weak](const std::optional<ServiceProbe::Found>& found, const std::string& message) {
            if (auto self = std::dynamic_pointer_cast<ServiceChoiceViewController>(weak.lock()))
                self->probeEnded(found, message);
        });
}

void ServiceChoiceViewController::probeEnded(
    const std::optional<ServiceProbe::Found>& found, const std::string& message)
{
    setConnecting(false);
    if (!found) {
        showMessage(message);
        return;
    }
    showMessage({});
    m_found = found;
    confirmation = AlertView::create("Is This Your Hub?", confirmationText(*found), nullptr, "Cancel", { "Confirm" });
    std::weak_ptr<ViewController> weak = weak_from_this();
    confirmation->onButtonClicked = [weak](int index) {
        auto self = std::dynamic_pointer_cast<ServiceChoiceViewController>(weak.lock());
        if (!self)
            return;
        self->confirmation.reset();
        if (index == 0) {
            self->m_found.reset();
            self->showMessage("Nothing was kept. Check the address, or the hub's pin.");
        } else {
            self->confirm();
        }
    };
    confirmation->show();
}

void ServiceChoiceViewController::confirm()
{
    if (!m_found)
        return;
    ServiceConfiguration chosen { m_found->address.hostAndPort(), m_found->pin };
    m_found.reset();
    // The screen waits, its buttons and fields disabled, until the disk has
    // the choice: the app moves to the service only once it is kept.
    showMessage("Saving the choice…");
    setSaving(true);
    std::weak_ptr<ViewController> weak = weak_from_this();
    keepServiceChoice(chosen, m_configDirectory, [weak, chosen](bool kept) {
        auto self = std::dynamic_pointer_cast<ServiceChoiceViewController>(weak.lock());
        if (!self)
            return;
        self->setSaving(false);
        if (!kept) {
            self->showMessage("The choice could not be saved, so the previous service stays.");
            return;
        }
        if (self->m_chosen)
            self->m_chosen(chosen);
        self->leave();
    });
}

void ServiceChoiceViewController::cancel()
{
    if (m_saving)
        return; // the choice is kept or not in a moment; the screen says which
    m_probe.cancel();
    leave();
}

void ServiceChoiceViewController::leave()
{
    if (presentingViewController())
        dismissModalViewControllerAnimated(true);
}

}
