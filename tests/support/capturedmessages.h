#pragma once

#include <QString>

#include <vector>

#include "common/qtcommon.h"

namespace brevadin::testing {

// Catches every message box shown while it lives, answering each with OK.
class CapturedMessages {
public:
    CapturedMessages()
        : old_(setMessagePresenter([this](const MessageRequest& r) {
              shown.push_back(r);
              prompts.push_back(r.prompt);
              return kMsgResultOk;
          })) {}
    ~CapturedMessages() { setMessagePresenter(old_); }
    CapturedMessages(const CapturedMessages&) = delete;
    CapturedMessages& operator=(const CapturedMessages&) = delete;

    std::vector<MessageRequest> shown;
    std::vector<QString> prompts;

private:
    MessagePresenter old_;
};

}  // namespace brevadin::testing
