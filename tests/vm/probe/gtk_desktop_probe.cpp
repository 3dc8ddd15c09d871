// The desktop tests' GTK 3 application: a window with a GtkTextView and a GtkEntry, as GTK programs on X11 have
// them, answering the same requests as the Qt probe (probe_server.h) over the test's Unix socket
// (--channel <path>): "edit" is the text view, "line" the entry. GTK fetches a paste from X's clipboard after
// the Ctrl+V that asks for it and inserts it later, where Qt inserts at once; keys typed right after a paste
// show whether they wait for it. Ctrl+Q is counted as the Qt probe counts its Quit shortcut.
#include <gdk/gdkx.h>
#include <glib-unix.h>
#include <gtk/gtk.h>

#include <functional>
#include <memory>
#include <string>

#include "probe_server.h"

namespace vandrel::vmtest {
namespace {

class GtkProbe : public ProbeServer {
public:
    explicit GtkProbe(Connection connection) : ProbeServer(std::move(connection))
    {
        // A focused entry keeps the selection the test set instead of selecting all of its text.
        g_object_set(gtk_settings_get_default(), "gtk-entry-select-on-focus", FALSE, nullptr);
        window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        gtk_window_set_title(GTK_WINDOW(window_), "Vandrel GTK desktop probe");
        gtk_window_set_default_size(GTK_WINDOW(window_), 900, 700);
        GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 4);
        GtkWidget* scrolled = gtk_scrolled_window_new(nullptr, nullptr);
        edit_ = gtk_text_view_new();
        // Fixed pitch and no wrapping, as in the Qt probe.
        gtk_text_view_set_monospace(GTK_TEXT_VIEW(edit_), TRUE);
        gtk_text_view_set_wrap_mode(GTK_TEXT_VIEW(edit_), GTK_WRAP_NONE);
        gtk_container_add(GTK_CONTAINER(scrolled), edit_);
        gtk_widget_set_vexpand(scrolled, TRUE);
        line_ = gtk_entry_new();
        gtk_box_pack_start(GTK_BOX(box), scrolled, TRUE, TRUE, 0);
        gtk_box_pack_start(GTK_BOX(box), line_, FALSE, FALSE, 0);
        gtk_container_add(GTK_CONTAINER(window_), box);
        for (GtkWidget* widget : {edit_, line_})
            g_signal_connect(widget, "key-release-event", G_CALLBACK(&GtkProbe::keyReleased), this);

        GtkAccelGroup* accelerators = gtk_accel_group_new();
        gtk_accel_group_connect(accelerators, GDK_KEY_q, GDK_CONTROL_MASK, GtkAccelFlags(0),
                                g_cclosure_new(G_CALLBACK(&GtkProbe::quitPressed), this, nullptr));
        gtk_window_add_accel_group(GTK_WINDOW(window_), accelerators);
        g_object_unref(accelerators);

        g_unix_fd_add(channel(), GIOCondition(G_IO_IN | G_IO_HUP | G_IO_ERR), &GtkProbe::channelReadable, this);
        gtk_widget_show_all(window_);
    }

    int exitCode() const { return exitCode_; }

protected:
    std::string boardText(ProbeBoard board) override
    {
        gchar* text = gtk_clipboard_wait_for_text(clipboardOf(board));
        const std::string out = text ? text : "";
        g_free(text);
        return out;
    }

    void setBoardText(ProbeBoard board, const std::string& text) override
    {
        gtk_clipboard_set_text(clipboardOf(board), text.c_str(), static_cast<gint>(text.size()));
    }

    void setText(ProbeTarget target, const ProbeText& text) override
    {
        const int anchor = characterOffset(text.text, text.anchor);
        const int cursor = characterOffset(text.text, text.cursor);
        if (target == ProbeTarget::edit) {
            GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(edit_));
            gtk_text_buffer_set_text(buffer, text.text.c_str(), static_cast<gint>(text.text.size()));
            GtkTextIter insert, bound;
            gtk_text_buffer_get_iter_at_offset(buffer, &insert, cursor);
            gtk_text_buffer_get_iter_at_offset(buffer, &bound, anchor);
            gtk_text_buffer_select_range(buffer, &insert, &bound);
        } else {
            gtk_entry_set_text(GTK_ENTRY(line_), text.text.c_str());
            // The entry's cursor goes to the region's end, its selection bound to the start, in either order.
            gtk_editable_select_region(GTK_EDITABLE(line_), anchor, cursor);
        }
    }

