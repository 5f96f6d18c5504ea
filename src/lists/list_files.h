// Files of the list converter: names joined the way this platform joins
// them, found without regard to case, and read line by line.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace xr::lists {

// `folder` and `name` joined with "/"; a folder that already ends with "/"
// gets none added, and an empty folder gives `name` alone.
std::string JoinPath(std::string_view folder, std::string_view name);

// The path of `name` in `folder`: the entry of that exact name when there is
// one, else an entry whose name differs only in case (lists and screen files
// copied from tills that ignore case), else the exact name.
std::string FindPath(std::string_view folder, std::string_view name);

// Opens a regular file for reading; null when it is missing or not a file.
std::FILE* OpenForReading(const std::string& path);

// The next line of `file` without its line end ("\n" or "\r\n"); a line is
// taken whole whatever its length. False at the end of the file.
bool ReadLine(std::FILE* file, std::string& line);

}  // namespace xr::lists
