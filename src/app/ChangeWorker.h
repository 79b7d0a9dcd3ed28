#pragma once

#include <QObject>
#include <QThreadPool>

#include <chrono>
#include <exception>
#include <functional>
#include <mutex>

// Makes the changes of wallpaper on a thread of their own, one at a time, so that the window thread
// goes on serving the windows, the tray and the session bus while a picture renders, a desktop's
// command runs or a plug-in hangs. The end of a change comes back to the window thread as an event.
class ChangeWorker : public QObject {
public:
    using Job = std::function<void()>; // runs on the worker's thread
    // Runs on this object's thread once the job has ended; `error` is null when it succeeded.
    using Done = std::function<void(const std::exception_ptr &error)>;

    ChangeWorker();
    // Waits for a running job; its Done is not called.
    ~ChangeWorker() override;
    ChangeWorker(const ChangeWorker &) = delete;
    ChangeWorker &operator=(const ChangeWorker &) = delete;

    // Starts `job`, and `done` once it has ended. Only while not Busy().
    void Start(Job job, Done done);
    // From Start until its Done is called.
    bool Busy() const { return busy_; }
    // Blocks until the running job has ended, then calls its Done: for the program's end, when no
    // event loop runs any more. A job still running after `patience` is cut off by `cutOff`, which
    // must make it end soon.
    void FinishNow(std::chrono::milliseconds patience, const std::function<void()> &cutOff);

    // Serves this thread's events, user input held back, until `ready` holds: the windows repaint and
    // the bus is answered meanwhile, while the busy cursor shows that clicks wait. `ready` may only
    // change through an event.
    static void ServeEventsUntil(const std::function<bool()> &ready);

private:
    // Hands the ended job's result to its Done, once.
    void Deliver();

    QThreadPool pool_;
    bool busy_ = false;
    Done done_;
    std::mutex mutex_; // guards ended_ and error_, which the worker sets
    bool ended_ = false;
    std::exception_ptr error_;
};
