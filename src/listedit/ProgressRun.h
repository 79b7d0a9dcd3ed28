#pragma once

#include <QString>

#include <chrono>
#include <functional>
#include <memory>

class QProgressDialog;
class QWidget;

// Runs a piece of work on a worker thread while its window stays responsive. A run that takes
// longer than `delay` shows a window-modal progress dialog with the work's text and a 「中止」
// button (Escape and the dialog's close box stop the run as well); until then the window repaints
// but takes no input, which waits until the run has ended.
class ProgressRun {
public:
    // What the work and the window share. The work may outlive the run: a stopped run does not wait
    // for its worker (a folder listing can hang on a dead network mount), so the work must own, or
    // share through this, everything it touches.
    class Control {
    public:
        Control();
        bool StopRequested() const;
        void RequestStop();
        // The text the dialog shows; may be called from any thread.
        void SetText(const QString &text);
        QString Text() const;

    private:
        friend class ProgressRun;
        struct State;
        std::shared_ptr<State> state_;
    };
    using Work = std::function<void(Control &control)>;

    ProgressRun(QWidget *owner, QString title, std::chrono::milliseconds delay = std::chrono::seconds(1));
    ~ProgressRun();
    ProgressRun(const ProgressRun &) = delete;
    ProgressRun &operator=(const ProgressRun &) = delete;

    // Runs the work to its end and returns true, or returns false as soon as the user stops it.
    // An exception that escapes the work is raised here.
    bool Run(Work work);
    // Stops the run from the window's side (for example when the window is being closed).
    void Stop();
    // The progress dialog while it is shown, else null.
    QProgressDialog *Dialog() const { return dialog_.get(); }

private:
    void ShowDialog();

    QWidget *owner_;
    QString title_;
    std::chrono::milliseconds delay_;
    Control control_;
    std::unique_ptr<QProgressDialog> dialog_;
    std::function<void()> quit_;
};
