#pragma once

#include <QMargins>
#include <QObject>
#include <QPointer>
#include <functional>

class QWidget;

namespace dravik {

// Keeps the window that wraps a sheet's view at the size its layout asks for (not resizable) and
// centred on the window it belongs to, after every layout pass, resize and frame change. The
// wrapping window is known only once the view has been put into its sheet: call follow() then.
class SheetPlacement : public QObject {
public:
    SheetPlacement(QWidget* view, std::function<QWidget*()> owner);

    // Watches the window that now wraps the view (nothing while the view is its own window).
    void follow();
    // Fixes the size and centres the window on its owner, kept on the owner's screen.
    void place();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* m_view;
    std::function<QWidget*()> m_owner;
    QPointer<QWidget> m_window;
    QMargins m_centredMargins; // the frame's margins when the window was last centred
};

} // namespace dravik
