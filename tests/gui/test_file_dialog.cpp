// The Open and Save commands driven through their real dialogs on the offscreen platform: the
// save dialog's row of fields, the checks before it may close, and what lands on disk or in
// memory.
#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <functional>
#include <map>

#include "harness.h"
#include "host/file_dialog.h"
#include "host/gui.h"
#include "machine/emu.h"
#include "machine/process.h"

namespace {

const char *const start_message = "Start address should be a valid hexadecimal number.";
const char *const length_message = "Length should be a valid hexadecimal number.";
const char *const range_message =
    "Memory block should be at least one byte and not exceed 64K address space.";

struct box_seen {
    QString title;
    QString text;
    QString details;
    QMessageBox::Icon icon;
    QWidget *owner;
};

// Closes every message box that shows up while it lives, answering Yes where there is a Yes (the
// overwrite question) and OK otherwise, and keeps what each one said.
class box_watcher {
  public:
    box_watcher() {
        QObject::connect(&timer_, &QTimer::timeout, [this] { poll(); });
        timer_.start(10);
    }
    std::vector<box_seen> seen;

  private:
    void poll() {
        for (QWidget *w : QApplication::topLevelWidgets()) {
            auto *box = qobject_cast<QMessageBox *>(w);
            if (!box || !box->isVisible() || box->property("answered").toBool()) continue;
            box->setProperty("answered", true);
            seen.push_back({box->windowTitle(), box->text(), box->informativeText(), box->icon(),
                            box->parentWidget()});
            QAbstractButton *answer = box->button(QMessageBox::Yes);
            if (!answer) answer = box->button(QMessageBox::Ok);
            if (answer)
                answer->click();
            else
                box->reject();
        }
    }
    QTimer timer_;
};

// Runs command (which opens a file dialog and waits for it) and, once the dialog is up, hands it
// to script. Returns false when no dialog appeared.
bool with_dialog(const std::function<void()> &command,
                 const std::function<void(QFileDialog *)> &script) {
    bool done = false;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (done) return;
        for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *dialog = qobject_cast<QFileDialog *>(w); dialog && dialog->isVisible()) {
                done = true;
                timer.stop();
                script(dialog);
                return;
            }
    });
    timer.start(10);
    command();
    return done;
}

QLineEdit *field(QFileDialog *dialog, int id) {
    return dialog->findChild<QLineEdit *>(QString::number(id));
}

// Types a path into the file name field, as the user would. (QFileDialog::selectFile leaves the
// field alone once it has the focus.)
void type_name(QFileDialog *dialog, const QString &path) {
    auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
    QVERIFY(name);
    name->setText(path);
}

// Presses the dialog's Save / Open button as the user would. The dialog checks the typed name
// against its directory listing, which it reads in the background, and only when the name
// changes; so the name is typed again until the button comes on. A button that stays disabled
// cancels the dialog so that the test cannot hang on it.
bool press_accept(QFileDialog *dialog) {
    auto *buttons = dialog->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
    auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
    QAbstractButton *accept = nullptr;
    if (buttons)
        for (QAbstractButton *b : buttons->buttons())
            if (buttons->buttonRole(b) == QDialogButtonBox::AcceptRole) accept = b;
    QElapsedTimer waited;
    waited.start();
    while (accept && name && !accept->isEnabled() && waited.elapsed() < 10000) {
        QTest::qWait(50);
        const QString typed = name->text();
        name->setText(QString());
        name->setText(typed);
    }
    if (!accept || !accept->isEnabled()) {
        dialog->reject();
        return false;
    }
    accept->click();
    return true;
}

