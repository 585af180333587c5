#include "update/UpdateService.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace zt {

namespace {

std::string Upper(std::string text) {
    for (char& c : text) c = char(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

std::string Lower(std::string text) {
    for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

std::string UpdateBaseUrl() {
    if (const char* env = std::getenv("ZT_UPDATE_BASE_URL"); env && *env) {
        std::string url = env;
        if (url.back() != '/') url += '/';
        return url;
    }
    return ZT_UPDATE_BASE_URL;
}

std::string StartupVersionQueryUrl(const std::string& base, const std::string& version,
                                   const std::string& guid) {
    return base + "adm/versao.asp?versao=" + version + "&produto=" + kUpdateProduct +
           "&guid=" + guid;
}

std::string VersionQueryUrl(const std::string& base, const std::string& product,
                            const std::string& version, const std::string& alias,
                            const std::string& guid) {
    return base + "adm/versao.asp?versao=" + version + "&produto=" + product + "&alias=" + alias +
           "&guid=" + guid;
}

std::string ArchiveUrl(const std::string& base, const std::string& product,
                       const std::string& reply) {
    return base + "adm/atualiza/" + product + "/" + reply;
}

std::string InstallReportUrl(const std::string& base, const std::string& version,
                             const std::string& product, const std::string& guid) {
    return base + "adm/versao_atualiza_cliente.asp?versao=" + version + "&produto=" + product +
           "&guid=" + guid;
}

std::string HistoryUrl(const std::string& base, const std::string& product,
                       const std::string& version) {
    return base + "historico_atualizacoes.asp?Produto=" + product + "&Versao=" + version;
}

UpdateReply ClassifyReply(const std::string& reply) {
    const std::string upper = Upper(reply);
    if (upper == "NADA") return UpdateReply::Nada;
    if (upper == "SEMPERMISSAO") return UpdateReply::SemPermissao;
    if (upper == "ERRO") return UpdateReply::Erro;
    return UpdateReply::Archive;
}

bool StartupReplyOffersUpdate(const std::string& reply) {
    if (ClassifyReply(reply) != UpdateReply::Archive) return false;
    // Blanks and control characters, as a trim takes them off.
    return std::any_of(reply.begin(), reply.end(),
                       [](char c) { return static_cast<unsigned char>(c) > ' '; });
}

std::string NewVersionFromReply(const std::string& reply) {
    const size_t a = reply.find('a');
    std::string version = a == std::string::npos ? reply : reply.substr(a + 1);
    if (const size_t zip = version.find(".zip"); zip != std::string::npos) version.erase(zip, 4);
    return version;
}

std::string BodyInnerMarkup(const std::string& page) {
    const std::string lower = Lower(page);
    size_t open = std::string::npos;
    for (size_t at = lower.find("<body"); at != std::string::npos;
         at = lower.find("<body", at + 1)) {
        const char next = at + 5 < lower.size() ? lower[at + 5] : '\0';
        if (next == '>' || next == '/' || std::isspace(static_cast<unsigned char>(next))) {
            open = at;
            break;
        }
    }
    if (open == std::string::npos) return page;
    const size_t start = lower.find('>', open);
    if (start == std::string::npos) return page;
    size_t end = lower.find("</body", start + 1);
    if (end == std::string::npos) end = lower.size();
    return page.substr(start + 1, end - start - 1);
}

}  // namespace zt
