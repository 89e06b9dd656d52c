#include "system/qt/QtApplication.h"

#include <QApplication>

namespace dravik {

namespace {

int g_noArguments = 0;
int* g_argc = &g_noArguments;
char** g_argv = nullptr;

} // namespace

void QtApplication::setArguments(int& argc, char** argv) {
    g_argc = &argc;
    g_argv = argv;
}

void QtApplication::ensure() {
    if (QCoreApplication::instance() != nullptr)
        return;
    // Lives until the process ends: every way out of the launcher ends it at once.
    new QApplication(*g_argc, g_argv);
    QApplication::setApplicationName("Dravik");
}

} // namespace dravik
