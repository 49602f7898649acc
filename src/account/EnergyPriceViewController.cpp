#include "account/EnergyPriceViewController.h"

#include "platform/foundation/CurrencyFormatter.h"
#include "platform/foundation/DateFormatter.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/Application.h"
#include "platform/ui/BarButtonItem.h"
#include "platform/ui/Keyboard.h"
#include "platform/ui/LargerText.h"
#include "platform/ui/NavigationController.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace hestio {

using namespace platform;

namespace {

    std::string trimmedUpperCase(const std::string& text)
    {
        std::string result;
        for (char c : text) {
            if (c != ' ' && c != '\t')
                result.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
        }
        return result;
    }

    /// The text with its no-break and narrow no-break spaces as plain ones.
    std::string withPlainSpaces(std::string text)
    {
        for (const char* space : { "\u202f", "\u00a0" }) {
            for (auto at = text.find(space); at != std::string::npos; at = text.find(space, at))
                text.replace(at, std::strlen(space), " ");
        }
        return text;
    }

    constexpr const char* perKWh = "per kWh";
    constexpr const char* choose = "Choose";

    std::shared_ptr<TextField> makeField(
        const std::string& identifier, const std::string& placeholder, KeyboardType keyboard, ReturnKeyType returnKey)
    {
        // The right part of a grouped row, beside its label; as much taller
        // as the text (the row grows alike).
        auto field = TextField::create({ 150, heightForText(11), 140, heightForText(22) });
        field->setAccessibilityIdentifier(identifier);
        field->setPlaceholder(placeholder);
        field->setTextAlignment(TextAlignment::Right);
        field->setFont(Font::systemFont(17));
        field->setTextColor(Color::hex(0x385487));
        field->setBackgroundColor(Color::clear());
        field->setKeyboardType(keyboard);
        field->setReturnKeyType(returnKey);
        field->setAutocorrectionType(AutocorrectionType::No);
        field->setAutocapitalizationType(AutocapitalizationType::None);
        field->setClearButtonMode(TextFieldViewMode::WhileEditing);
        return field;
    }

}

std::shared_ptr<EnergyPriceViewController> EnergyPriceViewController::create(std::shared_ptr<Session> session)
{
    return std::make_shared<EnergyPriceViewController>(std::move(session));
}

EnergyPriceViewController::EnergyPriceViewController(std::shared_ptr<Session> session)
    : TableViewController(TableViewStyle::Grouped)
    , m_session(std::move(session))
    , m_numbers(Locale::current())
    , m_currencies(currencyChoices(Locale::current()))
{
    setTitle("Energy Price");
    for (int hour = 0; hour < 24; ++hour)
        m_hourTexts.push_back(hourText(hour, Locale::current()));
    if (auto user = m_session->curUser()) {
        m_username = user->username;
        m_saved = Tariff::load(UserDefaults::standard(), m_username);
    }
}

EnergyPriceViewController::~EnergyPriceViewController()
{
    NotificationCenter::defaultCenter().removeObserver(this);
    for (const auto& alert : Application::shared().visibleAlerts()) {
        if (alert->delegate() == this)
            alert->setDelegate(nullptr);
    }
    for (const auto& field : { priceField, currencyField, offPeakPriceField, offPeakStartField, offPeakEndField }) {
        if (field)
            field->setDelegate(nullptr);
    }
    for (const auto& picker : { currencyPicker, offPeakStartPicker, offPeakEndPicker }) {
        if (picker) {
            picker->setDataSource(nullptr);
            picker->setDelegate(nullptr);
        }
    }
}

std::string EnergyPriceViewController::hourText(int hour, const Locale& locale)
{
    DateFormatter formatter;
    formatter.setLocale(locale);
    formatter.setTimeZone(TimeZone::gmt());
    formatter.setTimeStyle(DateFormatter::Style::Short);
    return formatter.stringFromDate(Date(hour * 3600.0));
}

std::shared_ptr<EnergyPriceViewController> EnergyPriceViewController::self()
{
    return std::static_pointer_cast<EnergyPriceViewController>(shared_from_this());
}

std::string EnergyPriceViewController::summary(const std::optional<Tariff>& tariff, const Locale& locale)
{
    if (!tariff)
        return "Not set";
    CurrencyFormatter money(tariff->currency, locale);
    std::string price = money.unitPriceString(tariff->pricePerKWh);
    if (!tariff->offPeak || money.unitPriceString(tariff->offPeak->pricePerKWh) == price)
        return price + "/kWh";
    // Two prices read as the range they span, which fits beside the row's name.
    double low = std::min(tariff->pricePerKWh, tariff->offPeak->pricePerKWh);
    double high = std::max(tariff->pricePerKWh, tariff->offPeak->pricePerKWh);
    return money.unitPriceString(low) + "\u2013" + money.unitPriceString(high) + "/kWh";
}

