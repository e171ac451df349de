#!/usr/bin/env python3
"""The wave's SVG pictures. `xml`: each parses as XML with what a browser needs (the SVG
namespace, width, height and viewBox), a line per phase and lane, and the note. `render`:
rsvg-convert turns each into a PNG (kept in the build folder, to be looked at); exit 77, skipped,
where it is not installed."""
import os, shutil, subprocess, sys
import xml.etree.ElementTree as ET

SVG = "{http://www.w3.org/2000/svg}"
LANES = {"staircase": 15, "defaults": 24, "overlap": 3}
NOTE = "Drawn from the settings, not measured: one person at 0 ms only, night assumed."


def picture(program, name):
    return subprocess.run([program, name], check=True, capture_output=True, timeout=30).stdout


def check_xml(program, out_dir):
    for name, lanes in LANES.items():
        root = ET.fromstring(picture(program, name))
        assert root.tag == SVG + "svg", (name, root.tag)
        w, h = float(root.get("width")), float(root.get("height"))
        assert root.get("viewBox") == "0 0 %g %g" % (w, h), (name, root.get("viewBox"))
        assert len(root.findall(SVG + "polyline")) == 2 * lanes, name
        assert NOTE in [t.text for t in root.iter(SVG + "text")], name
    print("xml: %d pictures well-formed" % len(LANES))
    return 0


def check_render(program, out_dir):
    tool = shutil.which("rsvg-convert")
    if tool is None:
        print("rsvg-convert is not installed (Debian librsvg2-bin): not rendered")
        return 77
    for name in LANES:
        svg, png = (os.path.join(out_dir, "timeline-%s.%s" % (name, e)) for e in ("svg", "png"))
        with open(svg, "wb") as f:
            f.write(picture(program, name))
        done = subprocess.run([tool, svg, "-o", png], capture_output=True, timeout=60)
        assert done.returncode == 0 and not done.stderr, (name, done.stderr)
        with open(png, "rb") as f:
            assert f.read(8) == b"\x89PNG\r\n\x1a\n", name
    print("render: %d pictures rendered to PNG in %s" % (len(LANES), out_dir))
    return 0


if __name__ == "__main__":
    check, program, out_dir = sys.argv[1:4]
    sys.exit(check_xml(program, out_dir) if check == "xml" else check_render(program, out_dir))
