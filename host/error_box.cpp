#include "host/error_box.h"

#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <cstdio>

#include "files/file.h"

void gui_error_box(const char *caption, const char *text) {
    gui_error_box_details(caption, text, QString());
}

void gui_error_box_details(const char *caption, const char *text, const QString &details) {
    QMessageBox box(QMessageBox::Critical, QString::fromLocal8Bit(caption),
                    QString::fromLocal8Bit(text), QMessageBox::Ok);
    box.setInformativeText(details);
    box.exec();
}

QString gui_file_error_details(const char *path, const emu_file_error_t &error) {
    return QFile::decodeName(path) + QLatin1Char('\n') +
           QString::fromLocal8Bit(emu_file_error_reason(error).c_str());
}

void gui_rom_error_box(const char *file_name, const emu_file_error_t &error) {
    const QString folder = QDir::currentPath();
    const QByteArray path =
        QFile::encodeName(QDir(folder).filePath(QString::fromLocal8Bit(file_name)));
    const QString details = gui_file_error_details(path.constData(), error) +
                            QStringLiteral("\nThe program looks for %1 in the folder it is started "
                                           "from: %2")
                                .arg(QString::fromLocal8Bit(file_name), folder);
    // "Unable to load tessik.hex ROM file" unless --rom named another file.
    const QByteArray text = QStringLiteral("Unable to load %1 ROM file")
                                .arg(QString::fromLocal8Bit(file_name))
                                .toLocal8Bit();
    // The terminal gets the file tried and the reason too, as for any failed load.
    std::fprintf(stderr, "quillane: %s: %s\n", text.constData(),
                 gui_file_error_details(path.constData(), error)
                     .toLocal8Bit()
                     .replace('\n', ": ")
                     .constData());
    std::fflush(stderr);
    gui_error_box_details("Critical error", text.constData(), details);
}
