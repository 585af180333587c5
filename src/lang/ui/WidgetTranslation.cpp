#include "lang/ui/WidgetTranslation.h"

#include <QComboBox>
#include <QTreeWidget>

#include "lang/Translate.h"

namespace zt {

void RegisterWidgetTranslationAdapters() {
    static bool registered = false;
    if (registered) return;
    registered = true;
    RegisterStringListAdapter(
        [](QObject* object, const QString& property) -> std::optional<StringListAccess> {
            auto* combo = qobject_cast<QComboBox*>(object);
            if (!combo || property.compare("Items", Qt::CaseInsensitive) != 0) return std::nullopt;
            StringListAccess access;
            access.count = [combo] { return combo->count(); };
            access.item = [combo](int i) { return combo->itemText(i); };
            access.setItem = [combo](int i, const QString& text) { combo->setItemText(i, text); };
            return access;
        });
    // A tree's top-level items, by their first column (the update window's
    // steps).
    RegisterStringListAdapter(
        [](QObject* object, const QString& property) -> std::optional<StringListAccess> {
            auto* tree = qobject_cast<QTreeWidget*>(object);
            if (!tree || property.compare("Items", Qt::CaseInsensitive) != 0) return std::nullopt;
            StringListAccess access;
            access.count = [tree] { return tree->topLevelItemCount(); };
            access.item = [tree](int i) { return tree->topLevelItem(i)->text(0); };
            access.setItem = [tree](int i, const QString& text) {
                tree->topLevelItem(i)->setText(0, text);
            };
            return access;
        });
}

}  // namespace zt
