#include "settings/SettingsFile.h"

// Narrow UTF-8 text only: no wide-character converter is needed.
#define SI_NO_CONVERSION
#include <SimpleIni.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/AtomicFile.h"
#include "platform/Convert.h"
#include "platform/Exceptions.h"

namespace zt {

namespace {

struct TextKey {
    const char* section;
    const char* key;
    std::string RecorderSettings::*field;
};

// The keys in file order; iIdioma (an integer) sits between SiglaCrowley and
// sVersao and is handled on its own.
constexpr TextKey kKeysBeforeIdioma[] = {
    {"Gravacao", "Formato", &RecorderSettings::Formato},
    {"Geral", "Placa", &RecorderSettings::Placa},
    {"Geral", "Local", &RecorderSettings::Local},
    {"Geral", "AutoGravar", &RecorderSettings::AutoGravar},
    {"Geral", "MB Livres", &RecorderSettings::MBLivres},
    {"Geral", "DiasRec", &RecorderSettings::DiasRec},
    {"Geral", "TempoRec", &RecorderSettings::TempoRec},
    {"Geral", "Copia", &RecorderSettings::Copia},
    {"Geral", "LocalCopia", &RecorderSettings::LocalCopia},
    {"Geral", "Prioridade", &RecorderSettings::Prioridade},
    {"Geral", "Controle", &RecorderSettings::Controle},
    {"Geral", "Crowley", &RecorderSettings::Crowley},
    {"Geral", "SiglaCrowley", &RecorderSettings::SiglaCrowley},
};
constexpr TextKey kKeysAfterIdioma[] = {
    {"System", "sVersao", &RecorderSettings::sVersao},
    {"System", "sGuid", &RecorderSettings::sGuid},
};

}  // namespace

RecorderSettings DefaultSettings(const std::string& exeDir) {
    RecorderSettings s;
    s.Formato = "4";
    s.Placa = "0";
    s.Local = DefaultRecordingFolder(exeDir);
    s.AutoGravar = "S";
    s.MBLivres = "200";
    s.DiasRec = "30";
    s.TempoRec = "10";
    s.Copia = "N";
    s.LocalCopia = "";
    s.Prioridade = "N";
    s.Controle = "0";
    s.Crowley = "N";
    s.SiglaCrowley = "";
    s.iIdioma = -1;
    s.sVersao = "";
    s.sGuid = "";
    return s;
}

namespace {

[[noreturn]] void ReadFailed(const std::string& path, const char* step, int error) {
    throw Exception("Cannot read the file \"" + path + "\"\n" + step + ":\n" +
                    std::strerror(error));
}

std::string ReadWholeFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) ReadFailed(path, "open", errno);
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int error = errno;
        ::close(fd);
        ReadFailed(path, "fstat", error);
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        ReadFailed(path, "open", S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
    }
    std::string text;
    char buffer[8192];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            const int error = errno;
            ::close(fd);
            ReadFailed(path, "read", error);
        }
        if (n == 0) break;
        text.append(buffer, size_t(n));
    }
    ::close(fd);
    return text;
}

bool FileMissing(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) != 0 && errno == ENOENT;
}

}  // namespace

struct SettingsDocument::Impl {
    CSimpleIniA ini{/*isUtf8=*/true, /*multiKey=*/false, /*multiLine=*/false};
    Impl() { ini.SetSpaces(false); }
};

SettingsDocument::SettingsDocument() : impl_(std::make_unique<Impl>()) {}
SettingsDocument::~SettingsDocument() = default;
SettingsDocument::SettingsDocument(SettingsDocument&&) noexcept = default;
SettingsDocument& SettingsDocument::operator=(SettingsDocument&&) noexcept = default;

SettingsDocument SettingsDocument::Defaults(const std::string& exeDir) {
    const RecorderSettings s = DefaultSettings(exeDir);
    SettingsDocument doc;
    for (const auto& k : kKeysBeforeIdioma) doc.Set(k.section, k.key, s.*k.field);
    doc.Set("System", "iIdioma", IntToStr(s.iIdioma));
    for (const auto& k : kKeysAfterIdioma) doc.Set(k.section, k.key, s.*k.field);
    return doc;
}

SettingsDocument SettingsDocument::ReadFile(const std::string& path) {
    const std::string text = ReadWholeFile(path);
    SettingsDocument doc;
    const SI_Error rc = doc.impl_->ini.LoadData(text.data(), text.size());
    if (rc < 0) ReadFailed(path, "parse", rc == SI_NOMEM ? ENOMEM : EINVAL);
    return doc;
}

std::string SettingsDocument::Get(const char* section, const char* key) const {
    const char* value = impl_->ini.GetValue(section, key, nullptr);
    return value ? std::string(value) : std::string();
}

void SettingsDocument::Set(const char* section, const char* key, const std::string& value) {
    if (value.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) {
        throw Exception(std::string("The value of ") + key + " cannot contain a line break");
    }
    const SI_Error rc = impl_->ini.SetValue(section, key, value.c_str());
    if (rc < 0) throw Exception(std::string("Cannot set the setting ") + key);
}

RecorderSettings SettingsDocument::ToSettings() const {
    RecorderSettings s;
    for (const auto& k : kKeysBeforeIdioma) s.*k.field = Get(k.section, k.key);
    // Not a number (or missing) reads as "no language chosen yet".
    s.iIdioma = StrToIntDef(Get("System", "iIdioma"), -1);
    for (const auto& k : kKeysAfterIdioma) s.*k.field = Get(k.section, k.key);
    return s;
}

std::string SettingsDocument::Text() const {
    std::string text;
    const SI_Error rc = impl_->ini.Save(text, /*addSignature=*/false);
    if (rc < 0) throw Exception("Cannot format the settings (error " + IntToStr(rc) + ")");
    return text;
}

void SettingsDocument::WriteFile(const std::string& path) const {
    WriteFileAtomically(path, Text());
}

std::string SettingsFilePath(const std::string& exeDir) {
    return exeDir + "cfg.ini";
}

std::string DefaultRecordingFolder(const std::string& exeDir) {
    return exeDir + "Audio";
}

void WriteDefaultSettings(const std::string& exeDir) {
    SettingsDocument::Defaults(exeDir).WriteFile(SettingsFilePath(exeDir));
}

RecorderSettings ReadSettingsFile(const std::string& exeDir) {
    const std::string path = SettingsFilePath(exeDir);
    if (FileMissing(path)) WriteDefaultSettings(exeDir);
    return SettingsDocument::ReadFile(path).ToSettings();
}

}  // namespace zt
