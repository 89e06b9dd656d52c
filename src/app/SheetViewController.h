#pragma once

#include <functional>

class QWidget;

namespace dravik {

// A view shown as a sheet over the main window, which tells its opener when it is done.
class SheetViewController {
public:
    virtual ~SheetViewController() = default;

    void setParentWindow(QWidget* window) { m_parentWindow = window; }
    QWidget* parentWindow() const { return m_parentWindow; }
    void setResultHandler(std::function<void()> handler) { m_resultHandler = std::move(handler); }
    // Only the reset dialog offers the parameter reset, and only when opened from the sign-in view.
    virtual void setResetParameter(bool) {}

protected:
    void callResultHandler() const {
        if (m_resultHandler)
            m_resultHandler();
    }

private:
    QWidget* m_parentWindow = nullptr;
    std::function<void()> m_resultHandler;
};

} // namespace dravik