// Reads an Intel HEX file of data records into address -> byte, checking each record's form and
// checksum; the line count goes to *records.
bool read_hex(const QString &path, std::map<uint32_t, uint8_t> *bytes, int *records) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    const QByteArray all = file.readAll();
    if (!all.endsWith("\r\n")) return false;
    const QList<QByteArray> lines = all.chopped(1).split('\n');
    *records = 0;
    for (QByteArray line : lines) {
        if (!line.endsWith('\r') || !line.startsWith(':')) return false;
        line.chop(1);
        const QByteArray raw = QByteArray::fromHex(line.mid(1));
        if (raw.size() < 5 || raw.size() != 5 + static_cast<uint8_t>(raw[0]) || raw[3] != 0)
            return false;
        uint8_t sum = 0;
        for (char c : raw)
            sum = static_cast<uint8_t>(sum + static_cast<uint8_t>(c));
        if (sum != 0) return false;
        const uint32_t address = (static_cast<uint8_t>(raw[1]) << 8) | static_cast<uint8_t>(raw[2]);
        for (int i = 0; i < static_cast<uint8_t>(raw[0]); ++i)
            (*bytes)[address + i] = static_cast<uint8_t>(raw[4 + i]);
        ++*records;
    }
    return true;
}

QByteArray hex_record(uint16_t address, const QByteArray &data) {
    QByteArray raw;
    raw.append(static_cast<char>(data.size()));
    raw.append(static_cast<char>(address >> 8));
    raw.append(static_cast<char>(address & 0xFF));
    raw.append('\0');
    raw.append(data);
    uint8_t sum = 0;
    for (char c : raw)
        sum = static_cast<uint8_t>(sum + static_cast<uint8_t>(c));
    raw.append(static_cast<char>(-sum));
    return ":" + raw.toHex().toUpper() + "\r\n";
}

void write_file(const QString &path, const QByteArray &content) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
}

uint8_t pattern(uint32_t address) {
    return static_cast<uint8_t>(address * 7 + (address >> 8) + 3);
}

} // namespace

class test_file_dialog : public QObject {
    Q_OBJECT

    emu_t *emu = nullptr;
    QWidget *main_window = nullptr;
    std::unique_ptr<QTemporaryDir> dir;

    QString path(const char *name) const { return dir->filePath(QString::fromLatin1(name)); }

    // One attempt at the save dialog with the given fields; the dialog is cancelled if the attempt
    // left it open. Returns the message boxes seen.
    std::vector<box_seen> save_attempt(const QString &file, const QString &start,
                                       const QString &length, bool *stayed_open,
                                       QFileDialog **dialog_seen = nullptr) {
        box_watcher boxes;
        *stayed_open = false;
        const bool shown = with_dialog([this] { emu_save_file(&emu->gui, emu); },
                                       [&](QFileDialog *d) {
                                           if (dialog_seen) *dialog_seen = d;
                                           type_name(d, file);
                                           field(d, EMU_SAVE_START_FIELD_ID)->setText(start);
                                           field(d, EMU_SAVE_LENGTH_FIELD_ID)->setText(length);
                                           QVERIFY(press_accept(d));
                                           if (d->isVisible()) {
                                               *stayed_open = true;
                                               d->reject();
                                           }
                                       });
        if (!shown) qWarning("the save dialog did not appear");
        return boxes.seen;
    }

  private slots:
    void init() {
        emu = harness_init();
        for (uint32_t a = 0; a < EMU_MEMORY_SIZE; ++a)
            emu->memory[a] = pattern(a);
        QCOMPARE(gui_initialize(&emu->gui, emu), 0);
        main_window = static_cast<QWidget *>(emu->gui.window);
        dir = std::make_unique<QTemporaryDir>();
        QVERIFY(dir->isValid());
    }

    void cleanup() {
        gui_finalize(&emu->gui);
        dir.reset();
    }

    // The cases the dialog-driven test below does not already cover.
    void validation_rules_data() {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("length");
        QTest::addColumn<int>("status");
        QTest::addColumn<uint>("block");
        auto row = [](const char *name, const char *start, const char *length, int status,
                      uint block) {
            QTest::newRow(name) << QString(start) << QString(length) << status << block;
        };
        row("FFFF + 1 is the last byte", "FFFF", "1", 0, 0xFFFF0001u);
        row("whole memory carried as 0", "0", "10000", 0, 0u);
        row("five digits read in full", "0", "0FFFF", 0, 0x0000FFFFu);
        row("1 + FFFF reaches the end", "1", "FFFF", 0, 0x0001FFFFu);
        row("1 + 10000 passes it", "1", "10000", 3, 0u);
        row("bad start wins over bad length", "12G4", "XYZ", 1, 0u);
        row("space is not a digit", " 10", "1", 1, 0u);
        row("start longer than its field", "12345", "1", 1, 0u);
        row("length longer than its field", "0", "000001", 2, 0u);
        row("sign is not a digit", "0", "-1", 2, 0u);
    }

