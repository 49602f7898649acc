#include "account/LeaveHomeCheckSetting.h"

#include "platform/foundation/DecimalText.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/Application.h"

namespace hestio {

using namespace platform;

std::string LeaveHomeCheckSetting::summary(const LeaveHomeThreshold& threshold, const Locale& locale)
{
    if (threshold.isOff())
        return "Off";
    return DecimalText(locale).editingString(*threshold.watts, 0, 3) + " W";
}

std::variant<double, std::string> LeaveHomeCheckSetting::thresholdFromText(
    const std::string& text, const Locale& locale)
{
    DecimalText numbers(locale);
    auto value = numbers.decimalFromString(text);
    if (!value || value->isNaN())
        return "The threshold must be a number of watts such as " + numbers.editingString(25.5) + ".";
    double watts = value->toDouble();
    if (auto problem = LeaveHomeThreshold::problem(watts))
        return *problem;
    return watts;
}

std::shared_ptr<LeaveHomeCheckSetting> LeaveHomeCheckSetting::open(
    const std::shared_ptr<Session>& session, std::function<void()> changed)
{
    auto user = session ? session->curUser() : nullptr;
    if (!user)
        return nullptr;
    auto setting = std::make_shared<LeaveHomeCheckSetting>(session, user->username, std::move(changed));
    setting->show();
    return setting;
}

LeaveHomeCheckSetting::LeaveHomeCheckSetting(
    std::weak_ptr<Session> session, std::string username, std::function<void()> changed)
    : m_session(std::move(session))
    , m_username(std::move(username))
    , m_changed(std::move(changed))
{
}

LeaveHomeCheckSetting::~LeaveHomeCheckSetting()
{
    for (auto* alert : { m_alert.get(), m_problem.get() })
        if (alert && alert->delegate() == this)
            alert->setDelegate(nullptr);
}

bool LeaveHomeCheckSetting::stillSignedIn() const
{
    auto session = m_session.lock();
    auto user = session ? session->curUser() : nullptr;
    return user && user->username == m_username;
}

void LeaveHomeCheckSetting::show()
{
    auto threshold = LeaveHomeThreshold::load(UserDefaults::standard(), m_username);
    m_field = TextField::create({ 14, 75, 255, 28 });
    m_field->setAccessibilityIdentifier("leaveHomeThresholdField");
    m_field->setPlaceholder("Watts");
    m_field->setText(
        threshold.isOff() ? std::string() : DecimalText(Locale::current()).editingString(*threshold.watts, 0, 3));
    m_field->setBorderStyle(TextBorderStyle::Bezel);
    m_field->setTextColor(Color::black());
    m_field->setBackgroundColor(Color::whiteColor());
    m_field->setFont(Font::systemFont(17));
    m_field->setKeyboardType(KeyboardType::NumbersAndPunctuation);
    m_field->setAutocorrectionType(AutocorrectionType::No);
    m_field->setClearButtonMode(TextFieldViewMode::WhileEditing);
    m_alert = AlertView::create(title, "When you leave, list devices drawing more than (W):\n\n", this,
        std::string("Cancel"), { "Off", "Save" });
    m_alert->setAccessibilityIdentifier("leaveHomeCheckAlert");
    m_alert->addSubview(m_field);
    m_alert->show();
    m_field->becomeFirstResponder();
}

void LeaveHomeCheckSetting::alertViewClickedButtonAtIndex(AlertView& alert, int index)
{
    if (&alert != m_alert.get())
        return;
    std::string text = m_field ? m_field->text() : std::string();
    m_alert.reset();
    if (index == CancelButton)
        return;
    LeaveHomeThreshold threshold { std::nullopt };
    if (index == SaveButton) {
        auto read = thresholdFromText(text, Locale::current());
        if (const auto* problem = std::get_if<std::string>(&read)) {
            m_problem = AlertView::create(cannotSaveTitle, *problem, nullptr, std::string("OK"));
            m_problem->show();
            return;
        }
        threshold.watts = std::get<double>(read);
    }
    auto& defaults = UserDefaults::standard();
    threshold.save(defaults, m_username);
    // The account row waits visibly until the disk has it (storing()).
    m_storing = true;
    if (m_changed)
        m_changed();
    defaults.synchronize([self = shared_from_this()](bool stored) {
        self->m_storing = false;
        if (!stored && !self->stillSignedIn()) {
            // Its user has logged out meanwhile: whoever uses the phone now
            // is not told. The value stays with that user's settings in
            // memory and reaches the disk with the next change stored.
            hestio::log("The leave-home check of a user no longer signed in could not be stored");
        } else if (!stored) {
            self->m_problem = AlertView::create(
                cannotSaveTitle, "The leave-home check could not be stored on this phone.", nullptr, std::string("OK"));
            self->m_problem->show();
        }
        if (self->m_changed)
            self->m_changed();
    });
}

}
