// The colour file: the tills' palette (SysValues rows "Colour", one per
// colour number 1 to 64) as one line of eight hexadecimal digits per colour,
// so that it can be edited by hand or carried to another site.
#include "interchange/colour_file.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "frame/log.h"
#include "frame/shield.h"
#include "platform/text.h"
#include "xrdb8/interchange.h"
#include "xrdb8/records_sysvalues.h"

namespace xr::interchange {

namespace {

constexpr int kColours = 64;
// Lines are read as the tills' runtime read them: at most 99 characters at a
// time, so a longer line goes on as the next one.
constexpr int kLineBuffer = 100;

struct File {
    std::FILE* f = nullptr;
    ~File() {
        if (f) std::fclose(f);
    }
};

void WriteComment(std::FILE* f, int colour) {
    if (colour == 1 || colour % 10 == 0) std::fprintf(f, "# %d\n", colour);
}

// strtol with base 16, as the palette takes it: blanks, a sign and "0x" are
// allowed, text that is no number gives 0, and the value keeps 32 bits, so
// that every colour written as eight digits reads back as it was.
int32_t ColourValue(const char* line, bool& clean) {
    char* end = nullptr;
    const long long value = std::strtoll(line, &end, 16);
    const char* rest = end;
    while (*rest == ' ' || *rest == '\t' || *rest == '\r' || *rest == '\n') ++rest;
    const bool empty = std::strspn(line, " \t\r\n") == std::strlen(line);
    // More than eight digits cannot be a colour: it is kept to 32 bits.
    const bool fits = value >= -0x80000000LL && value <= 0xFFFFFFFFLL;
    clean = *rest == 0 && (end != line || empty) && fits;
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<unsigned long long>(value)));
}

std::string Printable(const char* line) {
    std::string out;
    for (const char* p = line; *p && *p != '\n' && *p != '\r' && out.size() < 40; ++p)
        out += (static_cast<unsigned char>(*p) < 0x20) ? '?' : *p;
    return out;
}

}  // namespace

int ColoursToFile(const char* path, ColourReport* report) {
    CSysValue palette;
    if (!palette.MoveFirst("Select * FROM Sysvalues WHERE FieldName='Colour' ORDER BY FieldIndex"))
        return 0;
    File out;
    if (!path || !*path || !(out.f = std::fopen(path, "w"))) return 0;
    int colour = 1;
    for (bool onRow = true; onRow; onRow = palette.MoveNext() == 1) {
        // Colours the palette lacks are written as 0, so that the n-th colour
        // line always stands for colour n.
        while (colour < palette.m_fieldIndex && colour <= kColours) {
            WriteComment(out.f, colour);
            std::fprintf(out.f, "%08X\n", 0u);
            if (report) ++report->missing;
            ++colour;
        }
        if (colour > kColours) break;
        WriteComment(out.f, colour);
        std::fprintf(out.f, "%08lX\n",
                     static_cast<unsigned long>(static_cast<uint32_t>(palette.m_iValue)));
        if (report) ++report->colours;
        ++colour;
    }
    return 1;
}

int ColoursFromFile(const char* path, ColourReport* report) {
    File in;
    if (!path || !*path || !(in.f = std::fopen(path, "r"))) return 0;
    CSysValue palette;
    char line[kLineBuffer];
    int colour = 1;
    while (colour <= kColours && std::fgets(line, sizeof line, in.f)) {
        if (line[0] == '#') {
            if (report) ++report->comments;
            continue;
        }
        bool clean = true;
        const int32_t value = ColourValue(line, clean);
        // A line longer than the buffer goes on as the next colour line.
        if (!std::strchr(line, '\n') && !std::feof(in.f)) clean = false;
        if (report && !clean)
            report->garbage.push_back(Format("colour %d: \"%s\" stored as %08X", colour,
                                             Printable(line).c_str(),
                                             static_cast<uint32_t>(value)));
        palette.AddUpdate("Colour", colour, value);
        if (report) ++report->colours;
        ++colour;
    }
    if (report) {
        // Only counted: the palette holds 64 colours and the rest is not read.
        while (std::fgets(line, sizeof line, in.f))
            if (line[0] != '#') ++report->ignored;
    }
    return 1;
}

}  // namespace xr::interchange

// Only an error with a text is logged, with the file's path.
int DBColoursToFile(const char* path) {
    const xr::Logged logged{"DBColoursToFile %s failed (%s)", nullptr, path ? path : ""};
    return xr::Shielded(0, logged, [&] { return xr::interchange::ColoursToFile(path, nullptr); });
}

int DBColoursFromFile(const char* path) {
    const xr::Logged logged{"DBColoursFromFile %s failed (%s)", nullptr, path ? path : ""};
    return xr::Shielded(0, logged, [&] { return xr::interchange::ColoursFromFile(path, nullptr); });
}