    void validation_rules() {
        QFETCH(QString, start);
        QFETCH(QString, length);
        QFETCH(int, status);
        QFETCH(uint, block);
        uint32_t got = 0xDEADBEEF;
        QCOMPARE(emu_validate_save_block(start.toLatin1().constData(),
                                         length.toLatin1().constData(), &got),
                 status);
        if (status == EMU_SAVE_BLOCK_OK)
            QCOMPARE(got, block);
        else
            QCOMPARE(got, 0xDEADBEEFu); // nothing is stored for a refused block
    }

    void messages_and_block_decoding() {
        QCOMPARE(emu_save_block_message(EMU_SAVE_BLOCK_OK), nullptr);
        QCOMPARE(emu_save_block_message(EMU_SAVE_BLOCK_BAD_START), start_message);
        QCOMPARE(emu_save_block_message(EMU_SAVE_BLOCK_BAD_LENGTH), length_message);
        QCOMPARE(emu_save_block_message(EMU_SAVE_BLOCK_BAD_RANGE), range_message);
        QCOMPARE(emu_save_block_message(4), nullptr);
        uint16_t start = 0;
        uint32_t length = 0;
        emu_decode_save_block(0x00000000u, &start, &length);
        QCOMPARE(start, uint16_t{0});
        QCOMPARE(length, 65536u);
        emu_decode_save_block(0xFFFF0001u, &start, &length);
        QCOMPARE(start, uint16_t{0xFFFF});
        QCOMPARE(length, 1u);
        emu_decode_save_block(0x0001FFFFu, &start, &length);
        QCOMPARE(start, uint16_t{1});
        QCOMPARE(length, 0xFFFFu);
    }

    void save_dialog_row_and_its_keys() {
        bool checked = false;
        QVERIFY(with_dialog(
            [this] { emu_save_file(&emu->gui, emu); },
            [&](QFileDialog *d) {
                auto finish = qScopeGuard([&] { d->reject(); });
                QCOMPARE(d->acceptMode(), QFileDialog::AcceptSave);
                QVERIFY(d->testOption(QFileDialog::DontUseNativeDialog));
                QCOMPARE(d->nameFilters(), QStringList{QStringLiteral("Intel Hex Files (*.hex)")});
                QVERIFY(d->testOption(QFileDialog::HideNameFilterDetails));
                QCOMPARE(d->defaultSuffix(), QStringLiteral("hex"));
                QVERIFY(!d->testOption(QFileDialog::DontConfirmOverwrite));

                auto *start_label = d->findChild<QLabel *>(QStringLiteral("101"));
                auto *length_label = d->findChild<QLabel *>(QStringLiteral("103"));
                auto *unit_label = d->findChild<QLabel *>(QStringLiteral("105"));
                QLineEdit *start = field(d, 102);
                QLineEdit *length = field(d, 104);
                QVERIFY(start_label && length_label && unit_label && start && length);
                QCOMPARE(start_label->text(), QStringLiteral("Start &address:"));
                QCOMPARE(length_label->text(), QStringLiteral("&Length:"));
                QCOMPARE(unit_label->text(), QStringLiteral("hexadecimal"));
                QCOMPARE(start->text(), QStringLiteral("0"));
                QCOMPARE(length->text(), QStringLiteral("10000"));
                QCOMPARE(start->maxLength(), 4);
                QCOMPARE(length->maxLength(), 5);
                QCOMPARE(start_label->buddy(), start);
                QCOMPARE(length_label->buddy(), length);

                auto *type_box = d->findChild<QComboBox *>(QStringLiteral("fileTypeCombo"));
                QVERIFY(type_box);
                QCOMPARE(type_box->nextInFocusChain(), static_cast<QWidget *>(start));
                QCOMPARE(start->nextInFocusChain(), static_cast<QWidget *>(length));

                // Typing is limited to the field sizes.
                start->clear();
                QTest::keyClicks(start, QStringLiteral("123456"));
                QCOMPARE(start->text(), QStringLiteral("1234"));

                // The mnemonics focus the fields.
                QTRY_VERIFY(d->isActiveWindow());
                QTest::keyClick(d, Qt::Key_L, Qt::AltModifier);
                QTRY_VERIFY(length->hasFocus());
                QTest::keyClick(d, Qt::Key_A, Qt::AltModifier);
                QTRY_VERIFY(start->hasFocus());
                checked = true;
            }));
        QVERIFY(checked);
    }

