#include "widgets/pictures.h"

#include <algorithm>

QList<QImage> PictureFrames(QStringView name) {
    QList<QImage> frames;
    for (int i = 0; i < kEmbeddedPictureCount; ++i) {
        const EmbeddedPicture& p = kEmbeddedPictures[i];
        if (name != QLatin1StringView(p.name))
            continue;
        // The pixels stay where the program keeps them: the image only points at them.
        frames << QImage(reinterpret_cast<const uchar*>(p.pixels), p.width, p.height, 4 * qsizetype(p.width),
                         QImage::Format_ARGB32_Premultiplied);
    }
    std::stable_sort(frames.begin(), frames.end(),
                     [](const QImage& a, const QImage& b) { return a.width() > b.width(); });
    return frames;
}

QPixmap PicturePixmap(QStringView name) {
    const QList<QImage> frames = PictureFrames(name);
    return frames.isEmpty() ? QPixmap() : QPixmap::fromImage(frames.first());
}

QIcon PictureIcon(QStringView name) {
    QIcon icon;
    for (const QImage& frame : PictureFrames(name))
        icon.addPixmap(QPixmap::fromImage(frame));
    return icon;
}
