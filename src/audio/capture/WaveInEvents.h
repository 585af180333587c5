#pragma once
// Private to the wave-in component: the notifications it posts to its own
// hidden object, the hidden object itself and the waits it uses.
//
// Threads: the events are created on the back end's thread, the capture
// thread or the main thread, handed to Qt's queue by postEvent (which is
// thread-safe) and handled and deleted on the main thread.

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <chrono>
#include <exception>
#include <utility>

#include "audio/capture/WaveIn.h"
#include "platform/CrossThreadPost.h"
#include "platform/ErrorDisplay.h"

namespace zt::wavein_detail {

inline constexpr auto kTick = std::chrono::milliseconds(10);
inline constexpr int kNoteRounds = 100;    // opened / closed notification: 1 s
inline constexpr int kReturnRounds = 100;  // returned buffers at Stop: 1 s
inline constexpr int kDoneChecks = 65000;  // done flag before unpreparing
inline constexpr auto kThreadWait = std::chrono::milliseconds(5000);

inline QEvent::Type NewWaveInEventType() {
    return QEvent::Type(QEvent::registerEventType());
}
inline QEvent::Type BufferDoneType() {
    static const QEvent::Type t = NewWaveInEventType();
    return t;
}
inline QEvent::Type RequeueType() {
    static const QEvent::Type t = NewWaveInEventType();
    return t;
}
inline QEvent::Type DeferredStopType() {
    static const QEvent::Type t = NewWaveInEventType();
    return t;
}
inline QEvent::Type HandlerFailedType() {
    static const QEvent::Type t = NewWaveInEventType();
    return t;
}

// A returned buffer (BufferDoneType) or one to queue again (RequeueType).
class BufferEvent : public QEvent {
public:
    BufferEvent(QEvent::Type type, WAVEHDR* header, uint64_t session)
        : QEvent(type), header(header), session(session) {}
    WAVEHDR* header;
    uint64_t session;
};

class DeferredStopEvent : public QEvent {
public:
    explicit DeferredStopEvent(uint64_t run) : QEvent(DeferredStopType()), run(run) {}
    uint64_t run;
};

class HandlerFailedEvent : public QEvent {
public:
    HandlerFailedEvent(std::exception_ptr error, uint64_t session)
        : QEvent(HandlerFailedType()), error(std::move(error)), session(session) {}
    std::exception_ptr error;
    uint64_t session;
};

}  // namespace zt::wavein_detail

namespace zt {

// The hidden object that receives the component's posted notifications on
// the main thread. Every handler runs inside a guard: nothing escapes into
// the event loop.
class TMMCustomWaveIn::Window : public QObject {
public:
    explicit Window(TMMCustomWaveIn* owner) : owner_(owner) {}

    bool event(QEvent* e) override {
        AcceptCrossThreadEvent();
        const QEvent::Type t = e->type();
        if (t == wavein_detail::BufferDoneType()) {
            auto* be = static_cast<wavein_detail::BufferEvent*>(e);
            owner_->OnBufferDoneEvent(be->header, be->session);
        } else if (t == wavein_detail::RequeueType()) {
            auto* be = static_cast<wavein_detail::BufferEvent*>(e);
            const uint64_t session = be->session;
            try {
                owner_->RequeueStep(be->header, session);
            } catch (...) {
                owner_->ReportError(std::current_exception());
                owner_->HandlerFailed(std::current_exception(), session);
            }
        } else if (t == wavein_detail::DeferredStopType()) {
            const uint64_t run = static_cast<wavein_detail::DeferredStopEvent*>(e)->run;
            Guarded([&] { owner_->OnDeferredStopEvent(run); });
        } else if (t == wavein_detail::HandlerFailedType()) {
            auto* fe = static_cast<wavein_detail::HandlerFailedEvent*>(e);
            owner_->HandlerFailed(std::exchange(fe->error, {}), fe->session);
        } else {
            return QObject::event(e);
        }
        return true;
    }

private:
    TMMCustomWaveIn* owner_;
};

}  // namespace zt
