// The colour file behind DBColoursToFile and DBColoursFromFile, with what
// each run did for the operator's tool.
#pragma once

#include <string>
#include <vector>

namespace xr::interchange {

struct ColourReport {
    int colours = 0;   // colour lines written or stored
    int missing = 0;   // zero lines written for colours the palette lacks
    int comments = 0;  // comment lines read
    int ignored = 0;   // lines after the 64th colour, not read
    // Lines read as colours that are not a plain hexadecimal number, with
    // the colour number they were stored as.
    std::vector<std::string> garbage;
};

// The palette to `path`: 1 when written, 0 when there is no palette or the
// file cannot be created (then no file is touched).
int ColoursToFile(const char* path, ColourReport* report);
// `path` into the palette: 1 when read, 0 when it cannot be opened.
int ColoursFromFile(const char* path, ColourReport* report);

}  // namespace xr::interchange
