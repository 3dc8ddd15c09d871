#include "core/popup_msg.h"

#include <mutex>

#include "core/log.h"

namespace vandrel {

namespace {
std::mutex presenterMutex;
PopupPresenter& presenterSlot()
{
    static PopupPresenter presenter;
    return presenter;
}
}  // namespace

void popupMsg(const std::string& message, double time)
{
    PopupPresenter presenter;
    {
        std::lock_guard lock(presenterMutex);
        presenter = presenterSlot();
    }
    if (presenter) {
        presenter(message, time);
    } else {
        log.info("popup message ->", message);
    }
}

PopupPresenter setPopupPresenter(PopupPresenter presenter)
{
    std::lock_guard lock(presenterMutex);
    PopupPresenter previous = std::move(presenterSlot());
    presenterSlot() = std::move(presenter);
    return previous;
}

}  // namespace vandrel
