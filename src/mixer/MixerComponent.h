#pragma once
// What the mixer components share: the loading state and the base of the
// non-visual components.
//
// Loading. The main window creates its mixer components in code, sets their
// properties and links, and only then lets them resolve, all in one go, the
// way a stored window description is read in: every component (and every
// mixer widget) starts in the loading state, in which setting a property
// only stores it (a device's Active is remembered, lines and controls do
// not look anything up, widgets do not refresh). Loaded() ends the state and
// runs what the component does after loading (the device opens when Active
// was set, a line resolves, a control resolves, a widget refreshes). Call it
// on every component in the order they were created, devices first:
//
//     mixer.SetActive(true);
//     recording.SetMixer(&mixer); recording.SetComponentType(ctDstWaveIn);
//     ...
//     EndLoading({&mixer, &recording, &lineInRec, &volumeRec, &volumeWheel});
//
// Lifetime. Components refer to each other by guarded pointers (QPointer):
// a destroyed component is gone from every component that referred to it,
// and its notifiers and subscribers are taken apart, so components may be
// destroyed in any order.
//
// Threads: main thread only.

#include <QObject>
#include <cstdint>
#include <initializer_list>
#include <string>

#include "platform/MMTypes.h"

namespace zt {

class TMMLoadable {
public:
    virtual ~TMMLoadable() = default;
    bool IsLoading() const { return loading_; }
    // Ends the loading state and runs the after-loading work; a second call
    // runs that work again.
    virtual void Loaded() { loading_ = false; }

private:
    bool loading_ = true;
};

// Calls Loaded() on each, in order.
inline void EndLoading(std::initializer_list<TMMLoadable*> components) {
    for (TMMLoadable* c : components)
        if (c) c->Loaded();
}

class TMMNonVisualComponent : public QObject, public TMMLoadable {
public:
    TMMNonVisualComponent() = default;
    TMMNonVisualComponent(const TMMNonVisualComponent&) = delete;
    TMMNonVisualComponent& operator=(const TMMNonVisualComponent&) = delete;
};

// A set of flags of the enumeration E (members numbered from 0).
template <class E>
class TMMFlagSet {
public:
    constexpr TMMFlagSet() = default;
    constexpr TMMFlagSet(std::initializer_list<E> flags) {
        for (E f : flags) Include(f);
    }
    constexpr bool Has(E f) const { return (bits_ >> unsigned(f)) & 1u; }
    constexpr void Include(E f) { bits_ |= 1u << unsigned(f); }
    constexpr bool Empty() const { return bits_ == 0; }
    constexpr bool operator==(const TMMFlagSet&) const = default;

private:
    uint32_t bits_ = 0;
};

// A name as a fixed-size record field holds it: cut at its terminator and
// to at most `maxChars` bytes, never inside a UTF-8 character.
inline std::string CutName(const std::string& name, size_t maxChars) {
    size_t n = name.find('\0');
    if (n == std::string::npos) n = name.size();
    if (n > maxChars) {
        n = maxChars;
        while (n > 0 && (static_cast<unsigned char>(name[n]) & 0xC0) == 0x80) --n;
    }
    return name.substr(0, n);
}

}  // namespace zt
