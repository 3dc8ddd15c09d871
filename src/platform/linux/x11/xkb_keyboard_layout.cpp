#include "platform/linux/x11/xkb_keyboard_layout.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>
#include <xcb/xcb.h>
#include <xkbcommon/xkbcommon-x11.h>
#include <xkbcommon/xkbcommon.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <future>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "core/log.h"
#include "platform/linux/input/key_code_table.h"

// xcb's XKB header names a struct member `explicit`.
// clang-format off
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit
// clang-format on

namespace vandrel {

namespace {

// The X server's key codes are evdev's plus 8.
constexpr xkb_keycode_t kEvdevOffset = 8;

// The XKB events share one X event code; xkbType tells them apart.
union XkbEvent {
    struct {
        std::uint8_t response_type;
        std::uint8_t xkbType;
        std::uint16_t sequence;
        xcb_timestamp_t time;
        std::uint8_t deviceID;
    } any;
    xcb_xkb_new_keyboard_notify_event_t newKeyboard;
    xcb_xkb_map_notify_event_t map;
    xcb_xkb_state_notify_event_t state;
};

struct ContextDeleter {
    void operator()(xkb_context* c) const { xkb_context_unref(c); }
};
struct KeymapDeleter {
    void operator()(xkb_keymap* k) const { xkb_keymap_unref(k); }
};
struct StateDeleter {
    void operator()(xkb_state* s) const { xkb_state_unref(s); }
};
struct ConnectionDeleter {
    void operator()(xcb_connection_t* c) const { xcb_disconnect(c); }
};

}  // namespace

// The XKB_DEFAULT_* names of the environment, read when the layout is made (the keymap is compiled later, on
// another thread).
struct DefaultNames {
    std::optional<std::string> rules, model, layout, variant, options;

    static DefaultNames fromEnvironment()
    {
        const auto read = [](const char* name) -> std::optional<std::string> {
            const char* value = std::getenv(name);
            return value && *value ? std::optional<std::string>(value) : std::nullopt;
        };
        return {read("XKB_DEFAULT_RULES"), read("XKB_DEFAULT_MODEL"), read("XKB_DEFAULT_LAYOUT"),
                read("XKB_DEFAULT_VARIANT"), read("XKB_DEFAULT_OPTIONS")};
    }
};

struct XkbKeyboardLayout::Impl {
    // What key lookups read without the lock: a keymap (never changed once made) and the active group.
    struct Published {
        std::shared_ptr<xkb_keymap> keymap;
        xkb_layout_index_t group = 0;
    };

    std::mutex mutex;
    std::unique_ptr<xkb_context, ContextDeleter> context{xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES)};
    std::unique_ptr<xcb_connection_t, ConnectionDeleter> connection;
    std::int32_t device = -1;
    std::uint8_t eventBase = 0;
    std::shared_ptr<xkb_keymap> keymap;
    std::atomic<std::shared_ptr<const Published>> published{std::make_shared<const Published>()};
    std::thread watcher;
    int stopFd = -1;
    std::unique_ptr<xkb_state, StateDeleter> sessionState;  // the server's, for the active group
    std::unique_ptr<xkb_state, StateDeleter> plainState;    // no modifier held, in the active group
    xkb_mod_mask_t numLock = 0;
    bool fromDisplay = false;

    // `opened` is the display's connection, made by the caller (see start()).
    bool connectDisplay(const std::string& name, xcb_connection_t* opened)
    {
        connection.reset(opened);
        if (xcb_connection_has_error(connection.get())) {
            connection.reset();
            log.warning("keyboard layout: cannot connect to the X display, using the default layout", name);
            return false;
        }
        if (!xkb_x11_setup_xkb_extension(connection.get(), XKB_X11_MIN_MAJOR_XKB_VERSION, XKB_X11_MIN_MINOR_XKB_VERSION,
                                         XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr, nullptr, &eventBase, nullptr) ||
            (device = xkb_x11_get_core_keyboard_device_id(connection.get())) < 0) {
            connection.reset();
            log.warning("keyboard layout: the X display has no XKB keyboard, using the default layout", name);
            return false;
        }
        selectEvents();
        return loadFromDevice();
    }

