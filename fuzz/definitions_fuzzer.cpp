// Exhibition/FPSControllerParameter.ini is edited by the operator. The input is the file's text
// (UTF-8 here); it is written as the UTF-16 file the loader reads.

#include "FuzzCheck.h"
#include "common/File.h"
#include "common/Unicode.h"
#include "parameters/NumericParameter.h"
#include "parameters/Setting.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

using namespace dravik;

namespace {

// One file per process, removed when the run ends.
struct DefinitionsFile {
    std::string path;

    DefinitionsFile() {
        // Memory-backed where there is one: the file is written for every input.
        const char* folder = std::getenv("TMPDIR");
        std::string base = folder && *folder            ? folder
                           : File::isFolder("/dev/shm") ? "/dev/shm"
                                                        : "/tmp";
        path = base + "/dravik-fuzz-definitions-" + std::to_string(getpid()) + ".ini";
    }
    ~DefinitionsFile() { std::remove(path.c_str()); }
};

std::string utf16File(const std::string& text) {
    std::string bytes = "\xFF\xFE";
    for (char16_t unit : utf8ToUtf16(text)) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
    return bytes;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const DefinitionsFile file;
    const std::string& path = file.path;
    std::string text(reinterpret_cast<const char*>(data), size);
    FUZZ_CHECK(File::writeAll(path, utf16File(text)));

    Setting setting;
    Status loaded = setting.loadDefinitions(path);
    if (!loaded) {
        // The key that failed, then a line feed.
        const std::string& error = loaded.error();
        FUZZ_CHECK(error.size() > 1 && error.back() == '\n');
        return 0;
    }
    for (const NumericParameter& parameter : NumericParameter::all()) {
        const SettingNumericUpDown& definition = setting.*parameter.definition;
        FUZZ_CHECK(std::isfinite(definition.lower) && std::isfinite(definition.upper) &&
                   std::isfinite(definition.defaultValue));
    }
    for (const auto& placement : Setting::placementDefaults())
        FUZZ_CHECK(std::isfinite(setting.*placement.value));
    for (const std::string& value : setting.screen.values)
        FUZZ_CHECK(!value.empty());
    (void)setting.defaultParameters();
    return 0;
}
