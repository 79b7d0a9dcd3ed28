// What the end-to-end scenario cannot do with xdotool alone, on the X server of $DISPLAY:
//   e2e_helper pixel X Y                 prints the screen's colour at (X, Y) as RRGGBB
//   e2e_helper shot OUT.png X Y W H      saves that part of the screen as a PNG
//   e2e_helper drag FILE...              shows a small window at (20, 600); a press on it starts a
//                                        real drag of the files (text/uri-list) and the program
//                                        prints "drag-done N" (N = the drop action) when it ends
#include <QApplication>
#include <QDrag>
#include <QImage>
#include <QMimeData>
#include <QMouseEvent>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include <cstdio>
#include <cstring>

namespace {

QImage GrabScreen(int x, int y, int w, int h)
{
    return QGuiApplication::primaryScreen()->grabWindow(0, x, y, w, h).toImage();
}

class DragSource : public QWidget {
public:
    explicit DragSource(QList<QUrl> urls) : urls_(std::move(urls))
    {
        setWindowTitle(QStringLiteral("e2e drag source"));
        setGeometry(20, 600, 120, 60);
        setAutoFillBackground(true);
        QPalette p = palette();
        p.setColor(QPalette::Window, Qt::darkGray);
        setPalette(p);
    }

protected:
    void mousePressEvent(QMouseEvent *event) override
    {
        if (event->button() != Qt::LeftButton)
            return;
        auto *drag = new QDrag(this);
        auto *data = new QMimeData;
        data->setUrls(urls_);
        drag->setMimeData(data);
        const Qt::DropAction action = drag->exec(Qt::CopyAction | Qt::LinkAction, Qt::CopyAction);
        std::printf("drag-done %d\n", int(action));
        std::fflush(stdout);
        // The target may still fetch the dropped data after exec() returned: keep answering a while.
        QTimer::singleShot(3000, qApp, &QCoreApplication::quit);
    }

private:
    QList<QUrl> urls_;
};

int Usage()
{
    std::fprintf(stderr, "usage: e2e_helper pixel X Y | shot OUT.png X Y W H | drag FILE...\n");
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2)
        return Usage();
    QApplication app(argc, argv);
    const char *command = argv[1];
    if (std::strcmp(command, "pixel") == 0 && argc == 4) {
        const QImage image = GrabScreen(std::atoi(argv[2]), std::atoi(argv[3]), 1, 1);
        if (image.isNull())
            return 1;
        std::printf("%06X\n", image.pixel(0, 0) & 0xFFFFFFu);
        return 0;
    }
    if (std::strcmp(command, "shot") == 0 && argc == 7) {
        const QImage image = GrabScreen(std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5]), std::atoi(argv[6]));
        // Eight bits per pixel keep the pictures of the user guide small.
        const QImage small = image.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither);
        return !image.isNull() && small.save(QString::fromLocal8Bit(argv[2]), "PNG", 9) ? 0 : 1;
    }
    if (std::strcmp(command, "drag") == 0 && argc >= 3) {
        QList<QUrl> urls;
        for (int i = 2; i < argc; ++i)
            urls.append(QUrl::fromLocalFile(QString::fromLocal8Bit(argv[i])));
        DragSource source(urls);
        source.show();
        std::printf("drag-ready\n");
        std::fflush(stdout);
        return QApplication::exec();
    }
    return Usage();
}
