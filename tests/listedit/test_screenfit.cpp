#include "EditorFixture.h"

#include "listedit/AboutBox.h"
#include "listedit/FormHosei.h"
#include "listedit/ScreenFit.h"

#include <QScreen>

namespace {

const QMargins kFrame(4, 28, 4, 4);
const QRect kArea(0, 0, 400, 300);

} // namespace

TEST(FitIntoArea, MovesInAndShrinksOnlyWhatDoesNotFit)
{
    // Fits: stays.
    EXPECT_EQ(QRect(10, 40, 100, 100), FitIntoArea(QRect(10, 40, 100, 100), kFrame, kArea, QSize(50, 50)));
    // Sticks out at the right and the bottom: moved in, frame included.
    EXPECT_EQ(QRect(211, 156, 185, 140), FitIntoArea(QRect(288, 162, 185, 140), kFrame, kArea, QSize(185, 140)));
    // Larger than the area: shrunk to it.
    EXPECT_EQ(QRect(4, 28, 392, 268), FitIntoArea(QRect(176, 145, 571, 406), kFrame, kArea, QSize(300, 200)));
    // Never below its minimum: it then starts at the area's top left.
    EXPECT_EQ(QRect(4, 28, 500, 268), FitIntoArea(QRect(176, 145, 571, 406), kFrame, kArea, QSize(500, 100)));
    // A second screen to the right of the first.
    EXPECT_EQ(QRect(1924, 145, 571, 406),
              FitIntoArea(QRect(176, 145, 571, 406), kFrame, QRect(1920, 0, 1280, 1024), QSize(100, 100)));
}

// Run by CTest a second time with QT_SCALE_FACTOR=2, where the test screen of 800 x 600 pixels is
// 400 x 300 logical pixels: the editor and its dialogs must still fit.
TEST_F(EditorTest, WindowsFitAScaledScreen)
{
    if (qEnvironmentVariable("QT_SCALE_FACTOR") != QStringLiteral("2"))
        GTEST_SKIP() << "runs with QT_SCALE_FACTOR=2";
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    ASSERT_GE(500, available.width());
    QRect editor;
    QTimer::singleShot(0, [&] {
        editor = form->frameGeometry();
        form->ExitAction->trigger();
    });
    form->ShowModal();
    EXPECT_TRUE(available.contains(editor))
        << editor.x() << "," << editor.y() << " " << editor.width() << "x" << editor.height();

    bool cancelled = false;
    TFormHosei hosei(cancelled, form.get());
    EXPECT_TRUE(available.contains(hosei.geometry()));
    EXPECT_EQ(QSize(185, 140), hosei.size());
    TAboutBox about(browser, form.get(), QStringLiteral("file:///guide/index.html"));
    EXPECT_TRUE(available.contains(about.geometry()));
}
