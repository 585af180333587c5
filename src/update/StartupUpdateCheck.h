#pragma once
// The check for a newer build that every start of the program makes: the
// start-up version query, in the background, so that neither the window
// nor the automatic recording waits for the network. Its connection must
// open within 5 s and the whole request end within 15 s; any failure ends
// the check without a word. A reply that offers an update reaches the main
// thread, where the window asks the operator.
//
// Threads: construction and destruction on the main thread; the request
// on a worker thread; `offer` on the main thread. Destruction cancels a
// request still running (within about 100 ms) and never calls `offer`
// afterwards.

#include <functional>
#include <string>

#include "update/HttpClient.h"
#include "update/UpdateWorker.h"

namespace zt {

class StartupUpdateCheck {
public:
    static constexpr int kConnectTimeoutMs = 5000;
    static constexpr int kRequestTimeoutMs = 15000;

    // Sends the query to `url` at once. `offer` gets the reply when it names
    // an update (StartupReplyOffersUpdate).
    StartupUpdateCheck(const std::string& url, std::function<void(const std::string&)> offer);
    ~StartupUpdateCheck();
    StartupUpdateCheck(const StartupUpdateCheck&) = delete;
    StartupUpdateCheck& operator=(const StartupUpdateCheck&) = delete;

    // The request has ended (answered or failed) and its outcome was handled.
    bool Finished() const { return !worker_.Busy(); }

private:
    TIdHTTP http_;       // used by the worker thread only, but for Cancel()
    std::string reply_;  // written by the job, read by its completion
    UpdateWorker worker_;
};

}  // namespace zt
