// The task dialog: the seam's configuration mapped onto TASKDIALOGCONFIG.
#pragma once

#include <memory>

#include "platform/platform.h"

namespace plinth::platform::win32 {

class Win32Dialogs final : public Dialogs {
public:
    Win32Dialogs();
    ~Win32Dialogs();

    HResult show(const DialogConfig& config, std::int32_t* pressed_button) override;
    void navigate(WindowHandle window, const DialogConfig& config) override;
    void send(WindowHandle window, std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam) override;
    bool accept_text(const AcceptWindow& window) override;          // accept_window.cpp
    std::optional<Path> pick_folder(WindowHandle owner, const Path& start) override;  // folder_picker.cpp

    struct Converted;

private:
    // Every configuration handed to the dialog, kept until the outermost dialog has closed:
    // TDM_NAVIGATE_PAGE reads the new page's configuration and button arrays after the message
    // has been sent. The last one, which owns the ones before it; none ever moves.
    std::unique_ptr<Converted> converted_;
    int depth_ = 0;

    Converted& convert(const DialogConfig& config);
    void release_converted();
};

}  // namespace plinth::platform::win32
