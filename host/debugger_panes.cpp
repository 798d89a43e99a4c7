// The debugger window's panes: registers and flags, disassembly, memory and stack.
#include "host/debugger_panes.h"

#include <cctype>

#include <QCheckBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QTableWidget>
#include <QVBoxLayout>

#include "debug/core/engine.h"
#include "debug/front/register_rows.h"
#include "debug/info/disasm.h"
#include "debug/info/source.h"
#include "debug/info/symbols.h"
#include "host/debugger_profile.h"

namespace {

QString hex(unsigned value, int digits) {
    return QStringLiteral("%1").arg(value, digits, 16, QLatin1Char('0')).toUpper();
}

// A hexadecimal number of at most max; false when the text is none.
bool parse_hex(const QString &text, uint32_t max, uint32_t *value) {
    bool ok = false;
    const uint32_t v = text.trimmed().toUInt(&ok, 16);
    if (!ok || v > max) return false;
    *value = v;
    return true;
}

QTableWidget *make_table(QWidget *parent, int rows, int columns) {
    auto *table = new QTableWidget(rows, columns, parent);
    table->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setShowGrid(false);
    table->setWordWrap(false);
    table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 2);
    table->horizontalHeader()->setHighlightSections(false);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < columns; ++c)
            table->setItem(r, c, new QTableWidgetItem);
    return table;
}

void set_text(QTableWidget *table, int row, int column, const QString &text) {
    QTableWidgetItem *item = table->item(row, column);
    if (item->text() != text) item->setText(text);
}

