// What the X server delivers from its keyboards, whoever has the focus: XInput2 raw key events on the root
// window, read on a thread of their own over a connection of their own. Each event is logged as "+Name" (press)
// or "-Name" (release), Name being the keysym the key has at level 1 of the keyboard's current group (refreshed
// when the layout changes), or "kc<keycode>" when it has none.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct _XDisplay;
struct _XkbDesc;

namespace vandrel::vmtest {

class XKeyLogger {
public:
    // Nothing, with the reason in `error`, when the display or its XInput2 cannot be used.
    static std::unique_ptr<XKeyLogger> start(const std::string& displayName, std::string& error);
    ~XKeyLogger();

    XKeyLogger(const XKeyLogger&) = delete;
    XKeyLogger& operator=(const XKeyLogger&) = delete;

    // The entries logged since the last call.
    std::vector<std::string> take();

private:
    XKeyLogger(_XDisplay* display, int xiOpcode, int xkbEventBase);
    void run();
    void handlePending();
    std::string nameOf(int keycode);
    void refreshKeymap();

    _XDisplay* display_;
    const int xiOpcode_;
    const int xkbEventBase_;
    _XkbDesc* keymap_ = nullptr;
    int group_ = 0;
    std::atomic<bool> stopping_{false};
    std::mutex mutex_;
    std::vector<std::string> entries_;
    std::thread thread_;
};

}  // namespace vandrel::vmtest
