#include "parameters/ParameterFile.h"

#include "common/JsonFile.h"
#include "common/JsonText.h"
#include "common/Launcher.h"
#include "common/LauncherSettings.h"
#include "parameters/NumericParameter.h"
#include "parameters/Setting.h"
#include "platform/Alerts.h"

#include <cmath>
#include <iterator>
#include <limits>
#include <vector>

namespace dravik {

namespace {

using Json = nlohmann::json;
using OrderedJson = nlohmann::ordered_json;
using Record = QZ_FPSControllerParameter;

const std::string kSaveReport = "操作パラメータの保存\n\n";
const std::string kResetReport = "<Reset parameter>";

// One record member: its JSON key and how it is read from and written to the document.
struct Member {
    const char* key;
    enum Kind { Double, String, Int32, OptionalBool } kind;
    double Record::*number = nullptr;
    std::string Record::*text = nullptr;
    int32_t Record::*integer = nullptr;
    std::optional<bool> Record::*flag = nullptr;
};

constexpr Member number(const char* key, double Record::*field) {
    return {key, Member::Double, field};
}
constexpr Member text(const char* key, std::string Record::*field) {
    return {key, Member::String, nullptr, field};
}
constexpr Member integer(const char* key, int32_t Record::*field) {
    return {key, Member::Int32, nullptr, nullptr, field};
}
constexpr Member flag(const char* key, std::optional<bool> Record::*field) {
    return {key, Member::OptionalBool, nullptr, nullptr, nullptr, field};
}

// The record's members: the numeric table's, then the others.
std::vector<Member> recordMembers() {
    std::vector<Member> members;
    for (const auto& parameter : NumericParameter::all())
        members.push_back(number(parameter.name, parameter.value));
    const Member others[] = {
        text("optionBGMName", &Record::optionBGMName),
        text("showroomBGMName", &Record::showroomBGMName),
        flag("isRangeAutoControl", &Record::isRangeAutoControl),
        integer("qualityLevel", &Record::qualityLevel),
        integer("screenWidth", &Record::screenWidth),
        integer("screenHeight", &Record::screenHeight),
        flag("isFullScreen", &Record::isFullScreen),
        number("gammaValue", &Record::gammaValue),
    };
    members.insert(members.end(), std::begin(others), std::end(others));
    return members;
}

const std::vector<Member> kMembers = recordMembers();

// An integer, also when written with a zero fraction or an exponent, within 32 bits.
std::optional<int32_t> readInt32(const Json& value) {
    constexpr auto kMin = std::numeric_limits<int32_t>::min();
    constexpr auto kMax = std::numeric_limits<int32_t>::max();
    if (value.is_number_unsigned()) {
        auto number = value.get<uint64_t>();
        return number <= static_cast<uint64_t>(kMax) ? std::optional(static_cast<int32_t>(number))
                                                     : std::nullopt;
    }
    if (value.is_number_integer()) {
        auto number = value.get<int64_t>();
        return number >= kMin && number <= kMax ? std::optional(static_cast<int32_t>(number))
                                                : std::nullopt;
    }
    if (value.is_number_float()) {
        double number = value.get<double>();
        if (std::trunc(number) != number || number < kMin || number > kMax)
            return std::nullopt;
        return static_cast<int32_t>(number);
    }
    return std::nullopt;
}

Expected<Record> failure(const Member& member, const std::string& reason) {
    return fail(std::string(member.key) + ": " + reason);
}

OrderedJson point(double x, double y, double z) {
    OrderedJson object = OrderedJson::object();
    object["x"] = x;
    object["y"] = y;
    object["z"] = z;
    return object;
}

OrderedJson light(double intensity, double x, double y, double z) {
    OrderedJson object = OrderedJson::object();
    object["intensity"] = intensity;
    object["localEulerAngle"] = point(x, y, z);
    return object;
}

void writeResetKeys(OrderedJson& document, const Setting& s) {
    document["prevDownloadTime"] = OrderedJson::array();
    document["prevInviteCode"] = "";
    document["personDirectionalLight"] = light(s.personDirectionalLight_intensity_default,
                                               s.personDirectionalLight_localEulerAngle_x_default,
                                               s.personDirectionalLight_localEulerAngle_y_default,
                                               s.personDirectionalLight_localEulerAngle_z_default);
    document["lobbyPersonDirectionalLight"] =
        light(s.lobbyPersonDirectionalLight_intensity_default,
              s.lobbyPersonDirectionalLight_localEulerAngle_x_default,
              s.lobbyPersonDirectionalLight_localEulerAngle_y_default,
              s.lobbyPersonDirectionalLight_localEulerAngle_z_default);
    document["hall192Position"] = point(s.hall192Position_x_default, s.hall192Position_y_default,
                                        s.hall192Position_z_default);
    document["hall64Position"] =
        point(s.hall64Position_x_default, s.hall64Position_y_default, s.hall64Position_z_default);
    document["hall8Position"] =
        point(s.hall8Position_x_default, s.hall8Position_y_default, s.hall8Position_z_default);
    document["hall192Angle"] =
        point(s.hall192Angle_x_default, s.hall192Angle_y_default, s.hall192Angle_z_default);
    document["hall64Angle"] =
        point(s.hall64Angle_x_default, s.hall64Angle_y_default, s.hall64Angle_z_default);
    document["hall8Angle"] =
        point(s.hall8Angle_x_default, s.hall8Angle_y_default, s.hall8Angle_z_default);
}

void writeMembers(OrderedJson& document, const Record& values) {
    for (const auto& member : kMembers) {
        switch (member.kind) {
        case Member::Double:
            document[member.key] = values.*member.number;
            break;
        case Member::String:
            document[member.key] = values.*member.text;
            break;
        case Member::Int32:
            document[member.key] = values.*member.integer;
            break;
        case Member::OptionalBool:
            document[member.key] = (values.*member.flag).value_or(false);
            break;
        }
    }
}

} // namespace

std::string ParameterFile::path() const {
    return m_launcher.exhibitionPath("FPSControllerParameter.json");
}

Expected<QZ_FPSControllerParameter> ParameterFile::readParameterFile() const {
    Expected<std::string> bytes = File::readAll(path());
    if (!bytes)
        return fail("FPSControllerParameter.json: " + bytes.error());
    return decode(*bytes);
}

Expected<QZ_FPSControllerParameter> ParameterFile::decode(std::string_view bytes) {
    auto document = parseJson(bytes);
    if (!document)
        return fail(document.error());
    if (!document->is_object())
        return fail("the parameter file holds " + jsonTypeName(*document) + ", not an object");
    Record record;
    for (const auto& member : kMembers) {
        auto it = document->find(member.key);
        bool absent = it == document->end() || it->is_null();
        if (absent) {
            if (member.kind == Member::OptionalBool)
                continue;
            return failure(member, "missing");
        }
        switch (member.kind) {
        case Member::Double:
            if (!it->is_number())
                return failure(member, "expected a number");
            record.*member.number = it->get<double>();
            break;
        case Member::String:
            if (!it->is_string())
                return failure(member, "expected a string");
            record.*member.text = it->get<std::string>();
            break;
        case Member::Int32:
            if (auto value = readInt32(*it))
                record.*member.integer = *value;
            else
                return failure(member, "expected a 32-bit integer");
            break;
        case Member::OptionalBool:
            if (!it->is_boolean())
                return failure(member, "expected true or false");
            record.*member.flag = it->get<bool>();
            break;
        }
    }
    return record;
}

bool ParameterFile::writeParameterFile(const QZ_FPSControllerParameter& values, bool resetExtras,
                                       const Setting& definitions) const {
    return write(values, resetExtras, definitions, kSaveReport);
}

bool ParameterFile::write(const QZ_FPSControllerParameter& values, bool resetExtras,
                          const Setting& definitions, const std::string& reportPrefix) const {
    auto patched = patchJsonFile(
        path(),
        [&](OrderedJson& document) {
            writeMembers(document, values);
            if (resetExtras)
                writeResetKeys(document, definitions);
        },
        MissingJsonFile::PatchEmptyObject);
    if (patched.outcome == JsonPatchResult::Outcome::NotObject) {
        report(reportPrefix + "the parameter file holds " + patched.topLevel + ", not an object");
        return false;
    }
    if (!patched) {
        report(reportPrefix + patched.error);
        return false;
    }
    return true;
}

void ParameterFile::writeDefaultParameters() const {
    Setting setting;
    if (Status loaded = setting.loadDefinitions(m_launcher); !loaded)
        report(kResetReport + loaded.error());
    else
        write(setting.defaultParameters(), true, setting, kResetReport);

    LauncherSettings settings(m_launcher);
    settings.writeLauncherSetting("update", setting.update.defaultValue ? "ON" : "OFF");
    settings.writeLauncherSetting("LobbyDisplay", "AUTO");
}

void ParameterFile::report(const std::string& message) const {
    m_launcher.writeLog(message);
    m_launcher.platform.alerts.critical(message);
}

} // namespace dravik
