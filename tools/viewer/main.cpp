// Kestrane, the substitute viewer: a window that shows what the launcher has prepared beside it.
// It lives at <base>/Exhibition/Kestrane.app/Contents/MacOS/Kestrane and takes the base folder from
// that place; it ends when its window is closed.

#include "ExhibitionData.h"
#include "ViewerWindow.h"

#include <QApplication>
#include <QDir>
#include <QGuiApplication>
#include <QScreen>

namespace {

// The window takes the resolution that the parameter file asks for, within the screen.
QSize windowSize(const kestrane::ParameterSheet& parameters) {
    QSize size(1024, 640);
    if (parameters.screenWidth >= 640 && parameters.screenHeight >= 400)
        size = QSize(parameters.screenWidth, parameters.screenHeight);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        size = size.boundedTo(screen->availableSize());
    return size;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kestrane"));
    const QString baseFolder =
        QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/../../../.."));

    kestrane::ViewerWindow window(baseFolder);
    const kestrane::ParameterSheet parameters = kestrane::readParameters(baseFolder);
    window.resize(windowSize(parameters));
    if (parameters.fullScreen)
        window.showFullScreen();
    else
        window.show();
    return QApplication::exec();
}
