#include "parameters/ui/ViewControllerFPSControllerParameter.h"

#include "app/SheetViewController.h"
#include "app/Storyboard.h"
#include "app/WindowController.h"
#include "reset/ui/ViewControllerReset.h"
#include "support/qt/UiTesting.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QDoubleValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <filesystem>
#include <gmock/gmock.h>
#include <nlohmann/json.hpp>

namespace dravik {
namespace {

using test::child;
using test::waitUntil;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;
using json = nlohmann::ordered_json;

const char* const kNumericNames[] = {"rotateSpeed_mouse",
                                     "rotateSpeed_arrow",
                                     "moveSpeed_pc",
                                     "moveSpeed_wheel",
                                     "dashMoveSpeedRate",
                                     "cameraPitchUpperLimit",
                                     "cameraPitchUnderLimit",
                                     "mouseSmoothingRate",
                                     "optionRotateSpeedRate",
                                     "optionMoveSpeedRate",
                                     "optionEnvironmentRate",
                                     "optionBGMRate",
                                     "showroomBGMRate",
                                     "boothRangeUnderLimit",
                                     "boothObjectRangeUnderLimit",
                                     "boothRange",
                                     "boothObjectRange",
                                     "dataValidTime",
                                     "sendRecordTime"};

// A parameter file as the viewer writes it, with a key of its own.
json storedParameters() {
    return json::parse(R"({
        "rotateSpeed_mouse": 33, "rotateSpeed_arrow": 40, "moveSpeed_pc": 1.5,
        "moveSpeed_wheel": 2, "dashMoveSpeedRate": 2, "cameraPitchUpperLimit": 20,
        "cameraPitchUnderLimit": -30, "mouseSmoothingRate": 0.5, "optionRotateSpeedRate": 1,
        "optionMoveSpeedRate": 1, "optionEnvironmentRate": -30, "optionBGMRate": 0.5,
        "optionBGMName": "nothing", "showroomBGMRate": 0.25, "showroomBGMName": "celticmusic",
        "boothRangeUnderLimit": 0, "boothObjectRangeUnderLimit": 0, "isRangeAutoControl": true,
        "boothRange": 50, "boothObjectRange": 30, "qualityLevel": 4, "screenWidth": 1920,
        "screenHeight": 1080, "isFullScreen": false, "dataValidTime": 120,
        "sendRecordTime": 60, "gammaValue": 0.9, "prevDownloadTime": ["2024/01/01"]
    })");
}

class ParameterEditorTest : public ::testing::Test {
protected:
    void SetUp() override {
        using P = Storyboard::Presentation;
        storyboard.add("EditParameterSegue", P::Sheet, [](Launcher& launcher, WindowController& w) {
            return new ViewControllerFPSControllerParameter(launcher, w);
        });
        storyboard.add("ResetSegue", P::Sheet, [](Launcher& launcher, WindowController& w) {
            return new ViewControllerReset(launcher, w);
        });
        window = std::make_unique<WindowController>(*ui.launcher, storyboard);
        window->setGeometry(10, 20, 780, 700);
        window->show();
    }

    ViewControllerFPSControllerParameter* open() {
        window->performSegue("EditParameterSegue", [this](QWidget* destination) {
            auto* sheet = dynamic_cast<SheetViewController*>(destination);
            sheet->setParentWindow(window.get());
            sheet->setResultHandler([this] { ++results; });
        });
        editor = dynamic_cast<ViewControllerFPSControllerParameter*>(window->currentSheet());
        EXPECT_NE(editor, nullptr);
        editorWindow = editor ? editor->window() : nullptr;
        return editor;
    }

    template <typename T> T* get(const std::string& name) { return child<T>(editor, name.c_str()); }
    QString text(const std::string& label) { return get<QLabel>(label)->text(); }
    QString field(const std::string& name) { return get<QLineEdit>("textField_" + name)->text(); }
    QString selected(const std::string& comboBox) {
        return get<QComboBox>("comboBox_" + comboBox)->currentText();
    }
    QStringList items(const std::string& comboBox) {
        QStringList list;
        auto* box = get<QComboBox>("comboBox_" + comboBox);
        for (int i = 0; i < box->count(); ++i)
            list << box->itemText(i);
        return list;
    }
    void type(const std::string& name, const QString& typed) {
        QLineEdit* edit = get<QLineEdit>("textField_" + name);
        edit->selectAll();
        QTest::keyClicks(edit, typed);
        QTest::keyClick(edit, Qt::Key_Return);
    }
    void click(const std::string& button) { get<QPushButton>(button)->click(); }
    bool sheetOpen() { return editorWindow && editorWindow->isVisible(); }

