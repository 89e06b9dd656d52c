#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace dravik {

struct DOWNLOAD_FILE {
    std::string filename;
    std::string uri;
};

// The data files to fetch into one folder.
struct DOWNLOAD_FILES {
    int64_t boothId = -1; // -1 for the hall-level files
    std::string path;     // the folder that receives the files
    std::string updated_at;
    std::vector<DOWNLOAD_FILE> downloadFileList;
};

using DownloadList = std::vector<DOWNLOAD_FILES>;

} // namespace dravik
