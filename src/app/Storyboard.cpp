#include "app/Storyboard.h"

namespace dravik {

void Storyboard::add(const QString& identifier, Presentation presentation, Factory factory) {
    m_segues[identifier] = Segue{presentation, std::move(factory)};
}

bool Storyboard::contains(const QString& identifier) const {
    return m_segues.count(identifier) > 0;
}

Storyboard::Presentation Storyboard::presentation(const QString& identifier) const {
    auto it = m_segues.find(identifier);
    return it == m_segues.end() ? Presentation::ReplaceView : it->second.presentation;
}

QWidget* Storyboard::instantiate(const QString& identifier, Launcher& launcher,
                                 WindowController& window) const {
    auto it = m_segues.find(identifier);
    return it == m_segues.end() ? nullptr : it->second.factory(launcher, window);
}

} // namespace dravik
