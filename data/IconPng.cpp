// Draws the program's SVG icon as square PNGs for the hicolor icon theme:
//   tapisto_iconpng ICON.svg OUTDIR SIZE... -> OUTDIR/SIZE/tapisto.png
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: tapisto_iconpng ICON.svg OUTDIR SIZE...\n");
        return 2;
    }
    QGuiApplication app(argc, argv); // Qt SVG needs one
    QSvgRenderer renderer(QString::fromLocal8Bit(argv[1]));
    if (!renderer.isValid()) {
        std::fprintf(stderr, "tapisto_iconpng: cannot read %s\n", argv[1]);
        return 1;
    }
    const QString outDir = QString::fromLocal8Bit(argv[2]);
    for (int i = 3; i < argc; ++i) {
        const int size = QByteArray(argv[i]).toInt();
        if (size <= 0 || size > 1024) {
            std::fprintf(stderr, "tapisto_iconpng: bad size %s\n", argv[i]);
            return 2;
        }
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        {
            QPainter painter(&image);
            painter.setRenderHint(QPainter::Antialiasing);
            renderer.render(&painter);
        }
        const QString folder = outDir + QLatin1Char('/') + QString::number(size);
        const QString file = folder + QStringLiteral("/tapisto.png");
        if (!QDir().mkpath(folder) || !image.save(file, "PNG")) {
            std::fprintf(stderr, "tapisto_iconpng: cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