// Hexadecimal digits of a register field: IM, IFF1 and IFF2 take one.
int digits_of(const dbg_register_row_t &row) {
    return (row.bits + 3) / 4;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Registers

gui_registers_pane::gui_registers_pane(dbg_engine_t *engine, QWidget *parent)
    : QWidget(parent), engine_(engine) {
    setObjectName(QStringLiteral("registers"));
    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(4, 4, 4, 4);
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    const int width = QFontMetrics(fixed).horizontalAdvance(QStringLiteral("00000"));
    auto *flag_row = new QHBoxLayout;
    for (const dbg_register_row_t &row : dbg_register_rows(z_cpu_t{})) {
        if (row.flag) {
            auto *box = new QCheckBox(QLatin1String(row.label), this);
            box->setObjectName(QStringLiteral("flag_") +
                               QString::fromLatin1(row.label).left(1).toLower());
            box->setEnabled(false);
            const int bit = static_cast<int>(flags_.size());
            connect(box, &QCheckBox::clicked, this, [this, bit] { write_flag(bit); });
            flag_row->addWidget(box);
            flags_.push_back(box);
            continue;
        }
        auto *field = new QLineEdit(this);
        field->setObjectName(QStringLiteral("reg_") + QLatin1String(row.name));
        field->setFont(fixed);
        field->setMaxLength(digits_of(row));
        field->setFixedWidth(width + 12);
        field->setReadOnly(true);
        const int index = static_cast<int>(fields_.size());
        connect(field, &QLineEdit::editingFinished, this, [this, index] { write(index); });
        // Three columns of four pairs, then I, R, IM, IFF1 and IFF2 in a row below them.
        const int grid_row = index < 12 ? index % 4 : 4 + (index - 12) / 3;
        const int column = index < 12 ? index / 4 * 2 : (index - 12) % 3 * 2;
        grid->addWidget(new QLabel(QLatin1String(row.label), this), grid_row, column);
        grid->addWidget(field, grid_row, column + 1);
        fields_.push_back(field);
    }
    grid->addLayout(flag_row, 6, 0, 1, 6);
    ticks_ = new QLabel(this);
    ticks_->setObjectName(QStringLiteral("ticks"));
    grid->addWidget(ticks_, 7, 0, 1, 6);
    grid->setRowStretch(8, 1);
}

void gui_registers_pane::show_view(const gui_debugger_view_t &view, bool editable) {
    editable_ = editable;
    rows_ = dbg_register_rows(view.cpu);
    size_t field = 0, flag = 0;
    for (const dbg_register_row_t &row : rows_) {
        if (row.flag) {
            flags_[flag]->setChecked(row.value);
            flags_[flag++]->setEnabled(editable);
            continue;
        }
        QLineEdit *edit = fields_[field++];
        edit->setReadOnly(!editable);
        // A field being typed into keeps its text (and an unchanged one its cursor).
        const QString text = hex(row.value, digits_of(row));
        if (edit->text() != text && !(editable && edit->hasFocus() && edit->isModified()))
            edit->setText(text);
    }
    ticks_->setText(QStringLiteral("T-states %1").arg(view.ticks));
}

// The row of the index-th field (flag false) or check box (flag true).
const dbg_register_row_t &gui_registers_pane::row_of(int index, bool flag) const {
    for (const dbg_register_row_t &row : rows_)
        if (row.flag == flag && index-- == 0) return row;
    return rows_.back();
}

void gui_registers_pane::write(int index) {
    QLineEdit *field = fields_[static_cast<size_t>(index)];
    if (!editable_ || !field->isModified()) return;
    field->setModified(false);
    const dbg_register_row_t &row = row_of(index, false);
    uint32_t value = 0;
    const uint32_t max = row.bits == 16 ? 0xFFFF : row.bits == 8 ? 0xFF : 0xF;
    if (!parse_hex(field->text(), max, &value)) {
        field->setText(hex(row.value, digits_of(row)));
        emit changed(QStringLiteral("Bad hex number: ") + field->text());
        return;
    }
    if (value == row.value) return;
    std::string error;
    const bool ok = dbg_set_register(engine_, row.name, value, &error);
    emit changed(ok ? QString() : QString::fromStdString(error));
}

void gui_registers_pane::write_flag(int bit) {
    if (!editable_) return;
    const dbg_register_row_t &row = row_of(bit, true);
    std::string error;
    const bool ok = dbg_set_register(engine_, row.name, row.value ? 0 : 1, &error);
    emit changed(ok ? QString() : QString::fromStdString(error));
}

// ---------------------------------------------------------------------------------------------
// Disassembly

namespace {

// Where to start listing so that up to `before` instructions precede pc: the earliest start
// within 4 bytes per instruction whose chain of instructions lands exactly on pc.
uint16_t listing_start(const uint8_t *memory, uint16_t pc, int before) {
    for (int back = before * 4; back > 0; --back) {
        uint16_t a = static_cast<uint16_t>(pc - back);
        std::vector<uint16_t> chain;
        while (static_cast<uint16_t>(pc - a) <= back && static_cast<uint16_t>(pc - a) != 0) {
            chain.push_back(a);
            a = static_cast<uint16_t>(a + dbg_disassemble(memory, a, nullptr).length);
        }
        if (a != pc) continue;
        const size_t drop = chain.size() > static_cast<size_t>(before)
                                ? chain.size() - static_cast<size_t>(before)
                                : 0;
        return chain[drop];
    }
    return pc;
}

} // namespace

gui_disassembly_pane::gui_disassembly_pane(QWidget *parent) : QWidget(parent) {
    setObjectName(QStringLiteral("disassembly"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    table_ = make_table(this, ROWS, DIS_COLUMNS);
    table_->setObjectName(QStringLiteral("disassembly_table"));
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setHorizontalHeaderLabels({QString(), QStringLiteral("T-states"),
                                       QStringLiteral("Address"), QStringLiteral("Label"),
                                       QStringLiteral("Bytes"), QStringLiteral("Instruction")});
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setStretchLastSection(true);
    const QFontMetrics metrics(table_->font());
    table_->setColumnWidth(DIS_MARK, metrics.horizontalAdvance(QStringLiteral("@>")) + 8);
    table_->setColumnWidth(DIS_COST, metrics.horizontalAdvance(QStringLiteral("T-states")) + 8);
    table_->setColumnHidden(DIS_COST, true);
    table_->setColumnWidth(DIS_ADDRESS, metrics.horizontalAdvance(QStringLiteral("Address")) + 8);
    table_->setColumnWidth(DIS_LABEL, metrics.horizontalAdvance(QStringLiteral("MON_KEYREADY")));
    table_->setColumnWidth(DIS_BYTES, metrics.horizontalAdvance(QStringLiteral("DD CB 05 C6")) + 8);
    table_->setToolTip(QStringLiteral("Click the first column (or press F9) to set or clear a "
                                      "breakpoint"));
    layout->addWidget(table_);
    source_lines_ = new QCheckBox(QStringLiteral("Source in disassembly"), this);
    source_lines_->setObjectName(QStringLiteral("source_in_disassembly"));
    layout->addWidget(source_lines_);
    connect(table_, &QTableWidget::cellClicked, this, [this](int row, int column) {
        if (column == DIS_MARK && row >= 0 && static_cast<size_t>(row) < addresses_.size())
            emit breakpoint_clicked(addresses_[static_cast<size_t>(row)]);
    });
    connect(source_lines_, &QCheckBox::toggled, this, [this] {
        if (!view_ || addresses_.empty()) return;
        // Rows move: the selection stays on its instruction.
        uint16_t selected = 0;
        const bool had = selected_address(&selected);
        fill(listing_start(view_->memory.data(), view_->cpu.PC, ROWS_BEFORE_PC));
        if (had) select_address(selected);
    });
}

int gui_disassembly_pane::row_of(uint16_t address) const {
    for (size_t i = 0; i < addresses_.size(); ++i)
        if (addresses_[i] == address && !source_rows_[i]) return static_cast<int>(i);
    return -1;
}

void gui_disassembly_pane::show_view(const gui_debugger_view_t &view, const dbg_symbols_t *symbols,
                                     dbg_source_t *model) {
    view_ = &view;
    symbols_ = symbols;
    model_ = model;
    const uint16_t pc = view.cpu.PC;
    uint16_t top = 0;
    bool keep = false;
    const int at = row_of(pc);
    if (at >= 0 && static_cast<size_t>(at) + ROWS_BEFORE_PC < addresses_.size()) {
        keep = true;
        top = addresses_[0];
    }
    if (!keep) top = listing_start(view.memory.data(), pc, ROWS_BEFORE_PC);
    fill(top);
    // Memory changed under a kept listing so that the PC falls inside an instruction.
    if (row_of(pc) < 0) fill(listing_start(view.memory.data(), pc, ROWS_BEFORE_PC));
}

void gui_disassembly_pane::fill(uint16_t top) {
    if (!view_) return;
    addresses_.clear();
    source_rows_.clear();
    // The hottest instruction of the profile sets the scale of the cost column.
    const std::vector<uint64_t> &costs = view_->costs;
    const uint64_t hottest = costs.empty() ? 0 : *std::max_element(costs.begin(), costs.end());
    if (table_->isColumnHidden(DIS_COST) != costs.empty())
        table_->setColumnHidden(DIS_COST, costs.empty());
    const uint16_t pc = view_->cpu.PC;
    uint16_t a = top;
    const QColor current = palette().color(QPalette::Highlight).lighter(170);
    const bool with_source = model_ && source_lines_->isChecked();
    bool source_done = false; // the source row of the instruction at a is listed
    for (int row = 0; row < ROWS; ++row) {
        // A source line above the first instruction of its range.
        const dbg_line_range_t *range =
            with_source && !source_done ? dbg_source_line_at(model_, a) : nullptr;
        if (range && range->address == a) {
            const std::vector<std::string> &text = dbg_source_text(model_, range->file);
            QString line = QStringLiteral("%1:%2")
                               .arg(QString::fromStdString(model_->files[range->file].name))
                               .arg(range->line);
            if (range->line >= 1 && range->line <= static_cast<int>(text.size()))
                line +=
                    QStringLiteral("  ") +
                    QString::fromStdString(text[static_cast<size_t>(range->line - 1)]).trimmed();
            addresses_.push_back(a);
            source_rows_.push_back(true);
            for (int c = 0; c < DIS_COLUMNS; ++c) {
                set_text(table_, row, c, c == DIS_TEXT ? line : QString());
                table_->item(row, c)->setBackground(QBrush());
                table_->item(row, c)->setToolTip(QString());
            }
            table_->item(row, DIS_TEXT)->setForeground(palette().color(QPalette::Link));
            source_done = true;
            continue;
        }
        source_done = false;
        table_->item(row, DIS_TEXT)->setForeground(palette().color(QPalette::Text));
        const dbg_instruction_t in = dbg_disassemble(view_->memory.data(), a, symbols_);
        addresses_.push_back(a);
        source_rows_.push_back(false);
        const bool is_break =
            std::any_of(view_->breakpoints.begin(), view_->breakpoints.end(),
                        [a](const dbg_breakpoint_row_t &b) { return b.address == a; });
        QString mark;
        mark += is_break ? QChar(0x25CF) : QChar(' ');
        if (a == pc) mark += QChar(0x25B6);
        set_text(table_, row, DIS_MARK, mark);
        table_->item(row, DIS_MARK)->setForeground(QColor(200, 0, 0));
        set_text(table_, row, DIS_ADDRESS, hex(a, 4));
        set_text(table_, row, DIS_LABEL, QString::fromStdString(dbg_symbol_at(symbols_, a)));
        set_text(table_, row, DIS_BYTES, QString::fromStdString(dbg_instruction_bytes(in)));
        set_text(table_, row, DIS_TEXT, QString::fromStdString(in.text));
        for (int c = 0; c < DIS_COLUMNS; ++c)
            table_->item(row, c)->setBackground(a == pc ? QBrush(current) : QBrush());
        if (!costs.empty())
            gui_show_cost(table_->item(row, DIS_COST), costs[a], view_->cost_total, hottest);
        a = static_cast<uint16_t>(a + in.length);
    }
}

void gui_disassembly_pane::select_address(uint16_t address) {
    int row = row_of(address);
    if (row < 0 && view_) {
        fill(listing_start(view_->memory.data(), address, ROWS_BEFORE_PC));
        row = row_of(address);
    }
    if (row < 0) return;
    table_->setCurrentCell(row, DIS_TEXT);
    table_->scrollToItem(table_->item(row, DIS_TEXT));
}

bool gui_disassembly_pane::selected_address(uint16_t *address) const {
    const int row = table_->currentRow();
    if (row < 0 || static_cast<size_t>(row) >= addresses_.size()) return false;
    if (table_->selectedItems().isEmpty()) return false;
    *address = addresses_[static_cast<size_t>(row)];
    return true;
}

// ---------------------------------------------------------------------------------------------
// Memory

gui_memory_pane::gui_memory_pane(dbg_engine_t *engine, QWidget *parent)
    : QWidget(parent), engine_(engine) {
    setObjectName(QStringLiteral("memory"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("Memory at"), this));
    address_ = new QLineEdit(QStringLiteral("pc"), this);
    address_->setObjectName(QStringLiteral("memory_address"));
    address_->setToolTip(QStringLiteral("An address or an expression to follow: a symbol, a "
                                        "register (hl, sp, ...), ix-1, &table[2]"));
    top->addWidget(address_, 1);
    layout->addLayout(top);
    error_ = new QLabel(this);
    error_->setObjectName(QStringLiteral("memory_error"));
    error_->setStyleSheet(QStringLiteral("color: #c00000"));
    error_->setWordWrap(true);
    error_->hide();
    layout->addWidget(error_);
    table_ = make_table(this, ROWS, 17);
    table_->setObjectName(QStringLiteral("memory_table"));
    table_->setSelectionBehavior(QAbstractItemView::SelectItems);
    QStringList headers;
    for (int c = 0; c < 16; ++c)
        headers << hex(static_cast<unsigned>(c), 1);
    headers << QString();
    table_->setHorizontalHeaderLabels(headers);
    const QFontMetrics metrics(table_->font());
    for (int c = 0; c < 16; ++c)
        table_->setColumnWidth(c, metrics.horizontalAdvance(QStringLiteral("000")) + 4);
    table_->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(table_);
    connect(table_, &QTableWidget::cellChanged, this, &gui_memory_pane::edited);
}

QString gui_memory_pane::error() const {
    return error_->text();
}

void gui_memory_pane::show_view(const gui_debugger_view_t &view, const dbg_symbols_t *symbols,
                                const dbg_source_t *model, const dbg_frame_t *frame,
                                bool editable) {
    uint16_t address = start_;
    const std::string text = address_->text().trimmed().toStdString();
    std::string error;
    if (!text.empty()) {
        dbg_source_t empty;
        if (!model) {
            dbg_source_init(&empty);
            model = &empty;
        }
        // An array or a struct stands for where it is; anything else for its value.
        const dbg_eval_context_t context{view.memory.data(), &view.cpu, symbols, frame, -1};
        dbg_expr_t expr;
        dbg_value_t value;
        int64_t number = 0;
        // An address written as a number is hexadecimal, as places are everywhere ("8000").
        const bool number_place =
            (std::isdigit(static_cast<unsigned char>(text[0])) || text[0] == '$') &&
            dbg_parse_address(symbols, text, &address);
        bool ok = number_place || (dbg_expr_parse(model, text, &expr, &error) &&
                                   dbg_expr_value(model, expr, context, &value, &error));
        if (!number_place) {
            if (ok && value.in_memory && !value.children.empty())
                address = value.address;
            else if (ok && dbg_expr_number(model, expr, context, &number, &error))
                address = static_cast<uint16_t>(number);
            else
                ok = false;
        }
        // Symbol arithmetic as the command language writes addresses.
        if (!ok && dbg_parse_address(symbols, text, &address)) ok = true;
        if (ok) error.clear();
        if (!ok) address = start_;
    }
    const QString message = error.empty()
                                ? QString()
                                : QStringLiteral("Memory at %1: %2")
                                      .arg(address_->text(), QString::fromStdString(error));
    if (error_->text() != message) error_->setText(message);
    error_->setVisible(!message.isEmpty());
    start_ = static_cast<uint16_t>(address & 0xFFF0);
    filling_ = true;
    table_->setEditTriggers(editable ? QAbstractItemView::DoubleClicked |
                                           QAbstractItemView::EditKeyPressed |
                                           QAbstractItemView::AnyKeyPressed
                                     : QAbstractItemView::NoEditTriggers);
    QStringList rows;
    for (int r = 0; r < ROWS; ++r) {
        const uint16_t line = static_cast<uint16_t>(start_ + 16 * r);
        rows << hex(line, 4);
        QString chars;
        for (int c = 0; c < 16; ++c) {
            const uint8_t b = view.memory[static_cast<uint16_t>(line + c)];
            set_text(table_, r, c, hex(b, 2));
            chars += b >= 0x20 && b < 0x7F ? QChar(b) : QChar('.');
        }
        set_text(table_, r, 16, chars);
        table_->item(r, 16)->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    }
    table_->setVerticalHeaderLabels(rows);
    filling_ = false;
}

void gui_memory_pane::edited(int row, int column) {
    if (filling_ || column >= 16) return;
    const uint16_t address = static_cast<uint16_t>(start_ + 16 * row + column);
    uint32_t value = 0;
    if (!parse_hex(table_->item(row, column)->text(), 0xFF, &value)) {
        emit changed(QStringLiteral("Bad hex number: ") + table_->item(row, column)->text());
        return;
    }
    dbg_poke(engine_, address, static_cast<uint8_t>(value));
    emit changed(QString());
}

// ---------------------------------------------------------------------------------------------
// Stack

gui_stack_pane::gui_stack_pane(QWidget *parent) : QWidget(parent) {
    setObjectName(QStringLiteral("stack"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    frames_ = make_table(this, 0, 3);
    frames_->setObjectName(QStringLiteral("frames_table"));
    frames_->setSelectionBehavior(QAbstractItemView::SelectRows);
    frames_->setHorizontalHeaderLabels(
        {QStringLiteral("Function"), QStringLiteral("Line"), QStringLiteral("Address")});
    frames_->verticalHeader()->hide();
    frames_->horizontalHeader()->setStretchLastSection(true);
    frames_->setToolTip(QStringLiteral("Choose a frame to see its source line and locals"));
    layout->addWidget(frames_);
    connect(frames_, &QTableWidget::cellClicked, this,
            [this](int row, int) { emit frame_chosen(row); });
    table_ = make_table(this, ROWS, 3);
    table_->setObjectName(QStringLiteral("stack_table"));
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setHorizontalHeaderLabels(
        {QStringLiteral("Address"), QStringLiteral("Word"), QStringLiteral("Points to")});
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(table_);
}

void gui_stack_pane::show_view(const gui_debugger_view_t &view, const dbg_symbols_t *symbols,
                               const std::vector<dbg_frame_row_t> &frames, int selected) {
    const int count = static_cast<int>(frames.size());
    if (frames_->rowCount() != count) {
        frames_->setRowCount(count);
        for (int r = 0; r < count; ++r)
            for (int c = 0; c < 3; ++c)
                if (!frames_->item(r, c)) frames_->setItem(r, c, new QTableWidgetItem);
    }
    for (int r = 0; r < count; ++r) {
        const dbg_frame_row_t &f = frames[static_cast<size_t>(r)];
        set_text(frames_, r, 0,
                 QStringLiteral("%1%2 %3")
                     .arg(r == selected ? QChar(0x25B6) : QChar(' '))
                     .arg(r)
                     .arg(QString::fromStdString(f.name)));
        set_text(frames_, r, 1, QString::fromStdString(f.place));
        set_text(frames_, r, 2, hex(f.pc, 4));
    }
    if (count) frames_->resizeColumnsToContents();
    for (int r = 0; r < ROWS; ++r) {
        // The stack ends at the top of memory: nothing above FFFF is on it.
        if (view.cpu.SP + 2 * r + 1 > 0xFFFF) {
            for (int c = 0; c < 3; ++c)
                set_text(table_, r, c, QString());
            continue;
        }
        const uint16_t at = static_cast<uint16_t>(view.cpu.SP + 2 * r);
        const uint16_t word = static_cast<uint16_t>(
            view.memory[at] | view.memory[static_cast<uint16_t>(at + 1)] << 8);
        set_text(table_, r, 0, hex(at, 4));
        set_text(table_, r, 1, hex(word, 4));
        // A return address by the routine it returns into; another word by the label it
        // points at or into, unless it is a small number (a count or a flag, not the
        // restart vectors of the first page).
        const bool named = dbg_return_site(view.memory.data(), word) || word >= 0x100;
        set_text(table_, r, 2,
                 named ? QString::fromStdString(dbg_symbol_near(symbols, word)) : QString());
    }
}

// ---------------------------------------------------------------------------------------------
// Breakpoints

gui_breakpoints_pane::gui_breakpoints_pane(QWidget *parent) : QWidget(parent) {
    setObjectName(QStringLiteral("breakpoints"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    table_ = make_table(this, 0, BP_COLUMNS);
    table_->setObjectName(QStringLiteral("breakpoints_table"));
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setHorizontalHeaderLabels({QStringLiteral("Id"), QStringLiteral("Place"),
                                       QStringLiteral("Address"), QStringLiteral("Condition"),
                                       QStringLiteral("Hits")});
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(table_);
}

void gui_breakpoints_pane::show_view(const gui_debugger_view_t &view) {
    const int count = static_cast<int>(view.breakpoints.size());
    if (table_->rowCount() != count) {
        table_->setRowCount(count);
        for (int r = 0; r < count; ++r)
            for (int c = 0; c < BP_COLUMNS; ++c)
                if (!table_->item(r, c)) table_->setItem(r, c, new QTableWidgetItem);
    }
    for (int r = 0; r < count; ++r) {
        const dbg_breakpoint_row_t &b = view.breakpoints[static_cast<size_t>(r)];
        set_text(table_, r, BP_ID, QString::number(b.id));
        set_text(table_, r, BP_PLACE, QString::fromStdString(b.place));
        set_text(table_, r, BP_ADDRESS, hex(b.address, 4));
        set_text(table_, r, BP_CONDITION, QString::fromStdString(b.condition));
        set_text(table_, r, BP_HITS, QString::number(b.hits));
    }
    if (count) table_->resizeColumnsToContents();
}