    void save_block_through_the_dialog_data() {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("length");
        QTest::addColumn<QString>("message"); // empty when accepted
        QTest::addColumn<uint>("first");
        QTest::addColumn<uint>("count");
        auto row = [](const char *name, const char *start, const char *length, const char *message,
                      uint first, uint count) {
            QTest::newRow(name) << QString(start) << QString(length) << QString(message) << first
                                << count;
        };
        row("FFFF with 1", "FFFF", "1", "", 0xFFFFu, 1u);
        row("FFFF with 2", "FFFF", "2", range_message, 0u, 0u);
        row("ffff with 1", "ffff", "1", "", 0xFFFFu, 1u);
        row("empty start", "", "21", "", 0u, 0x21u);
        row("empty length", "0", "", range_message, 0u, 0u);
        row("zero length", "0", "0", range_message, 0u, 0u);
        row("10001", "0", "10001", range_message, 0u, 0u);
        row("0FFFF in full", "0", "0FFFF", "", 0u, 0xFFFFu);
        row("8000 with 8000", "8000", "8000", "", 0x8000u, 0x8000u);
        row("bad start before bad length", "G", "H", start_message, 0u, 0u);
        row("bad length", "10", "1x", length_message, 0u, 0u);
    }

    void save_block_through_the_dialog() {
        QFETCH(QString, start);
        QFETCH(QString, length);
        QFETCH(QString, message);
        QFETCH(uint, first);
        QFETCH(uint, count);
        const QString file = path("block.hex");
        bool stayed_open = false;
        QFileDialog *dialog = nullptr;
        const std::vector<box_seen> boxes =
            save_attempt(file, start, length, &stayed_open, &dialog);
        if (!message.isEmpty()) {
            QVERIFY(stayed_open);
            QCOMPARE(boxes.size(), size_t{1});
            QCOMPARE(boxes[0].text, message);
            QCOMPARE(boxes[0].title, QStringLiteral("Error"));
            QCOMPARE(boxes[0].icon, QMessageBox::Critical);
            QCOMPARE(boxes[0].owner, static_cast<QWidget *>(dialog));
            QVERIFY(!QFile::exists(file));
            return;
        }
        QVERIFY(!stayed_open);
        QVERIFY(boxes.empty());
        std::map<uint32_t, uint8_t> bytes;
        int records = 0;
        QVERIFY(read_hex(file, &bytes, &records));
        QCOMPARE(bytes.size(), size_t{count});
        QCOMPARE(records, static_cast<int>((count + 31) / 32));
        QCOMPARE(bytes.begin()->first, first);
        QCOMPARE(bytes.rbegin()->first, first + count - 1);
        for (const auto &[address, value] : bytes)
            QCOMPARE(value, pattern(address));
    }

    void default_save_is_the_whole_memory() {
        const QString file = path("all.hex");
        bool stayed_open = false;
        box_watcher boxes;
        QVERIFY(with_dialog([this] { emu_save_file(&emu->gui, emu); },
                            [&](QFileDialog *d) {
                                type_name(d, file);
                                QVERIFY(press_accept(d));
                                stayed_open = d->isVisible();
                            }));
        QVERIFY(!stayed_open);
        QVERIFY(boxes.seen.empty());
        QFile raw(file);
        QVERIFY(raw.open(QIODevice::ReadOnly));
        const QByteArray content = raw.readAll();
        QCOMPARE(content.size(), 2048 * (75 + 2));
        QVERIFY(content.startsWith(":20000000"));
        QCOMPARE(content.mid(2047 * 77, 9), QByteArray(":20FFE000"));
        std::map<uint32_t, uint8_t> bytes;
        int records = 0;
        QVERIFY(read_hex(file, &bytes, &records));
        QCOMPARE(records, 2048);
        QCOMPARE(bytes.size(), size_t{65536});
        for (const auto &[address, value] : bytes)
            QCOMPARE(value, pattern(address));
    }

