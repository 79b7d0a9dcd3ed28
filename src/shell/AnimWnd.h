#pragma once

#include "platform/ui/ErrorReport.h"
#include "shell/ShellEvents.h"

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <functional>

// Watches a form's minimising and restoring. On this platform the window manager draws the
// animation and the form owns its taskbar entry; what remains is the program's view of it: the main
// form's minimise and restore raise OnMinimize and OnRestore with the application as sender, a
// restore brings a hidden main form back, and another form hands its minimise to the main form.
//
// The component created first (the main form's, made while the main window is built) acts for the
// application; the others only pass their form's minimise and restore on to it.
class TAnimateWindow : public QObject {
public:
    // Raises Exception when the form already has one; nothing is hooked then.
    explicit TAnimateWindow(QWidget *form);
    ~TAnimateWindow() override;
    TAnimateWindow(const TAnimateWindow &) = delete;
    TAnimateWindow &operator=(const TAnimateWindow &) = delete;

    TNotifyEvent OnMinimize;
    TNotifyEvent OnRestore;
    // Receives an exception escaping OnMinimize or OnRestore, which run inside Qt's event
    // delivery; without it the message is logged.
    ErrorReportFunction ErrorReport;

    QWidget *Form() const { return form_; }
    // The form of the component that acts for the application; null when there is none.
    static QWidget *MainForm();
    // True when the form carries a TAnimateWindow.
    static bool IsAnimated(const QWidget *form);

protected:
    // Reacts first, then lets the event go on to the form.
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool ActsForApplication() const;
    void DoMinimize();
    void DoRestore();
    static void PostToApplication(bool minimise);
    void Raise(const TNotifyEvent &event);

    QPointer<QWidget> form_;
    bool restoring_ = false;
};
