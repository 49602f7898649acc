#include "account/OtherUserAccountViewController.h"

#include "net/Endpoints.h"
#include "net/ServiceEnvironment.h"
#include "platform/foundation/Log.h"
#include "platform/ui/Application.h"
#include "widgets/InfoDisplayCell.h"

namespace hestio {

using namespace platform;

std::shared_ptr<OtherUserAccountViewController> OtherUserAccountViewController::create()
{
    return std::make_shared<OtherUserAccountViewController>();
}

OtherUserAccountViewController::OtherUserAccountViewController()
    : TableViewController(TableViewStyle::Grouped)
{
}

OtherUserAccountViewController::~OtherUserAccountViewController()
{
    for (const auto& alert : Application::shared().visibleAlerts()) {
        if (alert->delegate() == this)
            alert->setDelegate(nullptr);
    }
}

void OtherUserAccountViewController::viewDidLoad()
{
    TableViewController::viewDidLoad();
    setTitle(std::string(userInfo["username"].stringValue()));

    updatedPasswordField = TextField::create({ 14, 55, 255, 28 });
    updatedPasswordField->setAccessibilityIdentifier("updatedPasswordField");
    updatedPasswordField->setText("");
    updatedPasswordField->setBorderStyle(TextBorderStyle::Bezel);
    updatedPasswordField->setTextColor(Color::black());
    updatedPasswordField->setBackgroundColor(Color::whiteColor());
    updatedPasswordField->setTextAlignment(TextAlignment::Left);
    updatedPasswordField->setFont(Font::systemFont(17));
    updatedPasswordField->setPlaceholder("New Password");
    updatedPasswordField->setAutocorrectionType(AutocorrectionType::No);
    updatedPasswordField->setAutocapitalizationType(AutocapitalizationType::None);
    updatedPasswordField->setKeyboardType(KeyboardType::EmailAddress);
    updatedPasswordField->setClearButtonMode(TextFieldViewMode::WhileEditing);
    updatedPasswordField->setClearsOnBeginEditing(true);
    updatedPasswordField->setSecureTextEntry(true);
    updatedPasswordField->setTag(0);
}

void OtherUserAccountViewController::viewDidUnload()
{
    userInfo = json::Value();
    TableViewController::viewDidUnload();
}

std::shared_ptr<TableViewCell> OtherUserAccountViewController::cellForRowAtIndexPath(TableView& table, IndexPath path)
{
    if (path.section == 0) {
        auto cell = std::dynamic_pointer_cast<InfoDisplayCell>(table.dequeueReusableCellWithIdentifier("userInfo"));
        if (!cell)
            cell = InfoDisplayCell::create("userInfo");
        cell->setSelectionStyle(TableViewCellSelectionStyle::None);
        if (path.row == 0) {
            cell->name().setText("Type");
            cell->value().setText(std::string(userInfo["type"].stringValue()));
        } else {
            cell->name().setText("Household");
            cell->value().setText(std::string(userInfo["household"]["name"].stringValue()));
        }
        return cell;
    }
    auto cell = table.dequeueReusableCellWithIdentifier("action");
    if (!cell)
        cell = TableViewCell::create(TableViewCellStyle::Default, "action");
    Label* label = cell->textLabel();
    label->setText("Change password");
    label->setFont(Font::boldSystemFont(16));
    label->setTextAlignment(TextAlignment::Center);
    return cell;
}

void OtherUserAccountViewController::didSelectRowAtIndexPath(TableView& table, IndexPath path)
{
    table.deselectRowAtIndexPath(path, true);
    if (path.section == 1 && path.row == 0)
        changePasswordForUser();
}

void OtherUserAccountViewController::changePasswordForUser()
{
    if (!updatedPasswordField)
        return;
    m_passwordAlert = AlertView::create("Change Password", " \n\n\n", this, std::string("Cancel"), { "OK" });
    updatedPasswordField->setText("");
    m_passwordAlert->addSubview(updatedPasswordField);
    m_passwordAlert->show();
    updatedPasswordField->becomeFirstResponder();
}

void OtherUserAccountViewController::alertViewClickedButtonAtIndex(AlertView& alert, int index)
{
    if (!m_passwordAlert || &alert != m_passwordAlert.get())
        return;
    m_passwordAlert.reset();
    if (index != 1)
        return;
    std::string parameters = "name=" + escapeParameter(userInfo["username"].stringValue())
        + "&new_password=" + escapeParameter(updatedPasswordField->text());
    wsc = WebServiceConnector::create(endpoints::kOtherUserPassword.path, std::move(parameters), true);
    wsc->setTag(0);
    wsc->setDelegate(std::static_pointer_cast<OtherUserAccountViewController>(shared_from_this()));
    wsc->startConnectionForDownload(false);
}

void OtherUserAccountViewController::dataSent(bool success, int)
{
    wsc.reset();
    hestio::log(success ? "successful" : "Failed to send data to the server");
}

void OtherUserAccountViewController::dataReceived(bool success, const json::Value&, int)
{
    if (!success)
        hestio::log("Failed to get user data");
}

}
