#pragma once
// Gives a widget (or any object) the name that translations and tests find
// it by, and hands it back: Named(new QLabel(...), "LabelTempo").
//
// Threads: main thread, like the widgets it names.

namespace zt {

template <class W>
W* Named(W* object, const char* name) {
    object->setObjectName(name);
    return object;
}

}  // namespace zt
