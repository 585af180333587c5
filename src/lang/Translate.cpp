#include "lang/Translate.h"

#include <QMetaProperty>
#include <QStringList>
#include <QVariant>

#include "lang/CodePages.h"
#include "lang/Lcf.h"
#include "platform/Convert.h"
#include "platform/Exceptions.h"

namespace zt {

namespace {

// [offset, offset + length) inside the resource.
bool Inside(std::span<const uint8_t> bytes, int64_t offset, int64_t length) {
    return offset >= 0 && length >= 0 && uint64_t(offset) <= bytes.size() &&
           uint64_t(length) <= bytes.size() - uint64_t(offset);
}

std::vector<StringListAdapter>& ListAdapters() {
    static std::vector<StringListAdapter> adapters;
    return adapters;
}
std::vector<CollectionAdapter>& CollectionAdapters() {
    static std::vector<CollectionAdapter> adapters;
    return adapters;
}

// The names Qt gives the properties the language file names.
QStringList Aliases(const QString& name) {
    const QString lower = name.toLower();
    if (lower == "caption") return {"text", "title", "windowTitle"};
    if (lower == "hint") return {"toolTip"};
    if (lower == "text") return {"plainText"};
    return {};
}

std::optional<QMetaProperty> FindProperty(const QObject* object, const QString& name) {
    const QMetaObject* meta = object->metaObject();
    auto byName = [&](const QString& wanted) -> std::optional<QMetaProperty> {
        for (int i = 0; i < meta->propertyCount(); ++i) {
            const QMetaProperty p = meta->property(i);
            if (QString::fromLatin1(p.name()).compare(wanted, Qt::CaseInsensitive) == 0) return p;
        }
        return std::nullopt;
    };
    if (auto p = byName(name)) return p;
    for (const QString& alias : Aliases(name))
        if (auto p = byName(alias)) return p;
    return std::nullopt;
}

enum class Kind { Plain, ListItem, CollectionItem };

struct Segment {
    QString name;
    Kind kind = Kind::Plain;
    int32_t index = 0;
};

Segment ParseSegment(const std::string& text) {
    Segment s;
    size_t open = text.find('<');
    char close = '>';
    if (open != std::string::npos) {
        s.kind = Kind::CollectionItem;
    } else if ((open = text.find('(')) != std::string::npos) {
        s.kind = Kind::ListItem;
        close = ')';
    }
    if (s.kind == Kind::Plain) {
        s.name = QString::fromStdString(text);
        return s;
    }
    s.name = QString::fromStdString(text.substr(0, open));
    const size_t end = text.find(close, open + 1);
    const std::string digits =
        text.substr(open + 1, end == std::string::npos ? std::string::npos : end - open - 1);
    s.index = StrToInt(digits);  // raises for a text that is not a number
    return s;
}

std::optional<StringListAccess> ListOf(QObject* object, const QString& name) {
    if (auto p = FindProperty(object, name); p && p->metaType().id() == QMetaType::QStringList) {
        const QMetaProperty property = *p;
        StringListAccess access;
        access.count = [object, property] {
            return int(property.read(object).toStringList().size());
        };
        access.item = [object, property](int i) {
            return property.read(object).toStringList().value(i);
        };
        access.setItem = [object, property](int i, const QString& text) {
            QStringList list = property.read(object).toStringList();
            if (i < 0 || i >= list.size()) return;
            list[i] = text;
            property.write(object, list);
        };
        return access;
    }
    for (const StringListAdapter& adapter : ListAdapters())
        if (auto access = adapter(object, name)) return access;
    return std::nullopt;
}

std::optional<std::vector<QObject*>> CollectionOf(QObject* object, const QString& name) {
    if (auto p = FindProperty(object, name)) {
        const QVariant value = p->read(object);
        if (value.canConvert<QList<QObject*>>()) {
            const QList<QObject*> items = value.value<QList<QObject*>>();
            return std::vector<QObject*>(items.begin(), items.end());
        }
    }
    for (const CollectionAdapter& adapter : CollectionAdapters())
        if (auto items = adapter(object, name)) return items;
    return std::nullopt;
}

// What a path resolved to: a property of `object`, or an item of a string
// list, or nothing.
struct Resolved {
    QObject* object = nullptr;
    std::optional<QMetaProperty> property;
    std::optional<StringListAccess> list;
    int32_t listIndex = 0;
};

Resolved ResolvePath(QObject* object, const std::vector<std::string>& segments, size_t k) {
    Resolved out;
    out.object = object;
    const Segment segment = ParseSegment(segments[k]);
    const bool last = k + 1 == segments.size();
    switch (segment.kind) {
        case Kind::ListItem: {
            // The item itself only when a segment follows ("Items(2).Text");
            // "Items(2)" alone names the list, which is not text.
            if (last) return out;
            out.list = ListOf(object, segment.name);
            out.listIndex = segment.index;
            return out;
        }
        case Kind::CollectionItem: {
            const std::optional<std::vector<QObject*>> items = CollectionOf(object, segment.name);
            if (!items) return out;
            if (segment.index < 0 || size_t(segment.index) >= items->size())
                throw Exception("List index out of bounds (" + std::to_string(segment.index) + ")");
            QObject* item = (*items)[size_t(segment.index)];
            if (last || !item) return out;
            return ResolvePath(item, segments, k + 1);
        }
        case Kind::Plain:
            break;
    }
    const std::optional<QMetaProperty> property = FindProperty(object, segment.name);
    if (!property) return out;
    if (last) {
        out.property = property;
        return out;
    }
    if (!(property->metaType().flags() & QMetaType::PointerToQObject)) return out;
    QObject* inner = property->read(object).value<QObject*>();
    if (!inner) return out;
    return ResolvePath(inner, segments, k + 1);
}

QObject* FindTarget(QObject* form, const std::string& name) {
    const QString wanted = QString::fromStdString(name);
    if (form->objectName().compare(wanted, Qt::CaseInsensitive) == 0) return form;
    for (QObject* child : form->findChildren<QObject*>()) {
        if (child->objectName().compare(wanted, Qt::CaseInsensitive) == 0) return child;
    }
    return nullptr;
}

}  // namespace

std::string NextToken(const std::string& text, size_t& p, char separator) {
    if (p == 0 || p > text.size()) {
        p = 0;
        return {};
    }
    const size_t from = p - 1;
    const size_t at = text.find(separator, from);
    if (at == std::string::npos) {
        p = 0;
        return text.substr(from);
    }
    p = at + 2 > text.size() ? 0 : at + 2;
    return text.substr(from, at - from);
}

bool ParseEntry(TProp& entry, int32_t index, std::span<const uint8_t> resource,
                uint64_t recordOffset) {
    const auto pathOffset = ReadI32(resource, recordOffset);
    const auto pathLength = ReadI32(resource, recordOffset + 4);
    if (!pathOffset || !pathLength ||
        !Inside(resource, int64_t(recordOffset) + *pathOffset, *pathLength))
        return false;
    const auto* path = resource.data() + recordOffset + *pathOffset;
    const std::string text(reinterpret_cast<const char*>(path), size_t(*pathLength));
    size_t p = 1;
    entry.ComponentName = NextToken(text, p, '-');
    entry.PropertyPath = NextToken(text, p, '-');

    entry.HasText = false;
    entry.Text.clear();
    const uint64_t slot = recordOffset + 8 + 8 * uint64_t(index);
    const auto textOffset = ReadI32(resource, slot), textLength = ReadI32(resource, slot + 4);
    if (!textOffset || !textLength || *textLength < 0) return true;
    // A text outside the resource is no translation.
    if (!Inside(resource, int64_t(recordOffset) + *textOffset, *textLength)) return true;
    const uint8_t* bytes = resource.data() + recordOffset + *textOffset;
    for (int32_t i = 0; i + 1 < *textLength; i += 2)
        entry.Text += char16_t(bytes[i] | bytes[i + 1] << 8);
    entry.HasText = true;
    return true;
}

std::string ClassResourceName(const QMetaObject* metaClass) {
    std::string name = metaClass->className();
    const auto colon = name.rfind("::");
    if (colon != std::string::npos) name = name.substr(colon + 2);
    for (char& c : name) c = char(std::toupper(static_cast<unsigned char>(c)));
    return name;
}

bool LoadClassEntries(TProps& props, int32_t index, const QMetaObject* metaClass) {
    if (const QMetaObject* parent = metaClass->superClass()) LoadClassEntries(props, index, parent);
    return LoadResourceEntries(props, index, ClassResourceName(metaClass));
}

bool LoadResourceEntries(TProps& props, int32_t index, const std::string& resourceName) {
    const auto resource = props.Lcf->Resource(resourceName);
    if (!resource) return false;
    const auto leading = ReadI32(*resource, 0);
    if (!leading || *leading < 0) return true;
    const uint64_t table = 4 + uint64_t(*leading) + 4;
    const auto count = ReadI32(*resource, table - 4);
    if (!count || *count <= 0) return true;
    // Only the table entries that lie inside the resource.
    const uint64_t room = table <= resource->size() ? (resource->size() - table) / 8 : 0;
    const uint64_t entries = std::min<uint64_t>(uint64_t(*count), room);
    for (uint64_t e = entries; e-- > 0;) {
        const auto offset = ReadI32(*resource, table + 8 * e);
        if (!offset || *offset < 0) continue;
        TProp entry;
        entry.Lcf = props.Lcf;
        if (ParseEntry(entry, index, *resource, table + uint64_t(*offset)))
            props.List.push_back(std::move(entry));
    }
    return true;
}

void ApplyEntry(const TProp& entry, int32_t codePage, QObject* form) {
    QObject* target = FindTarget(form, entry.ComponentName);
    if (!target || entry.PropertyPath.empty()) return;
    std::vector<std::string> segments;
    size_t p = 1;
    while (p > 0) segments.push_back(NextToken(entry.PropertyPath, p, '.'));
    const Resolved resolved = ResolvePath(target, segments, 0);
    const QString text = QString::fromStdU16String(entry.Text);
    if (resolved.property) {
        const QMetaProperty& property = *resolved.property;
        const int type = property.metaType().id();
        if (!property.isWritable()) return;
        if (type == QMetaType::QString) {
            if (property.read(resolved.object).toString() != text)
                property.write(resolved.object, text);
        } else if (type == QMetaType::QByteArray) {
            const std::string ansi = WideToAnsi(entry.Text, codePage);
            const QByteArray bytes(ansi.data(), qsizetype(ansi.size()));
            if (property.read(resolved.object).toByteArray() != bytes)
                property.write(resolved.object, bytes);
        }
        return;
    }
    if (resolved.list && resolved.listIndex >= 0 && resolved.listIndex < resolved.list->count()) {
        if (resolved.list->item(resolved.listIndex) != text)
            resolved.list->setItem(resolved.listIndex, text);
    }
}

bool ApplyLanguageToForm(TLcf& lcf, QObject* form, int32_t lcid) {
    const std::optional<TLcf::Language> language = lcf.FindLanguage(lcid);
    if (!language) return false;
    TProps props;
    props.Lcf = &lcf;
    props.Form = form;
    if (!LoadClassEntries(props, language->index, form->metaObject())) return false;
    for (const TProp& entry : props.List)
        if (entry.HasText) ApplyEntry(entry, language->codePage, form);
    return true;
}

bool TranslateForm(QObject* form) {
    TLcf* lcf = CurrentLanguage();
    return lcf && ApplyLanguageToForm(*lcf, form, lcf->CurLCID);
}

void RegisterStringListAdapter(StringListAdapter adapter) {
    ListAdapters().push_back(std::move(adapter));
}

void RegisterCollectionAdapter(CollectionAdapter adapter) {
    CollectionAdapters().push_back(std::move(adapter));
}

}  // namespace zt
