#include "lang/Lcf.h"

#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>

#include "lang/CodePages.h"
#include "platform/Paths.h"
#include "platform/ThreadAnnotations.h"

namespace zt {

namespace {

// The language of the process (main thread only).
TLcf* g_current = nullptr;
// The language LoadLanguage made; CurrentLanguage points at it.
std::unique_ptr<TLcf> g_owned;
// The language numbered strings come from: other threads (the export pump,
// the capture thread) look strings up while the main thread changes the
// language, so the hook reads it under this lock. A language is published
// here only once it is open, and taken out before it is destroyed.
Mutex g_lock;
const TLcf* g_active GUARDED_BY(g_lock) = nullptr;

constexpr char kHeaderBytes[] = "LCHEADER";
constexpr int64_t kMaxFileBytes = 64 << 20;

std::u16string Ascii16(const std::string& text) {
    return std::u16string(text.begin(), text.end());
}

}  // namespace

TLcf::TLcf() {
    g_current = this;
}

TLcf::~TLcf() {
    if (g_current == this) g_current = nullptr;
    {
        MutexLock guard(g_lock);
        if (g_active == this) g_active = nullptr;
    }
    if (hooked_) SetStringLoader(previousLoader_);
}

TLcf* CurrentLanguage() {
    return g_current;
}

int TLcf::Open(const std::string& fileName, int32_t lcid, const LanguageEnumProc& enumProc,
               void* userData) {
    std::ifstream in(fileName, std::ios::binary | std::ios::ate);
    if (!in) return -1;
    // A language file is a few kilobytes; anything this large is not one,
    // and reading it would hold up the start.
    if (in.tellg() > std::streamoff(kMaxFileBytes)) return -1;
    in.seekg(0);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
    if (in.bad()) return -1;
    return OpenBytes(std::move(bytes), lcid, enumProc, userData);
}

int TLcf::OpenBytes(std::vector<uint8_t> bytes, int32_t lcid, const LanguageEnumProc& enumProc,
                    void* userData) {
    bytes_ = std::move(bytes);
    resources_ = PeResources::Parse(bytes_);
    if (!resources_) return -1;
    UserData = userData;
    std::optional<std::span<const uint8_t>> header = resources_->Find(kResourceRcData, u"LCHEADER");
    CodePagesFromLocale = header.has_value();
    if (!header) header = resources_->Find(kResourceRcData, u"LCHEADE2");
    if (!header || header->size() < 16 || std::memcmp(header->data(), kHeaderBytes, 8) != 0)
        return -1;
    header_ = *header;

    if (enumProc) {
        const int32_t count = *ReadI32(header_, 12);
        for (int64_t i = 0; i < count; ++i) {
            const auto id = ReadI32(header_, 16 + 4 * uint64_t(i));
            if (!id || enumProc(*id, UserData) == 0) break;
        }
    }
    const std::optional<Language> found = FindLanguage(lcid);
    if (!found) return 0;
    Slot = found->slot;
    Index = found->index;
    CodePage = found->codePage;
    CurLCID = lcid;
    return 1;
}

std::optional<TLcf::Language> TLcf::FindLanguage(int32_t lcid) const {
    if (header_.empty()) return std::nullopt;
    if (lcid == CurLCID && CurLCID != 0) return Language{Slot, Index, CodePage};
    const int32_t flags = *ReadI32(header_, 8);
    const int32_t count = *ReadI32(header_, 12);
    for (int64_t i = 0; i < count; ++i) {
        const auto id = ReadI32(header_, 16 + 4 * uint64_t(i));
        if (!id) break;  // the list runs past its resource
        if (*id != lcid) continue;
        Language found;
        found.index = int32_t(i);
        found.slot = int32_t(i) + ((flags & 1) ? 1 : 0);
        if (CodePagesFromLocale) {
            found.codePage = LocaleAnsiCodePage(lcid);
        } else {
            const auto page = ReadI32(header_, 16 + 4 * uint64_t(count) + 4 * uint64_t(i));
            found.codePage = page ? *page : 0;
        }
        return found;
    }
    return std::nullopt;
}

std::string TLcf::LoadTranslatedString(int id) const {
    if (const std::optional<Language> language = FindLanguage(CurLCID)) {
        if (const auto resource = resources_->Find(kResourceRcData, Ascii16(std::to_string(id)))) {
            const auto offset = ReadI32(*resource, 8 * uint64_t(language->slot));
            const auto length = ReadI32(*resource, 8 * uint64_t(language->slot) + 4);
            // A slot or text outside the resource counts as no translation.
            if (offset && length && *length >= 0 && *offset >= 0 &&
                uint64_t(*offset) <= resource->size() &&
                uint64_t(*length) <= resource->size() - uint64_t(*offset)) {
                std::u16string text;
                for (int32_t i = 0; i + 1 < *length; i += 2)
                    text += char16_t((*resource)[*offset + i] | (*resource)[*offset + i + 1] << 8);
                return Utf16ToUtf8(text);
            }
        }
    }
    return BuiltInResString(id);
}

std::optional<std::span<const uint8_t>> TLcf::Resource(const std::string& name) const {
    if (!resources_) return std::nullopt;
    return resources_->Find(kResourceRcData, Ascii16(name));
}

std::vector<std::string> TLcf::ResourceNames() const {
    std::vector<std::string> names;
    if (!resources_) return names;
    for (const std::u16string& name : resources_->Names(kResourceRcData))
        names.push_back(Utf16ToUtf8(name));
    return names;
}

void TLcf::InstallStringLoader() {
    {
        MutexLock guard(g_lock);
        g_active = this;
    }
    if (hooked_) return;
    previousLoader_ = SetStringLoader(&ResStringHook);
    hooked_ = true;
}

std::string ResStringHook(int id) {
    // Numbers beyond the string table are texts of their own, not lookups.
    if (id >= 65536) return BuiltInResString(id);
    MutexLock guard(g_lock);
    if (!g_active) return BuiltInResString(id);
    return g_active->LoadTranslatedString(id);
}

void UnloadLanguage() {
    g_current = nullptr;
    g_owned.reset();
}

int LoadLanguage(const std::string& fileName, int32_t lcid, const LanguageEnumProc& enumProc,
                 void* userData) {
    UnloadLanguage();
    g_owned = std::make_unique<TLcf>();
    const int result = g_owned->Open(fileName, lcid, enumProc, userData);
    if (result == 1)
        g_owned->InstallStringLoader();
    else
        UnloadLanguage();
    return result;
}

std::string LanguageFilePath() {
    const std::string exe = ExecutablePath();
    const std::string dir = ExecutableDir();
    std::string stem = "ZeltaTresona";
    const auto slash = exe.rfind('/');
    // The running program's own name, unless its folder is overridden (a
    // test standing in for the program's folder).
    if (slash != std::string::npos && exe.substr(0, slash + 1) == dir) {
        stem = exe.substr(slash + 1);
        const auto dot = stem.rfind('.');
        if (dot != std::string::npos && dot > 0) stem.resize(dot);
    }
    return dir + stem + ".lcf";
}

}  // namespace zt
