#include "support/UpdateFixtures.h"

#include <zip.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace zt::test {

namespace {
std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}
}  // namespace

void WriteZip(const std::string& path, const std::vector<ZipEntry>& entries) {
    int error = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!archive) throw std::runtime_error("zip_open " + std::to_string(error));
    for (const ZipEntry& e : entries) {
        // The data must outlive zip_close, which reads it.
        zip_source_t* source = zip_source_buffer(archive, e.data.data(), e.data.size(), 0);
        const zip_int64_t index = zip_file_add(archive, e.name.c_str(), source, ZIP_FL_ENC_UTF_8);
        if (index < 0 || zip_file_set_external_attributes(archive, zip_uint64_t(index), 0,
                                                          ZIP_OPSYS_UNIX, e.unixMode << 16) != 0) {
            const std::string why = zip_strerror(archive);
            zip_discard(archive);
            throw std::runtime_error("zip entry " + e.name + ": " + why);
        }
    }
    if (zip_close(archive) != 0) {
        const std::string why = zip_strerror(archive);
        zip_discard(archive);
        throw std::runtime_error("zip_close: " + why);
    }
}

std::string ShellQuoted(const std::string& text) {
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

void RunMinisign(const std::string& arguments) {
    const std::string command = "minisign " + arguments + " </dev/null >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0)
        throw std::runtime_error("minisign failed (is it installed?): " + command);
}

MinisignKeys::MinisignKeys(const std::string& dir, const std::string& name)
    : dir_(dir), name_(name), secret_(dir + name + ".key") {
    const std::string pub = dir + name + ".pub";
    RunMinisign("-G -W -p " + ShellQuoted(pub) + " -s " + ShellQuoted(secret_));
    std::istringstream lines(ReadAll(pub));
    std::string comment;
    std::getline(lines, comment);
    std::getline(lines, publicKey_);
}

std::string MinisignKeys::Sign(const std::string& file) const {
    const std::string signature = file + ".sig-" + name_;
    RunMinisign("-S -s " + ShellQuoted(secret_) + " -x " + ShellQuoted(signature) + " -m " +
                ShellQuoted(file));
    return ReadAll(signature);
}

}  // namespace zt::test
