#include "listedit/AboutBox.h"

#include "listedit/ScreenFit.h"
#include "platform/HomeFolder.h"
#include "platform/ui/Browser.h"

#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QIcon>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QUrl>

QString UserGuideUrl()
{
    const QString exeFolder = QString::fromStdString(ExecutableFolder());
    const QStringList candidates = {
        exeFolder + QStringLiteral("docs/index.html"),
        exeFolder + QStringLiteral("../../share/doc/tapisto/index.html"), // <prefix>/lib/tapisto/
        exeFolder + QStringLiteral("../share/doc/tapisto/index.html"),
        QString::fromUtf8(TAPISTO_SOURCE_DOCS "/index.html"),
    };
    for (const QString &path : candidates)
        if (QFileInfo::exists(path))
            return QUrl::fromLocalFile(QDir::cleanPath(QFileInfo(path).absoluteFilePath())).toString();
    return QUrl::fromLocalFile(QDir::cleanPath(candidates[1])).toString();
}

TLinkLabel::TLinkLabel(const QString &text, QWidget *parent) : QLabel(text, parent)
{
    QFont f = font();
    f.setUnderline(true);
    setFont(f);
    QPalette p = palette();
    p.setColor(QPalette::WindowText, Qt::blue);
    setPalette(p);
    setCursor(Qt::PointingHandCursor);
}

void TLinkLabel::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) && OnClick)
        OnClick();
    QLabel::mouseReleaseEvent(event);
}

TAboutBox::TAboutBox(Browser &browser, QWidget *owner, const QString &homePage, ErrorReportFunction report)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      browser_(browser), homePage_(homePage), report_(std::move(report))
{
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("バージョン情報"));
    setFixedSize(298, 219);
    // Centred on the screen of the window that opens it.
    if (const QScreen *screen = owner != nullptr ? owner->screen() : QGuiApplication::primaryScreen())
        move(screen->geometry().center() - rect().center());

    auto *panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("Panel1"));
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setGeometry(8, 8, 281, 177);

    ProgramIcon = new QLabel(panel);
    ProgramIcon->setObjectName(QStringLiteral("ProgramIcon"));
    ProgramIcon->setGeometry(8, 8, 65, 65);
    ProgramIcon->setPixmap(QIcon(QStringLiteral(":/listedit/tapisto.svg")).pixmap(65, 65));
    ProgramIcon->setScaledContents(true);

    ProductName = new QLabel(QStringLiteral("Tapisto"), panel);
    ProductName->setObjectName(QStringLiteral("ProductName"));
    QFont big = ProductName->font();
    big.setPointSizeF(big.pointSizeF() * 1.6);
    big.setBold(true);
    ProductName->setFont(big);
    ProductName->setGeometry(88, 12, 180, 28);

    Version = new QLabel(QStringLiteral("Version 3.01"), panel);
    Version->setObjectName(QStringLiteral("Version"));
    Version->setGeometry(88, 44, 180, 18);

    auto *credits = new QLabel(QStringLiteral("壁紙を時間ごとに替えるツール\n"
                                              "作者：Tapisto 開発チーム\n"
                                              "連絡先：下のユーザーガイドをご覧ください\n"
                                              "協力：試してくださった皆さんに感謝します"),
                               panel);
    credits->setObjectName(QStringLiteral("Credits"));
    credits->setGeometry(8, 80, 265, 68);
    credits->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    auto *hp = new QLabel(QStringLiteral("ＨＰ："), panel);
    hp->setObjectName(QStringLiteral("Label4"));
    hp->setGeometry(8, 152, 36, 18);
    Label5 = new TLinkLabel(QStringLiteral("ユーザーガイド (docs/index.html)"), panel);
    Label5->setObjectName(QStringLiteral("Label5"));
    Label5->setGeometry(44, 152, 229, 18);
    Label5->setToolTip(homePage_);
    Label5->OnClick = [this] { RunGuarded(report_, [this] { Label5Click(); }); };

    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setGeometry((298 - 75) / 2, 190, 75, 25);
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, [this] { RunGuarded(report_, [this] { OKButtonClick(); }); });
    FitToScreen(this);
}

void TAboutBox::OKButtonClick()
{
    done(QDialog::Accepted);
}

void TAboutBox::Label5Click()
{
    browser_.Open(homePage_);
}
