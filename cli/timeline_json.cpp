#include "cli/timeline_json.h"

#include <cmath>
#include <cstdint>

namespace {

// A time rounded to a tenth as its text is (every time of a Timeline is finite and below
// 9e9 ms, so the tenths fit).
nlohmann::ordered_json time_json(double ms) {
    const long long tenths = std::llround(ms * 10.0);
    if (tenths % 10 == 0) {
        return static_cast<int64_t>(tenths / 10);
    }
    return static_cast<double>(tenths) / 10.0;
}

} // namespace

nlohmann::ordered_json timeline_json(const Timeline& timeline) {
    char summary[TIMELINE_SUMMARY_BYTES];
    timeline_summary(&timeline, summary, sizeof summary);
    nlohmann::ordered_json out;
    out["summary"] = summary;
    nlohmann::ordered_json channels = nlohmann::ordered_json::array();
    for (const TimelineChannel& c : timeline.channels) {
        nlohmann::ordered_json record;
        record["channel"] = c.channel;
        record["dark"] = c.dark;
        record["on_begin_ms"] = c.dark ? nullptr : time_json(c.on_begin_ms);
        record["on_end_ms"] = c.dark ? nullptr : time_json(c.on_end_ms);
        record["off_begin_ms"] = c.dark ? nullptr : time_json(c.off_begin_ms);
        record["off_end_ms"] = c.dark ? nullptr : time_json(c.off_end_ms);
        channels.push_back(record);
    }
    out["channels"] = channels;
    return out;
}