void EnergyPriceViewController::viewDidLoad()
{
    TableViewController::viewDidLoad();
    std::weak_ptr<EnergyPriceViewController> weak = self();
    navigationItem().setRightBarButtonItem(BarButtonItem::createSystem(BarButtonItem::SystemItem::Save, [weak] {
        if (auto screen = weak.lock())
            screen->save();
    }));
    if (!priceField) {
        makeFields();
        fillFields();
    }
    if (!m_observingSession) {
        m_observingSession = true;
        auto& center = NotificationCenter::defaultCenter();
        center.addObserver(this, "UserLoggedOut", [weak](const Notification&) {
            if (auto screen = weak.lock())
                screen->reset();
        });
        center.addObserver(this, "UserLoggedIn", [weak](const Notification&) {
            // Someone else signing in finds their own price, not this one.
            if (auto screen = weak.lock(); screen && !screen->stillSignedIn())
                screen->reset();
        });
    }
}

void EnergyPriceViewController::viewDidUnload()
{
    NotificationCenter::defaultCenter().removeObserver(this);
    m_observingSession = false;
    m_observingKeyboard = false;
    TableViewController::viewDidUnload();
}

void EnergyPriceViewController::viewWillAppear(bool animated)
{
    TableViewController::viewWillAppear(animated);
    if (m_observingKeyboard)
        return;
    m_observingKeyboard = true;
    std::weak_ptr<EnergyPriceViewController> weak = self();
    auto& center = NotificationCenter::defaultCenter();
    center.addObserver(this, Keyboard::willShowNotification, [weak](const Notification& notification) {
        if (auto screen = weak.lock())
            screen->keyboardWillShow(notification);
    });
    center.addObserver(this, Keyboard::willHideNotification, [weak](const Notification&) {
        if (auto screen = weak.lock())
            screen->keyboardWillHide();
    });
}

void EnergyPriceViewController::viewDidDisappear(bool animated)
{
    TableViewController::viewDidDisappear(animated);
    auto& center = NotificationCenter::defaultCenter();
    center.removeObserver(this, Keyboard::willShowNotification);
    center.removeObserver(this, Keyboard::willHideNotification);
    m_observingKeyboard = false;
    keyboardWillHide();
}

void EnergyPriceViewController::makeFields()
{
    // The fields live as long as the screen: what was typed survives rows
    // being hidden and shown again, and a refused save. Their placeholders
    // say what goes there; an example value would read as a price already
    // set.
    priceField = makeField("priceField", perKWh, KeyboardType::NumbersAndPunctuation, ReturnKeyType::Next);
    currencyField = makeField("currencyField", choose, KeyboardType::ASCIICapable, ReturnKeyType::Next);
    currencyField->setAutocapitalizationType(AutocapitalizationType::AllCharacters);
    offPeakPriceField
        = makeField("offPeakPriceField", perKWh, KeyboardType::NumbersAndPunctuation, ReturnKeyType::Next);
    offPeakStartField = makeField("offPeakStartField", choose, KeyboardType::Default, ReturnKeyType::Next);
    offPeakEndField = makeField("offPeakEndField", choose, KeyboardType::Default, ReturnKeyType::Done);
    for (const auto& field : { priceField, currencyField, offPeakPriceField, offPeakStartField, offPeakEndField })
        field->setDelegate(this);
    makePickers();

    offPeakSwitch = Switch::create();
    offPeakSwitch->setAccessibilityIdentifier("offPeakSwitch");
    std::weak_ptr<EnergyPriceViewController> weak = self();
    offPeakSwitch->addTarget(ControlEventValueChanged, [weak](Control& control) {
        if (auto screen = weak.lock())
            screen->setOffPeakShown(static_cast<Switch&>(control).isOn());
    });

    // The two prices are told apart by their rows' names.
    m_priceCell = fieldCell("Standard price", priceField);
    m_currencyCell = fieldCell("Currency", currencyField);
    m_offPeakSwitchCell = TableViewCell::create(TableViewCellStyle::Default, "");
    m_offPeakSwitchCell->textLabel()->setText("Off-peak tariff");
    m_offPeakSwitchCell->setSelectionStyle(TableViewCellSelectionStyle::None);
    m_offPeakSwitchCell->setAccessoryView(offPeakSwitch);
    m_offPeakPriceCell = fieldCell("Off-peak price", offPeakPriceField);
    m_offPeakStartCell = fieldCell("From", offPeakStartField);
    m_offPeakEndCell = fieldCell("Until", offPeakEndField);
}

