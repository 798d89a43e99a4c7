#include "host/file_dialog.h"

#include <QComboBox>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "files/file.h"
#include "files/ihex.h"
#include "host/error_box.h"
#include "host/gui.h"
#include "machine/emu.h"
#include "machine/lock.h"

namespace {

constexpr const char *emu_hex_filter = "Intel Hex Files (*.hex)";
constexpr const char *emu_all_files_filter = "All Files (*)";

QWidget *emu_dialog_owner(gui_t *gui) {
    return gui ? static_cast<QWidget *>(gui->window) : nullptr;
}

void emu_error_message(QWidget *owner, const char *text, const QString &details = QString()) {
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Error"), QString::fromLatin1(text),
                    QMessageBox::Ok, owner);
    box.setInformativeText(details);
    box.exec();
}

// The display area takes the keyboard back once a dialog has closed, so that the next key goes to
// the board.
void emu_give_focus_back(gui_t *gui) {
    if (gui) gui_focus_display(gui);
}

// A failed load or save: the message box, with the file and the reason as its informative text,
// and the same on stderr for whoever started the program from a terminal.
void emu_file_failure(gui_t *gui, const char *text, const QByteArray &path,
                      const emu_file_error_t &error) {
    const QString details = gui_file_error_details(path.constData(), error);
    std::fprintf(stderr, "quillane: %s: %s\n", text,
                 details.toLocal8Bit().replace('\n', ": ").constData());
    std::fflush(stderr);
    emu_error_message(emu_dialog_owner(gui), text, details);
    emu_give_focus_back(gui);
}

// A job's work and whether it is done, shared with its thread, which may outlive the caller.
struct emu_file_job_t {
    std::function<void()> work;
    std::atomic<bool> done{false};
};

bool emu_file_job_busy = false;

// The save dialog: Qt's own file dialog (a native one could not carry the extra row) with the
// start and length fields below the file type, checked before the dialog may close.
class emu_save_dialog : public QFileDialog {
  public:
    explicit emu_save_dialog(QWidget *owner);
    uint32_t block() const { return block_; }

  protected:
    void accept() override;

  private:
    QLineEdit *start_field_;
    QLineEdit *length_field_;
    uint32_t block_ = 0;
};

QLabel *emu_add_label(QWidget *parent, QHBoxLayout *row, const char *text, int id) {
    auto *label = new QLabel(QString::fromLatin1(text), parent);
    label->setObjectName(QString::number(id));
    row->addWidget(label);
    return label;
}

QLineEdit *emu_add_field(QWidget *parent, QHBoxLayout *row, const char *text, int max_length,
                         int id) {
    auto *field = new QLineEdit(QString::fromLatin1(text), parent);
    field->setObjectName(QString::number(id));
    field->setMaxLength(max_length);
    field->setFixedWidth(56);
    row->addWidget(field);
    return field;
}

emu_save_dialog::emu_save_dialog(QWidget *owner) : QFileDialog(owner) {
    setOption(QFileDialog::DontUseNativeDialog, true);
    setAcceptMode(QFileDialog::AcceptSave);
    setFileMode(QFileDialog::AnyFile);
    setNameFilter(QString::fromLatin1(emu_hex_filter));
    setOption(QFileDialog::HideNameFilterDetails, true);
    setDefaultSuffix(QStringLiteral("hex"));

    auto *row_widget = new QWidget(this);
    auto *row = new QHBoxLayout(row_widget);
    row->setContentsMargins(0, 0, 0, 0);
    QLabel *start_label =
        emu_add_label(row_widget, row, "Start &address:", EMU_SAVE_START_LABEL_ID);
    start_field_ =
        emu_add_field(row_widget, row, "0", EMU_SAVE_START_DIGITS, EMU_SAVE_START_FIELD_ID);
    QLabel *length_label = emu_add_label(row_widget, row, "&Length:", EMU_SAVE_LENGTH_LABEL_ID);
    length_field_ =
        emu_add_field(row_widget, row, "10000", EMU_SAVE_LENGTH_DIGITS, EMU_SAVE_LENGTH_FIELD_ID);
    emu_add_label(row_widget, row, "hexadecimal", EMU_SAVE_UNIT_LABEL_ID);
    row->addStretch(1);
    start_label->setBuddy(start_field_);
    length_label->setBuddy(length_field_);

    if (auto *grid = qobject_cast<QGridLayout *>(layout()))
        grid->addWidget(row_widget, grid->rowCount(), 0, 1, grid->columnCount());
    else if (layout())
        layout()->addWidget(row_widget);

    // The fields come right after the file type box when tabbing.
    if (auto *type_box = findChild<QComboBox *>(QStringLiteral("fileTypeCombo")))
        setTabOrder(type_box, start_field_);
    setTabOrder(start_field_, length_field_);
}