    void bare_name_gets_the_suffix_and_overwrite_is_asked() {
        bool stayed_open = false;
        std::vector<box_seen> boxes = save_attempt(path("image"), "2000", "10", &stayed_open);
        QVERIFY(!stayed_open);
        QVERIFY(boxes.empty());
        QVERIFY(QFile::exists(path("image.hex")));
        QVERIFY(!QFile::exists(path("image")));

        // Saving again over it asks first (the watcher answers Yes), then replaces it.
        emu->memory[0x2000] = 0xA5;
        boxes = save_attempt(path("image.hex"), "2000", "1", &stayed_open);
        QVERIFY(!stayed_open);
        QCOMPARE(boxes.size(), size_t{1});
        QVERIFY(boxes[0].text.contains(QStringLiteral("already exists")));
        std::map<uint32_t, uint8_t> bytes;
        int records = 0;
        QVERIFY(read_hex(path("image.hex"), &bytes, &records));
        QCOMPARE(bytes.size(), size_t{1});
        QCOMPARE(bytes[0x2000], uint8_t{0xA5});
    }

    void cancelling_does_nothing() {
        box_watcher boxes;
        QVERIFY(with_dialog([this] { emu_save_file(&emu->gui, emu); },
                            [&](QFileDialog *d) {
                                type_name(d, path("never.hex"));
                                d->reject();
                            }));
        QVERIFY(with_dialog([this] { emu_open_file(&emu->gui, emu); },
                            [&](QFileDialog *d) { d->reject(); }));
        QVERIFY(!QFile::exists(path("never.hex")));
        QVERIFY(boxes.seen.empty());
        for (uint32_t a = 0; a < EMU_MEMORY_SIZE; ++a)
            QCOMPARE(emu->memory[a], pattern(a));
    }

    void save_that_cannot_be_written_says_so() {
        // A path below a plain file cannot be created, even by root.
        write_file(path("plain"), "x");
        bool stayed_open = false;
        const std::vector<box_seen> boxes =
            save_attempt(path("plain") + "/image.hex", "0", "10", &stayed_open);
        QVERIFY(!stayed_open);
        QCOMPARE(boxes.size(), size_t{1});
        QCOMPARE(boxes[0].text, QStringLiteral("Unable to save HEX file"));
        QCOMPARE(boxes[0].details, path("plain") + "/image.hex\nNot a directory");
        QCOMPARE(boxes[0].title, QStringLiteral("Error"));
        QCOMPARE(boxes[0].icon, QMessageBox::Critical);
        QCOMPARE(boxes[0].owner, main_window);
    }

    void save_into_a_missing_folder_keeps_the_dialog_open() {
        bool stayed_open = false;
        const std::vector<box_seen> boxes =
            save_attempt(path("missing") + "/image.hex", "0", "10", &stayed_open);
        QVERIFY(stayed_open);
        QCOMPARE(boxes.size(), size_t{1});
        QCOMPARE(boxes[0].text, QStringLiteral("The folder does not exist."));
        QCOMPARE(boxes[0].details, path("missing"));
        QVERIFY(!QFile::exists(path("missing")));
    }

    void open_loads_into_memory_without_moving_the_processor() {
        write_file(path("load.hex"),
                   hex_record(0x4000, "\x11\x22\x33") + hex_record(0x0100, "\x44"));
        emu->cpu.PC = 0x1234;
        box_watcher boxes;
        QVERIFY(with_dialog([this] { emu_open_file(&emu->gui, emu); },
                            [&](QFileDialog *d) {
                                QCOMPARE(d->fileMode(), QFileDialog::ExistingFile);
                                QCOMPARE(d->nameFilters(),
                                         (QStringList{QStringLiteral("Intel Hex Files (*.hex)"),
                                                      QStringLiteral("All Files (*)")}));
                                QVERIFY(d->testOption(QFileDialog::HideNameFilterDetails));
                                type_name(d, path("load.hex"));
                                QVERIFY(press_accept(d));
                            }));
        QVERIFY(boxes.seen.empty());
        QCOMPARE(emu->memory[0x4000], uint8_t{0x11});
        QCOMPARE(emu->memory[0x4002], uint8_t{0x33});
        QCOMPARE(emu->memory[0x4003], pattern(0x4003));
        QCOMPARE(emu->memory[0x0100], uint8_t{0x44}); // the loader may write the ROM area
        QCOMPARE(emu->cpu.PC, uint16_t{0x1234});
    }