void EnergyPriceViewController::makePickers()
{
    auto make = [this](const char* identifier, TextField& field) {
        auto picker = PickerView::create();
        picker->setAccessibilityIdentifier(identifier);
        picker->setShowsSelectionIndicator(true);
        picker->setDataSource(this);
        picker->setDelegate(this);
        field.setInputView(picker);
        return picker;
    };
    currencyPicker = make("currencyPicker", *currencyField);
    offPeakStartPicker = make("offPeakStartPicker", *offPeakStartField);
    offPeakEndPicker = make("offPeakEndPicker", *offPeakEndField);
    // Where the wheels stand before anything is chosen: the currency of
    // where the phone is set, and the night.
    auto local = currencyCodeForLocale(Locale::current()).value_or("EUR");
    auto found = std::find_if(
        m_currencies.begin(), m_currencies.end(), [&](const CurrencyChoice& choice) { return choice.code == local; });
    if (found != m_currencies.end())
        currencyPicker->selectRow(static_cast<int>(found - m_currencies.begin()), 0);
    offPeakStartPicker->selectRow(22, 0);
    offPeakEndPicker->selectRow(6, 0);
}

TextField* EnergyPriceViewController::fieldOfPicker(const PickerView& picker) const
{
    if (&picker == currencyPicker.get())
        return currencyField.get();
    if (&picker == offPeakStartPicker.get())
        return offPeakStartField.get();
    if (&picker == offPeakEndPicker.get())
        return offPeakEndField.get();
    return nullptr;
}

int EnergyPriceViewController::numberOfRowsInComponent(PickerView& picker, int)
{
    return &picker == currencyPicker.get() ? static_cast<int>(m_currencies.size())
                                           : static_cast<int>(m_hourTexts.size());
}

std::string EnergyPriceViewController::titleForRow(PickerView& picker, int row, int)
{
    if (row < 0 || row >= numberOfRowsInComponent(picker, 0))
        return {};
    if (&picker != currencyPicker.get())
        return m_hourTexts[static_cast<std::size_t>(row)];
    const CurrencyChoice& choice = m_currencies[static_cast<std::size_t>(row)];
    return choice.code + " \u2013 " + choice.name;
}

void EnergyPriceViewController::didSelectRow(PickerView& picker, int row, int)
{
    TextField* field = fieldOfPicker(picker);
    if (!field || row < 0 || row >= numberOfRowsInComponent(picker, 0))
        return;
    field->setText(&picker == currencyPicker.get() ? m_currencies[static_cast<std::size_t>(row)].code
                                                   : m_hourTexts[static_cast<std::size_t>(row)]);
}

int EnergyPriceViewController::rowForFieldText(const PickerView& picker) const
{
    const TextField* field = fieldOfPicker(picker);
    if (!field)
        return -1;
    std::string text = field->text();
    if (&picker == currencyPicker.get()) {
        text = trimmedUpperCase(text);
        auto found = std::find_if(m_currencies.begin(), m_currencies.end(),
            [&](const CurrencyChoice& choice) { return choice.code == text; });
        return found == m_currencies.end() ? -1 : static_cast<int>(found - m_currencies.begin());
    }
    return hourInField(*field);
}

int EnergyPriceViewController::hourInField(const TextField& field) const
{
    // Typed on a keyboard, an hour may come as the wheel writes it (with a
    // plain space before AM or PM) or as its number, 0 to 23.
    const std::string text = withPlainSpaces(field.text());
    for (std::size_t hour = 0; hour < m_hourTexts.size(); ++hour) {
        if (withPlainSpaces(m_hourTexts[hour]) == text)
            return static_cast<int>(hour);
    }
    auto value = m_numbers.decimalFromString(text);
    if (!value || value->isNaN() || value->rounded(0) != *value || *value < Decimal(0) || *value > Decimal(23))
        return -1;
    return static_cast<int>(value->toDouble());
}

void EnergyPriceViewController::textFieldDidEndEditing(TextField& field)
{
    // An hour typed as a number reads back as the wheel writes it.
    if (&field != offPeakStartField.get() && &field != offPeakEndField.get())
        return;
    if (int hour = hourInField(field); hour >= 0)
        field.setText(m_hourTexts[static_cast<std::size_t>(hour)]);
}