void emu_save_dialog::accept() {
    // Enter on a directory name (or an empty name) only changes the directory: leave that to Qt.
    const QStringList files = selectedFiles();
    if (files.isEmpty() || QFileInfo(files.first()).isDir()) {
        QFileDialog::accept();
        return;
    }
    // A folder that does not exist is reported while the user can still choose another.
    const QFileInfo folder(QFileInfo(files.first()).absolutePath());
    if (!folder.exists()) {
        emu_error_message(this, "The folder does not exist.", folder.filePath());
        return;
    }
    uint32_t block = 0;
    const int status = emu_validate_save_block(start_field_->text().toUtf8().constData(),
                                               length_field_->text().toUtf8().constData(), &block);
    if (status != EMU_SAVE_BLOCK_OK) {
        emu_error_message(this, emu_save_block_message(status));
        return;
    }
    block_ = block;
    QFileDialog::accept();
}

} // namespace

bool emu_run_file_job(std::function<void()> work) {
    auto job = std::make_shared<emu_file_job_t>();
    job->work = std::move(work);
    emu_file_job_busy = true;
    std::thread worker([job] {
        job->work();
        job->done.store(true, std::memory_order_release);
    });
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (job->done.load(std::memory_order_acquire)) loop.quit();
    });
    poll.start(10);
    if (!job->done.load(std::memory_order_acquire)) loop.exec();
    emu_file_job_busy = false;
    if (job->done.load(std::memory_order_acquire)) {
        worker.join();
        return true;
    }
    worker.detach();
    return false;
}

bool emu_file_job_running() {
    return emu_file_job_busy;
}

bool emu_open_file(gui_t *gui, emu_t *machine) {
    if (emu_file_job_running()) return false;
    QWidget *owner = emu_dialog_owner(gui);
    QFileDialog dialog(owner);
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setOption(QFileDialog::HideNameFilterDetails, true);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    // All files too: the C compiler writes its images as .ihx.
    dialog.setNameFilters(
        {QString::fromLatin1(emu_hex_filter), QString::fromLatin1(emu_all_files_filter)});
    const bool chosen = dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty();
    emu_give_focus_back(gui);
    if (!chosen) return false;
    const QByteArray path = QFile::encodeName(dialog.selectedFiles().first());

    // The whole file is read and decoded first, without the lock; only storing the decoded bytes
    // holds the processor up. The processor keeps its PC and runs on over the new contents.
    auto image = std::make_shared<emu_ihex_image_t>();
    auto error = std::make_shared<emu_file_error_t>();
    auto result = std::make_shared<int>(1);
    if (!emu_run_file_job([path, image, error, result] {
            *result =
                emu_read_ihex_file(path.constData(), image.get(), EMU_MEMORY_SIZE, error.get());
        }))
        return false;
    emu_lock_enter(&machine->lock);
    emu_store_ihex_image(image.get(), machine->memory, EMU_MEMORY_SIZE);
    emu_lock_leave(&machine->lock);
    if (*result != 0) emu_file_failure(gui, "Unable to load HEX file", path, *error);
    return true;
}

void emu_save_file(gui_t *gui, emu_t *machine) {
    if (emu_file_job_running()) return;
    QWidget *owner = emu_dialog_owner(gui);
    emu_save_dialog dialog(owner);
    const bool chosen = dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty();
    emu_give_focus_back(gui);
    if (!chosen) return;
    const QByteArray path = QFile::encodeName(dialog.selectedFiles().first());
    uint16_t start = 0;
    uint32_t length = 0;
    emu_decode_save_block(dialog.block(), &start, &length);

    // The block is copied under the lock and written from the copy without it, so a write that
    // blocks never holds up the processor.
    auto copy = std::make_shared<std::vector<uint8_t>>(EMU_MEMORY_SIZE);
    emu_lock_enter(&machine->lock);
    std::memcpy(copy->data() + start, machine->memory + start, length);
    emu_lock_leave(&machine->lock);
    auto error = std::make_shared<emu_file_error_t>();
    auto result = std::make_shared<int>(1);
    if (!emu_run_file_job([path, start, length, copy, error, result] {
            *result = emu_save_ihex_file(path.constData(), start, length, copy->data(),
                                         EMU_MEMORY_SIZE, error.get());
        }))
        return;
    if (*result != 0) emu_file_failure(gui, "Unable to save HEX file", path, *error);
}
