// The progress line: laid out to the terminal's width, drawn on stderr.
#include "progress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace xrdb8tool {

namespace {

constexpr auto kRedrawEvery = std::chrono::milliseconds(100);

std::string OneDecimal(double value) {
    char text[32];
    std::snprintf(text, sizeof text, value < 10 ? "%.1f" : "%.0f", value);
    return text;
}

std::string Bytes(double bytes) {
    static const char* const kUnits[] = {"B", "kB", "MB", "GB", "TB"};
    size_t unit = 0;
    while (bytes >= 1000 && unit + 1 < sizeof kUnits / sizeof *kUnits) {
        bytes /= 1000;
        ++unit;
    }
    return (unit == 0 ? std::to_string(static_cast<uint64_t>(bytes)) : OneDecimal(bytes)) + " " +
           kUnits[unit];
}

std::string Amount(const ProgressState& s, double value) {
    return s.units == Units::Bytes ? Bytes(value)
                                   : std::to_string(static_cast<uint64_t>(value)) +
                                         (s.noun.empty() ? "" : " " + s.noun);
}

// Things a second: a slow rate keeps its first decimal ("0.2 batches/s").
std::string Rate(const ProgressState& s, double perSecond) {
    if (s.units == Units::Bytes || perSecond >= 10) return Amount(s, perSecond) + "/s";
    return OneDecimal(perSecond) + (s.noun.empty() ? "" : " " + s.noun) + "/s";
}

std::string Duration(double seconds) {
    const auto whole = static_cast<uint64_t>(seconds + 0.5);
    char text[32];
    if (whole < 60)
        std::snprintf(text, sizeof text, "%us", static_cast<unsigned>(whole));
    else if (whole < 3600)
        std::snprintf(text, sizeof text, "%u:%02u", static_cast<unsigned>(whole / 60),
                      static_cast<unsigned>(whole % 60));
    else
        std::snprintf(text, sizeof text, "%u:%02u:%02u", static_cast<unsigned>(whole / 3600),
                      static_cast<unsigned>(whole / 60 % 60), static_cast<unsigned>(whole % 60));
    return text;
}

// Cuts `text` to `width` bytes without splitting a UTF-8 character.
std::string Cut(const std::string& text, size_t width) {
    if (text.size() <= width) return text;
    size_t end = width;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return text.substr(0, end);
}

// The columns of the terminal on stderr; 80 when it does not say.
size_t TerminalWidth() {
    winsize size{};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    if (const char* columns = std::getenv("COLUMNS")) {
        const long n = std::strtol(columns, nullptr, 10);
        if (n > 0) return static_cast<size_t>(n);
    }
    return 80;
}

}  // namespace

std::string ProgressText(const ProgressState& s, size_t width) {
    const bool known = s.total > 0;
    const uint64_t done = known && s.done > s.total ? s.total : s.done;
    const double fraction = known ? static_cast<double>(done) / static_cast<double>(s.total) : 0;
    // The parts after the label in the order shown, each with its rank: when
    // the line is too wide the parts of the highest rank go first.
    struct Part {
        std::string text;
        int rank;
    };
    std::vector<Part> parts;
    if (known) {
        // Three places, so the bar after it stays put from 0% to 100%.
        char percent[8];
        std::snprintf(percent, sizeof percent, "%3d%%", static_cast<int>(fraction * 100));
        parts.push_back({percent, 0});
    }
    std::string amount = Amount(s, static_cast<double>(done));
    if (known && s.units == Units::Bytes)
        amount += " of " + Amount(s, static_cast<double>(s.total));
    else if (known)
        amount = std::to_string(done) + "/" + Amount(s, static_cast<double>(s.total));
    parts.push_back({amount, known ? 3 : 0});
    // Rate and time left need a second's worth of work to mean anything.
    if (s.seconds >= 1 && done > 0) {
        const double rate = static_cast<double>(done) / s.seconds;
        parts.push_back({Rate(s, rate), 2});
        if (known && done < s.total)
            parts.push_back({Duration(static_cast<double>(s.total - done) / rate) + " left", 1});
    }
    auto join = [&](int maxRank, size_t bar) {
        std::string text = s.label;
        for (size_t i = 0; i < parts.size(); ++i) {
            if (parts[i].rank > maxRank) continue;
            text += (text.empty() ? "" : "  ") + parts[i].text;
            if (i == 0 && bar > 0) {
                const auto filled = static_cast<size_t>(fraction * static_cast<double>(bar));
                text += " [" + std::string(filled, '=') + std::string(bar - filled, ' ') + "]";
            }
        }
        return text;
    };
    // The bar keeps its width while the numbers beside it change.
    constexpr size_t kBar = 20;
    for (int maxRank = 3; maxRank >= 0; --maxRank) {
        const std::string text = join(maxRank, 0);
        if (text.size() > width) continue;
        if (known && maxRank == 3 && width - text.size() >= kBar + 3) return join(maxRank, kBar);
        return text;
    }
    // Too narrow even for the label and the percentage: the label is cut.
    const std::string tail = "  " + parts[0].text;
    if (tail.size() + 1 > width) return Cut(parts[0].text, width);
    return Cut(s.label, width - tail.size()) + tail;
}

bool ProgressWanted() {
    if (!isatty(STDERR_FILENO)) return false;
    const char* term = std::getenv("TERM");
    return term && *term && std::strcmp(term, "dumb") != 0;
}

Progress::Progress(std::string label, Units units, std::string noun) : m_on(ProgressWanted()) {
    m_state.label = std::move(label);
    m_state.units = units;
    m_state.noun = std::move(noun);
    m_start = std::chrono::steady_clock::now();
}

Progress::~Progress() { Clear(); }

void Progress::operator()(uint64_t done, uint64_t total) {
    if (!m_on) return;
    const auto now = std::chrono::steady_clock::now();
    if (total != m_state.total || done < m_state.done) m_start = now;
    m_state.done = done;
    m_state.total = total;
    if (m_shown && now - m_drawn < kRedrawEvery) return;
    m_drawn = now;
    m_state.seconds = std::chrono::duration<double>(now - m_start).count();
    Draw();
}

std::function<void(uint64_t, uint64_t)> Progress::Callback() {
    return [this](uint64_t done, uint64_t total) { (*this)(done, total); };
}

void Progress::SetLabel(std::string label) {
    m_state.label = std::move(label);
    m_state.done = 0;
    m_start = std::chrono::steady_clock::now();
}

void Progress::Clear() {
    if (!m_shown) return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    m_shown = false;
}

void Progress::Draw() {
    // What the command printed so far goes out first, so that it never lands
    // in the middle of the line.
    std::fflush(stdout);
    const size_t width = TerminalWidth();
    const std::string text = ProgressText(m_state, width > 1 ? width - 1 : 1);
    std::fprintf(stderr, "\r%s\033[K", text.c_str());
    std::fflush(stderr);
    m_shown = true;
}

}  // namespace xrdb8tool
