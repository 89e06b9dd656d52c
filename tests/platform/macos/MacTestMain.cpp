// The main of the macOS platform tests: a QApplication on the window system itself (cocoa), so
// that this process is an application of the session with windows the window server lists.

#include <QApplication>
#include <gmock/gmock.h>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "cocoa");
    QApplication application(argc, argv);
    ::testing::InitGoogleMock(&argc, argv);
    return RUN_ALL_TESTS();
}
