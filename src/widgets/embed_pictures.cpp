// Build tool: writes the frames of the program's pictures as C++ arrays of premultiplied ARGB pixels, so
// that the windows show them at start without reading an image file or loading an image format plugin.
//   embed_pictures OUTPUT.cpp PICTURE...
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>

#include <cstdio>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: embed_pictures OUTPUT.cpp PICTURE...\n");
        return 2;
    }
    QByteArray out = "// Made by embed_pictures from the pictures in resources/pictures: do not edit.\n"
                     "#include \"widgets/pictures.h\"\n\nnamespace {\n";
    QByteArray table = "} // namespace\n\nconst EmbeddedPicture kEmbeddedPictures[] = {\n";
    int count = 0;
    for (qsizetype a = 2; a < args.size(); ++a) {
        QImageReader reader(args[a]);
        const QByteArray name = QFileInfo(args[a]).fileName().toUtf8();
        const int frames = std::max(reader.imageCount(), 1);
        for (int frame = 0; frame < frames; ++frame) {
            if (frame > 0 && !reader.jumpToImage(frame))
                break;
            const QImage image = reader.read().convertToFormat(QImage::Format_ARGB32_Premultiplied);
            if (image.isNull()) {
                std::fprintf(stderr, "embed_pictures: %s: %s\n", qPrintable(args[a]), qPrintable(reader.errorString()));
                return 1;
            }
            out += "const unsigned int kPixels" + QByteArray::number(count) + "[] = {";
            for (int y = 0; y < image.height(); ++y) {
                const auto* line = reinterpret_cast<const quint32*>(image.constScanLine(y));
                for (int x = 0; x < image.width(); ++x) {
                    if ((y * image.width() + x) % 8 == 0)
                        out += "\n   ";
                    out += " 0x" + QByteArray::number(line[x], 16) + "u,";
                }
            }
            out += "\n};\n";
            table += "    {\"" + name + "\", " + QByteArray::number(image.width()) + ", " +
                     QByteArray::number(image.height()) + ", kPixels" + QByteArray::number(count) + "},\n";
            ++count;
        }
    }
    out += table + "};\nconst int kEmbeddedPictureCount = " + QByteArray::number(count) + ";\n";
    QFile file(args[1]);
    if (!file.open(QIODevice::WriteOnly) || file.write(out) != out.size() || !file.flush()) {
        std::fprintf(stderr, "embed_pictures: cannot write %s\n", qPrintable(args[1]));
        return 1;
    }
    return 0;
}
