// quillane --watch: polls the images named on the command line and reloads them
// (debug/core/reload.h) once a change has settled: the file exists and its size and modification
// time stayed the same for 200 ms, so a file an assembler or qcc is still writing is never loaded
// half. Polling by name also follows editors and compilers that replace a file by renaming a new
// one over it. A reload that fails (a file still incomplete) is reported and tried again at the
// next change.
#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <string>
#include <vector>

class QTimer;
struct dbg_engine_t;

class gui_reloader : public QObject {
    Q_OBJECT
  public:
    gui_reloader(dbg_engine_t *engine, const std::vector<std::string> &images,
                 const std::vector<std::string> &type, QObject *parent = nullptr);

  signals:
    // After each reload: an empty error when it worked, and a line for each breakpoint moved or
    // deleted and each file of debug information that could not be read.
    void reloaded(const QString &error, const QString &report);

  private:
    struct watched_t {
        QString path;
        bool exists;
        qint64 size;
        QDateTime modified;
    };
    void poll();

    dbg_engine_t *engine_;
    std::vector<std::string> images_, type_;
    std::vector<watched_t> watched_;
    QTimer *timer_;
    bool pending_ = false;
    qint64 changed_at_ = 0; // ms since the epoch of the last change seen
};
