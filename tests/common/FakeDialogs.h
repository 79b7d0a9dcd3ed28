#pragma once

#include "platform/ui/Browser.h"
#include "platform/ui/Dialogs.h"

#include <deque>
#include <functional>
#include <utility>
#include <vector>

// Answers from queues that tests fill beforehand and records every request.
class FakeDialogs : public Dialogs {
public:
    void SetNextAnswer(Button button) { answers_.push_back(button); }
    void SetNextFileNames(const QStringList &names) { fileNames_.push_back(names); }
    void SetNextFileName(const QString &name) { fileNames_.push_back(QStringList{name}); }

    Button ShowMessage(QWidget *parent, const MessageRequest &request) override
    {
        return ShowLiveMessage(parent, request, nullptr);
    }
    Button ShowLiveMessage(QWidget *, const MessageRequest &request, const std::shared_ptr<SetText> &retext) override
    {
        messages.push_back(request);
        const size_t shown = messages.size() - 1;
        if (retext)
            *retext = [this, shown](const QString &text) { messages[shown].text = text; };
        // While the box is "open": what the user's nested event loop would run meanwhile.
        if (whileOpen) {
            const std::function<void()> run = std::exchange(whileOpen, nullptr);
            run();
        }
        if (retext)
            *retext = nullptr;
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
    // Run once inside the next message box, as events handled while it is open; a box's text that
    // changes meanwhile is seen in `messages`.
    std::function<void()> whileOpen;

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
