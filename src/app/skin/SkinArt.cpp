#include "app/skin/SkinArt.h"

#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPaintEngine>
#include <QPainter>
#include <string>

#include "app/skin/SkinArtData.h"
#include "platform/Exceptions.h"

namespace zt {
namespace {

const skin_art_data::EmbeddedFile* FindFile(const std::string& fileName) {
    for (std::size_t i = 0; i < skin_art_data::kFileCount; ++i) {
        const auto& file = skin_art_data::kFiles[i];
        if (fileName == file.name) return &file;
    }
    return nullptr;
}

// The file of a picture's name at a scale, accepting the layout's names of
// the image buttons ("button_config_hover" for "config_hover"); "" for a
// name no picture can have.
std::string PictureFileName(const char* name, int scale) {
    const std::string suffix = scale == 2 ? "@2x.png" : ".png";
    std::string base = name ? name : "";
    // The twins are asked for by scale, never by their file's name.
    if (base.find('@') != std::string::npos) return {};
    if (!FindFile(base + ".png") && base.rfind("button_", 0) == 0) base.erase(0, 7);
    return base + suffix;
}

const skin_art_data::EmbeddedFile& PictureFile(const char* name, int scale) {
    if (scale != 1 && scale != 2)
        throw Exception("The window's pictures are drawn at 1x and 2x, not " +
                        std::to_string(scale) + "x");
    const std::string fileName = PictureFileName(name, scale);
    const auto* file = fileName.empty() ? nullptr : FindFile(fileName);
    if (!file)
        throw Exception("Unknown picture of the main window: \"" + std::string(name ? name : "") +
                        (scale == 2 ? "@2x" : "") + "\"");
    return *file;
}

const QJsonObject& Layout() {
    // Parsed once; a static's initialisation is thread-safe.
    static const QJsonObject layout = [] {
        const auto* file = FindFile("skin_layout.json");
        if (!file) throw Exception("The main window's layout is not compiled in");
        QJsonParseError error{};
        const QJsonDocument document = QJsonDocument::fromJson(
            QByteArray::fromRawData(reinterpret_cast<const char*>(file->data),
                                    static_cast<qsizetype>(file->size)),
            &error);
        if (error.error != QJsonParseError::NoError || !document.isObject())
            throw Exception("The main window's layout does not parse: " +
                            error.errorString().toStdString());
        return document.object();
    }();
    return layout;
}

}  // namespace

QStringList SkinPictureNames() {
    QStringList names;
    for (std::size_t i = 0; i < skin_art_data::kFileCount; ++i) {
        const QString name = QLatin1String(skin_art_data::kFiles[i].name);
        if (name.endsWith(QLatin1String(".png")) && !name.endsWith(QLatin1String("@2x.png")))
            names << name.chopped(4);
    }
    return names;
}

QImage SkinImage(const char* name, int scale) {
    const auto& file = PictureFile(name, scale);
    QImage image;
    if (!image.loadFromData(file.data, static_cast<int>(file.size), "png") || image.isNull())
        throw Exception("The picture \"" + std::string(file.name) +
                        "\" of the main window does not decode");
    return image;
}

QImage SkinFaceImage() {
    return SkinImage("skin");
}

QPixmap SkinPictureFor(const char* name, qreal devicePixelRatio) {
    if (devicePixelRatio > 1) {
        QPixmap twin = QPixmap::fromImage(SkinImage(name, 2));
        twin.setDevicePixelRatio(2);
        return twin;
    }
    return QPixmap::fromImage(SkinImage(name, 1));
}

QPixmap SkinPicture(const char* name) {
    return SkinPictureFor(name, qApp ? qApp->devicePixelRatio() : 1.0);
}

QIcon SkinIcon(const char* name) {
    QIcon icon;
    icon.addPixmap(QPixmap::fromImage(SkinImage(name, 1)));
    const std::string twin = PictureFileName(name, 2);
    if (!twin.empty() && FindFile(twin)) icon.addPixmap(QPixmap::fromImage(SkinImage(name, 2)));
    return icon;
}

void DrawSkinIcon(QPainter& painter, const QRect& target, const QIcon& picture) {
    if (picture.isNull() || target.isEmpty()) return;
    // painter.device() names the widget even while the widget is rendered
    // into an image; the engine's device is where the pixels go.
    const QPaintDevice* device =
        painter.paintEngine() ? painter.paintEngine()->paintDevice() : painter.device();
    const qreal ratio = device ? device->devicePixelRatio() : 1.0;
    painter.drawPixmap(target, picture.pixmap(target.size(), ratio));
}

QRect SkinLayoutRect(const char* name) {
    const QJsonArray r =
        Layout().value(QLatin1String("rects")).toObject().value(QLatin1String(name)).toArray();
    if (r.size() != 4)
        throw Exception("The main window's layout has no rectangle \"" + std::string(name) + "\"");
    return QRect(r[0].toInt(), r[1].toInt(), r[2].toInt(), r[3].toInt());
}

QColor SkinLayoutColour(const char* name) {
    const QColor colour(
        Layout().value(QLatin1String("colours")).toObject().value(QLatin1String(name)).toString());
    if (!colour.isValid())
        throw Exception("The main window's layout has no colour \"" + std::string(name) + "\"");
    return colour;
}

}  // namespace zt
