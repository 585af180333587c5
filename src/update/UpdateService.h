#pragma once
// The conversation with the maker's update service: its address, the
// requests with their paths and query keys, and what the replies of a
// version query mean.
//
// Values go into the addresses as they are, unescaped, in the service's
// order; the service relies on that.
//
// Threads: pure functions, any thread. UpdateBaseUrl reads the environment,
// which the program does not change after start-up.

#include <string>

namespace zt {

inline constexpr const char* kUpdateProduct = "ZELTATRESONA";
inline constexpr const char* kUpdateAlias = "ZTRS";
// The folder beside the executable that downloads and unpacks an update.
inline constexpr const char* kUpdateFolderName = "atualizacoes";
inline constexpr const char* kUpdateArchiveName = "atualizacao.zip";
// A detached signature is published beside the archive under its name
// with this suffix.
inline constexpr const char* kSignatureSuffix = ".minisig";

// The service's address, ending in "/": ZT_UPDATE_BASE_URL from the
// environment when set (a station's own mirror, the tests' local server),
// else the address the program was built with.
std::string UpdateBaseUrl();

// The start-up query: no alias, and sVersao as loaded even when empty.
std::string StartupVersionQueryUrl(const std::string& base, const std::string& version,
                                   const std::string& guid);
// The update window's version query.
std::string VersionQueryUrl(const std::string& base, const std::string& product,
                            const std::string& version, const std::string& alias,
                            const std::string& guid);
// The archive a reply names, and its signature.
std::string ArchiveUrl(const std::string& base, const std::string& product,
                       const std::string& reply);
// The report of an installation (the version installed before it).
std::string InstallReportUrl(const std::string& base, const std::string& version,
                             const std::string& product, const std::string& guid);
// The maker's page of changes.
std::string HistoryUrl(const std::string& base, const std::string& product,
                       const std::string& version);

enum class UpdateReply { Nada, SemPermissao, Erro, Archive };
// The three words in any letter case, untrimmed; anything else (empty
// included) names an archive.
UpdateReply ClassifyReply(const std::string& reply);
// The start-up check asks the operator only for a reply that names an
// archive and is not blank.
bool StartupReplyOffersUpdate(const std::string& reply);
// The version an archive name stands for: what follows its first "a",
// with the first ".zip" taken out ("a2012.06.01.3.zip" -> "2012.06.01.3").
std::string NewVersionFromReply(const std::string& reply);
// The inner markup of a page's body element; the whole text when it has
// none. The version query's reply is what a browser would find there.
std::string BodyInnerMarkup(const std::string& page);

}  // namespace zt
