#include "common/PartialDownload.h"

#include "common/File.h"

#include <nlohmann/json.hpp>
#include <unistd.h>

namespace dravik {

namespace {

constexpr std::string_view kDataSuffix = ".partial";
constexpr std::string_view kInfoSuffix = ".partial.json";

bool endsWith(const std::string& text, std::string_view suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

} // namespace

std::string PartialDownload::dataPath(const std::string& folder, const std::string& fileName) {
    return File::join(folder, "." + fileName + std::string(kDataSuffix));
}

std::string PartialDownload::infoPath(const std::string& dataPath) {
    return dataPath + ".json";
}

bool PartialDownload::isPartialName(const std::string& fileName) {
    if (fileName.empty() || fileName[0] != '.')
        return false;
    return (endsWith(fileName, kDataSuffix) && fileName.size() > kDataSuffix.size() + 1) ||
           (endsWith(fileName, kInfoSuffix) && fileName.size() > kInfoSuffix.size() + 1);
}

std::optional<PartialDownload> PartialDownload::read(const std::string& dataPath) {
    Expected<std::string> text = File::readAll(infoPath(dataPath));
    if (!text)
        return std::nullopt;
    nlohmann::json json = nlohmann::json::parse(*text, nullptr, false);
    if (!json.is_object())
        return std::nullopt;
    auto url = json.find("url");
    auto tag = json.find("tag");
    auto validator = json.find("validator");
    auto started = json.find("started");
    if (url == json.end() || !url->is_string() || tag == json.end() || !tag->is_string() ||
        validator == json.end() || !validator->is_string() || started == json.end() ||
        !started->is_number_integer())
        return std::nullopt;
    PartialDownload partial;
    partial.url = url->get<std::string>();
    partial.tag = tag->get<std::string>();
    partial.validator = validator->get<std::string>();
    partial.started =
        std::chrono::system_clock::time_point(std::chrono::seconds(started->get<int64_t>()));
    return partial;
}

Status PartialDownload::write(const std::string& dataPath) const {
    nlohmann::json json = {
        {"url", url},
        {"tag", tag},
        {"validator", validator},
        {"started",
         std::chrono::duration_cast<std::chrono::seconds>(started.time_since_epoch()).count()}};
    // Replaced whole: a description cut in the middle would not parse, and its bytes would only
    // start again, but one naming the previous answer would continue the wrong file.
    return File::writeAtomically(
        infoPath(dataPath), json.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace),
        File::Durability::Later);
}

void PartialDownload::remove(const std::string& dataPath) {
    ::unlink(infoPath(dataPath).c_str());
    ::unlink(dataPath.c_str());
}

bool PartialDownload::isFresh(std::chrono::system_clock::time_point now) const {
    return now - started < kLifetime && started <= now + std::chrono::hours(24);
}

bool PartialDownload::continues(const std::string& wantedUrl, const std::string& wantedTag,
                                std::chrono::system_clock::time_point now) const {
    return url == wantedUrl && tag == wantedTag && !validator.empty() && isFresh(now);
}

} // namespace dravik