    // Notices of a new keymap and of group changes; read as they come on each lookup.
    void selectEvents()
    {
        constexpr std::uint16_t events =
            XCB_XKB_EVENT_TYPE_NEW_KEYBOARD_NOTIFY | XCB_XKB_EVENT_TYPE_MAP_NOTIFY | XCB_XKB_EVENT_TYPE_STATE_NOTIFY;
        constexpr std::uint16_t mapParts = XCB_XKB_MAP_PART_KEY_TYPES | XCB_XKB_MAP_PART_KEY_SYMS |
                                           XCB_XKB_MAP_PART_MODIFIER_MAP | XCB_XKB_MAP_PART_EXPLICIT_COMPONENTS |
                                           XCB_XKB_MAP_PART_KEY_ACTIONS | XCB_XKB_MAP_PART_VIRTUAL_MODS |
                                           XCB_XKB_MAP_PART_VIRTUAL_MOD_MAP;
        constexpr std::uint16_t groupParts =
            XCB_XKB_STATE_PART_GROUP_BASE | XCB_XKB_STATE_PART_GROUP_LATCH | XCB_XKB_STATE_PART_GROUP_LOCK;
        xcb_xkb_select_events_details_t details{};
        details.affectNewKeyboard = XCB_XKB_NKN_DETAIL_KEYCODES;
        details.newKeyboardDetails = XCB_XKB_NKN_DETAIL_KEYCODES;
        details.affectState = groupParts;
        details.stateDetails = groupParts;
        auto cookie = xcb_xkb_select_events_aux_checked(connection.get(), static_cast<xcb_xkb_device_spec_t>(device),
                                                        events, 0, 0, mapParts, mapParts, &details);
        if (auto* error = xcb_request_check(connection.get(), cookie)) {
            std::free(error);
            log.warning("keyboard layout: cannot follow layout changes of the X display");
        }
    }

    bool loadFromDevice()
    {
        std::unique_ptr<xkb_keymap, KeymapDeleter> map(
            xkb_x11_keymap_new_from_device(context.get(), connection.get(), device, XKB_KEYMAP_COMPILE_NO_FLAGS));
        if (!map) {
            log.warning("keyboard layout: cannot read the keymap of the X display");
            return false;
        }
        std::unique_ptr<xkb_state, StateDeleter> state(
            xkb_x11_state_new_from_device(map.get(), connection.get(), device));
        if (!state) return false;
        use(std::move(map), std::move(state));
        return true;
    }

    bool loadDefault(const DefaultNames& defaults)
    {
        // Names the environment leaves unset: xkbcommon's defaults (US).
        const auto text = [](const std::optional<std::string>& name) { return name ? name->c_str() : nullptr; };
        const xkb_rule_names names{text(defaults.rules), text(defaults.model), text(defaults.layout),
                                   text(defaults.variant), text(defaults.options)};
        std::unique_ptr<xkb_keymap, KeymapDeleter> map(
            xkb_keymap_new_from_names(context.get(), &names, XKB_KEYMAP_COMPILE_NO_FLAGS));
        if (!map) {
            log.error("keyboard layout: cannot build the default keymap (are the XKB data files installed?)");
            return false;
        }
        std::unique_ptr<xkb_state, StateDeleter> state(xkb_state_new(map.get()));
        use(std::move(map), std::move(state));
        return true;
    }

    void use(std::unique_ptr<xkb_keymap, KeymapDeleter> map, std::unique_ptr<xkb_state, StateDeleter> state)
    {
        keymap = std::shared_ptr<xkb_keymap>(map.release(), KeymapDeleter());
        sessionState = std::move(state);
        plainState.reset(xkb_state_new(keymap.get()));
        // A Mac keypad always types digits: take the keypad keys with Num Lock on.
        const auto index = xkb_keymap_mod_get_index(keymap.get(), XKB_MOD_NAME_NUM);
        numLock = index == XKB_MOD_INVALID ? 0 : xkb_mod_mask_t{1} << index;
        publish();
    }

