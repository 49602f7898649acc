#pragma once

#include "model/Tariff.h"
#include "platform/foundation/DecimalText.h"
#include "platform/foundation/Locale.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/ui/AlertView.h"
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
/// price with the household's hours it applies to. Save checks what was
/// typed and keeps it for this user (an alert says what is wrong and the
/// fields keep their text); a saved price can be removed.
class EnergyPriceViewController : public platform::TableViewController,
                                  public platform::TextFieldDelegate,
                                  public platform::AlertViewDelegate {
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
    bool textFieldShouldReturn(platform::TextField& field) override;
    void alertViewClickedButtonAtIndex(platform::AlertView& alert, int index) override;

    std::shared_ptr<platform::TextField> priceField;
    std::shared_ptr<platform::TextField> currencyField;
    std::shared_ptr<platform::Switch> offPeakSwitch;
    std::shared_ptr<platform::TextField> offPeakPriceField;
    std::shared_ptr<platform::TextField> offPeakStartField;
    std::shared_ptr<platform::TextField> offPeakEndField;
    /// The open removal question, if any.
    std::shared_ptr<platform::AlertView> removeAlert;

private:
    std::shared_ptr<EnergyPriceViewController> self();
    /// The fields read as a tariff, or what is wrong with them in words.
    [[nodiscard]] std::variant<Tariff, std::string> tariffFromFields() const;
    void makeFields();
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
    void remove();
    void popBack();
    /// Whether the user the screen was opened for is still the one signed in.
    [[nodiscard]] bool stillSignedIn() const;

    std::shared_ptr<Session> m_session;
    std::string m_username;
    /// What is kept for the user, as the screen opened.
    std::optional<Tariff> m_saved;
    platform::DecimalText m_numbers;
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
