#include "TestApp.h"

#include "platform/Exceptions.h"
#include "shell/AnimWnd.h"

#include <QCoreApplication>
#include <QPointer>
#include <QWidget>
#include <QWindow>

#include <gtest/gtest.h>

#include <memory>

namespace {

class AnimateWindowTest : public ::testing::Test {
protected:
    AnimateWindowTest()
    {
        EnsureApplication();
        main = std::make_unique<QWidget>();
        animate = std::make_unique<TAnimateWindow>(main.get());
        animate->OnMinimize = [this](QObject *sender) {
            EXPECT_EQ(sender, QCoreApplication::instance());
            ++minimizes;
        };
        animate->OnRestore = [this](QObject *sender) {
            EXPECT_EQ(sender, QCoreApplication::instance());
            ++restores;
        };
    }
    ~AnimateWindowTest() override
    {
        animate.reset();
        main.reset();
    }

    std::unique_ptr<QWidget> main;
    std::unique_ptr<TAnimateWindow> animate;
    int minimizes = 0;
    int restores = 0;
};

TEST_F(AnimateWindowTest, MinimizeAndRestoreOfTheMainForm)
{
    EXPECT_EQ(TAnimateWindow::MainForm(), main.get());
    main->show();
    main->showMinimized();
    EXPECT_EQ(minimizes, 1);
    EXPECT_TRUE(main->windowState() & Qt::WindowMinimized); // the event went on to the form
    main->showNormal();
    EXPECT_EQ(restores, 1);
    EXPECT_FALSE(main->windowState() & Qt::WindowMinimized);
}

TEST_F(AnimateWindowTest, ASecondOnTheSameFormIsRefusedAndHooksNothing)
{
    try {
        TAnimateWindow second(main.get());
        FAIL() << "a second component was created";
    } catch (const Exception &error) {
        EXPECT_EQ(error.Message(), "AnimateWindowはフォームに一つしか置けません");
    }
    main->show();
    main->showMinimized();
    EXPECT_EQ(minimizes, 1);
    EXPECT_TRUE(TAnimateWindow::IsAnimated(main.get()));

    animate.reset();
    EXPECT_FALSE(TAnimateWindow::IsAnimated(main.get()));
    EXPECT_NO_THROW(TAnimateWindow(main.get()));
}

TEST_F(AnimateWindowTest, AnotherFormHandsItsMinimizeToTheMainForm)
{
    main->show();
    QWidget editor;
    TAnimateWindow editorAnimate(&editor);
    int editorMinimizes = 0;
    editorAnimate.OnMinimize = [&](QObject *) { ++editorMinimizes; };
    editor.show();
    editor.showMinimized();
    EXPECT_EQ(minimizes, 0); // posted, not called
    QCoreApplication::processEvents();
    EXPECT_EQ(minimizes, 1);
    EXPECT_EQ(editorMinimizes, 0);
    EXPECT_TRUE(main->windowState() & Qt::WindowMinimized);
}

TEST_F(AnimateWindowTest, RestoringWhileTheMainFormIsHiddenShowsIt)
{
    QWidget editor;
    TAnimateWindow editorAnimate(&editor);
    editor.show();
    editor.showMinimized();
    QCoreApplication::processEvents();
    EXPECT_EQ(minimizes, 1);
    EXPECT_FALSE(main->isVisible());

    editor.showNormal();
    QCoreApplication::processEvents();
    EXPECT_EQ(restores, 1);
    EXPECT_TRUE(main->isVisible());
    EXPECT_FALSE(main->windowState() & Qt::WindowMinimized);
}

TEST_F(AnimateWindowTest, ANewNativeWindowKeepsWorking)
{
    main->show();
    QPointer<QWindow> before = main->windowHandle();
    // Into another window and out again: the form's own native window is destroyed and made anew.
    QWidget holder;
    main->setParent(&holder);
    main->setParent(nullptr, Qt::Window);
    main->show();
    EXPECT_TRUE(before.isNull());
    EXPECT_NE(main->windowHandle(), nullptr);
    main->showMinimized();
    EXPECT_EQ(minimizes, 1);
}

TEST_F(AnimateWindowTest, AnErrorInAHandlerIsReportedNotThrownIntoQt)
{
    std::string reported;
    animate->ErrorReport = [&](const QString &text) { reported = text.toStdString(); };
    animate->OnMinimize = [](QObject *) { throw EInOutError("broken"); };
    main->show();
    main->showMinimized();
    EXPECT_EQ(reported, "broken");
}

} // namespace
