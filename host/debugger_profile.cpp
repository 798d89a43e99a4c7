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

void gui_show_cost(QTableWidgetItem *item, uint64_t cost, uint64_t total, uint64_t hottest) {
    QString text;
    QBrush brush;
    QString tip;
    if (cost && total && hottest) {
        const double share = 100.0 * static_cast<double>(cost) / static_cast<double>(total);
        text = QStringLiteral("%1%").arg(share, 0, 'f', share >= 10 ? 1 : 2);
        // From pale yellow for the coolest to a strong orange for the hottest.
        const double heat = static_cast<double>(cost) / static_cast<double>(hottest);
        brush = QBrush(
            QColor(255, static_cast<int>(240 - 120 * heat), static_cast<int>(200 - 200 * heat)));
        tip = QStringLiteral("%1 T-states").arg(cost);
    }
    if (item->text() != text) item->setText(text);
    if (item->background() != brush) {
        item->setBackground(brush);
        // Dark on the warm colours whatever the theme's text colour.
        item->setForeground(brush.style() == Qt::NoBrush ? QBrush() : QBrush(Qt::black));
    }
    if (item->toolTip() != tip) item->setToolTip(tip);
    item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
}

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
    // The numbers as wide as they need, the names the rest.
    table_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
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
