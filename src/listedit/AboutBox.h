#pragma once

#include "platform/ui/ErrorReport.h"

#include <QDialog>
#include <QLabel>

#include <functional>

class Browser;
class QPushButton;

// The user guide installed with the program, as a file URL: beside the program (docs/), in the
// installed documentation folder, or in the source tree of a build that is run in place.
QString UserGuideUrl();

// A label that looks and acts like a link: blue, underlined, hand cursor, runs OnClick when clicked.
class TLinkLabel : public QLabel {
public:
    explicit TLinkLabel(const QString &text, QWidget *parent = nullptr);
    std::function<void()> OnClick;

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
};

// "バージョン情報": product name, version, credits and the link to the user guide.
class TAboutBox : public QDialog {
public:
    // Errors escaping a handler go to `report` (logged when there is none).
    TAboutBox(Browser &browser, QWidget *owner, const QString &homePage = UserGuideUrl(),
              ErrorReportFunction report = {});

    QLabel *ProgramIcon;
    QLabel *ProductName;
    QLabel *Version;
    TLinkLabel *Label5;
    QPushButton *OKButton;

    const QString &HomePage() const { return homePage_; }

    void OKButtonClick();
    // Asks the browser to show the home page; the box stays open whatever the outcome.
    void Label5Click();

private:
    Browser &browser_;
    QString homePage_;
    ErrorReportFunction report_;
};
