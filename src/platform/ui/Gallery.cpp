#include "platform/ui/Gallery.h"

#include "platform/foundation/RunLoop.h"
#include "platform/ui/ActivityIndicatorView.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/DatePicker.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/PickerView.h"
#include "platform/ui/Slider.h"
#include "platform/ui/Switch.h"
#include "platform/ui/TabBarController.h"
#include "platform/ui/TableViewController.h"
#include "platform/ui/TextField.h"
#include "platform/ui/TextView.h"
#include "platform/ui/Theme.h"

#include <cmath>
#include <cstdio>

namespace hestio::platform {

namespace {

    constexpr Color green = Color::rgb(0.098, 0.6, 0.25);

    std::shared_ptr<NavigationController> wrap(std::shared_ptr<ViewController> screen)
    {
        auto nav = NavigationController::create(std::move(screen));
        nav->navigationBar().setTintColor(green);
        return nav;
    }

    /// Switches, a slider, text fields, buttons and a spinner in a grouped table.
    class ControlsScreen final : public TableViewController {
    public:
        ControlsScreen()
            : TableViewController(TableViewStyle::Grouped)
        {
            setTitle("Controls");
            tabBarItem().setImageNamed("statusTabIcon");
        }

        void viewDidLoad() override
        {
            navigationItem().setRightBarButtonItem(BarButtonItem::createSystem(BarButtonItem::SystemItem::Add));
            navigationItem().setLeftBarButtonItem(BarButtonItem::create("Edit", BarButtonItem::Style::Bordered));
        }

        int numberOfSectionsInTableView(TableView&) override { return 4; }
        int numberOfRowsInSection(TableView&, int section) override
        {
            static const int rows[] = { 2, 1, 2, 1 };
            return rows[section];
        }
        std::optional<std::string> titleForHeaderInSection(TableView&, int section) override
        {
            static const char* titles[] = { "Living Room", "Dimmer", "Account", nullptr };
            return titles[section] ? std::optional<std::string>(titles[section]) : std::nullopt;
        }

        std::shared_ptr<TableViewCell> cellForRowAtIndexPath(TableView&, IndexPath p) override
        {
            auto cell = TableViewCell::create(TableViewCellStyle::Default, {});
            cell->setSelectionStyle(TableViewCellSelectionStyle::None);
            if (p.section == 0) {
                cell->textLabel()->setText(p.row == 0 ? "Floor Lamp" : "Heater");
                auto toggle = Switch::create();
                toggle->setOn(p.row == 0);
                toggle->setAccessibilityIdentifier(p.row == 0 ? "lampSwitch" : "heaterSwitch");
                cell->setAccessoryView(toggle);
            } else if (p.section == 1) {
                auto slider = Slider::create({ 10, 10, 200, 23 });
                slider->setMaximumValue(100);
                slider->setValue(62);
                slider->setMinimumTrackTintColor(green);
                slider->setAccessibilityIdentifier("dimmer");
                auto value = Label::create({ 222, 11, 60, 22 });
                value->setText("62");
                value->setFont(Font::boldSystemFont(17));
                value->setTextColor(theme::detailText);
                value->setTextAlignment(TextAlignment::Right);
                std::weak_ptr<Label> weak = value;
                slider->addTarget(ControlEventValueChanged, [weak](Control& c) {
                    if (auto label = weak.lock())
                        label->setText(std::to_string(static_cast<int>(static_cast<Slider&>(c).value())));
                });
                cell->contentView().addSubview(slider);
                cell->contentView().addSubview(value);
            } else if (p.section == 2) {
                auto field = TextField::create({ 10, 8, 270, 28 });
                field->setBorderStyle(TextBorderStyle::None);
                field->setPlaceholder(p.row == 0 ? "Username" : "Password");
                if (p.row == 0)
                    field->setText("demo");
                field->setSecureTextEntry(p.row == 1);
                field->setClearButtonMode(TextFieldViewMode::WhileEditing);
                field->setAccessibilityIdentifier(p.row == 0 ? "#username" : "#password");
                cell->contentView().addSubview(field);
            } else {
                cell->setBackgroundView(View::create());
                auto login = Button::create(Button::Type::RoundedRect, { 0, 3, 120, 38 });
                login->setTitle("Log In");
                login->setAccessibilityIdentifier("#login");
                cell->contentView().addSubview(login);
                auto spinner = ActivityIndicatorView::create(ActivityIndicatorView::Style::Gray);
                spinner->setFrame({ 132, 12, 20, 20 });
                spinner->startAnimating();
                cell->contentView().addSubview(spinner);
                auto info = Button::create(Button::Type::DetailDisclosure);
                info->setFrame({ 170, 7, 29, 31 });
                cell->contentView().addSubview(info);
                auto add = Button::create(Button::Type::ContactAdd);
                add->setFrame({ 208, 8, 29, 29 });
                cell->contentView().addSubview(add);
                auto orb = ImageView::create();
                orb->setImageNamed("statusOnOrb.png");
                orb->setFrame({ 252, 14, 16, 16 });
                cell->contentView().addSubview(orb);
            }
            return cell;
        }
    };

