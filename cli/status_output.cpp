#include "cli/status_output.h"

#include <algorithm>
#include <cstdlib>

#include "settings/status_reading_text.h"

namespace {

struct ReadingTexts {
    std::string illuminance; // "%3.1f" as the window shows it
    std::string distance[2]; // whole centimetres; empty where the sensor gives no distance
};

ReadingTexts reading_texts(const StatusReadings& readings) {
    char16_t texts[3][TEXT_LINE_UNITS];
    status_reading_texts(&readings, texts[0], texts[1], texts[2]);
    ReadingTexts out;
    out.illuminance = utf8_of(texts[0]);
    for (int i = 0; i < 2; ++i) {
        // The window shows "Не работает" for a failed sensor and for a distance that is no
        // number; every other text is a whole number.
        const bool number =
            texts[i + 1][0] == u'-' || (texts[i + 1][0] >= u'0' && texts[i + 1][0] <= u'9');
        out.distance[i] = number ? utf8_of(texts[i + 1]) : "";
    }
    return out;
}

} // namespace

Json status_json(const std::string& port, const StatusReadings& readings, bool checksum_ok) {
    const ReadingTexts texts = reading_texts(readings);
    Json out;
    out["port"] = port;
    out["valid"] = true;
    for (int i = 0; i < 2; ++i) {
        out[i == 0 ? "distance1_cm" : "distance2_cm"] =
            texts.distance[i].empty() ? Json(nullptr)
                                      : Json(strtoll(texts.distance[i].c_str(), nullptr, 10));
    }
    out["illuminance_percent"] = strtod(texts.illuminance.c_str(), nullptr);
    out["sensor1_fault"] = (readings.fault_bits & 1) != 0;
    out["sensor2_fault"] = (readings.fault_bits & 2) != 0;
    out["checksum_ok"] = checksum_ok;
    return out;
}

std::string status_text(const StatusReadings& readings, bool checksum_ok) {
    const ReadingTexts texts = reading_texts(readings);
    std::string out;
    for (int i = 0; i < 2; ++i) {
        out +=
            "distance " + std::to_string(i + 1) + ": " +
            (texts.distance[i].empty() ? std::string("not working") : texts.distance[i] + " cm") +
            "   ";
    }
    return out + "illuminance: " + texts.illuminance + " %" +
           (checksum_ok ? "" : "   (checksum wrong)");
}

Json invalid_status_json(const std::string& port, const std::string& reason) {
    Json out;
    out["port"] = port;
    out["valid"] = false;
    out["reason"] = reason;
    return out;
}

std::string invalid_status_text(const std::string& reason) {
    return "no valid reading: " + reason;
}

void ranges_add(DistanceRanges* ranges, const StatusReadings& readings) {
    const ReadingTexts texts = reading_texts(readings);
    for (int i = 0; i < 2; ++i) {
        if (texts.distance[i].empty()) {
            continue;
        }
        const long long cm = strtoll(texts.distance[i].c_str(), nullptr, 10);
        if (!ranges->seen[i]) {
            ranges->seen[i] = true;
            ranges->low[i] = ranges->high[i] = cm;
        }
        ranges->low[i] = std::min(ranges->low[i], cm);
        ranges->high[i] = std::max(ranges->high[i], cm);
    }
}

std::string ranges_text(const DistanceRanges& ranges) {
    std::string out;
    for (int i = 0; i < 2; ++i) {
        out += (i == 0 ? "" : "   ") + std::string("distance ") + std::to_string(i + 1) +
               " seen: " +
               (ranges.seen[i]
                    ? std::to_string(ranges.low[i]) + "-" + std::to_string(ranges.high[i]) + " cm"
                    : std::string("none"));
    }
    return out;
}

std::string watch_line_text(const StatusReadings& readings, bool checksum_ok,
                            const DistanceRanges& ranges) {
    const ReadingTexts texts = reading_texts(readings);
    std::string out;
    for (int i = 0; i < 2; ++i) {
        out += "distance " + std::to_string(i + 1) + ": " +
               (texts.distance[i].empty() ? std::string("not working") : texts.distance[i] + " cm");
        if (ranges.seen[i] && checksum_ok) {
            out +=
                " (" + std::to_string(ranges.low[i]) + "-" + std::to_string(ranges.high[i]) + ")";
        }
        out += "  ";
    }
    return out + "illuminance: " + texts.illuminance + " %" +
           (checksum_ok ? "" : "  checksum wrong");
}
