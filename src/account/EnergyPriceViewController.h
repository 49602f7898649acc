#pragma once

#include "model/Tariff.h"
#include "platform/foundation/CurrencyFormatter.h"
#include "platform/foundation/DecimalText.h"
#include "platform/foundation/Locale.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/PickerView.h"
#include "platform/ui/Switch.h"
#include "platform/ui/TableViewController.h"
#include "platform/ui/TextField.h"
#include "session/Session.h"

#include <memory>
#include <optional>
#include <string>
#include <variant>

namespace hestio {

/// The "Energy Price" screen, opened from the account screen: the signed-in
/// user's price per kWh and its currency, and optionally a second, off-peak
/// price with the household's hours it applies to. The currency is chosen
/// from a list of ISO 4217 currencies with their names, the hours from a
/// wheel of the day's hours written as the locale writes times. Save checks
/// what was entered and keeps it for this user (an alert says what is wrong
/// and the fields keep their text); a saved price can be removed. Nothing
/// is kept that the user did not enter or choose: the fields start empty.
class EnergyPriceViewController : public platform::TableViewController,
                                  public platform::TextFieldDelegate,
                                  public platform::AlertViewDelegate,
                                  public platform::PickerViewDataSource,
                                  public platform::PickerViewDelegate {
public:
    enum Section { PriceSection, OffPeakSection, RemoveSection };
    enum PriceRow { PriceRow, CurrencyRow, PriceRowCount };
    enum OffPeakRow { OffPeakSwitchRow, OffPeakPriceRow, OffPeakStartRow, OffPeakEndRow, OffPeakRowCount };

    /// The title of the alert that says why a price cannot be saved.
    static constexpr const char* cannotSaveTitle = "Can't Save Energy Price";

    [[nodiscard]] static std::shared_ptr<EnergyPriceViewController> create(std::shared_ptr<Session> session);
    explicit EnergyPriceViewController(std::shared_ptr<Session> session);
    ~EnergyPriceViewController() override;

    /// What the account screen's row shows: "$0.30/kWh", "0,30 €/kWh", with an
    /// off-peak price the range "$0.15–$0.30/kWh", or "Not set".
    [[nodiscard]] static std::string summary(const std::optional<Tariff>& tariff, const platform::Locale& locale);

    void viewDidLoad() override;
    void viewDidUnload() override;
    void viewWillAppear(bool animated) override;
    void viewDidDisappear(bool animated) override;

    /// Checks the fields and keeps the tariff for the user the screen was
    /// opened for, then returns to the account screen.
    void save();
    /// Asks before removing the kept tariff.
    void confirmRemoval();
    void setOffPeakShown(bool shown);
    /// The session ended: nothing here is for the next user.
    void reset();

    /// The user whose tariff the screen shows.
    [[nodiscard]] const std::string& username() const { return m_username; }

    // Table
    int numberOfSectionsInTableView(platform::TableView&) override;
    int numberOfRowsInSection(platform::TableView&, int section) override;
    std::optional<std::string> titleForHeaderInSection(platform::TableView&, int section) override;
    std::shared_ptr<platform::TableViewCell> cellForRowAtIndexPath(
        platform::TableView&, platform::IndexPath path) override;
    bool canEditRowAtIndexPath(platform::TableView&, platform::IndexPath) override { return false; }
    void didSelectRowAtIndexPath(platform::TableView&, platform::IndexPath path) override;

    // Fields and alerts
    void textFieldDidBeginEditing(platform::TextField& field) override;
    void textFieldDidEndEditing(platform::TextField& field) override;
    bool textFieldShouldReturn(platform::TextField& field) override;
    void alertViewClickedButtonAtIndex(platform::AlertView& alert, int index) override;

    // The pickers of the currency and the hours
    int numberOfComponentsInPickerView(platform::PickerView&) override { return 1; }
    int numberOfRowsInComponent(platform::PickerView& picker, int component) override;
    std::string titleForRow(platform::PickerView& picker, int row, int component) override;
    void didSelectRow(platform::PickerView& picker, int row, int component) override;

    /// An hour of the day as the pickers and fields write it ("10:00 PM" in
    /// en_US, "22:00" in de_DE).
    [[nodiscard]] static std::string hourText(int hour, const platform::Locale& locale);

    std::shared_ptr<platform::TextField> priceField;
    std::shared_ptr<platform::TextField> currencyField;
    std::shared_ptr<platform::Switch> offPeakSwitch;
    std::shared_ptr<platform::TextField> offPeakPriceField;
    std::shared_ptr<platform::TextField> offPeakStartField;
    std::shared_ptr<platform::TextField> offPeakEndField;
    /// What the currency and hour fields show instead of a keyboard.
    std::shared_ptr<platform::PickerView> currencyPicker;
    std::shared_ptr<platform::PickerView> offPeakStartPicker;
    std::shared_ptr<platform::PickerView> offPeakEndPicker;
    /// The open removal question, if any.
    std::shared_ptr<platform::AlertView> removeAlert;

private:
    std::shared_ptr<EnergyPriceViewController> self();
    /// The fields read as a tariff, or what is wrong with them in words.
    [[nodiscard]] std::variant<Tariff, std::string> tariffFromFields() const;
    void makeFields();
    void makePickers();
    /// The field a picker fills in.
    [[nodiscard]] platform::TextField* fieldOfPicker(const platform::PickerView& picker) const;
    /// The picker's row for what its field shows; -1 when it shows none.
    [[nodiscard]] int rowForFieldText(const platform::PickerView& picker) const;
    /// The hour a field shows, -1 when it shows no hour of the pickers'.
    [[nodiscard]] int hourInField(const platform::TextField& field) const;
    void fillFields();
    std::shared_ptr<platform::TableViewCell> fieldCell(
        const std::string& label, const std::shared_ptr<platform::TextField>& field);
    /// The fields in the order Return walks through them (the hidden
    /// off-peak ones left out).
    std::vector<platform::TextField*> shownFields() const;
    std::optional<platform::IndexPath> indexPathOfField(const platform::TextField& field) const;
    void keyboardWillShow(const platform::Notification& notification);
    void keyboardWillHide();
    void scrollToField(const platform::TextField& field);
    void showProblem(const std::string& message);
    /// While a change is on its way to the disk, Save is disabled and
    /// neither Save nor Remove does anything.
    void setStoring(bool storing);
    void remove();
    void popBack();
    /// Whether the user the screen was opened for is still the one signed in.
    [[nodiscard]] bool stillSignedIn() const;

    std::shared_ptr<Session> m_session;
    std::string m_username;
    /// What is kept for the user, as the screen opened.
    std::optional<Tariff> m_saved;
    platform::DecimalText m_numbers;
    std::vector<platform::CurrencyChoice> m_currencies;
    /// "12:00 AM" to "11:00 PM", or "00:00" to "23:00": the hours by number.
    std::vector<std::string> m_hourTexts;
    bool m_storing { false };
    bool m_observingSession { false };
    bool m_observingKeyboard { false };
    double m_keyboardOverlap { 0 };
    std::shared_ptr<platform::TableViewCell> m_priceCell;
    std::shared_ptr<platform::TableViewCell> m_currencyCell;
    std::shared_ptr<platform::TableViewCell> m_offPeakSwitchCell;
    std::shared_ptr<platform::TableViewCell> m_offPeakPriceCell;
    std::shared_ptr<platform::TableViewCell> m_offPeakStartCell;
    std::shared_ptr<platform::TableViewCell> m_offPeakEndCell;
};

}
