#pragma once

#include <QString>
#include <functional>
#include <map>

class QWidget;

namespace dravik {

class Launcher;
class WindowController;

// The named transitions between views, and how to build each destination.
class Storyboard {
public:
    enum class Presentation {
        ReplaceView, // the window's content view is swapped (ViewChangeSegue)
        Sheet,       // a window-modal sheet over the main window
    };
    using Factory = std::function<QWidget*(Launcher&, WindowController&)>;

    void add(const QString& identifier, Presentation presentation, Factory factory);
    bool contains(const QString& identifier) const;
    Presentation presentation(const QString& identifier) const;
    QWidget* instantiate(const QString& identifier, Launcher& launcher,
                         WindowController& window) const;

private:
    struct Segue {
        Presentation presentation;
        Factory factory;
    };
    std::map<QString, Segue> m_segues;
};

} // namespace dravik
