// Files of the list converter.
#include "lists/list_files.h"

#include <dirent.h>
#include <sys/stat.h>

#include "platform/text.h"

namespace xr::lists {

std::string JoinPath(std::string_view folder, std::string_view name) {
    std::string path(folder);
    if (!path.empty() && path.back() != '/') path += '/';
    path += name;
    return path;
}

std::string FindPath(std::string_view folder, std::string_view name) {
    const std::string exact = JoinPath(folder, name);
    struct stat st;
    if (::stat(exact.c_str(), &st) == 0) return exact;
    const std::string dirName = folder.empty() ? std::string(".") : std::string(folder);
    DIR* dir = ::opendir(dirName.c_str());
    if (!dir) return exact;
    std::string found;
    while (const dirent* entry = ::readdir(dir)) {
        if (IEquals(entry->d_name, name)) {
            found = JoinPath(folder, entry->d_name);
            break;
        }
    }
    ::closedir(dir);
    return found.empty() ? exact : found;
}

std::FILE* OpenForReading(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;
    return std::fopen(path.c_str(), "r");
}

bool ReadLine(std::FILE* file, std::string& line) {
    line.clear();
    int c;
    bool any = false;
    while ((c = std::getc(file)) != EOF) {
        any = true;
        if (c == '\n') break;
        line += static_cast<char>(c);
    }
    if (!any) return false;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
}

}  // namespace xr::lists
