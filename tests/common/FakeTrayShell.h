#pragma once

#include "shell/TrayCallback.h"
#include "shell/TrayShell.h"

#include <string>
#include <vector>

// The notification area of a test: records every shell call, keeps what it would show (whether an
// icon is there, its tip) and delivers mouse messages the way a shell would: to the window of the
// record, under the record's callback message.
class FakeTrayShell : public TrayShell {
public:
    enum class Op { Add, Modify, Delete };
    struct Call {
        Op op;
        NotifyRecord record;
    };

    FakeTrayShell()
    {
        SetErrorReport([this](const QString &text) { errors.push_back(text.toStdString()); });
    }

    bool Add(const NotifyRecord &record) override
    {
        calls.push_back({Op::Add, record});
        if (refuseAdd)
            return false; // a desktop without a notification area
        shown = true;
        tip = record.Tip;
        return true;
    }
    bool Modify(const NotifyRecord &record) override
    {
        calls.push_back({Op::Modify, record});
        if (refuseModify || !shown)
            return false;
        tip = record.Tip;
        return true;
    }
    bool Available() const override { return !refuseAdd; }
    bool Delete(const NotifyRecord &record) override
    {
        calls.push_back({Op::Delete, record});
        shown = false;
        return true;
    }

    void Inject(uint32_t iconId, uint32_t mouseMessage)
    {
        CallbackWindow::Instance(nullptr)->Perform(TrayNotifyMessage, iconId, mouseMessage);
    }
    // The messages Qt reports for one click and for one double click.
    void Click(uint32_t iconId)
    {
        Inject(iconId, TrayMessage::LButtonDown);
        Inject(iconId, TrayMessage::LButtonUp);
    }
    void DoubleClick(uint32_t iconId)
    {
        Click(iconId);
        Inject(iconId, TrayMessage::LButtonDblClk);
        Inject(iconId, TrayMessage::LButtonUp);
    }

    size_t Count(Op op) const
    {
        size_t n = 0;
        for (const auto &call : calls)
            n += call.op == op;
        return n;
    }

    std::vector<Call> calls;
    std::vector<std::string> errors;
    bool refuseAdd = false;
    bool refuseModify = false;
    bool shown = false; // an icon is in the notification area
    std::string tip;
};
