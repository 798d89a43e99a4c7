// The debugger window's hot spots: the functions that took the most T-states in the profile the
// command language collects (`profile start`), with their own and inclusive T-states and their
// share of the run, most first. Empty until a profile is started.
#pragma once

#include <QWidget>
#include <vector>

#include "debug/profile.h"

class QTableWidget;

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
