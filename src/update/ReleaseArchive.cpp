#include "update/ReleaseArchive.h"

#include "common/Diagnostics.h"
#include "common/Launcher.h"
#include "common/SafePath.h"
#include "common/Unicode.h"

#include <array>
#include <cctype>
#include <filesystem>
#include <string_view>

namespace dravik {

namespace fs = std::filesystem;

namespace {

// Items the launcher itself keeps in the private folder.
constexpr std::array<std::string_view, 10> kPrivateItems = {
    "dravik_log.txt", "double_startup_check",
    "dravik.lock",    "dravik.app",
    "extract",        "auth.json",
    "code.json",      "mail.json",
    "hall.json",      "version_mac.json"};

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool percentDecode(std::string_view text, std::string& decoded) {
    decoded.clear();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            decoded.push_back(text[i]);
            continue;
        }
        if (i + 2 >= text.size())
            return false;
        int high = hexValue(text[i + 1]), low = hexValue(text[i + 2]);
        if (high < 0 || low < 0)
            return false;
        decoded.push_back(static_cast<char>(high * 16 + low));
        i += 2;
    }
    return true;
}

Status checkName(const std::string& name) {
    if (!isSafeName(name, NameKind::PlainName))
        return fail(pathInside({}, name, NameKind::PlainName).error());
    std::string lower = asciiLower(name);
    for (std::string_view item : kPrivateItems) {
        if (lower == item)
            return fail("refused name \"" + name + "\": the launcher's own item");
    }
    return Status::ok();
}

} // namespace

Expected<std::string> ReleaseArchive::fileName(const std::string& url) {
    size_t colon = url.find("://");
    bool schemeOk =
        colon != std::string::npos && colon > 0 && std::isalpha(static_cast<unsigned char>(url[0]));
    for (size_t i = 0; schemeOk && i < colon; ++i) {
        char c = url[i];
        schemeOk = std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.';
    }
    if (!schemeOk)
        return fail("file_url is not a URL: \"" + url + "\"");

    std::string_view rest = std::string_view(url).substr(colon + 3);
    rest = rest.substr(0, rest.find_first_of("?#"));
    size_t pathStart = rest.find('/');
    std::string_view path =
        pathStart == std::string_view::npos ? std::string_view() : rest.substr(pathStart);
    while (!path.empty() && path.back() == '/')
        path.remove_suffix(1);
    std::string_view last = path.substr(path.rfind('/') + 1);

    std::string decoded;
    if (!percentDecode(last, decoded))
        return fail("file_url is not a URL: \"" + url + "\"");
    return decoded;
}

Expected<std::string> ReleaseArchive::pathFor(const Launcher& launcher,
                                              const std::string& fileUrl) {
    Expected<std::string> name = fileName(fileUrl);
    if (!name)
        return fail(name.error());
    Status ok = checkName(*name);
    if (!ok)
        return fail(ok.error());
    return File::join(launcher.privateFolder, *name);
}

Status ReleaseArchive::checkPath(const Launcher& launcher, const std::string& archivePath) {
    const std::string folder = launcher.privateFolder + "/";
    if (archivePath.size() <= folder.size() || archivePath.compare(0, folder.size(), folder) != 0)
        return fail("refused path \"" + archivePath + "\": not in the private folder");
    return checkName(archivePath.substr(folder.size()));
}

bool ReleaseArchive::store(const Launcher& launcher, const std::string& temporaryFile,
                           const std::string& archivePath) {
    Status where = checkPath(launcher, archivePath);
    if (!where) {
        printDiagnostic("file error: " + where.error());
        return false;
    }
    // What cannot be removed is replaced by the rename below, or the rename fails and says so.
    if (File::exists(archivePath))
        (void)launcher.file.removePath(archivePath);
    std::error_code error;
    fs::rename(temporaryFile, archivePath, error);
    if (error == std::errc::cross_device_link) {
        error.clear();
        if (fs::copy_file(temporaryFile, archivePath, error)) {
            std::error_code ignored;
            fs::remove(temporaryFile, ignored);
        }
    }
    if (error) {
        printDiagnostic("file error: " + error.message());
        return false;
    }
    return true;
}

} // namespace dravik