    /// A plain list of devices by room with status orbs, subtitles and accessories.
    class DevicesScreen final : public TableViewController {
    public:
        DevicesScreen()
        {
            setTitle("Devices");
            tabBarItem().setImageNamed("homeTabIcon");
        }
        void viewDidLoad() override
        {
            navigationItem().setLeftBarButtonItem(BarButtonItem::create(
                "Edit", BarButtonItem::Style::Bordered, [this] { setEditing(!isEditing(), true); }));
        }

        struct Device {
            const char* name;
            double watts;
            bool ok;
        };
        const std::vector<std::pair<std::string, std::vector<Device>>> rooms {
            { "Bedroom", { { "Bedside Lamp", 12.34, true }, { "Electric Blanket", 0, false } } },
            { "Kitchen", { { "Dishwasher", 1840.5, true }, { "Fridge", 96.2, true }, { "Kettle", 0, false } } },
            { "Office", { { "Desk Monitor", 23.9, true } } },
        };

        int numberOfSectionsInTableView(TableView&) override { return static_cast<int>(rooms.size()); }
        int numberOfRowsInSection(TableView&, int s) override
        {
            return static_cast<int>(rooms[static_cast<std::size_t>(s)].second.size());
        }
        std::optional<std::string> titleForHeaderInSection(TableView&, int s) override
        {
            return rooms[static_cast<std::size_t>(s)].first;
        }
        bool canMoveRowAtIndexPath(TableView&, IndexPath) override { return true; }
        TableViewCellEditingStyle editingStyleForRowAtIndexPath(TableView&, IndexPath) override
        {
            return TableViewCellEditingStyle::None;
        }

        std::shared_ptr<TableViewCell> cellForRowAtIndexPath(TableView& table, IndexPath p) override
        {
            auto cell = table.dequeueReusableCellWithIdentifier("device");
            if (!cell)
                cell = TableViewCell::create(TableViewCellStyle::Subtitle, "device");
            const Device& d = rooms[static_cast<std::size_t>(p.section)].second[static_cast<std::size_t>(p.row)];
            cell->textLabel()->setText(d.name);
            char status[64];
            if (d.ok)
                std::snprintf(status, sizeof status, "Power Draw: %.1fW", d.watts);
            else
                std::snprintf(status, sizeof status, "Error: Meter is disconnected");
            cell->detailTextLabel()->setText(status);
            cell->detailTextLabel()->setTextColor(d.ok ? Color::rgb(0.2, 0.5, 0.3) : Color::rgb(0.8, 0.045, 0.045));
            cell->imageView().setImageNamed(d.ok ? "statusOnOrb.png" : "statusErroredOrb.png");
            cell->setAccessoryType(TableViewCellAccessoryType::DisclosureIndicator);
            return cell;
        }
    };

