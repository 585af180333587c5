#include "support/Renders.h"

#include <cstdlib>
#include <filesystem>

namespace zt::test {

std::string SaveRender(const QImage& image, const std::string& name) {
    const char* env = std::getenv("ZT_RENDER_DIR");
    const std::filesystem::path dir =
        env && *env ? std::filesystem::path(env) : std::filesystem::current_path() / "renders";
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    const std::string path = (dir / (name + ".png")).string();
    return image.save(QString::fromStdString(path), "PNG") ? path : std::string();
}

}  // namespace zt::test
