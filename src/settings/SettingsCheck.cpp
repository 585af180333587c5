#include "settings/SettingsCheck.h"

#include <cstdint>
#include <limits>
#include <optional>

#include "platform/Convert.h"
#include "settings/ApplySettings.h"
#include "settings/SettingsFile.h"

namespace zt {

namespace {

struct NumberKey {
    const char* section;
    const char* key;
    std::string RecorderSettings::*field;
    int64_t min, max;
};

constexpr int64_t kIntMax = std::numeric_limits<int32_t>::max();

const NumberKey kNumbers[] = {
    {"Gravacao", "Formato", &RecorderSettings::Formato, 0, 13},
    {"Geral", "Placa", &RecorderSettings::Placa, -1, kIntMax},
    {"Geral", "MB Livres", &RecorderSettings::MBLivres, 0, kIntMax},
    {"Geral", "DiasRec", &RecorderSettings::DiasRec, 0, kIntMax},
    {"Geral", "TempoRec", &RecorderSettings::TempoRec, 0, kMaxSegmentMinutes},
    {"Geral", "Controle", &RecorderSettings::Controle, -1, kIntMax},
};

struct FlagKey {
    const char* key;
    std::string RecorderSettings::*field;
};

const FlagKey kFlags[] = {
    {"AutoGravar", &RecorderSettings::AutoGravar},
    {"Copia", &RecorderSettings::Copia},
    {"Prioridade", &RecorderSettings::Prioridade},
    {"Crowley", &RecorderSettings::Crowley},
};

}  // namespace

std::vector<SettingsProblem> RepairSettings(RecorderSettings& settings, const std::string& exeDir) {
    const RecorderSettings defaults = DefaultSettings(exeDir);
    std::vector<SettingsProblem> problems;
    auto replace = [&](const char* section, const char* key, std::string RecorderSettings::*field) {
        problems.push_back({section, key, settings.*field, defaults.*field});
        settings.*field = defaults.*field;
    };
    for (const NumberKey& k : kNumbers) {
        const std::optional<int32_t> value = TryStrToInt(settings.*k.field);
        if (!value || *value < k.min || *value > k.max) replace(k.section, k.key, k.field);
    }
    if (settings.Local.empty()) replace("Geral", "Local", &RecorderSettings::Local);
    for (const FlagKey& k : kFlags)
        if ((settings.*k.field).empty()) replace("Geral", k.key, k.field);
    return problems;
}

std::string SettingsProblemsText(const std::string& path,
                                 const std::vector<SettingsProblem>& problems) {
    std::string text = "Valores inválidos em \"" + path +
                       "\"; até as configurações serem gravadas, valem os valores padrão:";
    for (const SettingsProblem& p : problems)
        text +=
            "\n[" + p.section + "] " + p.key + " = \"" + p.value + "\": usado \"" + p.used + "\"";
    return text;
}

}  // namespace zt
