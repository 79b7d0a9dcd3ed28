#pragma once

#include "platform/ui/Browser.h"
#include "platform/ui/Dialogs.h"

#include <deque>
#include <vector>

// Answers from queues that tests fill beforehand and records every request.
class FakeDialogs : public Dialogs {
public:
    void SetNextAnswer(Button button) { answers_.push_back(button); }
    void SetNextFileNames(const QStringList &names) { fileNames_.push_back(names); }
    void SetNextFileName(const QString &name) { fileNames_.push_back(QStringList{name}); }

    Button ShowMessage(QWidget *, const MessageRequest &request) override
    {
        messages.push_back(request);
        if (answers_.empty())
            return request.defaultButton;
        const Button b = answers_.front();
        answers_.pop_front();
        return b;
    }
    QStringList GetFileNames(QWidget *, const FileRequest &request) override
    {
        fileRequests.push_back(request);
        if (fileNames_.empty())
            return {};
        QStringList names = fileNames_.front();
        fileNames_.pop_front();
        return names;
    }

    std::vector<MessageRequest> messages;
    std::vector<FileRequest> fileRequests;

private:
    std::deque<Button> answers_;
    std::deque<QStringList> fileNames_;
};

// Records the addresses instead of opening them.
class FakeBrowser : public Browser {
public:
    bool Open(const QString &url) override
    {
        opened.push_back(url);
        return true;
    }
    std::vector<QString> opened;
};
