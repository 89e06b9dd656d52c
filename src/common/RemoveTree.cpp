#include "common/RemoveTree.h"

#include <filesystem>

namespace dravik {

std::error_code removeTree(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code error;
    fs::file_status status = fs::symlink_status(path, error);
    if (error)
        return error;
    if (fs::is_directory(status)) {
        for (auto it = fs::directory_iterator(path, error);
             !error && it != fs::directory_iterator(); it.increment(error)) {
            if (std::error_code inner = removeTree(it->path().string()))
                return inner;
        }
        if (error)
            return error;
    }
    fs::remove(path, error);
    return error;
}

} // namespace dravik