std::shared_ptr<TableViewCell> EnergyPriceViewController::fieldCell(
    const std::string& label, const std::shared_ptr<TextField>& field)
{
    // No reuse identifier: the table lets go of the cell and this screen
    // keeps it, with its field.
    auto cell = TableViewCell::create(TableViewCellStyle::Default, "");
    cell->textLabel()->setText(label);
    cell->setSelectionStyle(TableViewCellSelectionStyle::None);
    cell->contentView().addSubview(field);
    return cell;
}

void EnergyPriceViewController::fillFields()
{
    // A new price starts empty: the currency is suggested by where its
    // wheel stands, and becomes the user's only once the list was opened.
    if (!m_saved)
        return;
    // Prices show at least the currency's own digits ("0.30", not "0.3").
    int digits = CurrencyFormatter(m_saved->currency, Locale::current()).fractionDigits();
    priceField->setText(m_numbers.editingString(m_saved->pricePerKWh, digits));
    currencyField->setText(m_saved->currency);
    if (m_saved->offPeak) {
        offPeakSwitch->setOn(true);
        offPeakPriceField->setText(m_numbers.editingString(m_saved->offPeak->pricePerKWh, digits));
        offPeakStartField->setText(m_hourTexts[static_cast<std::size_t>(m_saved->offPeak->startHour)]);
        offPeakEndField->setText(m_hourTexts[static_cast<std::size_t>(m_saved->offPeak->endHour)]);
    }
}

void EnergyPriceViewController::setOffPeakShown(bool shown)
{
    view();
    if (offPeakSwitch->isOn() != shown)
        offPeakSwitch->setOn(shown, true);
    TableView& table = tableView();
    bool showing = table.numberOfRowsInSection(OffPeakSection) > 1;
    if (showing == shown)
        return;
    if (!shown) {
        for (auto* field : { offPeakPriceField.get(), offPeakStartField.get(), offPeakEndField.get() }) {
            if (field->isEditing())
                field->resignFirstResponder();
        }
    }
    std::vector<IndexPath> rows;
    for (int row = OffPeakPriceRow; row < OffPeakRowCount; ++row)
        rows.push_back({ OffPeakSection, row });
    table.beginUpdates();
    if (shown)
        table.insertRowsAtIndexPaths(rows, TableViewRowAnimation::Fade);
    else
        table.deleteRowsAtIndexPaths(rows, TableViewRowAnimation::Fade);
    table.endUpdates();
}

std::variant<Tariff, std::string> EnergyPriceViewController::tariffFromFields() const
{
    std::string example = m_numbers.editingString(0.25);
    Tariff tariff;
    tariff.currency = trimmedUpperCase(currencyField->text());
    auto price = m_numbers.decimalFromString(priceField->text());
    if (!price)
        return "The price must be a number such as " + example + ".";
    tariff.pricePerKWh = price->toDouble();
    if (offPeakSwitch->isOn()) {
        auto offPeakPrice = m_numbers.decimalFromString(offPeakPriceField->text());
        if (!offPeakPrice)
            return "The off-peak price must be a number such as " + example + ".";
        int start = hourInField(*offPeakStartField);
        int end = hourInField(*offPeakEndField);
        if (start < 0 || end < 0)
            return std::string("Choose the hours the off-peak price applies.");
        tariff.offPeak = Tariff::OffPeak { offPeakPrice->toDouble(), start, end };
    }
    if (tariff.currency.empty())
        return std::string("Choose the currency of the price.");
    if (auto problem = tariff.problem())
        return *problem;
    // Three letters are not yet a currency: a typing slip ("ERU") would
    // show every cost with a code nobody knows.
    if (!isKnownCurrencyCode(tariff.currency))
        return "\"" + tariff.currency + "\" is not a currency code. Use one such as EUR or USD.";
    return tariff;
}

bool EnergyPriceViewController::stillSignedIn() const
{
    auto user = m_session->curUser();
    return user && !m_username.empty() && user->username == m_username;
}

