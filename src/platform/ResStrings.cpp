#include "platform/ResStrings.h"

#include <atomic>
#include <unordered_map>

namespace zt {

namespace {

const std::unordered_map<int, const char*>& BuiltInTable() {
    // Texts are shown exactly as they stand, doubled apostrophe included.
    static const std::unordered_map<int, const char*> table = {
        {28020, "Select..."},
        {28040, "Unable to load"},
        {28060, "Change to property while device was open"},
        {28061, "Invalid DeviceID"},
        {28062, "Invalid WaveFormat"},
        {28064, "Unable to allocate memory for wave header"},
        {28080, "Unable to start device"},
        {28081, "Error filling wave buffer"},
        {28086, "Specified error number is out of range (unknown error)"},
        {28087, "The actual device can''t record this format"},
        {28088, "Could not create thread"},
        {28089, "Invalid wave format"},
        {28160, "No wave audio recording device found"},
        {28162, "Unable to open device"},
        {28163, "Unable to close device"},
        // The recorder's own reports of audio it could not record.
        {29100,
         "Perda de áudio: %s s a partir de %s não foram gravados, porque o programa ficou "
         "ocupado por tempo demais."},
        {29110, "Não está gravando: %s. Nova tentativa a cada 5 segundos."},
        {29111, "Não está gravando: %s. A gravação continua assim que houver espaço."},
        {29112,
         "Não foi possível gravar em \"%s\": %s. A gravação continua num novo arquivo assim que "
         "houver espaço."},
        {29113, "não foi possível gravar em \"%s\": %s"},
        {29114,
         "Não foi possível dar o nome final \"%s\" a \"%s\": %s. O arquivo continua com o nome "
         "provisório."},
        {29115,
         "Não foi possível dar o nome final a \"%s\": \"%s\" e os nomes com sufixo já existem. O "
         "arquivo continua com o nome provisório."},
        {29116, "O arquivo \"%s\" não existe mais: o segmento não foi finalizado."},
        {29117, "Não foi possível copiar \"%s\" para \"%s\": %s."},
        {29118, "erro desconhecido"},
        {29119, "a captura de áudio parou"},
        {29120, "a captura não começou"},
        {29121,
         "A placa de som %s das configurações não foi encontrada. A gravação usa a placa "
         "\"Default\"."},
        {65500, "<unknown>"},
        {29101,
         "Perda de áudio: %s s a partir de %s não foram gravados, porque a placa de som não "
         "foi lida a tempo."},
    };
    return table;
}

std::atomic<StringLoader> g_loader{nullptr};

}  // namespace

std::string BuiltInResString(int id) {
    const auto& table = BuiltInTable();
    const auto it = table.find(id);
    return it == table.end() ? std::string() : std::string(it->second);
}

std::string LoadResString(int id) {
    const StringLoader loader = g_loader.load();
    return loader ? loader(id) : BuiltInResString(id);
}

StringLoader SetStringLoader(StringLoader loader) {
    return g_loader.exchange(loader);
}

std::string FormatResString(int id, std::initializer_list<std::string> values) {
    std::string text = LoadResString(id);
    size_t from = 0;
    for (const std::string& value : values) {
        const size_t at = text.find("%s", from);
        if (at == std::string::npos) break;
        text.replace(at, 2, value);
        from = at + value.size();
    }
    return text;
}

}  // namespace zt
