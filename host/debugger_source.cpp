// The debugger window's source-level panes: Source, Locals and Watch.
#include "host/debugger_source.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "debug/collect/profile.h"
#include "debug/core/engine.h"
#include "host/debugger_profile.h"

dbg_eval_context_t gui_source_context(const gui_source_view_t &source) {
    return {source.view->memory.data(), &source.view->cpu, source.symbols, source.frame, -1};
}

// ---------------------------------------------------------------------------------------------
// Source

gui_source_pane::gui_source_pane(QWidget *parent) : QWidget(parent) {
    setObjectName(QStringLiteral("source"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    title_ = new QLabel(QStringLiteral("No source"), this);
    title_->setObjectName(QStringLiteral("source_file"));
    layout->addWidget(title_);
    table_ = new QTableWidget(0, SRC_COLUMNS, this);
    table_->setObjectName(QStringLiteral("source_table"));
    table_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setShowGrid(false);
    table_->setWordWrap(false);
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 2);
    table_->setHorizontalHeaderLabels(
        {QString(), QStringLiteral("Line"), QStringLiteral("T-states"), QStringLiteral("Source")});
    table_->horizontalHeader()->setStretchLastSection(true);
    const QFontMetrics metrics(table_->font());
    table_->setColumnWidth(SRC_MARK, metrics.horizontalAdvance(QStringLiteral("@>")) + 8);
    table_->setColumnWidth(SRC_LINE, metrics.horizontalAdvance(QStringLiteral("00000")) + 8);
    table_->setColumnWidth(SRC_COST, metrics.horizontalAdvance(QStringLiteral("T-states")) + 8);
    table_->setColumnHidden(SRC_COST, true);
    table_->setToolTip(QStringLiteral("Click the first column to set or clear a breakpoint"));
    layout->addWidget(table_);
    connect(table_, &QTableWidget::cellClicked, this, [this](int row, int column) {
        if (column == SRC_MARK && file_ >= 0) emit breakpoint_clicked(file_, row + 1);
    });
}

void gui_source_pane::show_view(const gui_source_view_t &source) {
    dbg_source_t *model = source.model;
    const dbg_frame_t *frame = source.frame;
    const int file = frame && frame->file >= 0 ? frame->file : file_;
    const int line = frame && frame->file >= 0 ? frame->line : 0;
    const bool new_file = model != model_ || file != file_;
    model_ = model;
    file_ = file >= 0 && file < static_cast<int>(model->files.size()) ? file : -1;
    if (file_ < 0) {
        title_->setText(QStringLiteral("No source"));
        table_->setRowCount(0);
        current_line_ = 0;
        return;
    }
    const std::vector<std::string> &text = dbg_source_text(model, file_);
    const QString name = QString::fromStdString(model->files[file_].name);
    if (new_file) {
        title_->setText(text.empty() ? name + QStringLiteral(" (source file not found)") : name);
        table_->setRowCount(static_cast<int>(text.size()));
        for (int row = 0; row < static_cast<int>(text.size()); ++row) {
            auto *mark = new QTableWidgetItem;
            mark->setForeground(QColor(200, 0, 0));
            table_->setItem(row, SRC_MARK, mark);
            auto *number = new QTableWidgetItem(QString::number(row + 1));
            number->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            table_->setItem(row, SRC_LINE, number);
            table_->setItem(row, SRC_COST, new QTableWidgetItem);
            table_->setItem(row, SRC_TEXT, new QTableWidgetItem(QString::fromStdString(text[row])));
        }
    }
    // Breakpoints by the line whose code they are on (one moved past a line without code is
    // drawn at the line it moved to).
    std::vector<bool> breaks(text.size() + 1, false);
    for (const dbg_breakpoint_row_t &b : source.view->breakpoints)
        if (b.file == file_ && b.line >= 1 && b.line <= static_cast<int>(text.size()))
            breaks[b.line] = true;
    // The profile's costs by line, scaled to the hottest line of the file.
    const std::vector<uint64_t> &costs = source.view->costs;
    const std::vector<uint64_t> line_costs = dbg_profile_line_costs(model, costs, file_);
    const uint64_t hottest =
        line_costs.empty() ? 0 : *std::max_element(line_costs.begin(), line_costs.end());
    if (table_->isColumnHidden(SRC_COST) != costs.empty())
        table_->setColumnHidden(SRC_COST, costs.empty());
    const QColor current = palette().color(QPalette::Highlight).lighter(170);
    for (int row = 0; row < table_->rowCount(); ++row) {
        QString mark;
        mark += breaks[row + 1] ? QChar(0x25CF) : QChar(' ');
        if (row + 1 == line) mark += QChar(0x25B6);
        QTableWidgetItem *item = table_->item(row, SRC_MARK);
        if (item->text() != mark) item->setText(mark);
        const QBrush brush = row + 1 == line ? QBrush(current) : QBrush();
        for (int c = 0; c < SRC_COLUMNS; ++c)
            if (c != SRC_COST && table_->item(row, c)->background() != brush)
                table_->item(row, c)->setBackground(brush);
        if (!costs.empty())
            gui_show_cost(table_->item(row, SRC_COST),
                          static_cast<size_t>(row + 1) < line_costs.size() ? line_costs[row + 1]
                                                                           : 0,
                          source.view->cost_total, hottest);
    }
    // Scrolled once the rows are laid out (a file just filled in has none yet).
    if ((line != current_line_ || new_file) && line >= 1 && line <= table_->rowCount())
        QMetaObject::invokeMethod(
            this,
            [this, line] {
                if (line <= table_->rowCount())
                    table_->scrollToItem(table_->item(line - 1, SRC_TEXT),
                                         QAbstractItemView::PositionAtCenter);
            },
            Qt::QueuedConnection);
    current_line_ = line;
}

// ---------------------------------------------------------------------------------------------
// Values

gui_values_tree::gui_values_tree(dbg_engine_t *engine, QWidget *parent)
    : QWidget(parent), engine_(engine) {
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    tree_ = new QTreeWidget(this);
    tree_->setColumnCount(VAL_COLUMNS);
    tree_->setHeaderLabels(
        {QStringLiteral("Name"), QStringLiteral("Type"), QStringLiteral("Value")});
    tree_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    tree_->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
    tree_->header()->setStretchLastSection(true);
    const QFontMetrics metrics(tree_->font());
    tree_->setColumnWidth(VAL_NAME, metrics.horizontalAdvance(QStringLiteral("parameter__")) + 24);
    tree_->setColumnWidth(VAL_TYPE,
                          metrics.horizontalAdvance(QStringLiteral("unsigned char [8]")) + 8);
    layout->addWidget(tree_);
    connect(tree_, &QTreeWidget::itemChanged, this, &gui_values_tree::edited);
}

void gui_values_tree::show_values(const gui_source_view_t &source,
                                  const std::vector<dbg_value_t> &values, const QStringList &paths,
                                  bool editable) {
    source_ = source;
    has_frame_ = source.frame != nullptr;
    if (has_frame_) frame_ = *source.frame;
    source_.frame = has_frame_ ? &frame_ : nullptr;
    filling_ = true;
    sync(tree_->invisibleRootItem(), values, paths, editable);
    filling_ = false;
}

void gui_values_tree::sync(QTreeWidgetItem *parent, const std::vector<dbg_value_t> &values,
                           const QStringList &paths, bool editable) {
    while (parent->childCount() > static_cast<int>(values.size()))
        delete parent->takeChild(parent->childCount() - 1);
    for (size_t i = 0; i < values.size(); ++i) {
        const dbg_value_t &value = values[i];
        QTreeWidgetItem *item = static_cast<int>(i) < parent->childCount()
                                    ? parent->child(static_cast<int>(i))
                                    : new QTreeWidgetItem(parent);
        const QString texts[VAL_COLUMNS] = {QString::fromStdString(value.name),
                                            QString::fromStdString(value.type),
                                            QString::fromStdString(value.text)};
        for (int c = 0; c < VAL_COLUMNS; ++c)
            if (item->text(c) != texts[c]) item->setText(c, texts[c]);
        // The expression that names it: fields and elements are written after their parent's.
        QString path =
            i < static_cast<size_t>(paths.size()) ? paths[static_cast<int>(i)] : QString();
        if (path.isEmpty() && parent != tree_->invisibleRootItem()) {
            const QString base = parent->data(VAL_NAME, Qt::UserRole).toString();
            // A plain name, field or element chain needs no parentheses; "*p" does.
            static const QRegularExpression plain(
                QStringLiteral("^[A-Za-z_][A-Za-z0-9_.\\[\\]]*$"));
            const QString whole =
                plain.match(base).hasMatch() ? base : QStringLiteral("(%1)").arg(base);
            path = value.name.rfind('[', 0) == 0 ? whole + texts[VAL_NAME]
                                                 : whole + QLatin1Char('.') + texts[VAL_NAME];
        }
        item->setData(VAL_NAME, Qt::UserRole, path);
        const bool can_edit = editable && value.in_memory && value.children.empty();
        const Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable |
                                    (can_edit ? Qt::ItemIsEditable : Qt::NoItemFlags);
        if (item->flags() != flags) item->setFlags(flags);
        sync(item, value.children, {}, editable);
    }
}

void gui_values_tree::edited(QTreeWidgetItem *item, int column) {
    if (filling_ || column != VAL_VALUE || !source_.view) return;
    const std::string target = item->data(VAL_NAME, Qt::UserRole).toString().toStdString();
    const std::string value = item->text(VAL_VALUE).trimmed().toStdString();
    uint16_t address = 0;
    std::vector<uint8_t> bytes;
    std::string error;
    if (!dbg_source_assign(source_.model, target, value, gui_source_context(source_), &address,
                           &bytes, &error)) {
        emit changed(QString::fromStdString(target + ": " + error));
        return;
    }
    for (size_t i = 0; i < bytes.size(); ++i)
        dbg_poke(engine_, static_cast<uint16_t>(address + i), bytes[i]);
    emit changed(QString());
}

gui_locals_pane::gui_locals_pane(dbg_engine_t *engine, QWidget *parent)
    : gui_values_tree(engine, parent) {
    setObjectName(QStringLiteral("locals"));
    tree()->setObjectName(QStringLiteral("locals_tree"));
}

void gui_locals_pane::show_view(const gui_source_view_t &source, bool editable) {
    const std::vector<dbg_value_t> values =
        dbg_frame_locals(source.model, gui_source_context(source));
    QStringList paths;
    for (const dbg_value_t &value : values)
        paths << QString::fromStdString(value.name);
    show_values(source, values, paths, editable);
}

gui_watch_pane::gui_watch_pane(dbg_engine_t *engine, QWidget *parent)
    : gui_values_tree(engine, parent) {
    setObjectName(QStringLiteral("watch"));
    tree()->setObjectName(QStringLiteral("watch_tree"));
    auto *row = new QHBoxLayout;
    input_ = new QLineEdit(this);
    input_->setObjectName(QStringLiteral("watch_input"));
    input_->setPlaceholderText(QStringLiteral("Expression to watch (Enter adds it)"));
    auto *remove = new QPushButton(QStringLiteral("Remove"), this);
    remove->setObjectName(QStringLiteral("watch_remove"));
    row->addWidget(input_, 1);
    row->addWidget(remove);
    static_cast<QVBoxLayout *>(layout())->addLayout(row);
    connect(input_, &QLineEdit::returnPressed, this, [this] {
        add(input_->text());
        input_->clear();
    });
    connect(remove, &QPushButton::clicked, this, [this] { remove_selected(); });
}

void gui_watch_pane::add(const QString &expression) {
    const QString text = expression.trimmed();
    if (text.isEmpty()) return;
    expressions_ << text;
    emit list_changed();
}

void gui_watch_pane::remove_selected() {
    QTreeWidgetItem *item = tree()->currentItem();
    while (item && item->parent())
        item = item->parent();
    if (!item) return;
    const int index = tree()->indexOfTopLevelItem(item);
    if (index < 0 || index >= expressions_.size()) return;
    expressions_.removeAt(index);
    emit list_changed();
}

void gui_watch_pane::show_view(const gui_source_view_t &source, bool editable) {
    std::vector<dbg_value_t> values;
    const dbg_eval_context_t context = gui_source_context(source);
    for (const QString &expression : expressions_) {
        dbg_value_t value;
        std::string error;
        if (!dbg_source_print(source.model, expression.toStdString(), context, &value, &error)) {
            value = dbg_value_t{};
            value.text = "<" + error + ">";
            value.in_memory = false;
        }
        value.name = expression.toStdString();
        values.push_back(std::move(value));
    }
    show_values(source, values, expressions_, editable);
}
