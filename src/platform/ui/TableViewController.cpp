#include "platform/ui/TableViewController.h"

namespace hestio::platform {

TableViewController::TableViewController(TableViewStyle style)
    : m_style(style)
{
}

TableViewController::~TableViewController()
{
    if (auto* table = dynamic_cast<TableView*>(viewIfLoaded())) {
        table->setDataSource(nullptr);
        table->setDelegate(nullptr);
    }
}

void TableViewController::loadView()
{
    auto table = TableView::create({ 0, 0, 320, 460 }, m_style);
    table->setAutoresizingMask(AutoresizingFlexibleWidth | AutoresizingFlexibleHeight);
    table->setDataSource(this);
    table->setDelegate(this);
    setView(table);
}

TableView& TableViewController::tableView()
{
    return *tableViewPtr();
}

std::shared_ptr<TableView> TableViewController::tableViewPtr()
{
    auto table = std::dynamic_pointer_cast<TableView>(view());
    if (!table) {
        // A subclass that made another kind of view still gets a table.
        loadView();
        table = std::dynamic_pointer_cast<TableView>(view());
    }
    return table;
}

void TableViewController::viewWillAppear(bool animated)
{
    auto table = tableViewPtr();
    if (!m_loadedOnce) {
        m_loadedOnce = true;
        table->reloadData();
        return;
    }
    if (m_clearsSelection)
        if (auto selected = table->indexPathForSelectedRow())
            table->deselectRowAtIndexPath(*selected, animated);
}

void TableViewController::setEditing(bool editing, bool animated)
{
    ViewController::setEditing(editing, animated);
    tableView().setEditing(editing, animated);
}

std::shared_ptr<TableViewCell> TableViewController::cellForRowAtIndexPath(TableView& table, IndexPath)
{
    auto cell = table.dequeueReusableCellWithIdentifier("Cell");
    return cell ? cell : TableViewCell::create(TableViewCellStyle::Default, "Cell");
}

}
