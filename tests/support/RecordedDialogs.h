#pragma once
// What the main window would show, recorded instead of shown: the errors its handlers raise,
// and every message dialog, answered OK, or `confirmationAnswer` for a question.
#include <string>
#include <vector>

#include "gui/MessDlgs.h"
#include "toolkit/Application.h"

namespace testsupport {

struct RecordedDialogs {
    std::vector<std::string> errors;
    toolkit::ScopedErrorPresenter presenter{[this](const std::string& e) { errors.push_back(e); }};
    std::vector<MessageDialogRequest> dialogs;
    int confirmationAnswer = ModalResult::Yes;
    ScopedMessageDialogHook hook{[this](const MessageDialogRequest& r) {
        dialogs.push_back(r);
        return r.type == DialogType::Confirmation ? confirmationAnswer : ModalResult::OK;
    }};
};

}  // namespace testsupport