    void writeDefinitions(const std::string& lines) {
        test::writeFile(ui.exhibition("FPSControllerParameter.ini"), test::utf16le(lines));
    }
    void writeParameters(const json& parameters) {
        test::writeFile(parameterPath(), parameters.dump(2));
    }
    std::string parameterPath() const { return ui.exhibition("FPSControllerParameter.json"); }
    json readJson(const std::string& relative) {
        return json::parse(test::readFile(ui.exhibition(relative)));
    }

    test::UiLauncher ui;
    Storyboard storyboard;
    std::unique_ptr<WindowController> window;
    ViewControllerFPSControllerParameter* editor = nullptr;
    QPointer<QWidget> editorWindow;
    int results = 0;
};

TEST_F(ParameterEditorTest, WithoutAnyFileShowsTheBuiltInDefinitions) {
    open();
    EXPECT_EQ(text("label_moveSpeed_pc"), "歩く速さ[↑][0.1〜2.0]");
    EXPECT_EQ(text("label_mouseSmoothingRate"), "マウススムージングの掛かり具合[-100.00〜100.00]");
    EXPECT_EQ(text("label_optionRotateSpeedRate"), "回転速度倍率[1.0固定]");
    EXPECT_FALSE(get<QLineEdit>("textField_optionRotateSpeedRate")->isEnabled());
    EXPECT_TRUE(get<QDoubleSpinBox>("stepper_optionRotateSpeedRate")->isHidden());
    EXPECT_FALSE(get<QDoubleSpinBox>("stepper_moveSpeed_pc")->isHidden());

    auto* formatter = get<QDoubleValidator>("formatter_sendRecordTime");
    EXPECT_EQ(formatter->bottom(), 10);
    EXPECT_EQ(formatter->top(), 3600);
    EXPECT_EQ(field("rotateSpeed_mouse"), "20");
    EXPECT_EQ(field("moveSpeed_pc"), "1.0");
    EXPECT_EQ(field("cameraPitchUnderLimit"), "-30");
    EXPECT_EQ(field("optionBGMRate"), "0.50");
    EXPECT_EQ(get<QDoubleSpinBox>("stepper_moveSpeed_pc")->singleStep(), 0.1);

    for (const char* name : kNumericNames)
        EXPECT_EQ(text(std::string("label_") + name + "_now"), "( )") << name;
    for (const char* name :
         {"optionBGMName", "showroomBGMName", "gammaValue", "qualityLevel", "resolution"})
        EXPECT_EQ(text(std::string("label_") + name + "_now"), "( )") << name;

    EXPECT_EQ(selected("gammaValue"), "1.0 標準");
    EXPECT_EQ(selected("qualityLevel"), "3:高い(標準)");
    EXPECT_EQ(items("resolution"), QStringList{"others"});
    EXPECT_EQ(field("screenWidth"), "1024");
    EXPECT_EQ(field("screenHeight"), "640");
    EXPECT_TRUE(get<QLineEdit>("textField_screenWidth")->isVisible());

    // No BGM folder: the stored (default) name is the only item and cannot be played.
    EXPECT_EQ(items("optionBGMName"), QStringList{"Exhibition_hall"});
    EXPECT_EQ(items("showroomBGMName"), QStringList{"CelticMusic"});
    EXPECT_FALSE(get<QPushButton>("button_play")->isEnabled());

    EXPECT_EQ(get<QPushButton>("button_reset")->text(), "リセット");
    EXPECT_EQ(text("label_entryUrl"), "新規登録URL");
    EXPECT_TRUE(get<QCheckBox>("checkBox_update")->isChecked());
    EXPECT_EQ(selected("splashFile"), "Splash.gif");
    EXPECT_EQ(text("label_splashFile_now"), "(Splash.gif)");
    EXPECT_EQ(selected("lobbyDisplay"), "自動");
    EXPECT_EQ(text("label_lobbyDisplay_now"), "(AUTO)");

    click("button_display");
    EXPECT_EQ(ui.desktop.displaySettingsOpened, 1);
    // Centred on the window that opened it, frame included.
    test::waitFor(std::chrono::milliseconds(20));
    QRect parent = window->frameGeometry();
    QRect own = editor->window()->frameGeometry();
    EXPECT_EQ(own.topLeft(), parent.topLeft() + QPoint(parent.width() / 2 - own.width() / 2,
                                                       parent.height() / 2 - own.height() / 2));
}

TEST_F(ParameterEditorTest, ShowsTheStoredValuesAndTheResolutionChoice) {
    writeDefinitions("screen1=1280x720\r\nscreen2=1920x1080\r\nscreen_default=1920x1080\r\n");
    struct Case {
        int width, height;
        double gamma;
        const char* gammaItem;
        int resolutionIndex;
        bool freeSize;
    };
    for (const Case& c :
         {Case{1920, 1080, 0.9, "1.0 標準", 1, false}, Case{1600, 900, 1.3, "1.4 暗い", 2, true}}) {
        SCOPED_TRACE(c.width);
        json stored = storedParameters();
        stored["screenWidth"] = c.width;
        stored["screenHeight"] = c.height;
        stored["gammaValue"] = c.gamma;
        writeParameters(stored);
        open();
        EXPECT_EQ(items("resolution"), (QStringList{"1280x720", "1920x1080(標準)", "others"}));
        EXPECT_EQ(get<QComboBox>("comboBox_resolution")->currentIndex(), c.resolutionIndex);
        EXPECT_EQ(get<QLineEdit>("textField_screenWidth")->isVisible(), c.freeSize);
        EXPECT_EQ(field("screenWidth"), QString::number(c.width));
        EXPECT_EQ(field("screenHeight"), QString::number(c.height));
        EXPECT_EQ(selected("gammaValue"), c.gammaItem);
        EXPECT_EQ(selected("qualityLevel"), "4:とても高い");
        EXPECT_EQ(field("rotateSpeed_mouse"), "33");
        EXPECT_EQ(text("label_rotateSpeed_mouse_now"), "(33.0)");
        EXPECT_EQ(text("label_cameraPitchUnderLimit_now"), "(-30.0)");
        EXPECT_EQ(text("label_showroomBGMRate_now"), "(0.25)");
        EXPECT_EQ(text("label_gammaValue_now"), QString("(%1)").arg(c.gamma));
        EXPECT_EQ(text("label_qualityLevel_now"), "(4)");
        EXPECT_EQ(text("label_resolution_now"), QString("(%1x%2)").arg(c.width).arg(c.height));
        EXPECT_EQ(text("label_showroomBGMName_now"), "(celticmusic)");
        EXPECT_TRUE(get<QCheckBox>("checkBox_isRangeAutoControl")->isChecked());
        click("buttonCancel");
        ASSERT_TRUE(waitUntil([&] { return !sheetOpen(); }));
    }

    // Picking sizes by hand: "others" takes the display's size, a listed size its own, and Save
    // writes what the (hidden) fields then hold.
    ui.desktop.displaySize = {1440, 900};
    open();
    auto* resolution = get<QComboBox>("comboBox_resolution");
    resolution->setCurrentIndex(0);
    resolution->setCurrentIndex(2);
    EXPECT_TRUE(get<QLineEdit>("textField_screenWidth")->isVisible());
    EXPECT_EQ(field("screenWidth"), "1440");
    EXPECT_EQ(get<QSpinBox>("stepper_screenHeight")->value(), 900);
    resolution->setCurrentIndex(0);
    EXPECT_FALSE(get<QLineEdit>("textField_screenWidth")->isVisible());
    click("buttonSave");
    ASSERT_TRUE(waitUntil([&] { return !sheetOpen(); }));
    json saved = readJson("FPSControllerParameter.json");
    EXPECT_EQ(saved["screenWidth"], 1280);
    EXPECT_EQ(saved["screenHeight"], 720);
}

TEST_F(ParameterEditorTest, TypedNumbersAreRoundedKeptInStepAndRangeChecked) {
    open();
    type("moveSpeed_pc", "1.26");
    EXPECT_EQ(field("moveSpeed_pc"), "1.3");
    auto* stepper = get<QDoubleSpinBox>("stepper_moveSpeed_pc");
    EXPECT_DOUBLE_EQ(stepper->value(), 1.3);
    stepper->stepUp();
    EXPECT_EQ(field("moveSpeed_pc"), "1.4");

    // Out of range: nothing is written and the editor stays.
    type("moveSpeed_pc", "2.5");
    EXPECT_EQ(field("moveSpeed_pc"), "2.5");
    click("buttonSave");
    ASSERT_EQ(ui.alerts.texts().size(), 1u);
    EXPECT_THAT(ui.alerts.texts()[0], HasSubstr("歩く速さ[↑]"));
    EXPECT_THAT(ui.alerts.texts()[0], HasSubstr("0.1〜2.0"));
    EXPECT_TRUE(sheetOpen());
    EXPECT_FALSE(std::filesystem::exists(parameterPath()));
    EXPECT_FALSE(std::filesystem::exists(ui.exhibition("Dravik.json")));
    EXPECT_EQ(results, 0);

    // Closing the window is refused the same way; fixed, it saves.
    editor->window()->close();
    EXPECT_TRUE(sheetOpen());
    EXPECT_EQ(ui.alerts.texts().size(), 2u);
    type("moveSpeed_pc", "1.9");
    editor->window()->close();
    ASSERT_TRUE(waitUntil([&] { return !sheetOpen(); }));
    EXPECT_EQ(readJson("FPSControllerParameter.json")["moveSpeed_pc"], 1.9);
    EXPECT_EQ(results, 1);
}

TEST_F(ParameterEditorTest, SaveReplacesOnlyItsOwnKeys) {
    json stored = storedParameters();
    stored["custom"] = {{"kept", true}};
    writeParameters(stored);
    test::writeFile(ui.exhibition("Dravik.json"), R"({"update": "ON", "other": "keep"})");
    open();
    type("rotateSpeed_mouse", "45");
    get<QCheckBox>("checkBox_update")->setChecked(false);
    get<QCheckBox>("checkBox_isFullScreen")->setChecked(true);
    get<QComboBox>("comboBox_lobbyDisplay")->setCurrentIndex(2);
    get<QComboBox>("comboBox_splashFile")->setCurrentIndex(1);
    get<QComboBox>("comboBox_gammaValue")->setCurrentIndex(1);
    get<QLineEdit>("textField_entryUrl")->setText("  https://example.jp/entry\u3000");
    click("buttonSave");
    ASSERT_TRUE(waitUntil([&] { return !sheetOpen(); }));
    EXPECT_EQ(results, 1);

    json saved = readJson("FPSControllerParameter.json");
    EXPECT_EQ(saved["rotateSpeed_mouse"], 45);
    EXPECT_EQ(saved["moveSpeed_pc"], 1.5);
    EXPECT_EQ(saved["isFullScreen"], true);
    EXPECT_EQ(saved["gammaValue"], 1.2);
    EXPECT_EQ(saved["qualityLevel"], 4);
    EXPECT_EQ(saved["optionBGMName"], "nothing");
    EXPECT_EQ(saved["prevDownloadTime"], json::array({"2024/01/01"}));
    EXPECT_EQ(saved["custom"]["kept"], true);
    EXPECT_FALSE(saved.contains("prevInviteCode"));
    EXPECT_FALSE(saved.contains("personDirectionalLight"));

    json settings = readJson("Dravik.json");
    EXPECT_EQ(settings["update"], "OFF");
    EXPECT_EQ(settings["LobbyDisplay"], "OFF");
    EXPECT_EQ(settings["Splash_file"], "showroom.png");
    EXPECT_EQ(settings["entry_url"], "https://example.jp/entry");
    EXPECT_EQ(settings["other"], "keep");
}

TEST_F(ParameterEditorTest, SaveThatCannotWriteKeepsTheEditorOpen) {
    // A folder where the file must go: unwritable even for root.
    std::filesystem::create_directory(parameterPath());
    open();
    get<QComboBox>("comboBox_lobbyDisplay")->setCurrentIndex(1);
    get<QLineEdit>("textField_entryUrl")->setText("https://example.jp/");
    click("buttonSave");
    ASSERT_EQ(ui.alerts.texts().size(), 1u);
    EXPECT_THAT(ui.alerts.texts()[0], StartsWith("操作パラメータの保存\n\n"));
    test::waitFor(std::chrono::milliseconds(50));
    EXPECT_TRUE(sheetOpen());
    EXPECT_TRUE(editor->isVisible());
    EXPECT_EQ(results, 1);
    json settings = readJson("Dravik.json");
    EXPECT_EQ(settings["update"], "ON");
    EXPECT_EQ(settings["Splash_file"], "Splash.gif");
    EXPECT_EQ(settings["LobbyDisplay"], "ON");
    EXPECT_EQ(settings["entry_url"], "https://example.jp/");
}

TEST_F(ParameterEditorTest, ResetShowsTheDefaultsAndOnlySaveWritesThem) {
    for (bool save : {false, true}) {
        SCOPED_TRACE(save);
        writeParameters(storedParameters());
        std::string settingsBefore = R"({"update": "OFF", "LobbyDisplay": "ON"})";
        test::writeFile(ui.exhibition("Dravik.json"), settingsBefore);
        std::string parametersBefore = test::readFile(parameterPath());
        results = 0;
        open();
        EXPECT_EQ(selected("lobbyDisplay"), "表示する");
        EXPECT_FALSE(get<QCheckBox>("checkBox_update")->isChecked());

        click("button_reset");
        auto* reset = dynamic_cast<ViewControllerReset*>(window->currentSheet());
        ASSERT_NE(reset, nullptr);
        EXPECT_FALSE(reset->resetParameter());
        EXPECT_EQ(reset->parentWindow(), editor->window());
        // Only the parameter reset, which the dialog leaves to the editor.
        for (const char* box :
             {"checkBox_resetParameter", "checkBox_deleteCache", "checkBox_deleteEmail",
              "checkBox_deleteInviteCode", "checkBox_deleteApp"})
            child<QCheckBox>(reset, box)
                ->setChecked(std::string_view(box) == "checkBox_resetParameter");
        child<QPushButton>(reset, "buttonOK")->click();
        EXPECT_EQ(test::readFile(parameterPath()), parametersBefore);
        EXPECT_TRUE(editor->resetFlag());
        EXPECT_EQ(field("rotateSpeed_mouse"), "20");
        EXPECT_EQ(field("showroomBGMRate"), "0.50");
        EXPECT_EQ(selected("gammaValue"), "1.0 標準");
        EXPECT_EQ(selected("lobbyDisplay"), "自動");
        // Without a BGM folder the stored name is the only item; it matches the default.
        EXPECT_EQ(selected("showroomBGMName"), "celticmusic");
        EXPECT_TRUE(get<QCheckBox>("checkBox_update")->isChecked());
        EXPECT_EQ(text("label_rotateSpeed_mouse_now"), "(33.0)");

        click(save ? "buttonSave" : "buttonCancel");
        ASSERT_TRUE(waitUntil([&] { return !sheetOpen(); }));
        EXPECT_EQ(results, 1);
        if (!save) {
            EXPECT_EQ(test::readFile(parameterPath()), parametersBefore);
            EXPECT_EQ(test::readFile(ui.exhibition("Dravik.json")), settingsBefore);
            continue;
        }
        json saved = readJson("FPSControllerParameter.json");
        EXPECT_EQ(saved["rotateSpeed_mouse"], 20);
        EXPECT_EQ(saved["isRangeAutoControl"], false);
        EXPECT_EQ(saved["prevDownloadTime"], json::array());
        EXPECT_EQ(saved["prevInviteCode"], "");
        EXPECT_EQ(saved["personDirectionalLight"]["localEulerAngle"]["z"], 0);
        EXPECT_EQ(saved["hall8Angle"]["x"], 0);
        json settings = readJson("Dravik.json");
        EXPECT_EQ(settings["LobbyDisplay"], "AUTO");
        EXPECT_EQ(settings["update"], "ON");
    }
}

TEST_F(ParameterEditorTest, BgmListsAndOnePreviewAtATime) {
    std::string folder = ui.exhibition("BGM");
    std::filesystem::create_directory(folder);
    for (const char* file : {"readme.txt", "Exhibition_hall.mp3", "CelticMusic.mp3"})
        test::writeFile(folder + "/" + file, "");
    writeParameters(storedParameters()); // hall "nothing", showroom "celticmusic"
    open();
    QStringList expected{"CelticMusic", "Exhibition_hall", "readme"};
    EXPECT_EQ(items("optionBGMName"), expected);
    EXPECT_EQ(items("showroomBGMName"), expected);
    EXPECT_EQ(get<QComboBox>("comboBox_optionBGMName")->currentIndex(), 0);
    EXPECT_EQ(selected("showroomBGMName"), "CelticMusic");
    EXPECT_TRUE(get<QPushButton>("button_play")->isEnabled());

    auto* hallBox = get<QComboBox>("comboBox_optionBGMName");
    hallBox->setCurrentIndex(1);
    EXPECT_TRUE(ui.audio.played.empty()); // a stopped channel stays stopped

    click("button_play");
    EXPECT_EQ(ui.audio.playing, folder + "/Exhibition_hall.mp3");
    EXPECT_DOUBLE_EQ(ui.audio.volume, 0.5);
    EXPECT_EQ(get<QPushButton>("button_play")->text(), "stop");
    get<QDoubleSpinBox>("stepper_optionBGMRate")->stepUp();
    EXPECT_EQ(field("optionBGMRate"), "0.51");
    EXPECT_FLOAT_EQ(static_cast<float>(ui.audio.volume), 0.51f);
    type("optionBGMRate", "0.3");
    EXPECT_FLOAT_EQ(static_cast<float>(ui.audio.volume), 0.3f);
    hallBox->setCurrentIndex(0);
    EXPECT_EQ(ui.audio.playing, folder + "/CelticMusic.mp3");

    click("button_showroom_play");
    EXPECT_EQ(ui.audio.playing, folder + "/CelticMusic.mp3");
    EXPECT_DOUBLE_EQ(ui.audio.volume, 0.25);
    EXPECT_EQ(get<QPushButton>("button_play")->text(), "play");
    EXPECT_EQ(get<QPushButton>("button_showroom_play")->text(), "stop");

    // No readme.mp3: silence, and the button still offers to stop.
    get<QComboBox>("comboBox_showroomBGMName")->setCurrentIndex(2);
    EXPECT_TRUE(ui.audio.playing.empty());
    EXPECT_EQ(get<QPushButton>("button_showroom_play")->text(), "stop");
    EXPECT_THAT(ui.audio.played,
                ElementsAre(folder + "/Exhibition_hall.mp3", folder + "/CelticMusic.mp3",
                            folder + "/CelticMusic.mp3"));
}

TEST_F(ParameterEditorTest, DefinitionsErrorClosesTheEditorWithoutWriting) {
    writeDefinitions("rotateSpeed_mouse_default=\r\n");
    writeParameters(storedParameters());
    std::string before = test::readFile(parameterPath());
    open();
    ASSERT_EQ(ui.alerts.texts().size(), 1u);
    EXPECT_THAT(ui.alerts.texts()[0],
                StartsWith("設定の読込みでエラーが発生しました\n\nrotateSpeed_mouse_default"));
    ASSERT_TRUE(waitUntil([&] { return !sheetOpen(); }));
    EXPECT_EQ(test::readFile(parameterPath()), before);
    EXPECT_FALSE(std::filesystem::exists(ui.exhibition("Dravik.json")));
    EXPECT_EQ(results, 0);
}

TEST_F(ParameterEditorTest, EscapeCancelsWithoutWriting) {
    open();
    QTest::keyClick(get<QLineEdit>("textField_boothRange"), Qt::Key_Escape);
    ASSERT_TRUE(waitUntil([&] { return !sheetOpen(); }));
    EXPECT_EQ(results, 1);
    EXPECT_FALSE(std::filesystem::exists(parameterPath()));
}

} // namespace
} // namespace dravik
