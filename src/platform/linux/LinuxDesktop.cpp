#include "platform/linux/LinuxDesktop.h"

#include <QDesktopServices>
#include <QGuiApplication>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QUrl>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <memory>
#include <unistd.h>
#include <xcb/xcb.h>
#include <xcb/xcb_ewmh.h>

namespace dravik {

namespace {

std::string processName(pid_t pid) {
    // The executable's file name; comm is cut at 15 characters.
    char target[4096];
    std::string link = "/proc/" + std::to_string(pid) + "/exe";
    ssize_t length = readlink(link.c_str(), target, sizeof target - 1);
    if (length > 0) {
        std::string path(target, static_cast<size_t>(length));
        const std::string deleted = " (deleted)";
        if (path.size() > deleted.size() &&
            path.compare(path.size() - deleted.size(), deleted.size(), deleted) == 0)
            path.resize(path.size() - deleted.size());
        return path.substr(path.rfind('/') + 1);
    }
    std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(comm, name);
    return name;
}

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

// A process that has ended but was not reaped yet is no running application.
bool hasEnded(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string content;
    std::getline(stat, content);
    auto close = content.rfind(')');
    if (close == std::string::npos || close + 2 >= content.size())
        return true;
    char state = content[close + 2];
    return state == 'Z' || state == 'X';
}

} // namespace

std::vector<std::string> LinuxDesktop::runningApplicationNames() {
    std::vector<std::string> names;
    std::unique_ptr<DIR, int (*)(DIR*)> proc(opendir("/proc"), closedir);
    if (!proc)
        return names;
    while (dirent* entry = readdir(proc.get())) {
        char* end = nullptr;
        long pid = std::strtol(entry->d_name, &end, 10);
        if (*end != '\0' || pid <= 0 || hasEnded(static_cast<pid_t>(pid)))
            continue;
        std::string name = processName(static_cast<pid_t>(pid));
        if (!name.empty())
            names.push_back(name);
    }
    return names;
}

std::vector<WindowInfo> LinuxDesktop::windowsFrontToBack() {
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
            info.ownerName = processName(*info.ownerPid);
        windows.push_back(info);
    }
    return windows;
}

bool LinuxDesktop::activate(int32_t pid) {
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
        xcb_flush(x.connection());
        return true;
    }
    return false;
}

bool LinuxDesktop::openUrl(const std::string& url) {
    QUrl address(QString::fromStdString(url), QUrl::StrictMode);
    if (!address.isValid() || address.scheme().isEmpty() || address.host().isEmpty())
        return false;
    return QDesktopServices::openUrl(address);
}

void LinuxDesktop::openDisplaySettings() {
    // The desktops we know of; elsewhere there is nothing to open.
    for (const char* program :
         {"gnome-control-center", "systemsettings", "xfce4-display-settings"}) {
        QString path = QStandardPaths::findExecutable(program);
        if (path.isEmpty())
            continue;
        QStringList args;
        if (QString(program) == "gnome-control-center")
            args << "display";
        else if (QString(program) == "systemsettings")
            args << "kcm_kscreen";
        QProcess::startDetached(path, args);
        return;
    }
}

std::pair<int, int> LinuxDesktop::mainDisplaySize() {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return {0, 0};
    QSize size = screen->size();
    return {size.width(), size.height()};
}

} // namespace dravik
