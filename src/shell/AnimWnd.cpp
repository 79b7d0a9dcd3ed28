#include "shell/AnimWnd.h"

#include "platform/Exceptions.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWindowStateChangeEvent>

#include <algorithm>
#include <vector>

namespace {

// Every form that carries a TAnimateWindow.
std::vector<const QWidget *> &AnimatedForms()
{
    static std::vector<const QWidget *> forms;
    return forms;
}

// The component that acts for the application, and whether the application counts as minimised.
struct ApplicationState {
    QPointer<TAnimateWindow> component;
    bool minimised = false;
};

ApplicationState &Application()
{
    static ApplicationState state;
    return state;
}

} // namespace

TAnimateWindow::TAnimateWindow(QWidget *form) : QObject(form), form_(form)
{
    if (IsAnimated(form))
        throw Exception("AnimateWindowはフォームに一つしか置けません");
    if (!Application().component)
        Application().component = this;
    // Filtering the widget rather than its native window keeps working when the native window is
    // destroyed and created again.
    form->installEventFilter(this);
    AnimatedForms().push_back(form);
}

TAnimateWindow::~TAnimateWindow()
{
    if (Application().component == this) {
        Application().component = nullptr;
        Application().minimised = false;
    }
    if (form_)
        form_->removeEventFilter(this);
    std::erase(AnimatedForms(), form_.data());
}

QWidget *TAnimateWindow::MainForm()
{
    return Application().component ? Application().component->Form() : nullptr;
}

bool TAnimateWindow::IsAnimated(const QWidget *form)
{
    const auto &forms = AnimatedForms();
    return std::find(forms.begin(), forms.end(), form) != forms.end();
}

bool TAnimateWindow::ActsForApplication() const
{
    return Application().component == this;
}

bool TAnimateWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != form_)
        return false;
    if (event->type() == QEvent::WindowStateChange) {
        const bool wasMinimised = static_cast<QWindowStateChangeEvent *>(event)->oldState() & Qt::WindowMinimized;
        const bool isMinimised = form_->windowState() & Qt::WindowMinimized;
        if (isMinimised && !wasMinimised) {
            if (ActsForApplication())
                DoMinimize();
            else
                PostToApplication(true);
        } else if (wasMinimised && !isMinimised) {
            if (ActsForApplication())
                DoRestore();
            else
                PostToApplication(false);
        }
    } else if (event->type() == QEvent::WindowActivate && !ActsForApplication() && Application().minimised) {
        // Another form brought forward while the application is minimised restores the application.
        PostToApplication(false);
    }
    return false;
}

// Queued, as the message to the application window was: the form's own state change finishes first.
void TAnimateWindow::PostToApplication(bool minimise)
{
    QPointer<TAnimateWindow> target = Application().component;
    if (!target)
        return;
    QMetaObject::invokeMethod(
        target,
        [target, minimise] {
            QWidget *main = target->Form();
            if (!main)
                return;
            if (minimise) {
                // A visible main form reports its own minimise through its filter.
                if (main->isVisible() && !(main->windowState() & Qt::WindowMinimized))
                    main->showMinimized();
                else if (!Application().minimised)
                    target->DoMinimize();
            } else if (Application().minimised) {
                target->DoRestore();
            }
        },
        Qt::QueuedConnection);
}

void TAnimateWindow::DoMinimize()
{
    Application().minimised = true;
    Raise(OnMinimize);
}

void TAnimateWindow::DoRestore()
{
    if (restoring_)
        return;
    restoring_ = true;
    Application().minimised = false;
    // Un-minimising the form here comes back through the filter; restoring_ keeps that from
    // raising the event twice.
    if (form_ && (!form_->isVisible() || form_->windowState() & Qt::WindowMinimized))
        form_->showNormal();
    restoring_ = false;
    Raise(OnRestore);
}

void TAnimateWindow::Raise(const TNotifyEvent &event)
{
    if (!event)
        return;
    RunGuarded(ErrorReport, [&] { event(QCoreApplication::instance()); });
}
