#include "LcfBuilder.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <stdexcept>

#include "lang/CodePages.h"

namespace zt::lcf {

namespace {

std::string Trim(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return {};
    const size_t last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

std::string Unescape(std::string value, const std::string& where) {
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        value = value.substr(1, value.size() - 2);
    std::string out;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\') {
            out += value[i];
            continue;
        }
        if (++i == value.size()) throw std::runtime_error(where + ": a lone \"\\\" at the end");
        switch (value[i]) {
            case 'n':
                out += '\n';
                break;
            case 't':
                out += '\t';
                break;
            case '"':
                out += '"';
                break;
            case '\\':
                out += '\\';
                break;
            default:
                throw std::runtime_error(where + ": unknown escape \"\\" + value[i] + "\"");
        }
    }
    return out;
}

int32_t Number(const std::string& text, const std::string& where) {
    size_t used = 0;
    long value = 0;
    try {
        value = std::stol(text, &used);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used != text.size() || text.empty() || value < 0 || value > 0x7FFFFFFF)
        throw std::runtime_error(where + ": \"" + text + "\" is not a number");
    return int32_t(value);
}

void Put32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out += char((v >> (8 * i)) & 0xFF);
}
void Put16(std::string& out, uint16_t v) {
    out += char(v & 0xFF);
    out += char(v >> 8);
}
void Set32(std::string& out, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + i] = char((v >> (8 * i)) & 0xFF);
}
std::string Utf16Bytes(const std::u16string& text) {
    std::string out;
    for (char16_t c : text) Put16(out, uint16_t(c));
    return out;
}
void Align(std::string& out, size_t to) {
    while (out.size() % to) out += '\0';
}

// Slots of offset and signed length, then the texts they point at; offsets
// from `base` within `out` (the start of the resource or of a record).
struct Texts {
    std::string& out;
    size_t base;
    void Slot(size_t slotAt, const std::u16string* text) {
        if (!text) {
            Set32(out, slotAt, 0);
            Set32(out, slotAt + 4, uint32_t(-1));
            return;
        }
        Align(out, 2);
        Set32(out, slotAt, uint32_t(out.size() - base));
        const std::string bytes = Utf16Bytes(*text);
        Set32(out, slotAt + 4, uint32_t(bytes.size()));
        out += bytes;
    }
};

std::string HeaderResource(const std::vector<LanguageSource>& languages,
                           const BuildOptions& options) {
    std::string out = "LCHEADER";
    Put32(out, options.reserveSlotZero ? 1 : 0);
    Put32(out, uint32_t(languages.size()));
    for (const LanguageSource& l : languages) Put32(out, uint32_t(l.lcid));
    if (options.codePagesInHeader) {
        for (const LanguageSource& l : languages)
            Put32(out, uint32_t(l.codePage >= 0 ? l.codePage : LocaleAnsiCodePage(l.lcid)));
    }
    return out;
}

std::string StringResource(const std::vector<LanguageSource>& languages, int32_t number,
                           const BuildOptions& options) {
    const size_t shift = options.reserveSlotZero ? 1 : 0;
    const size_t slots = languages.size() + shift;
    std::string out(8 * slots, '\0');
    Texts texts{out, 0};
    if (shift) texts.Slot(0, nullptr);
    for (size_t i = 0; i < languages.size(); ++i) {
        const auto it = languages[i].strings.find(number);
        texts.Slot(8 * (i + shift), it == languages[i].strings.end() ? nullptr : &it->second);
    }
    return out;
}

std::string ClassResource(const std::vector<LanguageSource>& languages,
                          const std::string& className) {
    // Every path any language has, in the order first written; per language
    // its last text.
    std::vector<std::string> paths;
    std::vector<std::map<std::string, std::u16string>> texts(languages.size());
    for (size_t i = 0; i < languages.size(); ++i) {
        const auto it = languages[i].classes.find(className);
        if (it == languages[i].classes.end()) continue;
        for (const auto& [path, text] : it->second) {
            if (std::find(paths.begin(), paths.end(), path) == paths.end()) paths.push_back(path);
            texts[i][path] = text;
        }
    }
    std::string out;
    Put32(out, uint32_t(className.size()));
    out += className;
    Put32(out, uint32_t(paths.size()));
    const size_t table = out.size();
    out.append(8 * paths.size(), '\0');
    // The reader applies a table from its last entry to its first: the
    // table is written in reverse, so entries apply in the order written
    // and a later entry for the same property wins.
    for (size_t e = 0; e < paths.size(); ++e) {
        const std::string& path = paths[paths.size() - 1 - e];
        Align(out, 4);
        const size_t record = out.size();
        Set32(out, table + 8 * e, uint32_t(record - table));
        out.append(8 + 8 * languages.size(), '\0');
        Set32(out, record, uint32_t(out.size() - record));
        Set32(out, record + 4, uint32_t(path.size()));
        out += path;
        Texts slots{out, record};
        for (size_t i = 0; i < languages.size(); ++i) {
            const auto it = texts[i].find(path);
            slots.Slot(record + 8 + 8 * i, it == texts[i].end() ? nullptr : &it->second);
        }
    }
    return out;
}

