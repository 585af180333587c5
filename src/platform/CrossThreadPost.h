#pragma once
// Posting a Qt event from a worker thread to an object on the main thread,
// in a way a thread sanitizer can follow.
//
// Qt's posted-event queue orders the poster before the receiver with Qt's
// own primitives, which the sanitizer cannot see unless Qt itself was
// built with it; the event (and the data the poster wrote before posting,
// such as a captured buffer) would then look unordered. Posting inside one
// std::mutex, and taking the same mutex in the receiver before it reads the
// event, makes the order visible. The cost is an uncontended lock per event.
//
// Threads: PostAcrossThreads from any thread; AcceptCrossThreadEvent on the
// receiving object's thread, first thing in its event() for such events.

class QEvent;
class QObject;

namespace zt {

// Takes ownership of event, like QCoreApplication::postEvent.
void PostAcrossThreads(QObject* receiver, QEvent* event);
void AcceptCrossThreadEvent();
// QCoreApplication::removePostedEvents under the same mutex, for events
// that PostAcrossThreads may have posted.
void RemoveCrossThreadEvents(QObject* receiver, int eventType);

}  // namespace zt