    // Under the lock.
    void publish()
    {
        auto next = std::make_shared<Published>();
        next->keymap = keymap;
        if (sessionState) next->group = xkb_state_serialize_layout(sessionState.get(), XKB_STATE_LAYOUT_EFFECTIVE);
        published.store(std::move(next));
    }

    // Compiles the keymap and then reads the display's notices as they come, so the published layout follows
    // the session without a lookup having to ask the X server. Compiling takes a while (a tenth of a second and
    // more on a slow machine): on this thread, taking the keyboards does not wait for it. Lookups by key code take
    // the lock and so wait for the keymap; the input thread's lookups read what is published and find no key until
    // then. Notices that a reply brought along wait in xcb's queue where poll() cannot see them: they are read
    // right after the requests that brought them (start-up, a keymap reload).
    void start(std::string displayName, DefaultNames defaults)
    {
        // Connecting reads the X authority file through libXau, whose file name lives in a buffer shared by the
        // whole process: connect here, on the thread that makes the platform's other connections, not beside them.
        xcb_connection_t* const opened = displayName.empty() ? nullptr : xcb_connect(displayName.c_str(), nullptr);
        stopFd = ::eventfd(0, EFD_CLOEXEC);
        if (stopFd < 0) {
            load(displayName, defaults, opened);
            return;
        }
        std::promise<void> locked;
        auto lockTaken = locked.get_future();
        watcher = std::thread([this, displayName = std::move(displayName), defaults = std::move(defaults), opened,
                               locked = std::move(locked)]() mutable {
            std::unique_lock lock(mutex);
            locked.set_value();
            load(displayName, defaults, opened);
            if (!connection) return;
            readEvents();
            const int displayFd = xcb_get_file_descriptor(connection.get());
            lock.unlock();
            for (;;) {
                pollfd fds[2]{{displayFd, POLLIN, 0}, {stopFd, POLLIN, 0}};
                if (::poll(fds, 2, -1) < 0 && errno != EINTR) return;
                if (fds[1].revents != 0) return;
                lock.lock();
                if (!connection) return;
                readEvents();
                lock.unlock();
            }
        });
        // Whoever looks up a key code from here on finds the keymap made.
        lockTaken.wait();
    }

    // Under the lock.
    void load(const std::string& displayName, const DefaultNames& defaults, xcb_connection_t* opened)
    {
        if (opened) fromDisplay = connectDisplay(displayName, opened);
        if (!fromDisplay) loadDefault(defaults);
    }

    void stopWatching()
    {
        if (stopFd < 0) return;
        const std::uint64_t one = 1;
        [[maybe_unused]] auto written = ::write(stopFd, &one, sizeof one);
        if (watcher.joinable()) watcher.join();
        ::close(stopFd);
        stopFd = -1;
    }

    void readEvents()
    {
        for (;;) {
            if (!connection) return;
            if (!readQueuedEvents()) return;
            // The keymap's requests may bring notices along: the loop reads them before poll() waits again.
            if (loadFromDevice()) log.debug("keyboard layout: the X display's keymap changed, read it again");
        }
    }

    // True when the keymap must be read again.
    bool readQueuedEvents()
    {
        bool reload = false;
        while (xcb_generic_event_t* raw = xcb_poll_for_event(connection.get())) {
            const auto* event = reinterpret_cast<const XkbEvent*>(raw);
            if (event->any.response_type == eventBase && event->any.deviceID == device) {
                switch (event->any.xkbType) {
                    case XCB_XKB_NEW_KEYBOARD_NOTIFY:
                    case XCB_XKB_MAP_NOTIFY:
                        reload = true;
                        break;
                    case XCB_XKB_STATE_NOTIFY:
                        xkb_state_update_mask(sessionState.get(), event->state.baseMods, event->state.latchedMods,
                                              event->state.lockedMods, event->state.baseGroup,
                                              event->state.latchedGroup, event->state.lockedGroup);
                        break;
                    default:
                        break;
                }
            }
            std::free(raw);
        }
        if (xcb_connection_has_error(connection.get())) {
            log.warning("keyboard layout: lost the X display; keeping the last layout");
            connection.reset();
            return false;
        }
        if (!reload) publish();
        return reload;
    }
};

