// The debugger window's hot spots: the functions that took the most T-states in the profile the
// command language collects (`profile start`), with their own and inclusive T-states and their
// share of the run, most first. Empty until a profile is started.
#pragma once

#include <QWidget>
#include <vector>

#include "debug/collect/profile.h"

class QTableWidget;
class QTableWidgetItem;

// Marks a hot line in the source and disassembly panes: the item shows cost's share of total
// ("12.5%"; empty when it took none) on a background the warmer the nearer cost is to hottest,
// and tells the T-states in its tool tip.
void gui_show_cost(QTableWidgetItem *item, uint64_t cost, uint64_t total, uint64_t hottest);

class gui_profile_pane : public QWidget {
    Q_OBJECT
  public:
    enum : int { ROWS = 12 };
    explicit gui_profile_pane(QWidget *parent = nullptr);
    void show_spots(const std::vector<dbg_hot_spot_t> &spots);
    QTableWidget *table() const { return table_; }

  private:
    QTableWidget *table_;
};
