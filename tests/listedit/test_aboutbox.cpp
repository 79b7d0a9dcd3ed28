#include "listedit/AboutBox.h"

#include "FakeDialogs.h"

#include <QApplication>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

TEST(AboutBox, ShowsProductVersionAndALinkThatKeepsTheBoxOpen)
{
    FakeBrowser browser;
    TAboutBox box(browser, nullptr, QStringLiteral("file:///guide/index.html"));
    EXPECT_EQ(QStringLiteral("バージョン情報"), box.windowTitle());
    EXPECT_EQ(QSize(298, 219), box.size());
    EXPECT_EQ(QStringLiteral("Tapisto"), box.ProductName->text());
    EXPECT_EQ(QStringLiteral("Version 3.01"), box.Version->text());
    EXPECT_TRUE(box.OKButton->isDefault());
    EXPECT_TRUE(box.Label5->font().underline());
    EXPECT_EQ(Qt::PointingHandCursor, box.Label5->cursor().shape());
    EXPECT_EQ(QColor(Qt::blue), box.Label5->palette().color(QPalette::WindowText));
    EXPECT_FALSE(box.ProgramIcon->pixmap().isNull());

    box.show();
    QTest::mouseClick(box.Label5, Qt::LeftButton);
    EXPECT_EQ(std::vector<QString>{QStringLiteral("file:///guide/index.html")}, browser.opened);
    EXPECT_TRUE(box.isVisible());

    QApplication::setActiveWindow(&box);
    QTest::keyClick(&box, Qt::Key_Return);
    EXPECT_FALSE(box.isVisible());
    EXPECT_EQ(QDialog::Accepted, box.result());
}

TEST(AboutBox, UserGuideIsALocalFile)
{
    const QString url = UserGuideUrl();
    EXPECT_TRUE(url.startsWith(QStringLiteral("file:///"))) << url.toStdString();
    EXPECT_TRUE(url.endsWith(QStringLiteral("/index.html"))) << url.toStdString();
}
