// Polling the watched images and reloading them once a change has settled.
#include "host/reload.h"

#include <QFileInfo>
#include <QTimer>
#include <cstdio>

#include "debug/core/reload.h"

namespace {

constexpr int poll_ms = 100;
constexpr qint64 settle_ms = 200;

} // namespace

gui_reloader::gui_reloader(dbg_engine_t *engine, const std::vector<std::string> &images,
                           const std::vector<std::string> &type, QObject *parent)
    : QObject(parent), engine_(engine), images_(images), type_(type) {
    for (const std::string &image : images) {
        const QFileInfo info(QString::fromStdString(image));
        watched_.push_back({info.filePath(), info.exists(), info.size(), info.lastModified()});
    }
    timer_ = new QTimer(this);
    timer_->setInterval(poll_ms);
    connect(timer_, &QTimer::timeout, this, [this] { poll(); });
    timer_->start();
}

void gui_reloader::poll() {
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    bool all_there = true;
    for (watched_t &w : watched_) {
        QFileInfo info(w.path);
        info.setCaching(false);
        const bool exists = info.exists();
        const qint64 size = exists ? info.size() : -1;
        const QDateTime modified = exists ? info.lastModified() : QDateTime();
        if (exists != w.exists || size != w.size || modified != w.modified) {
            w.exists = exists;
            w.size = size;
            w.modified = modified;
            pending_ = true;
            changed_at_ = now;
        }
        all_there = all_there && exists;
    }
    if (!pending_ || !all_there || now - changed_at_ < settle_ms) return;
    pending_ = false;
    std::string error, report;
    std::vector<dbg_reload_change_t> changes;
    const bool good = dbg_reload(engine_, images_, type_, &error, &changes, true, &report);
    if (!good) std::fprintf(stderr, "quillane: reload: %s\n", error.c_str());
    for (const dbg_reload_change_t &change : changes)
        report += change.text + "\n";
    for (size_t at = 0, end; (end = report.find('\n', at)) != std::string::npos; at = end + 1)
        std::fprintf(stderr, "quillane: reload: %s\n", report.substr(at, end - at).c_str());
    emit reloaded(good ? QString() : QString::fromStdString(error), QString::fromStdString(report));
}
