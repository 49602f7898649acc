#pragma once

#include "platform/ui/TableView.h"
#include "platform/ui/ViewController.h"

namespace hestio::platform {

/// A screen whose view is a table it serves as data source and delegate.
/// Its first appearance loads the table; later appearances clear the
/// selection, as the platform's table screens do.
class TableViewController : public ViewController, public TableViewDataSource, public TableViewDelegate {
public:
    explicit TableViewController(TableViewStyle style = TableViewStyle::Plain);
    ~TableViewController() override;

    TableView& tableView();
    std::shared_ptr<TableView> tableViewPtr();
    TableViewStyle tableStyle() const { return m_style; }
    bool clearsSelectionOnViewWillAppear() const { return m_clearsSelection; }
    void setClearsSelectionOnViewWillAppear(bool clears) { m_clearsSelection = clears; }

    void loadView() override;
    void viewWillAppear(bool animated) override;
    void setEditing(bool editing, bool animated) override;

    int numberOfRowsInSection(TableView&, int) override { return 0; }
    std::shared_ptr<TableViewCell> cellForRowAtIndexPath(TableView&, IndexPath) override;

private:
    TableViewStyle m_style;
    bool m_clearsSelection { true };
    bool m_loadedOnce { false };
};

}