std::u16string Upper(const std::string& name) {
    std::u16string out;
    for (char c : name) out += char16_t(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

}  // namespace

LanguageSource ParseSource(const std::string& text, const std::string& origin) {
    LanguageSource source;
    std::istringstream in(text);
    std::string line, section;
    bool haveLanguage = false;
    for (int number = 1; std::getline(in, line); ++number) {
        const std::string where = origin + ":" + std::to_string(number);
        if (number == 1 && line.rfind("\xEF\xBB\xBF", 0) == 0) line = line.substr(3);
        const std::string trimmed = Trim(line);
        if (trimmed.empty() || trimmed[0] == '#') continue;
        if (trimmed.front() == '[') {
            if (trimmed.back() != ']' || trimmed.size() < 3)
                throw std::runtime_error(where + ": a section is written \"[name]\"");
            section = Trim(trimmed.substr(1, trimmed.size() - 2));
            continue;
        }
        const size_t eq = trimmed.find('=');
        if (eq == std::string::npos) throw std::runtime_error(where + ": \"key = value\" expected");
        const std::string key = Trim(trimmed.substr(0, eq));
        const std::string value = Unescape(Trim(trimmed.substr(eq + 1)), where);
        if (key.empty()) throw std::runtime_error(where + ": the key is missing");
        if (section.empty()) {
            if (key == "language") {
                source.lcid = Number(value, where);
                haveLanguage = true;
            } else if (key == "codepage") {
                source.codePage = Number(value, where);
            } else {
                throw std::runtime_error(where + ": unknown setting \"" + key + "\"");
            }
        } else if (section == "strings") {
            source.strings[Number(key, where)] = Utf8ToUtf16(value);
        } else {
            if (key.find('-') == std::string::npos)
                throw std::runtime_error(where + ": \"Component-Property\" expected");
            auto& entries = source.classes[section];
            const std::u16string text = Utf8ToUtf16(value);
            auto it = std::find_if(entries.begin(), entries.end(),
                                   [&](const auto& e) { return e.first == key; });
            if (it != entries.end())
                it->second = text;
            else
                entries.emplace_back(key, text);
        }
    }
    if (!haveLanguage)
        throw std::runtime_error(origin + ": \"language = <identifier>\" is missing");
    return source;
}

LanguageSource ReadSourceFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error(path + ": cannot be read");
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return ParseSource(text, path);
}

std::map<std::string, std::string> BuildResources(const std::vector<LanguageSource>& languages,
                                                  const BuildOptions& options) {
    std::map<std::string, std::string> resources;
    resources[options.codePagesInHeader ? "LCHEADE2" : "LCHEADER"] =
        HeaderResource(languages, options);
    std::set<int32_t> numbers;
    std::set<std::string> classes;
    for (const LanguageSource& l : languages) {
        for (const auto& [number, text] : l.strings) numbers.insert(number);
        for (const auto& [name, entries] : l.classes) classes.insert(name);
    }
    for (int32_t number : numbers)
        resources[std::to_string(number)] = StringResource(languages, number, options);
    for (const std::string& name : classes) {
        std::string upper;
        for (char c : name) upper += char(std::toupper(static_cast<unsigned char>(c)));
        resources[upper] = ClassResource(languages, name);
    }
    return resources;
}

std::string BuildLanguageFile(const std::vector<LanguageSource>& languages,
                              const BuildOptions& options) {
    return BuildResourceModule(BuildResources(languages, options));
}