    ProbeText text(ProbeTarget target) override
    {
        std::string value;
        int anchor = 0, cursor = 0;
        if (target == ProbeTarget::edit) {
            GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(edit_));
            GtkTextIter start, end, insert, bound;
            gtk_text_buffer_get_bounds(buffer, &start, &end);
            gchar* all = gtk_text_buffer_get_text(buffer, &start, &end, TRUE);
            value = all;
            g_free(all);
            gtk_text_buffer_get_iter_at_mark(buffer, &insert, gtk_text_buffer_get_insert(buffer));
            gtk_text_buffer_get_iter_at_mark(buffer, &bound, gtk_text_buffer_get_selection_bound(buffer));
            cursor = gtk_text_iter_get_offset(&insert);
            anchor = gtk_text_iter_get_offset(&bound);
        } else {
            value = gtk_entry_get_text(GTK_ENTRY(line_));
            g_object_get(line_, "cursor-position", &cursor, "selection-bound", &anchor, nullptr);
        }
        return {value, utf16Offset(value, anchor), utf16Offset(value, cursor)};
    }

    std::string focusedName() override
    {
        const GtkWidget* focused = gtk_window_get_focus(GTK_WINDOW(window_));
        return focused == edit_ ? "edit" : focused == line_ ? "line" : "none";
    }

    bool windowActive() override { return gtk_window_is_active(GTK_WINDOW(window_)); }

    // GDK hands X's focus to a window of its own inside the toplevel: any window below the toplevel counts.
    bool hasXFocus() override
    {
        GdkWindow* window = gtk_widget_get_window(window_);
        if (!window) return false;
        Display* display = GDK_WINDOW_XDISPLAY(window);
        const Window toplevel = GDK_WINDOW_XID(window);
        Window focus = 0;
        int revert = 0;
        XGetInputFocus(display, &focus, &revert);
        while (focus != 0 && focus != PointerRoot) {
            if (focus == toplevel) return true;
            Window root = 0, parent = 0, *children = nullptr;
            unsigned int count = 0;
            if (!XQueryTree(display, focus, &root, &parent, &children, &count)) return false;
            if (children) XFree(children);
            if (parent == root) return false;
            focus = parent;
        }
        return false;
    }

    void requestFocus(ProbeTarget target) override
    {
        gtk_window_present(GTK_WINDOW(window_));
        gtk_widget_grab_focus(target == ProbeTarget::edit ? edit_ : line_);
    }

    void later(int ms, std::function<void()> then) override
    {
        g_timeout_add_full(
            G_PRIORITY_DEFAULT, static_cast<guint>(ms),
            [](gpointer data) {
                (*static_cast<std::function<void()>*>(data))();
                return gboolean(G_SOURCE_REMOVE);
            },
            new std::function<void()>(std::move(then)),
            [](gpointer data) { delete static_cast<std::function<void()>*>(data); });
    }

    void quit(int code) override
    {
        exitCode_ = code;
        gtk_main_quit();
    }

private:
    static GtkClipboard* clipboardOf(ProbeBoard board)
    {
        return gtk_clipboard_get(board == ProbeBoard::clipboard ? GDK_SELECTION_CLIPBOARD : GDK_SELECTION_PRIMARY);
    }

    static gboolean keyReleased(GtkWidget*, GdkEventKey* event, gpointer self)
    {
        if (event->keyval == GDK_KEY_F12) static_cast<GtkProbe*>(self)->sentinelReleased();
        return FALSE;
    }

    static gboolean quitPressed(GtkAccelGroup*, GObject*, guint, GdkModifierType, gpointer self)
    {
        static_cast<GtkProbe*>(self)->quitTriggered();
        return TRUE;
    }

    static gboolean channelReadable(gint, GIOCondition, gpointer self)
    {
        static_cast<GtkProbe*>(self)->readRequests();
        return G_SOURCE_CONTINUE;
    }

    GtkWidget* window_ = nullptr;
    GtkWidget* edit_ = nullptr;
    GtkWidget* line_ = nullptr;
    int exitCode_ = 0;
};

}  // namespace
}  // namespace vandrel::vmtest

int main(int argc, char** argv)
{
    using namespace vandrel::vmtest;
    // Nothing here speaks to an accessibility bus or a settings daemon; the VM has neither.
    g_setenv("NO_AT_BRIDGE", "1", TRUE);
    g_setenv("GSETTINGS_BACKEND", "memory", TRUE);
    gdk_set_allowed_backends("x11");
    gtk_init(&argc, &argv);
    std::optional<ProbeServer::Connection> connection = ProbeServer::connectToTest(argc, argv, "gtk_desktop_probe");
    if (!connection) return 1;
    GtkProbe probe(std::move(*connection));
    probe.sendHello();
    gtk_main();
    return probe.exitCode();
}
