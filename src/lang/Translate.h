#pragma once
// Translating a window from the current language.
//
// A window-class resource of the language file (named by the class name in
// upper case, "TFRMGRAVAR") holds entries, each a path and one text per
// language:
//   L, L bytes of a leading text (not read), E, then E table entries of
//   8 bytes (offset of the entry's record from the table's start, 4 unused);
//   record: offset and byte length of the path (8-bit), then per language i
//   the offset and signed byte length of its UTF-16LE text (negative: no
//   translation). Offsets in a record are from the record's start.
// A path is "Component-Property.Path": the component is found by its object
// name among the window's descendants (the window's own name is the window
// itself); the path's segments are a property ("Caption"), an item of a
// string list ("Items(2)") or an item of a collection ("Columns<1>"), each
// followed by more segments ("Items(2).Text", "Columns<1>.Caption").
//
// Properties are found through Qt's meta-object system under the names the
// language file uses, compared without regard to case, with the names Qt
// gives the same property as fallbacks: "Caption" is a widget's text, a
// group's or menu's title, or a window's title; "Hint" its tool tip; "Text"
// its text. A QString property receives the translation unchanged, a
// QByteArray property the translation in the language's code page
// (WideToAnsi). String lists and collections come from QStringList
// properties and from the adapters registered for classes that keep them
// otherwise (a combo box's items).
//
// Entries that name nothing, a property of another kind, a read-only one or
// a list item beyond the list are skipped. An index that is not a decimal
// number, or a collection index outside its collection, raises
// EConvertError / Exception and ends the window's translation at that
// entry; what was applied stays.
//
// Threads: main thread (it touches widgets).

#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace zt {

class TLcf;

// One translated text of a window class.
struct TProp {
    TLcf* Lcf = nullptr;
    std::string ComponentName;
    std::string PropertyPath;
    std::u16string Text;
    bool HasText = false;
};

// The entries read for one window, in the order they are applied.
struct TProps {
    TLcf* Lcf = nullptr;
    QObject* Form = nullptr;
    std::vector<TProp> List;
};

// The next token of `text` from the 1-based position `p` up to `separator`;
// `p` moves past the separator, or becomes 0 when no token is left.
std::string NextToken(const std::string& text, size_t& p, char separator);

// Splits an entry's path and takes language `index`'s text from the record
// at `recordOffset` of the class resource `resource`. False when the record
// or its path lies outside the resource (the entry is skipped).
bool ParseEntry(TProp& entry, int32_t index, std::span<const uint8_t> resource,
                uint64_t recordOffset);

// Reads the entries of `className` and of its ancestors (base-most first,
// each resource's table from its last entry to its first) into props.
// False when the file has no resource for `className` itself.
bool LoadClassEntries(TProps& props, int32_t index, const QMetaObject* metaClass);
// The entries of one window-class resource, by its name; false when absent.
bool LoadResourceEntries(TProps& props, int32_t index, const std::string& resourceName);

// Applies one entry to the window.
void ApplyEntry(const TProp& entry, int32_t codePage, QObject* form);

// Translates `form` into language `lcid` of `lcf`. False when the language
// or the window's class is not in the file (nothing changes).
bool ApplyLanguageToForm(TLcf& lcf, QObject* form, int32_t lcid);

// ApplyLanguageToForm with the current language; false without one.
bool TranslateForm(QObject* form);

// The window-class resource name of an object's class: its class name
// without namespaces, in upper case ("TFRMGRAVAR").
std::string ClassResourceName(const QMetaObject* metaClass);

// ---- string lists and collections kept outside Qt's properties -------------------

struct StringListAccess {
    std::function<int()> count;
    std::function<QString(int)> item;
    std::function<void(int, const QString&)> setItem;
};
// Answers for the objects and property names it knows (a combo box's
// "Items"); nullopt for the rest.
using StringListAdapter =
    std::function<std::optional<StringListAccess>(QObject* object, const QString& property)>;
using CollectionAdapter =
    std::function<std::optional<std::vector<QObject*>>(QObject* object, const QString& property)>;
// Adds an adapter for the rest of the process (main thread, at start-up).
void RegisterStringListAdapter(StringListAdapter adapter);
void RegisterCollectionAdapter(CollectionAdapter adapter);

}  // namespace zt
