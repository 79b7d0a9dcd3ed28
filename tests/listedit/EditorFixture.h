#pragma once

#include "FakeDialogs.h"
#include "TempHome.h"
#include "listedit/Form2.h"
#include "listedit/FormHosei.h"
#include "listedit/ListEditorHost.h"
#include "listedit/WallPaperGrid.h"
#include "listedit/WallPaperGridModel.h"
#include "platform/Encoding.h"
#include "platform/ui/Browser.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/QtText.h"

#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

// The main window as the editor sees it, recording every call.
class FakeHost : public ListEditorHost {
public:
    struct Applied {
        std::string path;
        int32_t tileValue;
        int32_t correction;
    };
    void ApplyWallPaper(const std::string &picturePath, TileMode tileValue, int32_t correction) override
    {
        if (onApply)
            onApply();
        applied.push_back({picturePath, int32_t(tileValue), correction});
    }
    void RefreshGroups() override { ++refreshes; }
    void ShowMainWindow() override { ++shows; }
    bool PluginsEnabled() const override { return plugins; }

    std::vector<Applied> applied;
    std::function<void()> onApply; // may throw, as a failing change would
    int refreshes = 0;
    int shows = 0;
    bool plugins = false;
};

// A fresh editor in a fresh home folder, with fake dialogs, browser and main window.
class EditorTest : public ::testing::Test {
protected:
    EditorTest() : form(std::make_unique<TForm2>(host, dialogs, browser)) {}

    WallPaperGridModel &Model() { return form->Model(); }
    // The cell texts of a row: number, name, folder, position, correction.
    QStringList Row(int row)
    {
        QStringList cells{Model().headerData(row, Qt::Vertical).toString()};
        for (int c = 0; c < WallPaperGridModel::ColumnCount; ++c)
            cells << Model().index(row, c).data().toString();
        return cells;
    }
    // Adds pictures through the add-pictures command (UTF-8 paths).
    void AddPictures(const QStringList &paths)
    {
        dialogs.SetNextFileNames(paths);
        form->ReadPicAction->trigger();
    }
    QStringList Paths(std::initializer_list<const char *> names)
    {
        QStringList out;
        for (const char *n : names)
            out << QString::fromStdString(home.Path()) + QString::fromUtf8(n);
        return out;
    }
    // Runs `interact` on the modal dialog that `open` shows, once it is up.
    static void WithModal(const std::function<void(QWidget *)> &interact, const std::function<void()> &open)
    {
        bool ran = false;
        QTimer::singleShot(0, [&] {
            QWidget *modal = QApplication::activeModalWidget();
            ASSERT_NE(nullptr, modal);
            ran = true;
            interact(modal);
        });
        open();
        EXPECT_TRUE(ran);
    }
    // Runs the correction command on the selected rows, choosing 補正値を設定 with `percent` and OK.
    void SetCorrectionPercent(int percent)
    {
        WithModal(
            [percent](QWidget *w) {
                auto *hosei = static_cast<TFormHosei *>(w);
                hosei->RadioButton2->click();
                hosei->SpinEdit1->setValue(percent);
                hosei->Button1->click();
            },
            [&] { form->HoseiAction->trigger(); });
    }
    size_t ErrorReports() const
    {
        size_t n = 0;
        for (const auto &m : dialogs.messages)
            n += m.icon == Dialogs::Icon::Error;
        return n;
    }

    TempHome home;
    FakeHost host;
    FakeDialogs dialogs;
    FakeBrowser browser;
    std::unique_ptr<TForm2> form;
};