void EnergyPriceViewController::save()
{
    view(); // the fields are made with the view
    if (m_storing)
        return; // the last Save is still on its way to the disk
    if (!stillSignedIn()) {
        showProblem(m_username.empty() ? "Sign in to set an energy price."
                                       : "You are no longer signed in as " + m_username + ".");
        return;
    }
    auto result = tariffFromFields();
    if (const auto* problem = std::get_if<std::string>(&result)) {
        showProblem(*problem);
        return;
    }
    const Tariff& tariff = std::get<Tariff>(result);
    auto& defaults = UserDefaults::standard();
    tariff.save(defaults, m_username);
    // A write that failed must not look like a kept price: the screen stays,
    // Save disabled, until the disk has it.
    setStoring(true);
    defaults.synchronize([weak = std::weak_ptr(self()), tariff](bool stored) {
        auto screen = weak.lock();
        if (!screen)
            return;
        screen->setStoring(false);
        if (!screen->stillSignedIn()) {
            // Its user has logged out meanwhile: the screen is being closed
            // and whoever uses the phone now is not told.
            if (!stored)
                hestio::log("The energy price of a user no longer signed in could not be stored");
            return;
        }
        if (!stored) {
            screen->showProblem("The energy price could not be stored on this phone.");
            return;
        }
        screen->m_saved = tariff;
        screen->popBack();
    });
}

void EnergyPriceViewController::setStoring(bool storing)
{
    m_storing = storing;
    if (auto save = navigationItem().rightBarButtonItem())
        save->setEnabled(!storing);
}

void EnergyPriceViewController::confirmRemoval()
{
    if (removeAlert || m_storing)
        return;
    removeAlert = AlertView::create(
        "Remove Energy Price", "Costs will no longer be shown.", this, std::string("Cancel"), { "Remove" });
    removeAlert->setAccessibilityIdentifier("removeAlert");
    removeAlert->show();
}

void EnergyPriceViewController::remove()
{
    if (m_storing)
        return;
    if (!stillSignedIn()) {
        reset();
        return;
    }
    auto& defaults = UserDefaults::standard();
    Tariff::remove(defaults, m_username);
    setStoring(true);
    defaults.synchronize([weak = std::weak_ptr(self())](bool stored) {
        auto screen = weak.lock();
        if (!screen)
            return;
        screen->setStoring(false);
        if (!screen->stillSignedIn()) {
            if (!stored)
                hestio::log("The energy price of a user no longer signed in could not be removed");
            return;
        }
        if (!stored) {
            AlertView::create(
                "Can't Remove Energy Price", "The change could not be stored on this phone.", nullptr, "OK")
                ->show();
            return;
        }
        screen->m_saved.reset();
        screen->popBack();
    });
}

void EnergyPriceViewController::showProblem(const std::string& message)
{
    AlertView::create(cannotSaveTitle, message, nullptr, "OK")->show();
}

void EnergyPriceViewController::popBack()
{
    if (auto* field = dynamic_cast<TextField*>(Application::shared().firstResponder()))
        field->resignFirstResponder();
    if (auto* navigation = navigationController())
        navigation->popViewControllerAnimated(true);
}

void EnergyPriceViewController::reset()
{
    auto* navigation = navigationController();
    if (navigation && navigation->topViewController() == this)
        navigation->popViewControllerAnimated(false);
}

void EnergyPriceViewController::alertViewClickedButtonAtIndex(AlertView& alert, int index)
{
    if (!removeAlert || &alert != removeAlert.get())
        return;
    removeAlert.reset();
    if (index == 1)
        remove();
}

int EnergyPriceViewController::numberOfSectionsInTableView(TableView&)
{
    return m_saved ? RemoveSection + 1 : RemoveSection;
}

int EnergyPriceViewController::numberOfRowsInSection(TableView&, int section)
{
    switch (section) {
    case PriceSection:
        return PriceRowCount;
    case OffPeakSection:
        return offPeakSwitch && offPeakSwitch->isOn() ? OffPeakRowCount : 1;
    default:
        return 1;
    }
}

std::optional<std::string> EnergyPriceViewController::titleForHeaderInSection(TableView&, int section)
{
    if (section == OffPeakSection)
        return "Off-peak";
    return std::nullopt;
}

std::shared_ptr<TableViewCell> EnergyPriceViewController::cellForRowAtIndexPath(TableView& table, IndexPath path)
{
    switch (path.section) {
    case PriceSection:
        return path.row == PriceRow ? m_priceCell : m_currencyCell;
    case OffPeakSection:
        switch (path.row) {
        case OffPeakSwitchRow:
            return m_offPeakSwitchCell;
        case OffPeakPriceRow:
            return m_offPeakPriceCell;
        case OffPeakStartRow:
            return m_offPeakStartCell;
        default:
            return m_offPeakEndCell;
        }
    default:
        break;
    }
    auto cell = table.dequeueReusableCellWithIdentifier("removeEnergyPrice");
    if (!cell)
        cell = TableViewCell::create(TableViewCellStyle::Default, "removeEnergyPrice");
    cell->setAccessibilityIdentifier("removeEnergyPriceCell");
    Label* label = cell->textLabel();
    label->setText("Remove Energy Price");
    label->setFont(Font::boldSystemFont(16));
    label->setTextColor(Color::hex(0xc0262d));
    label->setTextAlignment(TextAlignment::Center);
    return cell;
}

