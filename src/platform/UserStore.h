#pragma once
// The per-user store of small binary values, kept apart from cfg.ini (which
// belongs to the program's folder): one file per value under the user's
// configuration folder, $XDG_CONFIG_HOME (or ~/.config when unset), where a
// key "SOFTWARE\Zelta Tresona" is the folder "SOFTWARE/Zelta Tresona" and
// the value "Formato" the file "Formato" inside it, holding the value's
// bytes as they are.
//
// Reading never creates anything. Writing creates the key's folders and
// replaces the value atomically (a crash leaves the old value or the new
// one). Key and value names are checked: an empty part, "." or "..", or a
// "/" inside a name is refused, so a name can never reach outside the
// store.
//
// Threads: no shared state; the recorder uses it on the main thread.

#include <optional>
#include <string>

namespace zt {

// The store's root folder (no trailing "/"); "" when neither
// $XDG_CONFIG_HOME nor $HOME gives one.
std::string UserStoreRoot();

// The value's bytes; nullopt when the key or the value does not exist, the
// names are refused or the file cannot be read.
std::optional<std::string> ReadUserValue(const std::string& key, const std::string& value);

// Stores the bytes, creating the key. Raises zt::Exception with the reason
// when the names are refused or the value cannot be written.
void WriteUserValue(const std::string& key, const std::string& value, const std::string& bytes);

}  // namespace zt
