#pragma once
// Renders of the displays kept as test artefacts, so a person can look at
// what the pixel tests checked: PNG files in $ZT_RENDER_DIR, or in
// "renders/" under the folder the test runs in (ctest runs in the build
// tree).

#include <QImage>
#include <string>

namespace zt::test {

// Saves `image` as <name>.png and returns the path ("" when it failed).
std::string SaveRender(const QImage& image, const std::string& name);

}  // namespace zt::test
