// Runs an event handler the way the program's message loop does: an error that the handler
// raises and does not catch goes to the application's error box, and the program carries on.
#pragma once

#include <exception>
#include <utility>

#include "platform/ui.h"

namespace quellin::system {

template <typename Handler>
void RunHandler(Handler&& handler) {
    try {
        std::forward<Handler>(handler)();
    } catch (const std::exception& error) {
        win::ui().ShowError(error.what());
    }
}

}  // namespace quellin::system
