// The frontmost-application lookup that actions make on every stroke (target: under 200 µs), against an
// Xvfb server with fluxbox that the benchmark starts itself, with one focused window of this process.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <memory>

#include "platform/linux/x11/x11_window_element.h"
#include "platform/linux/x11/x11_workspace.h"
#include "platform/linux/x11/xkb_keyboard_layout.h"
#include "support/x11_test_server.h"

namespace vandrel {
namespace {

struct Session {
    Session()
    {
        if (!server.ok()) return;
        client = std::make_unique<test::X11TestClient>(server.display());
        const Window w = client->create({.title = "bench", .className = "VandrelBench", .pid = getpid()});
        desktop = X11Desktop::open(server.display());
        X11WindowElement(desktop, w).raise();
        focused = client->wait([&] { return client->activeWindow() == w; });
        workspace = std::make_unique<X11Workspace>(X11Workspace::Options{.desktop = desktop});
    }

    test::X11TestServer server;
    std::unique_ptr<test::X11TestClient> client;
    std::shared_ptr<X11Desktop> desktop;
    std::unique_ptr<X11Workspace> workspace;
    bool focused = false;
};

Session& session()
{
    static Session s;
    return s;
}

void BM_FrontmostApplication(benchmark::State& state)
{
    auto& s = session();
    if (!s.focused) {
        state.SkipWithError("no X session with a focused window");
        return;
    }
    for (auto _ : state) {
        auto app = s.workspace->frontmostApplication();
        benchmark::DoNotOptimize(app);
        if (!app || app->processIdentifier != getpid()) {
            state.SkipWithError("wrong frontmost application");
            return;
        }
    }
}
BENCHMARK(BM_FrontmostApplication)->Unit(benchmark::kMicrosecond);

void BM_CharacterForKeyCode(benchmark::State& state)
{
    auto& s = session();
    XkbKeyboardLayout layout(s.server.ok() ? s.server.display() : std::string());
    std::uint16_t code = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(layout.characterForKeyCode(code));
        code = static_cast<std::uint16_t>((code + 1) % 51);
    }
}
BENCHMARK(BM_CharacterForKeyCode)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace vandrel
