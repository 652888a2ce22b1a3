// The pictures of the windows, built into the program as pixels (see src/widgets/embed_pictures.cpp).
#pragma once

#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QStringView>

struct EmbeddedPicture {
    const char* name; // the picture's file name in resources/pictures
    int width;
    int height;
    const unsigned int* pixels; // premultiplied ARGB, a row after another
};

extern const EmbeddedPicture kEmbeddedPictures[];
extern const int kEmbeddedPictureCount;

// The frames of a picture (an icon file may hold several sizes), largest first; none for an unknown name.
QList<QImage> PictureFrames(QStringView name);
// Its first frame.
QPixmap PicturePixmap(QStringView name);
// All its frames, for the sizes an icon is shown at.
QIcon PictureIcon(QStringView name);
