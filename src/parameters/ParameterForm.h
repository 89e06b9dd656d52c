#pragma once

// The parameter editor's form without widgets. The editor copies its controls into Entries and
// shows what this class computes; the rules live here:
//   showing:  textField_N = fieldText(value, point), label_N_now = currentValues(record) (or
//             noCurrentValues() when the file could not be read), quality = qualityIndex(level),
//             splash = splashChoice(Splash_file), lobby = lobbyIndex(LobbyDisplay or "AUTO"),
//             checkBox_update = updateChecked(update);
//   saving:   if (auto refusal = form.check(entries)) alert refusal->message and return to its
//             field; else writeParameterFile(form.record(entries), …) and
//             saveLauncherSettings(settings, entries).

#include "parameters/QZ_FPSControllerParameter.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dravik {

class LauncherSettings;
class Setting;

class ParameterForm {
public:
    // A window size the viewer can be given by hand.
    static constexpr int32_t kMinScreenSize = 1;
    static constexpr int32_t kMaxScreenSize = 32767;

    // A text field and the stepper beside it: the stepper stands in when the text is no number.
    struct NumberEntry {
        std::string text;
        double stepper = 0;
    };
    struct SizeEntry {
        std::string text;
        int32_t stepper = 0;
    };

    // What the editor's controls hold; an empty optional is a combo box without a selection.
    struct Entries {
        std::vector<NumberEntry> numbers; // one per NumericParameter::all(), in that order
        std::optional<std::string> optionBGMName;
        std::optional<std::string> showroomBGMName;
        std::optional<std::string> gammaItem;
        int qualityIndex = -1;
        std::string resolutionItem;
        SizeEntry screenWidth;
        SizeEntry screenHeight;
        bool isRangeAutoControl = false;
        bool isFullScreen = false;
        bool update = true;
        std::string splashFile;
        int lobbyIndex = 0;
        std::string entryUrl;
    };

    // A value that cannot be saved: the field to return to and the message for the visitor.
    struct Refusal {
        enum class Field { Number, ScreenWidth, ScreenHeight };
        Field field = Field::Number;
        size_t number = 0; // index into Entries::numbers for Field::Number
        std::string message;
    };

    // The texts of the "_now" labels.
    struct CurrentValues {
        std::vector<std::string> numbers; // one per NumericParameter::all(), in that order
        std::string optionBGMName;
        std::string showroomBGMName;
        std::string gammaValue;
        std::string qualityLevel;
        std::string resolution;
    };

    struct Choice {
        std::vector<std::string> items;
        int selected = 0;
    };

    // The definitions must outlive the form.
    explicit ParameterForm(const Setting& definitions) : m_definitions(definitions) {}

    // A number as its field shows it: the parameter's decimal places, unless that would change
    // the stored number (a file may hold more places than the definitions allow).
    static std::string fieldText(double value, int64_t point);
    static CurrentValues currentValues(const QZ_FPSControllerParameter& record);
    static CurrentValues noCurrentValues();
    // The quality item of a stored level; a level beyond the list would select nothing.
    static int qualityIndex(int32_t level);
    // The free width and height are edited only for the item "others".
    static bool showsFreeSize(std::string_view resolutionItem);
    // The two splash images, and a stored file of the operator's own so that a save keeps it.
    static Choice splashChoice(const std::string& stored);
    static const std::vector<std::string>& lobbyItems();
    // "ON" 1, "OFF" 2 (any letter case), anything else 0 ("AUTO").
    static int lobbyIndex(std::string_view stored);
    // The update check is on unless the setting says "OFF" (any letter case).
    static bool updateChecked(std::string_view stored);

    // The first entry outside its range, in screen order: a number of a parameter that is not
    // fixed, then the free width and height while "others" is chosen.
    std::optional<Refusal> check(const Entries& entries) const;
    // The values Save writes into the parameter file.
    QZ_FPSControllerParameter record(const Entries& entries) const;
    // update, Splash_file, LobbyDisplay and entry_url.
    static void saveLauncherSettings(const LauncherSettings& settings, const Entries& entries);

private:
    const Setting& m_definitions;
};

} // namespace dravik
