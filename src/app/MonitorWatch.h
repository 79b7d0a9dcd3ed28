#pragma once

#include <QObject>
#include <QTimer>

#include <functional>

class QScreen;

// Tells once, after the session's monitors have settled, that they were added, removed, moved or
// resized: a hot-plug or a new arrangement arrives as a burst of screen signals.
class MonitorWatch : public QObject {
public:
    // `settleMs` after the last change of a burst, `changed` is called.
    MonitorWatch(std::function<void()> changed, int settleMs, QObject *parent);

private:
    void Watch(QScreen *screen);

    std::function<void()> changed_;
    QTimer settle_;
};
