#include "platform/CrossThreadPost.h"

#include <QCoreApplication>
#include <mutex>

namespace zt {

namespace {
std::mutex g_postLock;
}

void PostAcrossThreads(QObject* receiver, QEvent* event) {
    std::lock_guard guard(g_postLock);
    QCoreApplication::postEvent(receiver, event);
}

void AcceptCrossThreadEvent() {
    std::lock_guard guard(g_postLock);
}

void RemoveCrossThreadEvents(QObject* receiver, int eventType) {
    std::lock_guard guard(g_postLock);
    QCoreApplication::removePostedEvents(receiver, eventType);
}

}  // namespace zt