    /// A new schedule: title, leave and arrive times, and the time picker.
    class PickersScreen final : public ViewController,
                                public TableViewDataSource,
                                public TableViewDelegate,
                                public PickerViewDataSource,
                                public PickerViewDelegate {
    public:
        PickersScreen()
        {
            setTitle("Set Alarm");
            tabBarItem().setImageNamed("alarm-clock-tab-icon.png");
            tabBarItem().setTitle("Schedule");
        }
        ~PickersScreen() override
        {
            if (m_table) {
                m_table->setDataSource(nullptr);
                m_table->setDelegate(nullptr);
            }
        }
        void loadView() override
        {
            auto view = View::create({ 0, 0, 320, 367 });
            view->setBackgroundColor(theme::groupedBackground);
            m_table = TableView::create({ 0, 0, 320, 151 }, TableViewStyle::Grouped);
            m_table->setScrollEnabled(false);
            m_table->setDataSource(this);
            m_table->setDelegate(this);
            view->addSubview(m_table);
            m_picker = DatePicker::create({ 0, 151, 320, 216 });
            m_picker->setMode(DatePicker::Mode::Time);
            m_picker->setAccessibilityIdentifier("picker");
            m_picker->addTarget(ControlEventValueChanged, [this](Control&) { m_table->reloadData(); });
            if (auto* loop = RunLoop::currentIfAny())
                m_picker->setDate(loop->clock().now().addingTimeInterval(7 * 3600 + 45 * 60));
            view->addSubview(m_picker);
            setView(view);
        }
        void viewDidLoad() override
        {
            navigationItem().setRightBarButtonItem(BarButtonItem::createSystem(BarButtonItem::SystemItem::Save));
        }

        int numberOfRowsInSection(TableView&, int) override { return 3; }
        double heightForHeaderInSection(TableView&, int) override { return 8; }
        std::shared_ptr<TableViewCell> cellForRowAtIndexPath(TableView&, IndexPath p) override
        {
            auto cell = TableViewCell::create(TableViewCellStyle::Value2, "setTimeCell");
            static const char* captions[] = { "Title:", "Leave At:", "Arrive At:" };
            cell->textLabel()->setText(captions[p.row]);
            if (p.row == 0) {
                cell->setSelectionStyle(TableViewCellSelectionStyle::None);
                auto field = TextField::create({ 84, 11, 160, 22 });
                field->setTag(10);
                field->setFont(Font::boldSystemFont(16));
                field->setText("Home");
                auto places = PickerView::create();
                places->setDataSource(this);
                places->setDelegate(this);
                places->setShowsSelectionIndicator(true);
                field->setInputView(places);
                m_places = places;
                cell->contentView().addSubview(field);
            } else {
                std::string time = m_picker ? m_picker->visibleText() : std::string {};
                cell->detailTextLabel()->setText(p.row == 1 ? time : "6:10 PM");
            }
            return cell;
        }

        int numberOfComponentsInPickerView(PickerView&) override { return 1; }
        int numberOfRowsInComponent(PickerView&, int) override { return 4; }
        std::string titleForRow(PickerView&, int row, int) override
        {
            static const char* places[] = { "Home", "Office", "Gym", "Cottage" };
            return places[row];
        }

    private:
        std::shared_ptr<TableView> m_table;
        std::shared_ptr<DatePicker> m_picker;
        std::shared_ptr<PickerView> m_places;
    };

    /// Pictures, a text view and an alert with a text field.
    class MessagesScreen final : public ViewController, public AlertViewDelegate {
    public:
        MessagesScreen()
        {
            setTitle("Log");
            tabBarItem().setImageNamed("logTabIcon");
        }
        void loadView() override
        {
            auto view = View::create({ 0, 0, 320, 367 });
            view->setBackgroundColor(Color::hex(0x20262e));
            auto bulb = ImageView::create({ 20, 20, 90, 120 });
            bulb->setImageNamed("lightbulb");
            bulb->setHighlightedImageNamed("lightbulb-on");
            bulb->setHighlighted(true);
            view->addSubview(bulb);
            auto logo = ImageView::create({ 120, 50, 180, 46 });
            logo->setImageNamed("logotext");
            view->addSubview(logo);
            auto text = TextView::create({ 20, 160, 280, 110 });
            text->setEditable(false);
            text->setFont(Font::systemFont(14));
            text->setText(
                "(\n    \"title=Home&lat=52.37&lng=4.89&action=ARRIVED\",\n    \"title=Office&action=LEFT\"\n)");
            text->layer().setCornerRadius(8);
            view->addSubview(text);
            auto show = Button::create(Button::Type::RoundedRect, { 20, 290, 280, 40 });
            show->setTitle("Show Alert");
            show->addTarget(ControlEventTouchUpInside, [this](Control&) { showAlert(); });
            view->addSubview(show);
            setView(view);
        }
        void showAlert()
        {
            auto alert = AlertView::create("Set Location Name", "\n\n", this, "Cancel", { "OK" });
            auto field = TextField::create({ 14, 50, 255, 28 });
            field->setBorderStyle(TextBorderStyle::Bezel);
            field->setPlaceholder("Location name");
            field->setBackgroundColor(Color::whiteColor());
            alert->addSubview(field);
            alert->show();
        }
    };

}

std::shared_ptr<ViewController> makeGalleryViewController()
{
    auto tabs = TabBarController::create();
    auto advice = std::make_shared<ControlsScreen>();
    advice->tabBarItem().setTitle("Controls");
    auto devices = std::make_shared<DevicesScreen>();
    auto pickers = std::make_shared<PickersScreen>();
    auto messages = std::make_shared<MessagesScreen>();
    auto more = std::make_shared<TableViewController>(TableViewStyle::Grouped);
    more->setTitle("Home");
    more->tabBarItem().setImageNamed("adviceTabIcon");
    more->tabBarItem().setTitle("Suggestions");
    std::vector<std::shared_ptr<ViewController>> controllers { wrap(advice), wrap(devices), wrap(pickers),
        wrap(messages), wrap(more) };
    controllers[1]->tabBarItem().setBadgeValue("3");
    tabs->setViewControllers(controllers);
    return tabs;
}

}
