#include "update/UpdateArchive.h"

#include "update/Descriptor.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <cerrno>
#include <map>
#include <memory>
#include <system_error>
#include <vector>

namespace zt {

namespace {

bool IsSeparator(char c) {
    return c == '/' || c == '\\';
}

// The components of a name split at either separator, as written.
std::vector<std::string_view> RawComponents(std::string_view name) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    for (size_t i = 0; i <= name.size(); ++i) {
        if (i == name.size() || IsSeparator(name[i])) {
            parts.push_back(name.substr(start, i - start));
            start = i + 1;
        }
    }
    return parts;
}

std::string SystemText(int error) {
    return std::generic_category().message(error);
}

struct ZipDiscard {
    void operator()(zip_t* archive) const { zip_discard(archive); }
};
using ZipHandle = std::unique_ptr<zip_t, ZipDiscard>;

std::string Quoted(std::string_view text) {
    return "\"" + std::string(text) + "\"";
}

[[noreturn]] void Refuse(std::string_view name, const std::string& reason) {
    throw EUpdateArchive("Refused entry " + Quoted(name) + ": " + reason);
}

// errno is read first, before building the text can change it.
[[noreturn]] void SystemFailure(const char* what, const std::string& name, int error) {
    throw EUpdateArchive(std::string(what) + " " + Quoted(name) + ": " + SystemText(error));
}

// One entry as it will be extracted.
struct PlannedEntry {
    zip_uint64_t index = 0;
    std::string name;                  // as in the archive, for messages
    std::vector<std::string> folders;  // folders to go through (or create)
    std::string file;                  // empty for a folder entry
    uint64_t size = 0;
    mode_t mode = 0644;
};

// The paths of the archive as a tree of components, to find a file and a
// folder at the same path. Flat (nodes by number) so that a name of
// thousands of components costs time in proportion to its length and no
// deep recursion.
class PathTree {
public:
    // The entry naming the file at `node`, or nullptr.
    const std::string* FileAt(size_t node) const { return nodes_[node].file; }
    bool IsFolder(size_t node) const { return nodes_[node].folder; }
    void SetFile(size_t node, const std::string* entryName) { nodes_[node].file = entryName; }
    void SetFolder(size_t node) { nodes_[node].folder = true; }
    // The node of `name` under `parent`, made when missing.
    size_t Child(size_t parent, const std::string& name) {
        const auto [it, added] = index_.try_emplace({parent, name}, nodes_.size());
        if (added) nodes_.emplace_back();
        return it->second;
    }
    static constexpr size_t kRoot = 0;

private:
    struct Node {
        const std::string* file = nullptr;
        bool folder = false;
    };
    std::vector<Node> nodes_{1};
    std::map<std::pair<size_t, std::string>, size_t> index_;
};

// Every check made before anything is written; the plan of the extraction.
// `archiveName` names the archive in messages ("The update archive ...").
std::vector<PlannedEntry> CheckEntries(zip_t* archive, const ArchiveLimits& limits,
                                       const std::string& archiveName) {
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    if (count < 0) throw EUpdateArchive(archiveName + " cannot be read");
    // An empty file opens as an archive without entries: a broken download.
    if (count == 0) throw EUpdateArchive(archiveName + " is empty");
    if (uint64_t(count) > limits.maxEntries) {
        throw EUpdateArchive(archiveName + " is refused: it holds " + std::to_string(count) +
                             " entries, more than the " + std::to_string(limits.maxEntries) +
                             " allowed");
    }

    std::vector<PlannedEntry> plan;
    plan.reserve(size_t(count));  // the names' addresses stay put for the tree
    uint64_t total = 0;
    PathTree tree;
    for (zip_uint64_t i = 0; i < zip_uint64_t(count); ++i) {
        const char* rawName = zip_get_name(archive, i, 0);
        if (!rawName) Refuse("#" + std::to_string(i), "its name cannot be read");
        PlannedEntry entry;
        entry.index = i;
        entry.name = rawName;
        if (const std::string reason = CheckEntryName(entry.name); !reason.empty()) {
            Refuse(entry.name, reason);
        }

        zip_stat_t st;
        zip_stat_init(&st);
        if (zip_stat_index(archive, i, 0, &st) != 0 || !(st.valid & ZIP_STAT_SIZE)) {
            Refuse(entry.name, "its size cannot be read");
        }
        if ((st.valid & ZIP_STAT_ENCRYPTION_METHOD) && st.encryption_method != ZIP_EM_NONE) {
            Refuse(entry.name, "it is encrypted");
        }
        if ((st.valid & ZIP_STAT_COMP_METHOD) &&
            !zip_compression_method_supported(st.comp_method, 0)) {
            Refuse(entry.name, "its compression method " + std::to_string(st.comp_method) +
                                   " is not supported");
        }

        zip_uint8_t system = 0;
        zip_uint32_t attributes = 0;
        if (zip_file_get_external_attributes(archive, i, 0, &system, &attributes) != 0) {
            Refuse(entry.name, "its attributes cannot be read");
        }
        bool folder = IsSeparator(entry.name.back());
        if (system == ZIP_OPSYS_UNIX) {
            const mode_t unixMode = mode_t(attributes >> 16);
            const mode_t type = unixMode & S_IFMT;
            if (type == S_IFLNK) Refuse(entry.name, "it is a symbolic link");
            if (type != 0 && type != S_IFREG && type != S_IFDIR) {
                Refuse(entry.name, "it is a special file");
            }
            if (type == S_IFDIR) folder = true;
            if (unixMode & 0777) entry.mode = unixMode & 0777;
        }

        for (std::string_view part : RawComponents(entry.name)) {
            if (!part.empty() && part != ".") entry.folders.emplace_back(part);
        }
        if (!folder) {
            // CheckEntryName made sure the last component is a real name.
            entry.file = entry.folders.back();
            entry.folders.pop_back();
            entry.size = st.size;
            if (entry.size > limits.maxTotalBytes - total) {
                Refuse(entry.name, "the archive unpacks to more than " +
                                       std::to_string(limits.maxTotalBytes) + " bytes");
            }
            total += entry.size;
        }

        plan.push_back(std::move(entry));
        const PlannedEntry& added = plan.back();
        size_t node = PathTree::kRoot;
        for (const std::string& part : added.folders) {
            node = tree.Child(node, part);
            if (const std::string* file = tree.FileAt(node)) {
                Refuse(*file, "a folder of the archive has the same name");
            }
            tree.SetFolder(node);
        }
        if (!folder) {
            node = tree.Child(node, added.file);
            if (tree.IsFolder(node)) {
                Refuse(added.name, "a folder of the archive has the same name");
            }
            tree.SetFile(node, &added.name);
        }
    }
    return plan;
}

// The folder `name` inside `parent`, created when missing; never a link.
Descriptor EnterFolder(int parent, const std::string& name, const PlannedEntry& entry) {
    if (mkdirat(parent, name.c_str(), 0755) != 0 && errno != EEXIST) {
        SystemFailure("Cannot create the folder for", entry.name, errno);
    }
    Descriptor folder(
        openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (folder.get() < 0) {
        const int error = errno;
        if (error == ELOOP || error == ENOTDIR) {
            throw EUpdateArchive("Cannot extract " + Quoted(entry.name) + ": " + Quoted(name) +
                                 " in the destination is not a folder (or is a link)");
        }
        throw EUpdateArchive("Cannot open the folder " + Quoted(name) + " for " +
                             Quoted(entry.name) + ": " + SystemText(error));
    }
    return folder;
}

void WriteAll(int fd, const char* data, size_t size, const PlannedEntry& entry) {
    while (size > 0) {
        const ssize_t n = write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            SystemFailure("Cannot write", entry.name, errno);
        }
        data += n;
        size -= size_t(n);
    }
}

std::string ZipErrorText(int code) {
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    std::string text = zip_error_strerror(&error);
    zip_error_fini(&error);
    return text;
}

// The entry's data into `out`; `budget` is what the total limit still allows.
void CopyEntry(zip_t* archive, int out, const PlannedEntry& entry, uint64_t& budget) {
    zip_file_t* in = zip_fopen_index(archive, entry.index, 0);
    if (!in) {
        throw EUpdateArchive("Cannot read " + Quoted(entry.name) + ": " + zip_strerror(archive));
    }
    std::unique_ptr<zip_file_t, int (*)(zip_file_t*)> inGuard(in, zip_fclose);
    std::vector<char> buffer(64 * 1024);
    uint64_t written = 0;
    for (;;) {
        const zip_int64_t n = zip_fread(in, buffer.data(), buffer.size());
        if (n < 0) {
            throw EUpdateArchive("Damaged entry " + Quoted(entry.name) + ": " +
                                 zip_file_strerror(in));
        }
        if (n == 0) break;
        // The zip library hands out whatever the data unpacks to and only
        // complains at the end; the declared sizes are what the limits were
        // checked against, so not one byte more is written.
        if (uint64_t(n) > entry.size - written || uint64_t(n) > budget - written) {
            throw EUpdateArchive("Damaged entry " + Quoted(entry.name) +
                                 ": it holds more bytes than its header declares");
        }
        WriteAll(out, buffer.data(), size_t(n), entry);
        written += uint64_t(n);
    }
    if (written != entry.size) {
        throw EUpdateArchive("Damaged entry " + Quoted(entry.name) +
                             ": it holds fewer bytes than its header declares");
    }
    if (const int error = zip_fclose(inGuard.release()); error != 0) {
        throw EUpdateArchive("Damaged entry " + Quoted(entry.name) + ": " + ZipErrorText(error));
    }
    budget -= written;
}

// Writes one file entry; `budget` is what the total limit still allows.
void ExtractFile(zip_t* archive, int folder, const PlannedEntry& entry, uint64_t& budget) {
    // The file is replaced rather than written over: an existing hard link
    // or special file of that name is never written through.
    if (unlinkat(folder, entry.file.c_str(), 0) != 0 && errno != ENOENT) {
        SystemFailure("Cannot replace", entry.name, errno);
    }
    Descriptor out(openat(folder, entry.file.c_str(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (out.get() < 0) {
        SystemFailure("Cannot create", entry.name, errno);
    }
    if (fchmod(out.get(), entry.mode) != 0) {
        SystemFailure("Cannot set the mode of", entry.name, errno);
    }

    try {
        CopyEntry(archive, out.get(), entry, budget);
    } catch (...) {
        // A partial file is of no use to anyone.
        unlinkat(folder, entry.file.c_str(), 0);
        throw;
    }
    if (out.Close() != 0) {
        const int error = errno;
        unlinkat(folder, entry.file.c_str(), 0);
        SystemFailure("Cannot write", entry.name, error);
    }
}

}  // namespace

std::string CheckEntryName(std::string_view name) {
    if (name.empty()) return "the name is empty";
    if (name.find('\0') != std::string_view::npos) return "the name holds a NUL byte";
    if (IsSeparator(name[0])) return "the name is an absolute path";
    const unsigned char first = static_cast<unsigned char>(name[0]);
    if (name.size() >= 2 && name[1] == ':' &&
        ((first >= 'A' && first <= 'Z') || (first >= 'a' && first <= 'z'))) {
        return "the name starts with a drive letter";
    }
    const std::vector<std::string_view> parts = RawComponents(name);
    for (std::string_view part : parts) {
        if (part == "..") return "the name leads out of the folder with \"..\"";
    }
    if (!IsSeparator(name.back()) && parts.back() == ".") return "the name names no file";
    return {};
}

void ExtractUpdateArchive(const std::string& zipPath, const std::string& destFolder,
                          const ArchiveLimits& limits) {
    const std::string archiveName = "The update archive " + Quoted(zipPath);
    int code = 0;
    ZipHandle archive(zip_open(zipPath.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &code));
    if (!archive) throw EUpdateArchive(archiveName + " cannot be opened: " + ZipErrorText(code));
    const std::vector<PlannedEntry> plan = CheckEntries(archive.get(), limits, archiveName);

    Descriptor dest(open(destFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dest.get() < 0) {
        SystemFailure("Cannot open the folder", destFolder, errno);
    }
    uint64_t budget = limits.maxTotalBytes;
    for (const PlannedEntry& entry : plan) {
        Descriptor folder;
        int at = dest.get();
        for (const std::string& name : entry.folders) {
            folder = EnterFolder(at, name, entry);
            at = folder.get();
        }
        if (!entry.file.empty()) ExtractFile(archive.get(), at, entry, budget);
    }
}

void CheckArchiveBytes(const void* data, size_t size, const ArchiveLimits& limits) {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(data, size, 0, &error);
    if (!source) {
        const std::string text = zip_error_strerror(&error);
        zip_error_fini(&error);
        throw EUpdateArchive("The update archive cannot be read: " + text);
    }
    ZipHandle archive(zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &error));
    if (!archive) {
        zip_source_free(source);
        const std::string text = zip_error_strerror(&error);
        zip_error_fini(&error);
        throw EUpdateArchive("The update archive cannot be opened: " + text);
    }
    zip_error_fini(&error);
    CheckEntries(archive.get(), limits, "The update archive");
}

}  // namespace zt
