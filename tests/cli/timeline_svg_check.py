#!/usr/bin/env python3
"""Usage: timeline_svg_check.py xml|render CLI OUT_DIR. The SVG pictures `lumivo24-cli timeline`
saves of the defaults, the documented staircase and overlapping phases (made with `set` as the
release makes the guide's picture). `xml`: each parses with what a browser needs (namespace, size
and viewBox), a line per phase and lane, the summary as title and the note. `render`: rsvg-convert
turns each into a PNG, kept in OUT_DIR (exit 77, skipped, where it is not installed)."""
import os, shutil, subprocess, sys
import xml.etree.ElementTree as ET

SVG = "{http://www.w3.org/2000/svg}"
NOTE = "Drawn from the settings, not measured: one person at 0 ms only, night assumed."
DARK = "on_start_level_percent,on_end_level_percent,off_start_level_percent,off_end_level_percent"
# name: (assignments to the defaults, lanes, summary)
PICTURES = {
    "defaults": ([], 24, "lights 1→24, 49-50 ms apart; goes dark 1→24, 298-300 ms apart"),
    "staircase": (["ch1-15.on_delay_ms=0+150", "ch15-1.off_delay_ms=0+150",
                   "ch1-15.rise_time_ms,fall_time_ms=500", f"ch16-24.{DARK}=0",
                   "ch16-24.standby_level_percent=0"], 15,
                  "lights 1→15, 150 ms apart; goes dark 15→1, 150 ms apart; 16-24 dark"),
    # 1 lights at once; 2 starts to go dark at 1100 ms, before its rise ends at 1700 ms; 3 would
    # light at 2000 ms, after it went dark.
    "overlap": (["off_timer_s=1", "ch1-24.standby_enabled=false", f"ch1-24.{DARK}=0",
                 "ch1-3.on_start_level_percent=10", "ch1-3.on_end_level_percent=100",
                 "ch1-3.off_start_level_percent=100", "ch1.on_delay_ms,off_delay_ms=0",
                 "ch1.rise_time_ms=0", "ch1-2.fall_time_ms=500", "ch2.on_delay_ms=200",
                 "ch2.rise_time_ms=1500", "ch2.off_delay_ms=100", "ch3.on_delay_ms=2000",
                 "ch3.rise_time_ms=500", "ch3.off_delay_ms=200", "ch3.fall_time_ms=0"], 3,
                "lights 1→3, 200-1800 ms apart; goes dark 1→3, 100-300 ms apart, but 3 goes dark "
                "before 2; 2, 3 start to go dark before they are fully lit; 4-24 dark"),
}


def run(cli, *args, cwd):
    done = subprocess.run([cli, *args], cwd=cwd, capture_output=True, timeout=60)
    assert done.returncode == 0 and done.stdout == b"", (args, done.returncode, done.stderr)


def pictures(cli, out_dir):
    """Saves the three pictures in out_dir (the picture only) and returns their paths by name."""
    paths = {}
    for name, (assignments, _, _) in PICTURES.items():
        paths[name] = os.path.join(out_dir, "timeline-%s.svg" % name)
        source = name + ".json" if assignments else "defaults"
        if assignments:
            run(cli, "set", "defaults", *assignments, "-o", source, cwd=out_dir)
        run(cli, "timeline", source, "--output", paths[name], cwd=out_dir)
    return paths


def main(check, cli, out_dir):
    tool = shutil.which("rsvg-convert")
    if check == "render" and tool is None:
        print("rsvg-convert is not installed (Debian librsvg2-bin): not rendered")
        return 77
    for name, svg in pictures(cli, out_dir).items():
        _, lanes, summary = PICTURES[name]
        if check == "xml":
            root = ET.parse(svg).getroot()
            assert root.tag == SVG + "svg", (name, root.tag)
            w, h = float(root.get("width")), float(root.get("height"))
            assert root.get("viewBox") == "0 0 %g %g" % (w, h), (name, root.get("viewBox"))
            assert len(root.findall(SVG + "polyline")) == 2 * lanes, name
            assert root.find(SVG + "title").text == summary, (name, root.find(SVG + "title").text)
            assert NOTE in [t.text for t in root.iter(SVG + "text")], name
            continue
        done = subprocess.run([tool, svg, "-o", svg[:-4] + ".png"], capture_output=True,
                              timeout=60)
        assert done.returncode == 0 and not done.stderr, (name, done.stderr)
        with open(svg[:-4] + ".png", "rb") as f:
            assert f.read(8) == b"\x89PNG\r\n\x1a\n", name
    print("%s: %d pictures checked, kept in %s" % (check, len(PICTURES), out_dir))
    return 0


if __name__ == "__main__":
    check, cli, out_dir = sys.argv[1:4]
    out_dir = os.path.join(out_dir, "timeline-" + check)
    os.makedirs(out_dir, exist_ok=True)
    sys.exit(main(check, cli, out_dir))