XkbKeyboardLayout::XkbKeyboardLayout(std::optional<std::string> displayName) : impl_(std::make_unique<Impl>())
{
    std::string name;
    if (displayName) {
        name = *displayName;
    } else if (const char* env = std::getenv("DISPLAY")) {
        name = env;
    }
    if (!impl_->context) {
        log.error("keyboard layout: cannot create an xkbcommon context; keys have no characters");
        return;
    }
    impl_->start(std::move(name), DefaultNames::fromEnvironment());
}

XkbKeyboardLayout::~XkbKeyboardLayout()
{
    impl_->stopWatching();
}

bool XkbKeyboardLayout::followsDisplay() const
{
    std::lock_guard lock(impl_->mutex);
    return impl_->fromDisplay && impl_->connection;
}

std::optional<std::uint16_t> XkbKeyboardLayout::keyCodeOfWindowSystemKey(std::uint32_t xKeyCode)
{
    if (xKeyCode <= 8) return std::nullopt;
    return KeyCodeTable::virtualKeyCode(static_cast<std::uint16_t>(xKeyCode - 8));
}

std::string XkbKeyboardLayout::characterForKeyCode(std::uint16_t keyCode)
{
    std::lock_guard lock(impl_->mutex);
    impl_->readEvents();
    if (!impl_->keymap) return {};
    const auto evdev = KeyCodeTable::evdevCode(keyCode);
    if (!evdev) return {};
    const auto group = xkb_state_serialize_layout(impl_->sessionState.get(), XKB_STATE_LAYOUT_EFFECTIVE);
    xkb_state_update_mask(impl_->plainState.get(), 0, 0, impl_->numLock, 0, 0, group);
    const xkb_keycode_t key = *evdev + kEvdevOffset;
    const int size = xkb_state_key_get_utf8(impl_->plainState.get(), key, nullptr, 0);
    if (size <= 0) return {};
    std::string text(static_cast<std::size_t>(size) + 1, '\0');
    xkb_state_key_get_utf8(impl_->plainState.get(), key, text.data(), text.size());
    text.resize(static_cast<std::size_t>(size));
    return text;
}

std::optional<std::uint16_t> XkbKeyboardLayout::keyTyping(char32_t character)
{
    // The published layout: the input thread asks while it posts and never waits for the X server.
    const auto layout = impl_->published.load();
    if (!layout->keymap) return std::nullopt;
    const xkb_keysym_t wanted = xkb_utf32_to_keysym(character);
    if (wanted == XKB_KEY_NoSymbol) return std::nullopt;
    xkb_keymap* map = layout->keymap.get();
    const xkb_layout_index_t current = layout->group;
    const xkb_layout_index_t groups = xkb_keymap_num_layouts(map);
    // The current group first, then the others in order (a Latin group of a keymap whose current one is not).
    for (xkb_layout_index_t step = 0; step < std::max<xkb_layout_index_t>(groups, 1); ++step) {
        const xkb_layout_index_t group = (current + step) % std::max<xkb_layout_index_t>(groups, 1);
        for (xkb_keycode_t key = std::max(xkb_keymap_min_keycode(map), kEvdevOffset);
             key <= xkb_keymap_max_keycode(map); ++key) {
            const xkb_layout_index_t keyGroups = xkb_keymap_num_layouts_for_key(map, key);
            if (keyGroups == 0) continue;
            // A key with fewer groups than the keymap wraps to its first ones, as the server does.
            const xkb_layout_index_t keyGroup = group % keyGroups;
            if (keyGroup != group && step > 0) continue;  // searched already in the current group's pass
            const xkb_keysym_t* syms = nullptr;
            const int count = xkb_keymap_key_get_syms_by_level(map, key, keyGroup, 0, &syms);
            for (int i = 0; i < count; ++i)
                if (syms[i] == wanted) return static_cast<std::uint16_t>(key - kEvdevOffset);
        }
    }
    return std::nullopt;
}

}  // namespace vandrel
