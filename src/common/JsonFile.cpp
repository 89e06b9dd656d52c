#include "common/JsonFile.h"

#include "common/File.h"
#include "common/JsonText.h"

namespace dravik {

namespace {

using Outcome = JsonPatchResult::Outcome;

JsonPatchResult failed(Outcome outcome, std::string error) {
    return {outcome, std::move(error), {}};
}

} // namespace

JsonPatchResult patchJsonFile(const std::string& path,
                              const std::function<void(nlohmann::ordered_json&)>& patch,
                              MissingJsonFile missing) {
    nlohmann::ordered_json document = nlohmann::ordered_json::object();
    if (File::exists(path)) {
        Expected<std::string> bytes = File::readAll(path);
        if (!bytes)
            return failed(Outcome::Unreadable, bytes.error());
        auto parsed = parseOrderedJson(*bytes);
        if (!parsed)
            return failed(Outcome::NotJson, parsed.error());
        if (!parsed->is_object()) {
            std::string topLevel = jsonTypeName(*parsed);
            return {Outcome::NotObject, "not a JSON object: the file holds " + topLevel, topLevel};
        }
        document = std::move(*parsed);
    } else if (missing == MissingJsonFile::LeaveMissing) {
        return {Outcome::Missing, {}, {}};
    }
    patch(document);
    if (Status written = File::writeAtomically(path, prettyJson(document)); !written)
        return failed(Outcome::NotWritten, written.error());
    return {};
}

} // namespace dravik
