#include "progress.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform.h"

using progress_clock = std::chrono::steady_clock;

// Shown once a run has lasted this long, then redrawn this often.
constexpr std::chrono::milliseconds first_draw{1000};
constexpr std::chrono::milliseconds redraw{250};

progress_line start_progress(std::string_view tool, int fd, int passes) {
    progress_line p;
    p.enabled = is_terminal(standard_error);
    p.tool = tool;
    p.passes = passes;
    std::int64_t size = file_size(fd);
    p.total = size >= 0 ? size - std::max<std::int64_t>(file_position(fd), 0) : -1;
    p.pass_start = progress_clock::now();
    p.next_draw = p.pass_start + first_draw;
    return p;
}

void next_progress_pass(progress_line& p, std::int64_t total) {
    ++p.pass;
    p.total = total;
    p.done = 0;
    p.pass_start = progress_clock::now();
    if (p.next_draw < p.pass_start) p.next_draw = p.pass_start;
}

// "3.1 GB": bytes in decimal units, one decimal.
static int put_bytes(char* at, std::size_t room, double bytes) {
    const char* units[] = {"B", "kB", "MB", "GB", "TB"};
    int unit = 0;
    for (; bytes >= 1000 && unit < 4; ++unit) bytes /= 1000;
    return std::snprintf(at, room, unit == 0 ? "%.0f %s" : "%.1f %s", bytes, units[unit]);
}

static void put_line(progress_line& p, const char* text, std::size_t length) {
    char line[160] = "\r";
    std::size_t n = 1;
    std::memcpy(line + n, text, length);
    n += length;
    // Blanks over what is left of a longer line drawn before.
    for (std::size_t i = length; i < p.drawn && n < sizeof line; ++i) line[n++] = ' ';
    write_all(standard_error, line, n);
    p.drawn = length;
}

void draw_progress(progress_line& p) {
    auto now = progress_clock::now();
    p.next_draw = now + redraw;
    double seconds = std::chrono::duration<double>(now - p.pass_start).count();
    char text[120];
    std::size_t n = 0;
    // snprintf gives the length it would have written: kept within the text.
    auto append = [&](int written) {
        if (written > 0) n = std::min(n + static_cast<std::size_t>(written), sizeof text - 1);
    };
    append(std::snprintf(text, sizeof text, "%.*s:", static_cast<int>(p.tool.size()), p.tool.data()));
    if (p.passes > 1) append(std::snprintf(text + n, sizeof text - n, " pass %d/%d", p.pass, p.passes));
    if (p.total > 0) append(std::snprintf(text + n, sizeof text - n, "  %3.0f%%", 100.0 * p.done / p.total));
    append(std::snprintf(text + n, sizeof text - n, "  "));
    append(put_bytes(text + n, sizeof text - n, static_cast<double>(p.done)));
    if (p.total > 0) {
        append(std::snprintf(text + n, sizeof text - n, " of "));
        append(put_bytes(text + n, sizeof text - n, static_cast<double>(p.total)));
    }
    if (seconds > 0) {
        append(std::snprintf(text + n, sizeof text - n, "  "));
        append(put_bytes(text + n, sizeof text - n, p.done / seconds));
        append(std::snprintf(text + n, sizeof text - n, "/s"));
    }
    put_line(p, text, n);
}

void clear_progress(progress_line& p) {
    if (p.drawn == 0) return;
    put_line(p, "", 0);
    write_all(standard_error, "\r", 1);
    p.drawn = 0;
}
