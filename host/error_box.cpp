#include "host/error_box.h"

#include <QMessageBox>
#include <QString>

void gui_error_box(const char *caption, const char *text) {
    QMessageBox::critical(nullptr, QString::fromLocal8Bit(caption), QString::fromLocal8Bit(text));
}
