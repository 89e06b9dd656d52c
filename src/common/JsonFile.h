#pragma once

// The one way Dravik changes a JSON state file (user.json, the version record, the parameter file,
// Dravik.json): read it, parse it, check that it holds an object, patch members, replace the file
// atomically. Members the patch does not touch stay as they were, in their order.

#include "base/Expected.h"

#include <functional>
#include <nlohmann/json.hpp>
#include <string>

namespace dravik {

// What to do when there is no file.
enum class MissingJsonFile {
    LeaveMissing,     // nothing to patch
    PatchEmptyObject, // apply the patch to an empty object and write the file
};

// How patchJsonFile ended. Only Patched changed the file.
struct JsonPatchResult {
    enum class Outcome { Patched, Missing, Unreadable, NotJson, NotObject, NotWritten };

    Outcome outcome = Outcome::Patched;
    // The read, parse or write failure's description; for NotObject
    // "not a JSON object: the file holds <topLevel>".
    std::string error;
    // For NotObject: what the file holds instead ("an array", "a string", ...).
    std::string topLevel;

    // Patched, or no file to patch.
    explicit operator bool() const {
        return outcome == Outcome::Patched || outcome == Outcome::Missing;
    }
    Status status() const { return *this ? Status::ok() : Status(fail(error)); }
};

// Patches the JSON object in the file at path and writes it back indented (through a temporary
// file, so a failed write leaves the old file as it was). A file that cannot be read or parsed, or
// holds another top level than an object, is never written: it is the viewer's business.
JsonPatchResult patchJsonFile(const std::string& path,
                              const std::function<void(nlohmann::ordered_json&)>& patch,
                              MissingJsonFile missing = MissingJsonFile::LeaveMissing);

} // namespace dravik