std::string BuildResourceModule(const std::map<std::string, std::string>& rcdata) {
    constexpr uint32_t kSectionRva = 0x1000, kFileAlign = 0x200, kSectionAlign = 0x1000;
    // Resource names in the order the directory keeps them: by upper case.
    std::vector<std::pair<std::u16string, const std::string*>> named;
    for (const auto& [name, bytes] : rcdata) named.emplace_back(Upper(name), &bytes);
    std::sort(named.begin(), named.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    const size_t m = named.size();

    // Root, the type directory, one language directory per name, the data
    // entries, the names, then the data.
    std::string rsrc;
    auto directory = [&](uint16_t namedCount, uint16_t idCount) {
        rsrc.append(12, '\0');
        Put16(rsrc, namedCount);
        Put16(rsrc, idCount);
    };
    directory(0, 1);
    const size_t rootEntry = rsrc.size();
    rsrc.append(8, '\0');
    const size_t typeDir = rsrc.size();
    directory(uint16_t(m), 0);
    const size_t nameEntries = rsrc.size();
    rsrc.append(8 * m, '\0');
    std::vector<size_t> languageDirs(m), dataEntries(m), names(m);
    for (size_t i = 0; i < m; ++i) {
        languageDirs[i] = rsrc.size();
        directory(0, 1);
        rsrc.append(8, '\0');  // language 0 (neutral) -> data entry
    }
    for (size_t i = 0; i < m; ++i) {
        dataEntries[i] = rsrc.size();
        rsrc.append(16, '\0');
    }
    for (size_t i = 0; i < m; ++i) {
        names[i] = rsrc.size();
        Put16(rsrc, uint16_t(named[i].first.size()));
        rsrc += Utf16Bytes(named[i].first);
    }
    constexpr uint32_t kDir = 0x80000000u;
    Set32(rsrc, rootEntry, 10);
    Set32(rsrc, rootEntry + 4, kDir | uint32_t(typeDir));
    for (size_t i = 0; i < m; ++i) {
        Set32(rsrc, nameEntries + 8 * i, kDir | uint32_t(names[i]));
        Set32(rsrc, nameEntries + 8 * i + 4, kDir | uint32_t(languageDirs[i]));
        Set32(rsrc, languageDirs[i] + 16, 0);
        Set32(rsrc, languageDirs[i] + 20, uint32_t(dataEntries[i]));
        Align(rsrc, 4);
        const size_t at = rsrc.size();
        rsrc += *named[i].second;
        Set32(rsrc, dataEntries[i], uint32_t(kSectionRva + at));
        Set32(rsrc, dataEntries[i] + 4, uint32_t(named[i].second->size()));
    }
    const uint32_t virtualSize = uint32_t(rsrc.size());
    Align(rsrc, kFileAlign);
    const uint32_t rawSize = uint32_t(rsrc.size());

    std::string image(0x40, '\0');
    image[0] = 'M';
    image[1] = 'Z';
    Set32(image, 0x3C, 0x40);
    image += std::string("PE\0\0", 4);
    Put16(image, 0x14C);  // i386
    Put16(image, 1);      // one section
    Put32(image, 0);      // time stamp
    Put32(image, 0);      // symbols
    Put32(image, 0);
    Put16(image, 0xE0);    // optional header size
    Put16(image, 0x2102);  // executable image, 32-bit, DLL
    const size_t optional = image.size();
    Put16(image, 0x10B);  // PE32
    image.append(2, '\0');
    Put32(image, 0);            // size of code
    Put32(image, rawSize);      // initialised data
    Put32(image, 0);            // uninitialised data
    Put32(image, 0);            // entry point: none
    Put32(image, 0);            // base of code
    Put32(image, kSectionRva);  // base of data
    Put32(image, 0x10000000);   // image base
    Put32(image, kSectionAlign);
    Put32(image, kFileAlign);
    Put16(image, 4);  // OS version
    Put16(image, 0);
    Put32(image, 0);  // image version
    Put16(image, 4);  // subsystem version
    Put16(image, 0);
    Put32(image, 0);  // Win32 version
    Put32(image, kSectionRva + (virtualSize + kSectionAlign - 1) / kSectionAlign * kSectionAlign);
    Put32(image, kFileAlign);  // size of headers
    Put32(image, 0);           // checksum
    Put16(image, 2);           // GUI subsystem
    Put16(image, 0);
    Put32(image, 0x100000);
    Put32(image, 0x1000);
    Put32(image, 0x100000);
    Put32(image, 0x1000);
    Put32(image, 0);   // loader flags
    Put32(image, 16);  // data directories
    for (int d = 0; d < 16; ++d) {
        Put32(image, d == 2 ? kSectionRva : 0);
        Put32(image, d == 2 ? virtualSize : 0);
    }
    if (image.size() != optional + 0xE0) throw std::logic_error("optional header size");
    image += std::string(".rsrc\0\0\0", 8);
    Put32(image, virtualSize);
    Put32(image, kSectionRva);
    Put32(image, rawSize);
    Put32(image, kFileAlign);
    Put32(image, 0);
    Put32(image, 0);
    Put16(image, 0);
    Put16(image, 0);
    Put32(image, 0x40000040);  // initialised data, readable
    Align(image, kFileAlign);
    image += rsrc;
    return image;
}

}  // namespace zt::lcf
