// The pasteboards of the Linux platform: the general one is the desktop clipboard (QtClipboardPasteboard)
// when the program runs a Qt GUI application, else one held in this process (logged once); named
// pasteboards are always private to the process and held in memory. Clips' thumbnails are drawn with Qt's
// image classes (QtThumbnailMaker).
#pragma once

#include <map>
#include <mutex>

#include "platform/linux/clipboard/qt_clipboard_pasteboard.h"
#include "platform/linux/clipboard/qt_thumbnail_maker.h"
#include "platform/pasteboard_server.h"

namespace vandrel {

class LinuxPasteboardServer final : public PasteboardServer {
public:
    // Callable from any thread; the desktop clipboard is attached on the GUI thread. transferTimeout: how long
    // a foreign owner may take to hand over a piece of its content.
    explicit LinuxPasteboardServer(QtClipboardPasteboard::GuiRunner runOnGui = {},
                                   std::chrono::milliseconds transferTimeout = QtClipboardPasteboard::kTransferTimeout);

    std::shared_ptr<Pasteboard> general() override { return general_; }
    std::shared_ptr<Pasteboard> named(const std::string& name) override;
    std::shared_ptr<Pasteboard> selection() override { return selection_; }
    std::shared_ptr<ThumbnailMaker> thumbnails() override { return thumbnails_; }

    // Whether general() is the desktop clipboard.
    bool isDesktopClipboard() const { return desktop_; }

private:
    std::shared_ptr<Pasteboard> general_;
    std::shared_ptr<Pasteboard> selection_;
    bool desktop_ = false;
    const std::shared_ptr<ThumbnailMaker> thumbnails_ = std::make_shared<QtThumbnailMaker>();
    std::mutex mutex_;
    std::map<std::string, std::shared_ptr<Pasteboard>> named_;
};

}  // namespace vandrel
