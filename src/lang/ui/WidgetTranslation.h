#pragma once
// What translation needs of the widgets that keep texts outside Qt's
// properties: a combo box's items and a tree's top-level items are the
// string list "Items".
//
// Threads: main thread, once at start-up, before a window is translated.

namespace zt {

void RegisterWidgetTranslationAdapters();

}  // namespace zt
