#include "lang/ui/WidgetTranslation.h"

#include <QComboBox>

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
}

}  // namespace zt
