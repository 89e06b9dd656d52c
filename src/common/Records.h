#pragma once

// The JSON bodies exchanged with the exhibition service, and the small records kept on disk in the
// same shapes. Decoding and encoding live in RecordCoding.h.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace dravik {

struct QZ_HALLINFO {
    int64_t id = 0;
    std::string name;
};

struct QZ_EXHIBITION {
    int64_t id = 0;
    std::string name;
    std::string start_datetime;
    std::string end_datetime;
    std::optional<std::vector<QZ_HALLINFO>> halls;
};

struct QZ_AUTH {
    std::vector<QZ_EXHIBITION> exhibitions;
    std::string token;
};

struct QZ_MAIL {
    bool result = false;
};

struct QZ_CODE {
    bool result = false;
    std::string errorMessage;
    int64_t errorCode = 0;
    std::optional<int64_t> exhibition_id;
    std::optional<int64_t> hall_id;
};

struct QZ_ERROR {
    std::string code;
    std::string message;
};

struct QZ_ERROR_RESPONSE {
    QZ_ERROR error;
};

struct QZ_VERSION {
    std::optional<std::string> file_url;
    std::optional<std::string> entry_url;
    std::optional<std::string> help_url;
    std::string version;
    std::optional<std::vector<std::string>> delete_files;
    std::optional<std::vector<std::string>> delete_folders;
    std::optional<std::vector<std::string>> copy_files;
    std::optional<std::vector<std::string>> copy_folders;
};

struct QZ_FILE {
    std::string fileName;
    std::string uri;
};

struct QZ_FILES {
    int64_t id = 0;
    std::vector<QZ_FILE> files;
};

struct QZ_UPDATED_ATS {
    int64_t id = 0;
    std::string updated_at;
};

struct QZ_BOOTHS {
    std::vector<QZ_FILES> files;
    std::vector<QZ_UPDATED_ATS> updated_ats;
};

struct QZ_HALL {
    int64_t id = 0;
    std::string name;
    std::string updated_at;
    QZ_BOOTHS booths;
    std::vector<QZ_FILE> files;
    int64_t hallSize = 0;
};

struct QZ_UPDATED_AT {
    std::string updated_at;
};

struct QZ_USER {
    std::string invitecode;
    std::string email;
};

} // namespace dravik
