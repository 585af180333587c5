#include "app/DialogLog.h"

#include <cstdio>

namespace zt {

void DialogLog::Write(const char* kind, const std::string& text) {
    std::FILE* file = std::fopen(path_.c_str(), "ab");
    if (!file) return;
    std::string record = std::string(kind) + "\t" + text;
    record.push_back('\0');
    std::fwrite(record.data(), 1, record.size(), file);
    std::fclose(file);
}

}  // namespace zt
