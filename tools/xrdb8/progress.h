// The one line a long command keeps up to date on the operator's terminal:
// how far it has got (a percentage when the whole is known), how fast it goes
// and how long it has left, redrawn in place at most ten times a second and
// cleared when the command ends. Nothing is written when stderr is not a
// terminal (a pipe, a log file) or the terminal is a dumb one, so logs and
// the commands' summaries on stdout stay as they are.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace xrdb8tool {

// What the amounts count: bytes of a file ("3.1 MB") or things ("120 rows").
enum class Units { Bytes, Things };

// Everything one progress line shows.
struct ProgressState {
    std::string label;  // what runs: "import-csv products"
    Units units = Units::Things;
    std::string noun;  // the things counted ("rows"); unused for bytes
    uint64_t done = 0;
    uint64_t total = 0;  // 0: not known, no percentage
    double seconds = 0;  // since the counting began
};

// The line for `state` in at most `width` columns (the label is cut last):
// "import-csv products  45% [=====     ]  1.2 MB of 2.7 MB  310 kB/s  5s left".
// The bar goes first when the line is too wide, then the amount, the rate and
// the time left.
std::string ProgressText(const ProgressState& state, size_t width);

// Whether progress is drawn at all: stderr is a terminal that understands
// "\r" and clearing to the end of the line.
bool ProgressWanted();

class Progress {
public:
    explicit Progress(std::string label, Units units = Units::Things, std::string noun = {});
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    // Notes how far the work has got (total 0: not known). A call whose total
    // differs from the last one's, or whose count went back, begins a new
    // stretch of work whose rate is measured afresh. The line is redrawn at
    // most ten times a second, so a caller may call as often as it counts.
    void operator()(uint64_t done, uint64_t total);
    // The same as a callback, for hooks that take one, e.g. a backup's:
    //     Progress progress("backup", Units::Bytes);
    //     hook = progress.Callback();  // progress outlives the hook's use
    std::function<void(uint64_t done, uint64_t total)> Callback();
    // A new label for what comes next (the step of a set-up, the table).
    void SetLabel(std::string label);
    // Clears the line: before anything else is written to the terminal.
    // The next call draws it again.
    void Clear();
    bool On() const { return m_on; }

private:
    void Draw();

    bool m_on;
    bool m_shown = false;
    ProgressState m_state;
    std::chrono::steady_clock::time_point m_start;
    std::chrono::steady_clock::time_point m_drawn;
};

}  // namespace xrdb8tool
