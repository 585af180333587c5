#include "update/StartupUpdateCheck.h"

#include "update/UpdateService.h"

namespace zt {

StartupUpdateCheck::StartupUpdateCheck(const std::string& url,
                                       std::function<void(const std::string&)> offer) {
    http_.ConnectTimeout = kConnectTimeoutMs;
    http_.RequestTimeout = kRequestTimeoutMs;
    worker_.Run([this, url] { reply_ = http_.Get(url); },
                [this, offer = std::move(offer)](std::exception_ptr error) {
                    // No network, a server error, a time-out: start-up goes
                    // on as if there were no update.
                    if (error) return;
                    if (StartupReplyOffersUpdate(reply_) && offer) offer(reply_);
                });
}

StartupUpdateCheck::~StartupUpdateCheck() {
    http_.Cancel();
}

}  // namespace zt
