#pragma once

#include "model/Device.h"
#include "net/WebServiceConnector.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/TextField.h"
#include "session/CachedList.h"
#include "session/Session.h"
#include "widgets/BaseTabViewController.h"
#include "widgets/OfflineBar.h"
#include "widgets/OfflineEmptyState.h"

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace hestio {

class CustomStatusCell;

/// The Devices tab: every device of the household by room, with its live
/// power draw or an error line. In edit mode devices are renamed, dragged
/// between rooms, and new rooms are made.
class StatusTableViewController : public BaseTabViewController,
                                  public WebServiceConnectorDelegate,
                                  public platform::AlertViewDelegate {
public:
    static constexpr platform::Color editTint = platform::Color::rgb(0.082, 0.45, 0.197);
    static constexpr platform::Color restingTint = platform::Color::rgb(0.098, 0.6, 0.25);
    static constexpr platform::Color powerDrawColor = platform::Color::rgb(0.2, 0.5, 0.3);
    static constexpr platform::Color errorColor = platform::Color::rgb(0.8, 0.045, 0.045);
    /// The alert shown when the service did not take a rename or a move.
    static constexpr const char* notSavedTitle = "Not Saved";
    /// The alert shown when a new name is left empty.
    static constexpr const char* notRenamedTitle = "Name Not Changed";

    [[nodiscard]] static std::shared_ptr<StatusTableViewController> create(std::shared_ptr<Session> session);
    explicit StatusTableViewController(std::shared_ptr<Session> session);
    ~StatusTableViewController() override;

    void viewDidLoad() override;
    void viewDidAppear(bool animated) override;
    void viewDidUnload() override;

    void refresh() override;
    void downloadStatusesFromServer();
    void requestFinished(WebServiceConnector& request, bool success, const json::Value& data) override;
    void requestFailed(WebServiceConnector& request, const platform::TransportError& error) override;

    void editDevices();
    void addLocation();
    void alertViewClickedButtonAtIndex(platform::AlertView& alert, int index) override;
    void reset();

    /// The status line of a device at `now`: orb image, text and colour.
    struct Status {
        std::string orb;
        std::string text;
        platform::Color color;
    };
    static Status statusOf(const Device& device, platform::Date now);

    int numberOfSectionsInTableView(platform::TableView&) override;
    int numberOfRowsInSection(platform::TableView&, int section) override;
    std::optional<std::string> titleForHeaderInSection(platform::TableView&, int section) override;
    std::shared_ptr<platform::TableViewCell> cellForRowAtIndexPath(
        platform::TableView&, platform::IndexPath path) override;
    /// A row is its device: a focused row stays on it when the list reloads.
    std::optional<std::string> identityForRowAtIndexPath(platform::TableView&, platform::IndexPath path) override;
    double heightForRowAtIndexPath(platform::TableView&, platform::IndexPath) override;
    void didSelectRowAtIndexPath(platform::TableView&, platform::IndexPath path) override;
    platform::TableViewCellEditingStyle editingStyleForRowAtIndexPath(
        platform::TableView&, platform::IndexPath) override;
    bool canMoveRowAtIndexPath(platform::TableView&, platform::IndexPath) override { return true; }
    bool shouldIndentWhileEditingRowAtIndexPath(platform::TableView&, platform::IndexPath) override { return false; }
    void moveRowAtIndexPath(platform::TableView&, platform::IndexPath from, platform::IndexPath to) override;

    /// Room name → devices, in server order; none before the first download.
    std::optional<std::map<std::string, std::vector<std::shared_ptr<Device>>>> statusData;
    std::vector<std::string> rooms;
    int selectedRow { 0 };
    int selectedSection { 0 };
    platform::TextField* alertViewField() const { return m_alertViewField.get(); }
    const std::shared_ptr<WebServiceConnector>& wsc() const { return m_wsc; }
    /// The list as kept between runs, and the bar that says how old it is.
    const CachedList& keptList() const { return m_kept; }
    const OfflineBar& offlineBar() const { return m_offlineBar; }
    /// What shows in the list's place while it has nothing and the service
    /// cannot be reached.
    const OfflineEmptyState& offlineEmptyState() const { return m_offlineEmpty; }

    /// What each request of this screen sent, so that its answer is read
    /// against that and not against whatever the list shows by then.
    struct DownloadRequest {
        unsigned generation;
    };
    struct DeviceChange {
        enum class Kind { Rename, Move };
        Kind kind;
        std::string deviceID;
        /// Name and room before the change, and as sent.
        std::string oldName, newName;
        std::string oldRoom, newRoom;
        /// The device's row in its old room.
        int oldRow { 0 };
    };

private:
    /// The tags of the two alerts that share the text field.
    enum class AlertTag { RenameDevice = 0, NewRoom = 1 };
    std::shared_ptr<Session> m_session;
    std::shared_ptr<StatusTableViewController> self();
    std::shared_ptr<Device> deviceAt(int section, int row);
    std::shared_ptr<Device> deviceWithID(const std::string& deviceID);
    void sendDevice(const Device& device, DeviceChange change, std::shared_ptr<WebServiceConnector>& slot);
    void downloadEnded(
        const DownloadRequest& download, bool success, const json::Value& data, const WebServiceConnector* request);
    void showDevices(const json::Value& data);
    void offlineStateChanged();
    void updateOfflineBar();
    void deviceChangeEnded(const DeviceChange& change, bool saved);
    void undo(const DeviceChange& change);
    void setEditButtonTint(platform::Color tint);
    [[nodiscard]] bool anyDeviceSwitchedSinceDownload() const;

    std::shared_ptr<platform::TextField> m_alertViewField;
    std::shared_ptr<platform::BarButtonItem> m_editButton;
    std::shared_ptr<WebServiceConnector> m_wsc;
    std::shared_ptr<WebServiceConnector> m_deviceMovedWSC;
    std::shared_ptr<WebServiceConnector> m_deviceNameWSC;
    /// Downloads are numbered; an answer older than the list shown would put
    /// back what the service no longer has.
    unsigned m_downloadGeneration { 0 };
    unsigned m_downloadShown { 0 };
    CachedList m_kept;
    OfflineBar m_offlineBar;
    OfflineEmptyState m_offlineEmpty;
};

}
