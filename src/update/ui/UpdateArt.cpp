#include "update/ui/UpdateArt.h"

#include "platform/Exceptions.h"
#include "update/ui/UpdateArtData.h"

namespace zt {
namespace {

const update_art_data::EmbeddedFile* FindArt(const QString& name) {
    for (std::size_t i = 0; i < update_art_data::kFileCount; ++i) {
        const auto& file = update_art_data::kFiles[i];
        if (name == QLatin1String(file.name)) return &file;
    }
    return nullptr;
}

const update_art_data::EmbeddedFile& ArtFile(const QString& name) {
    const auto* file = FindArt(name);
    if (!file)
        throw Exception("Unknown picture of the update window: \"" + name.toStdString() + "\"");
    return *file;
}

}  // namespace

QStringList UpdateArtNames() {
    QStringList names;
    for (std::size_t i = 0; i < update_art_data::kFileCount; ++i)
        names << QLatin1String(update_art_data::kFiles[i].name);
    return names;
}

QImage UpdateArtImage(const QString& name) {
    const auto& file = ArtFile(name);
    // The format is the one the name says rather than one guessed from the
    // bytes, so that a file that is not what its name says, or a Qt without
    // its JPEG reader, fails here rather than leaving the window blank.
    const char* format = name.endsWith(QLatin1String(".jpg")) ? "jpeg" : "png";
    QImage image;
    if (!image.loadFromData(file.data, static_cast<int>(file.size), format) || image.isNull())
        throw Exception("The picture \"" + name.toStdString() +
                        "\" of the update window does not decode");
    return image;
}

QPixmap UpdateArtPixmap(const QString& name) {
    return QPixmap::fromImage(UpdateArtImage(name));
}

QIcon UpdateArtIcon(const QString& baseName) {
    QIcon icon;
    icon.addPixmap(UpdateArtPixmap(baseName + QLatin1String(".png")));
    const QString twin = baseName + QLatin1String("@2x.png");
    if (FindArt(twin)) icon.addPixmap(UpdateArtPixmap(twin));
    return icon;
}

}  // namespace zt
