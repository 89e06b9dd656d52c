#include "app/WindowController.h"

#include "app/AppDelegate.h"
#include "app/Storyboard.h"
#include "app/ViewChangeSegue.h"
#include "support/qt/UiTesting.h"

#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <filesystem>
#include <gtest/gtest.h>

namespace dravik {
namespace {

using test::UiLauncher;
using test::waitUntil;

QWidget* sizedView(const char* name, int width, int height) {
    auto* view = new QWidget;
    view->setObjectName(name);
    view->setMinimumSize(width, height);
    return view;
}

TEST(WindowControllerTest, CloseIsRefusedWhileATransferRuns) {
    UiLauncher ui;
    Storyboard storyboard;
    WindowController window(*ui.launcher, storyboard);
    window.setContentViewController(sizedView("first", 300, 200));
    window.show();

    ui.launcher->closeBlocked = true;
    EXPECT_FALSE(window.close());
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(ui.launcher->closeRequested);

    ui.launcher->closeBlocked = false;
    EXPECT_TRUE(window.close());
    auto lines = ui.logLines();
    EXPECT_EQ(std::vector<std::string>(lines.end() - 3, lines.end()),
              (std::vector<std::string>{"windowShouldClose->false", "windowShouldClose->true",
                                        "windowWillClose"}));
}

TEST(WindowControllerTest, ViewChangeKeepsTheTopEdge) {
    QRect frame(100, 50, 400, 330); // 30 pixels of menu bar above a 300-pixel view
    QRect taller = ViewChangeSegue::frameFor(frame, 300, QSize(500, 450));
    EXPECT_EQ(taller, QRect(100, 50, 500, 480));
    QRect shorter = ViewChangeSegue::frameFor(frame, 300, QSize(400, 100));
    EXPECT_EQ(shorter.top(), 50);
    EXPECT_EQ(shorter.bottom(), 50 + 130 - 1);

    UiLauncher ui;
    Storyboard storyboard;
    storyboard.add("Next", Storyboard::Presentation::ReplaceView,
                   [](Launcher&, WindowController&) { return sizedView("second", 420, 500); });
    WindowController window(*ui.launcher, storyboard);
    window.setContentViewController(sizedView("first", 300, 200));
    window.move(40, 60);
    window.show();
    waitUntil([&] { return window.isVisible(); });
    int top = window.geometry().top();

    ASSERT_TRUE(window.performSegue("Next"));
    QWidget* second = window.contentViewController();
    ASSERT_TRUE(waitUntil([&] { return second->isVisible(); }));
    EXPECT_EQ(second->objectName(), "second");
    EXPECT_EQ(window.geometry().top(), top);
    EXPECT_GE(window.geometry().height(), 500);
    EXPECT_FALSE(window.performSegue("Unknown"));
}

TEST(WindowControllerTest, SheetsAreWindowModal) {
    UiLauncher ui;
    Storyboard storyboard;
    storyboard.add("Sheet", Storyboard::Presentation::Sheet,
                   [](Launcher&, WindowController&) { return sizedView("sheet", 200, 100); });
    WindowController window(*ui.launcher, storyboard);
    window.setContentViewController(sizedView("first", 300, 200));
    window.show();
    QWidget* prepared = nullptr;
    ASSERT_TRUE(window.performSegue("Sheet", [&](QWidget* view) { prepared = view; }));
    ASSERT_NE(window.currentSheet(), nullptr);
    EXPECT_EQ(window.currentSheet(), prepared);
    EXPECT_EQ(window.currentSheet()->window()->windowModality(), Qt::WindowModal);

    // A sheet opened from a sheet stacks over it; closing it uncovers the first one.
    QWidget* first = window.currentSheet();
    ASSERT_TRUE(window.performSegue("Sheet"));
    QWidget* second = window.currentSheet();
    ASSERT_NE(second, first);
    EXPECT_EQ(second->window()->parentWidget(), first->window());
    second->window()->close();
    EXPECT_TRUE(waitUntil([&] { return window.currentSheet() == first; }));

    first->window()->close();
    EXPECT_TRUE(waitUntil([&] { return window.currentSheet() == nullptr; }));
}

TEST(WindowControllerTest, QuitRestoresAParkedExhibitionFolder) {
    struct Case {
        bool exhibition;
        bool parked;
        bool exhibitionAfter;
        bool parkedAfter;
    };
    const Case cases[] = {
        {false, true, true, false}, // interrupted update: renamed back
        {true, true, true, false},  // both exist: the parked one is the installation
        {true, false, true, false},
        {false, false, false, false},
    };
    for (const auto& c : cases) {
        UiLauncher ui;
        std::filesystem::remove_all(ui.exhibition());
        if (c.exhibition)
            test::writeFile(ui.exhibition("a.txt"), "live");
        if (c.parked)
            test::writeFile(ui.base() + "/$Exhibition/a.txt", "parked");
        Storyboard storyboard;
        AppDelegate delegate(*ui.launcher, storyboard);
        delegate.applicationWillTerminate();
        EXPECT_EQ(File::exists(ui.exhibition()), c.exhibitionAfter);
        EXPECT_EQ(File::exists(ui.base() + "/$Exhibition"), c.parkedAfter);
        if (c.parked) {
            EXPECT_EQ(test::readFile(ui.exhibition("a.txt")), "parked");
        }
    }
}

TEST(WindowControllerTest, MenusAndTheirCommands) {
    UiLauncher ui;
    Storyboard storyboard;
    AppDelegate delegate(*ui.launcher, storyboard);
    delegate.applicationDidFinishLaunching();
    WindowController* window = delegate.window();
    ASSERT_NE(window->menuTitled("設定"), nullptr);
    QStringList items;
    for (QAction* action : window->menuTitled("設定")->actions())
        items << action->text();
    EXPECT_EQ(items, (QStringList{"操作パラメータ", "リセット"}));

    delegate.Usage_MenuItem_Click(); // no published record: nothing
    delegate.Inquiry_MenuItem_Click();
    ui.launcher->remoteVersion = QZ_VERSION{};
    ui.launcher->remoteVersion->entry_url = "not an address";
    delegate.Signup_MenuItem_Click();
    EXPECT_EQ(ui.desktop.openedUrls, (std::vector<std::string>{"https://127.0.0.1:1/QA.html"}));

    window->hideMenuItem("設定", "操作パラメータ");
    EXPECT_FALSE(window->menuTitled("設定")->actions().at(0)->isVisible());
    ui.launcher->closeBlocked = false;
    window->close();
}

} // namespace
} // namespace dravik
