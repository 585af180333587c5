// Export folder and file names of a finished segment.

#include "recorder/CrowleyExportNames.h"

#include <gtest/gtest.h>

namespace zt {
namespace {

TEST(CrowleyExportNames, FolderByStartDateAndNameToTheSecond) {
    struct Case {
        const char* sigla;
        TDateTime start, end;
        const char* folder;
        const char* file;
    } cases[] = {
        {"RDX", EncodeDateTime(2012, 12, 8, 15, 30, 12, 0),
         EncodeDateTime(2012, 12, 8, 15, 40, 12, 0), "/opt/zt/audiomedia/RDX/2012-12-08/",
         "RDX_08-12-2012 15 30 12_08-12-2012 15 40 12.wav"},
        // Across midnight: the start date's folder, both dates in the name.
        {"RDX", EncodeDateTime(2012, 12, 8, 23, 55, 0, 0), EncodeDateTime(2012, 12, 9, 0, 5, 0, 0),
         "/opt/zt/audiomedia/RDX/2012-12-08/", "RDX_08-12-2012 23 55 00_09-12-2012 00 05 00.wav"},
        // The next segment starts after midnight: the next day's folder.
        {"RDX", EncodeDateTime(2012, 12, 9, 0, 5, 0, 0), EncodeDateTime(2012, 12, 9, 0, 15, 0, 0),
         "/opt/zt/audiomedia/RDX/2012-12-09/", "RDX_09-12-2012 00 05 00_09-12-2012 00 15 00.wav"},
        // An empty station code.
        {"", EncodeDateTime(2012, 12, 8, 15, 30, 12, 0), EncodeDateTime(2012, 12, 8, 15, 40, 12, 0),
         "/opt/zt/audiomedia//2012-12-08/", "_08-12-2012 15 30 12_08-12-2012 15 40 12.wav"},
        // A hand-edited code cannot leave the export folder.
        {"../x", EncodeDateTime(2012, 12, 8, 15, 30, 12, 0),
         EncodeDateTime(2012, 12, 8, 15, 40, 12, 0), "/opt/zt/audiomedia/.._x/2012-12-08/",
         ".._x_08-12-2012 15 30 12_08-12-2012 15 40 12.wav"},
        {"..", EncodeDateTime(2012, 12, 8, 15, 30, 12, 0),
         EncodeDateTime(2012, 12, 8, 15, 40, 12, 0), "/opt/zt/audiomedia/_/2012-12-08/",
         "__08-12-2012 15 30 12_08-12-2012 15 40 12.wav"},
    };
    for (const Case& c : cases) {
        const CrowleyExportTarget t = MakeCrowleyExportTarget("/opt/zt/", c.sigla, c.start, c.end);
        EXPECT_EQ(t.folder, c.folder) << c.sigla;
        EXPECT_EQ(t.file, c.file) << c.sigla;
        EXPECT_EQ(t.Path(), std::string(c.folder) + c.file);
    }
}

}  // namespace
}  // namespace zt
