#include "platform/linux/clipboard/linux_pasteboard_server.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include "core/log.h"
#include "platform/memory_pasteboard.h"

namespace vandrel {

LinuxPasteboardServer::LinuxPasteboardServer(QtClipboardPasteboard::GuiRunner runOnGui,
                                             std::chrono::milliseconds transferTimeout)
{
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        general_ = QtClipboardPasteboard::make(runOnGui, QtClipboardPasteboard::Selection::clipboard, transferTimeout);
        if (QGuiApplication::clipboard()->supportsSelection())
            selection_ =
                QtClipboardPasteboard::make(runOnGui, QtClipboardPasteboard::Selection::primary, transferTimeout);
        desktop_ = true;
    } else {
        log.warning(
            "No Qt GUI application: the clipboard is private to this program and its history sees only "
            "the program's own copies");
        general_ = std::make_shared<MemoryPasteboard>("general");
    }
}

std::shared_ptr<Pasteboard> LinuxPasteboardServer::named(const std::string& name)
{
    std::lock_guard lock(mutex_);
    auto& board = named_[name];
    if (!board) board = std::make_shared<MemoryPasteboard>(name);
    return board;
}

}  // namespace vandrel
