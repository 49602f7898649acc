#include "presence/MovementsViewController.h"

#include "net/Endpoints.h"
#include "platform/ui/BarButtonItem.h"
#include "platform/ui/TextView.h"
#include "presence/LocationManager.h"

#include <cstdint>

namespace hestio {

using namespace platform;

std::shared_ptr<MovementsViewController> MovementsViewController::create()
{
    return std::make_shared<MovementsViewController>();
}

MovementsViewController::MovementsViewController()
{
    setTitle("Movements");
}

MovementsViewController::~MovementsViewController()
{
    if (movementTableView) {
        movementTableView->setDataSource(nullptr);
        movementTableView->setDelegate(nullptr);
    }
}

void MovementsViewController::loadView()
{
    movementTableView = TableView::create({ 0, 0, 320, 416 });
    movementTableView->setAccessibilityIdentifier("movementTableView");
    movementTableView->setAutoresizingMask(AutoresizingFlexibleWidth | AutoresizingFlexibleHeight);
    movementTableView->setDataSource(this);
    movementTableView->setDelegate(this);
    setView(movementTableView);
}

void MovementsViewController::viewDidLoad()
{
    dateFormatter.setDateFormat("MM/dd/yyyy hh:mm:ss a");
    data = json::Value::array();
    navigationItem().setRightBarButtonItem(
        BarButtonItem::create("Failed Posts", BarButtonItem::Style::Plain, [this] { showLocationPostFails(); }));

    movementWSC = WebServiceConnector::create(endpoints::kMovementList.path, std::nullopt, false);
    movementWSC->setTag(0);
    movementWSC->setDelegate(std::dynamic_pointer_cast<MovementsViewController>(shared_from_this()));
    movementWSC->startConnectionForDownload(true);
}

void MovementsViewController::viewDidUnload()
{
    data = json::Value();
    // The list it was loading is gone with the view.
    if (movementWSC)
        movementWSC->cancel();
    movementWSC.reset();
    if (movementTableView) {
        movementTableView->setDataSource(nullptr);
        movementTableView->setDelegate(nullptr);
    }
    movementTableView.reset();
}

void MovementsViewController::requestFinished(WebServiceConnector& request, bool success, const json::Value& reply)
{
    // An older download (the view was loaded again meanwhile) says less than
    // the newest one.
    if (&request == movementWSC.get())
        dataReceived(success, reply, request.tag());
}

void MovementsViewController::requestFailed(WebServiceConnector& request, const platform::TransportError&)
{
    if (&request == movementWSC.get())
        movementWSC.reset();
}

void MovementsViewController::dataReceived(bool, const json::Value& reply, int)
{
    movementWSC.reset();
    const json::Value& locations = reply["locations"];
    // Anything but a list is read as no movements.
    data = locations.isArray() ? locations : json::Value::array();
    if (movementTableView)
        movementTableView->reloadData();
}

int MovementsViewController::numberOfRowsInSection(TableView&, int)
{
    return static_cast<int>(data.count());
}

std::shared_ptr<TableViewCell> MovementsViewController::cellForRowAtIndexPath(TableView& table, IndexPath path)
{
    auto cell = table.dequeueReusableCellWithIdentifier("movement");
    if (!cell)
        cell = TableViewCell::create(TableViewCellStyle::Subtitle, "movement");
    cell->setSelectionStyle(TableViewCellSelectionStyle::None);
    const json::Value& movement = data[path.row];
    cell->textLabel()->setText(
        "[" + std::string(movement["action"].stringValue()) + "] " + std::string(movement["title"].stringValue()));
    // Whole seconds: the milliseconds are dropped, not rounded.
    std::int64_t seconds = movement["timestamp"].integerValue() / 1000;
    cell->detailTextLabel()->setText(dateFormatter.stringFromDate(Date(static_cast<double>(seconds))));
    return cell;
}

std::string MovementsViewController::describeList(const std::vector<std::string>& entries)
{
    std::string text = "(\n";
    for (std::size_t i = 0; i < entries.size(); ++i)
        text += "    \"" + entries[i] + (i + 1 < entries.size() ? "\",\n" : "\"\n");
    return text + ")";
}

void MovementsViewController::showLocationPostFails()
{
    // "OK" only closes it, so the alert needs no delegate that could outlive
    // this screen.
    auto alert = AlertView::create("Failed Location Posts", std::string(10, '\n'), nullptr, "OK");
    auto text = TextView::create({ 10, 50, 260, 200 });
    text->setAccessibilityIdentifier("failedPostsText");
    text->setEditable(false);
    text->setText(describeList(LocationManager::getAllFailedLocations()));
    alert->addSubview(text);
    alert->show();
    alert->setFrame({ 0, 0, 310, 350 });
}

}