    void open_needs_an_existing_file() {
        box_watcher boxes;
        bool stayed_open = false;
        QVERIFY(with_dialog([this] { emu_open_file(&emu->gui, emu); },
                            [&](QFileDialog *d) {
                                type_name(d, path("missing.hex"));
                                static_cast<QDialog *>(d)->accept();
                                stayed_open = d->isVisible();
                                d->reject();
                            }));
        QVERIFY(stayed_open);
        for (const box_seen &box : boxes.seen)
            QVERIFY(box.text != QStringLiteral("Unable to load HEX file"));
    }

    void image_that_fails_to_decode_keeps_the_records_before_it() {
        QByteArray bad = hex_record(0x5002, "\x03");
        bad[bad.size() - 3] = bad[bad.size() - 3] == '0' ? '1' : '0'; // spoil the checksum
        write_file(path("bad.hex"), hex_record(0x5000, "\x01") + hex_record(0x5001, "\x02") + bad +
                                        hex_record(0x5003, "\x04"));
        box_watcher boxes;
        QVERIFY(with_dialog([this] { emu_open_file(&emu->gui, emu); },
                            [&](QFileDialog *d) {
                                type_name(d, path("bad.hex"));
                                QVERIFY(press_accept(d));
                            }));
        QCOMPARE(boxes.seen.size(), size_t{1});
        QCOMPARE(boxes.seen[0].text, QStringLiteral("Unable to load HEX file"));
        QCOMPARE(boxes.seen[0].details, path("bad.hex") + "\nLine 3: bad checksum");
        QCOMPARE(boxes.seen[0].title, QStringLiteral("Error"));
        QCOMPARE(boxes.seen[0].icon, QMessageBox::Critical);
        QCOMPARE(boxes.seen[0].owner, main_window);
        QCOMPARE(emu->memory[0x5000], uint8_t{0x01});
        QCOMPARE(emu->memory[0x5001], uint8_t{0x02});
        QCOMPARE(emu->memory[0x5002], pattern(0x5002));
        QCOMPARE(emu->memory[0x5003], pattern(0x5003));
    }

    void image_over_the_rom_reaches_the_running_program() {
        // At 0x0000: LD A,(1000h); LD (4000h),A; JR 0000h, copying a ROM byte to RAM for ever.
        const uint8_t program[] = {0x3A, 0x00, 0x10, 0x32, 0x00, 0x40, 0x18, 0xF8};
        std::memcpy(emu->memory, program, sizeof program);
        emu->memory[0x1000] = 0x11;
        emu->memory[0x4000] = 0x00;
        emu->cpu.PC = 0;
        write_file(path("rom.hex"), hex_record(0x1000, "\x5A"));

        QCOMPARE(emu_start_threads(emu), 0);
        auto stop = qScopeGuard([this] {
            emu_set_running(emu, 0);
            emu_stop_threads(emu);
        });
        QTRY_COMPARE(std::atomic_ref<uint8_t>(emu->memory[0x4000]).load(), uint8_t{0x11});
        box_watcher boxes;
        QVERIFY(with_dialog([this] { emu_open_file(&emu->gui, emu); },
                            [&](QFileDialog *d) {
                                type_name(d, path("rom.hex"));
                                QVERIFY(press_accept(d));
                            }));
        QVERIFY(boxes.seen.empty());
        QTRY_COMPARE(std::atomic_ref<uint8_t>(emu->memory[0x4000]).load(), uint8_t{0x5A});
    }
};

QTEST_MAIN(test_file_dialog)
#include "test_file_dialog.moc"
