#include "app/tray_xvfb_x11.h"

#include "support/x11_test_server.h"

namespace vandrel::test {

struct TrayTestDisplay::State {
    X11TestServer server;
    std::unique_ptr<X11TestClient> client;
};

TrayTestDisplay::TrayTestDisplay() : state_(std::make_unique<State>())
{
    if (state_->server.ok()) state_->client = std::make_unique<X11TestClient>(state_->server.display());
}

TrayTestDisplay::~TrayTestDisplay() = default;

const std::string& TrayTestDisplay::failure() const
{
    return state_->server.failure();
}

const std::string& TrayTestDisplay::display() const
{
    return state_->server.display();
}

bool TrayTestDisplay::isEmbeddedInTray(unsigned long window)
{
    X11TestClient& x = *state_->client;
    ::Window root = 0, parent = 0, *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(x.display(), window, &root, &parent, &children, &count)) return false;
    if (children) XFree(children);
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(x.display(), window, &attributes)) return false;
    return parent != root && attributes.map_state == IsViewable && !x.isClient(window);
}

bool TrayTestDisplay::waitUntilManaged(unsigned long window)
{
    X11TestClient& x = *state_->client;
    return x.wait([&] { return x.isClient(window); });
}

}  // namespace vandrel::test