void EnergyPriceViewController::didSelectRowAtIndexPath(TableView& table, IndexPath path)
{
    table.deselectRowAtIndexPath(path, true);
    if (path.section == RemoveSection && m_saved)
        confirmRemoval();
}

std::vector<TextField*> EnergyPriceViewController::shownFields() const
{
    std::vector<TextField*> fields { priceField.get(), currencyField.get() };
    if (offPeakSwitch && offPeakSwitch->isOn()) {
        for (auto* field : { offPeakPriceField.get(), offPeakStartField.get(), offPeakEndField.get() })
            fields.push_back(field);
    }
    return fields;
}

std::optional<IndexPath> EnergyPriceViewController::indexPathOfField(const TextField& field) const
{
    if (&field == priceField.get())
        return IndexPath { PriceSection, PriceRow };
    if (&field == currencyField.get())
        return IndexPath { PriceSection, CurrencyRow };
    if (&field == offPeakPriceField.get())
        return IndexPath { OffPeakSection, OffPeakPriceRow };
    if (&field == offPeakStartField.get())
        return IndexPath { OffPeakSection, OffPeakStartRow };
    if (&field == offPeakEndField.get())
        return IndexPath { OffPeakSection, OffPeakEndRow };
    return std::nullopt;
}

void EnergyPriceViewController::textFieldDidBeginEditing(TextField& field)
{
    if (auto* picker = dynamic_cast<PickerView*>(field.inputView().get())) {
        // The wheel shows what the field holds; an empty field takes what
        // the wheel suggests, now that the user has opened it.
        if (int row = rowForFieldText(*picker); row >= 0)
            picker->selectRow(row, 0);
        else if (field.text().empty())
            didSelectRow(*picker, picker->selectedRowInComponent(0), 0);
    }
    scrollToField(field);
}

bool EnergyPriceViewController::textFieldShouldReturn(TextField& field)
{
    // Return walks to the next field; the last one puts the keyboard away.
    auto fields = shownFields();
    auto found = std::find(fields.begin(), fields.end(), &field);
    if (found != fields.end() && found + 1 != fields.end())
        (*(found + 1))->becomeFirstResponder();
    else
        field.resignFirstResponder();
    return true;
}

void EnergyPriceViewController::keyboardWillShow(const Notification& notification)
{
    if (!isViewLoaded())
        return;
    auto found = notification.userInfo.find(Keyboard::frameEndUserInfoKey);
    const Rect* keyboard = found == notification.userInfo.end() ? nullptr : std::any_cast<Rect>(&found->second);
    if (!keyboard)
        return;
    // The rows under the keyboard can still be scrolled up into view.
    TableView& table = tableView();
    Rect tableInWindow = table.convertRectToView(table.bounds(), nullptr);
    m_keyboardOverlap = std::max(0.0, tableInWindow.maxY() - keyboard->minY());
    EdgeInsets inset = table.contentInset();
    inset.bottom = m_keyboardOverlap;
    table.setContentInset(inset);
    if (auto* field = dynamic_cast<TextField*>(Application::shared().firstResponder()))
        scrollToField(*field);
}

void EnergyPriceViewController::keyboardWillHide()
{
    if (!isViewLoaded() || m_keyboardOverlap == 0)
        return;
    m_keyboardOverlap = 0;
    TableView& table = tableView();
    EdgeInsets inset = table.contentInset();
    inset.bottom = 0;
    table.setContentInset(inset);
    table.setContentOffset(
        { table.contentOffset().x, std::min(table.contentOffset().y, table.maximumContentOffset().y) }, true);
}

void EnergyPriceViewController::scrollToField(const TextField& field)
{
    auto path = indexPathOfField(field);
    if (!path || !isViewLoaded())
        return;
    TableView& table = tableView();
    Rect row = table.rectForRowAtIndexPath(*path);
    if (row.isEmpty())
        return;
    // The row, and the keyboard's height below it, in view.
    row.size.height += m_keyboardOverlap;
    table.scrollRectToVisible(row, true);
}

}
