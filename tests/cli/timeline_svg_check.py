#!/usr/bin/env python3
"""The wave's SVG pictures as `lumivo24-cli timeline SOURCE --output FILE.svg` saves them, for
three sources: the factory defaults, the documented staircase (made from the defaults with `set`,
as the release makes the guide's picture) and a settings file with overlapping phases and a zero
rise time, written here from literal values.

Usage: timeline_svg_check.py xml|render CLI OUT_DIR
`xml`: each parses as XML with what a browser needs (the SVG namespace, width, height and
viewBox), a line per phase and lane, the summary as its title and the note. `render`: rsvg-convert
turns each into a PNG (kept in OUT_DIR, to be looked at); exit 77, skipped, where it is not
installed."""
import json, os, shutil, subprocess, sys
import xml.etree.ElementTree as ET

SVG = "{http://www.w3.org/2000/svg}"
NOTE = "Drawn from the settings, not measured: one person at 0 ms only, night assumed."
STAIRCASE = ["ch1-15.on_delay_ms=0+150", "ch15-1.off_delay_ms=0+150", "ch1-15.rise_time_ms=500",
             "ch1-15.fall_time_ms=500"] + [
    f"ch16-24.{name}=0" for name in ("on_start_level_percent", "on_end_level_percent",
                                     "off_start_level_percent", "off_end_level_percent",
                                     "standby_level_percent")]
# name: (source, lanes, summary)
PICTURES = {
    "defaults": ("defaults", 24, "lights 1→24, 49-50 ms apart; goes dark 1→24, 298-300 ms apart"),
    "staircase": ("staircase.lv24", 15,
                  "lights 1→15, 150 ms apart; goes dark 15→1, 150 ms apart; 16-24 dark"),
    "overlap": ("overlap.json", 3,
                "lights 1→3, 200-1800 ms apart; goes dark 1→3, 100-300 ms apart, but 3 goes dark "
                "before 2; 2, 3 start to go dark before they are fully lit; 4-24 dark"),
}


def overlap_settings():
    """Off timer 1 s, standby off; 1 lights at once and goes dark over 500 ms; 2 starts to go dark
    at 1100 ms, before its rise ends at 1700 ms; 3 would light at 2000 ms, after it went dark."""
    times = [(0, 0, 0, 500), (200, 1500, 100, 500), (2000, 500, 200, 0)] + [(0, 0, 0, 0)] * 21
    channels = [{"channel": n, "on_delay_ms": on, "rise_time_ms": rise, "off_delay_ms": off,
                 "fall_time_ms": fall, "on_start_level_percent": 10 * (n <= 3),
                 "on_end_level_percent": 100 * (n <= 3), "off_start_level_percent": 100 * (n <= 3),
                 "off_end_level_percent": 0, "standby_enabled": False, "standby_level_percent": 0}
                for n, (on, rise, off, fall) in enumerate(times, 1)]
    return {"sensor1_min_cm": 0, "sensor1_max_cm": 100, "sensor2_min_cm": 0,
            "sensor2_max_cm": 100, "light_threshold_percent": 50, "use_light_sensor": False,
            "off_timer_s": 1, "channels": channels}


def run(cli, *args, cwd):
    done = subprocess.run([cli, *args], cwd=cwd, capture_output=True, timeout=60)
    assert done.returncode == 0, (args, done.returncode, done.stderr)
    return done


def pictures(cli, out_dir):
    """Saves the three pictures in out_dir and returns their paths by name."""
    run(cli, "set", "defaults", *STAIRCASE, "-o", "staircase.lv24", cwd=out_dir)
    with open(os.path.join(out_dir, "overlap.json"), "w") as f:
        json.dump(overlap_settings(), f)
    paths = {}
    for name, (source, _, _) in PICTURES.items():
        paths[name] = os.path.join(out_dir, "timeline-%s.svg" % name)
        done = run(cli, "timeline", source, "--output", paths[name], cwd=out_dir)
        assert done.stdout == b"", (name, done.stdout[:200])  # the picture only
    return paths


def check_xml(cli, out_dir):
    for name, path in pictures(cli, out_dir).items():
        _, lanes, summary = PICTURES[name]
        root = ET.parse(path).getroot()
        assert root.tag == SVG + "svg", (name, root.tag)
        w, h = float(root.get("width")), float(root.get("height"))
        assert root.get("viewBox") == "0 0 %g %g" % (w, h), (name, root.get("viewBox"))
        assert len(root.findall(SVG + "polyline")) == 2 * lanes, name
        assert root.find(SVG + "title").text == summary, (name, root.find(SVG + "title").text)
        assert NOTE in [t.text for t in root.iter(SVG + "text")], name
    print("xml: %d pictures well-formed" % len(PICTURES))
    return 0


def check_render(cli, out_dir):
    tool = shutil.which("rsvg-convert")
    if tool is None:
        print("rsvg-convert is not installed (Debian librsvg2-bin): not rendered")
        return 77
    for name, svg in pictures(cli, out_dir).items():
        png = svg[:-4] + ".png"
        done = subprocess.run([tool, svg, "-o", png], capture_output=True, timeout=60)
        assert done.returncode == 0 and not done.stderr, (name, done.stderr)
        with open(png, "rb") as f:
            assert f.read(8) == b"\x89PNG\r\n\x1a\n", name
    print("render: %d pictures rendered to PNG in %s" % (len(PICTURES), out_dir))
    return 0


if __name__ == "__main__":
    check, cli, out_dir = sys.argv[1:4]
    out_dir = os.path.join(out_dir, "timeline-" + check)
    os.makedirs(out_dir, exist_ok=True)
    sys.exit(check_xml(cli, out_dir) if check == "xml" else check_render(cli, out_dir))
