#include "support/UpdateFixtures.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <zip.h>

#include <filesystem>

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

ZipEntry ZipFolder(const std::string& name) {
    ZipEntry e;
    e.name = name;
    e.kind = ZipEntry::kFolder;
    return e;
}

ZipEntry ZipFile(const std::string& name, const std::string& data, uint32_t unixMode) {
    ZipEntry e;
    e.name = name;
    e.data = data;
    e.unixMode = unixMode;
    return e;
}

void WriteZip(const std::string& path, const std::vector<ZipEntry>& entries) {
    int error = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    ASSERT_NE(archive, nullptr) << error;
    for (const ZipEntry& e : entries) {
        zip_int64_t index;
        if (e.kind == ZipEntry::kFolder) {
            index = zip_dir_add(archive, e.name.c_str(), ZIP_FL_ENC_UTF_8);
        } else {
            // The library copies nothing: the data must outlive zip_close.
            zip_source_t* source = zip_source_buffer(archive, e.data.data(), e.data.size(), 0);
            ASSERT_NE(source, nullptr);
            index = zip_file_add(archive, e.name.c_str(), source, ZIP_FL_ENC_UTF_8);
            if (index < 0) zip_source_free(source);
        }
        ASSERT_GE(index, 0) << e.name << ": " << zip_strerror(archive);
        if (e.stored) {
            ASSERT_EQ(zip_set_file_compression(archive, index, ZIP_CM_STORE, 0), 0);
        }
        if (e.madeOnDos) {
            ASSERT_EQ(zip_file_set_external_attributes(archive, index, 0, ZIP_OPSYS_DOS, 0x20), 0);
        } else if (e.unixMode) {
            ASSERT_EQ(zip_file_set_external_attributes(archive, index, 0, ZIP_OPSYS_UNIX,
                                                       e.unixMode << 16),
                      0);
        }
    }
    ASSERT_EQ(zip_close(archive), 0) << zip_strerror(archive);
}

mode_t FileMode(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(lstat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

std::set<std::string> FolderTree(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& item : std::filesystem::recursive_directory_iterator(folder))
        names.insert(std::filesystem::relative(item.path(), folder).string());
    return names;
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
