#include "system/linux/LinuxWindowList.h"

#include "system/linux/ProcFs.h"

#include <cstdlib>
#include <xcb/xcb.h>
#include <xcb/xcb_ewmh.h>

namespace dravik {

namespace {

// A connection to the X server with its EWMH atoms; empty when there is no display.
class XConnection {
public:
    XConnection() {
        m_connection = xcb_connect(nullptr, &m_screen);
        if (xcb_connection_has_error(m_connection))
            return;
        if (!xcb_ewmh_init_atoms_replies(&m_ewmh, xcb_ewmh_init_atoms(m_connection, &m_ewmh),
                                         nullptr))
            return;
        m_ready = true;
    }
    ~XConnection() {
        if (m_ready)
            xcb_ewmh_connection_wipe(&m_ewmh);
        xcb_disconnect(m_connection);
    }
    XConnection(const XConnection&) = delete;
    XConnection& operator=(const XConnection&) = delete;

    bool ready() const { return m_ready; }
    xcb_ewmh_connection_t* ewmh() { return &m_ewmh; }
    int screen() const { return m_screen; }
    xcb_connection_t* connection() { return m_connection; }

    // Managed top-level windows, front to back (the stacking list runs bottom to top).
    std::vector<xcb_window_t> windowsFrontToBack() {
        xcb_ewmh_get_windows_reply_t reply;
        std::vector<xcb_window_t> windows;
        if (xcb_ewmh_get_client_list_stacking_reply(
                &m_ewmh, xcb_ewmh_get_client_list_stacking(&m_ewmh, m_screen), &reply, nullptr)) {
            windows.assign(reply.windows, reply.windows + reply.windows_len);
            xcb_ewmh_get_windows_reply_wipe(&reply);
        } else if (xcb_ewmh_get_client_list_reply(
                       &m_ewmh, xcb_ewmh_get_client_list(&m_ewmh, m_screen), &reply, nullptr)) {
            windows.assign(reply.windows, reply.windows + reply.windows_len);
            xcb_ewmh_get_windows_reply_wipe(&reply);
        } else {
            windows = mappedChildrenOfRoot(); // no window manager runs
        }
        return {windows.rbegin(), windows.rend()};
    }

    std::optional<int32_t> pidOf(xcb_window_t window) {
        uint32_t pid = 0;
        if (xcb_ewmh_get_wm_pid_reply(&m_ewmh, xcb_ewmh_get_wm_pid(&m_ewmh, window), &pid, nullptr))
            return static_cast<int32_t>(pid);
        return std::nullopt;
    }

    bool isDesktopElement(xcb_window_t window) {
        xcb_ewmh_get_atoms_reply_t types;
        if (!xcb_ewmh_get_wm_window_type_reply(
                &m_ewmh, xcb_ewmh_get_wm_window_type(&m_ewmh, window), &types, nullptr))
            return false;
        bool desktop = false;
        for (uint32_t i = 0; i < types.atoms_len; ++i)
            if (types.atoms[i] == m_ewmh._NET_WM_WINDOW_TYPE_DESKTOP ||
                types.atoms[i] == m_ewmh._NET_WM_WINDOW_TYPE_DOCK)
                desktop = true;
        xcb_ewmh_get_atoms_reply_wipe(&types);
        return desktop;
    }

private:
    std::vector<xcb_window_t> mappedChildrenOfRoot() {
        std::vector<xcb_window_t> windows;
        xcb_screen_t* screen = xcb_aux_screen(m_screen);
        if (!screen)
            return windows;
        auto* tree =
            xcb_query_tree_reply(m_connection, xcb_query_tree(m_connection, screen->root), nullptr);
        if (!tree)
            return windows;
        xcb_window_t* children = xcb_query_tree_children(tree);
        for (int i = 0; i < xcb_query_tree_children_length(tree); ++i) {
            auto* attributes = xcb_get_window_attributes_reply(
                m_connection, xcb_get_window_attributes(m_connection, children[i]), nullptr);
            if (attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE)
                windows.push_back(children[i]);
            free(attributes);
        }
        free(tree);
        return windows;
    }

    xcb_screen_t* xcb_aux_screen(int index) {
        auto iterator = xcb_setup_roots_iterator(xcb_get_setup(m_connection));
        for (; iterator.rem; --index, xcb_screen_next(&iterator))
            if (index == 0)
                return iterator.data;
        return nullptr;
    }

    xcb_connection_t* m_connection = nullptr;
    xcb_ewmh_connection_t m_ewmh{};
    int m_screen = 0;
    bool m_ready = false;
};

} // namespace

std::vector<WindowInfo> LinuxWindowList::windowsFrontToBack() {
    XConnection x;
    std::vector<WindowInfo> windows;
    if (!x.ready())
        return windows;
    for (xcb_window_t window : x.windowsFrontToBack()) {
        if (x.isDesktopElement(window))
            continue;
        WindowInfo info;
        info.ownerPid = x.pidOf(window);
        if (info.ownerPid)
            info.ownerName = procfs::processName(*info.ownerPid);
        windows.push_back(info);
    }
    return windows;
}

bool LinuxWindowList::activate(int32_t pid) {
    // A window may outlive the process named in it.
    if (!procfs::isAlive(pid))
        return false;
    XConnection x;
    if (!x.ready())
        return false;
    for (xcb_window_t window : x.windowsFrontToBack()) {
        if (x.pidOf(window) != pid)
            continue;
        // Ask the window manager; without one, raise and focus the window ourselves.
        xcb_ewmh_request_change_active_window(x.ewmh(), x.screen(), window,
                                              XCB_EWMH_CLIENT_SOURCE_TYPE_OTHER, XCB_CURRENT_TIME,
                                              XCB_WINDOW_NONE);
        const uint32_t above = XCB_STACK_MODE_ABOVE;
        xcb_configure_window(x.connection(), window, XCB_CONFIG_WINDOW_STACK_MODE, &above);
        xcb_set_input_focus(x.connection(), XCB_INPUT_FOCUS_POINTER_ROOT, window, XCB_CURRENT_TIME);
        // A round trip, so that the server has handled the requests before we disconnect.
        free(xcb_get_input_focus_reply(x.connection(), xcb_get_input_focus(x.connection()),
                                       nullptr));
        return true;
    }
    return false;
}

} // namespace dravik
