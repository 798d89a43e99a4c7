// The debugger window's hot-spot table.
#include "host/debugger_profile.h"

#include <QFontDatabase>
#include <QHeaderView>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

void set_text(QTableWidget *table, int row, int column, const QString &text, bool number) {
    QTableWidgetItem *item = table->item(row, column);
    if (!item) {
        item = new QTableWidgetItem;
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        if (number) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        table->setItem(row, column, item);
    }
    item->setText(text);
}

} // namespace

gui_profile_pane::gui_profile_pane(QWidget *parent) : QWidget(parent) {
    setObjectName(QStringLiteral("hot_spots"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    table_ = new QTableWidget(ROWS, 4, this);
    table_->setObjectName(QStringLiteral("hot_spots_table"));
    table_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setHorizontalHeaderLabels({QStringLiteral("Function"), QStringLiteral("Self T-states"),
                                       QStringLiteral("Inclusive"), QStringLiteral("Share")});
    table_->setToolTip(QStringLiteral("profile start begins a profile; profile save FILE writes "
                                      "it for callgrind_annotate or KCachegrind"));
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    layout->addWidget(table_);
}

void gui_profile_pane::show_spots(const std::vector<dbg_hot_spot_t> &spots) {
    for (int r = 0; r < ROWS; ++r) {
        const bool shown = r < static_cast<int>(spots.size());
        const dbg_hot_spot_t *s = shown ? &spots[r] : nullptr;
        set_text(table_, r, 0, s ? QString::fromStdString(s->name) : QString(), false);
        set_text(table_, r, 1, s ? QString::number(s->self_ts) : QString(), true);
        set_text(table_, r, 2, s ? QString::number(s->inclusive_ts) : QString(), true);
        set_text(table_, r, 3,
                 s ? QStringLiteral("%1%").arg(100.0 * s->share, 0, 'f', 2) : QString(), true);
    }
}
