#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

class QWidget;

// Message and file dialogs behind one seam, so that windows can be tested without ever blocking
// in a modal loop: the program uses QtDialogs, tests use FakeDialogs.
class Dialogs {
public:
    enum class Icon { None, Information, Warning, Error, Question };
    enum class Button { Ok, Cancel, Yes, No };

    struct MessageRequest {
        QString title;
        QString text;
        Icon icon = Icon::None;
        std::vector<Button> buttons{Button::Ok};
        Button defaultButton = Button::Ok;
    };

    // Changes the text of a box while it is open.
    using SetText = std::function<void(const QString &text)>;

    enum class FileMode { Open, OpenMany, Save };

    struct FileRequest {
        FileMode mode = FileMode::Open;
        QString title;
        // Filter in the "description|pattern|description|pattern" form of the stored formats.
        QString filter;
        QString initialFolder;
        QString fileName;
        QString defaultExtension; // without the dot; added to a typed name that has none
        bool picturePreview = false;
        bool confirmOverwrite = false;
        bool mustExist = false;
    };

    virtual ~Dialogs() = default;
    // Shows a message box and returns the button pressed (Cancel/No/Ok when closed otherwise).
    virtual Button ShowMessage(QWidget *parent, const MessageRequest &request) = 0;
    // ShowMessage, with `retext` filled, for as long as the box is open, with the way to change the
    // box's text (a report that later ones are counted into), and emptied when the box closes. Here
    // the text stays as it is.
    virtual Button ShowLiveMessage(QWidget *parent, const MessageRequest &request,
                                   const std::shared_ptr<SetText> &retext);
    // Runs a file dialog; an empty list means cancelled. A save dialog never returns a name with a
    // wildcard: one given as the name becomes the dialog's filter.
    virtual QStringList GetFileNames(QWidget *parent, const FileRequest &request) = 0;

    // The common shapes of the program's boxes.
    void Warning(QWidget *parent, const QString &text); // "警告", warning icon, OK
    bool Confirm(QWidget *parent, const QString &text); // "確認", question, Yes (default)/No
    void ErrorReport(QWidget *parent, const QString &title, const QString &text); // general error report
};

// Converts "desc|pattern|desc|pattern" into the filter list of QFileDialog ("desc (pattern)"), the
// patterns shown once even where the description already lists them.
QStringList ConvertFilterText(const QString &filter);
// Whether the file name part of a path holds a wildcard ('*' or '?').
bool HasWildcard(const QString &path);

class QtDialogs : public Dialogs {
public:
    Button ShowMessage(QWidget *parent, const MessageRequest &request) override;
    Button ShowLiveMessage(QWidget *parent, const MessageRequest &request,
                           const std::shared_ptr<SetText> &retext) override;
    QStringList GetFileNames(QWidget *parent, const FileRequest &request) override;
};
