#!/usr/bin/env python3
"""The notices of the libraries built into the programs, taken from the copyright files of the
Debian packages they are built with, so that each text is the one its authors wrote and names
the version that was compiled in.

  third_party_notices.py text OUTPUT
      THIRD-PARTY-NOTICES for the Windows packages: CLI11 and nlohmann-json (in lumivo24-cli.exe),
      the mingw-w64 runtime with winpthreads and the GCC runtime libraries (linked statically
      into both programs), with the GNU GPL version 3 that the GCC runtime's exception refers to.
  third_party_notices.py debian PROJECT-COPYRIGHT OUTPUT
      The Debian package's copyright file: the project's own, followed by paragraphs for CLI11
      and nlohmann-json, which the Linux tool contains (it links the C and C++ runtimes
      dynamically, as packages of their own).

Most of the copyright files are machine-readable (paragraphs of fields, a licence text indented
by one space, " ." for an empty line); GCC's is free text, cut at lines that begin its parts.
Exits 1, naming what is missing, when a file or a part is not where it is expected.
"""
import subprocess
import sys

DOC = "/usr/share/doc"


class Missing(Exception):
    pass


def read(path):
    try:
        with open(path, encoding="utf-8") as f:
            return f.read()
    except OSError as e:
        raise Missing(f"{path}: {e.strerror}")


def package_version(package):
    result = subprocess.run(["dpkg-query", "-W", "-f=${Version}", package],
                            capture_output=True, text=True)
    if result.returncode != 0 or not result.stdout:
        raise Missing(f"the Debian package {package} is not installed")
    return result.stdout


def paragraphs(package):
    """The paragraphs of a package's machine-readable copyright file."""
    return parse_text(read(f"{DOC}/{package}/copyright"))


def parse_text(text):
    """Paragraphs, each a list of (field, lines); a continuation line is kept as it is."""
    result = []
    for block in text.split("\n\n"):
        fields = []
        for line in block.strip("\n").split("\n"):
            if line[:1] in (" ", "\t") and fields:
                fields[-1][1].append(line)
            elif ":" in line:
                name, value = line.split(":", 1)
                fields.append((name, [value.strip()] if value.strip() else []))
        if fields:
            result.append(fields)
    return result


def field(paragraph, name):
    for key, lines in paragraph:
        if key == name:
            return lines
    return None


def files_paragraph(package, pattern):
    for p in paragraphs(package):
        files = field(p, "Files")
        if files is not None and pattern in " ".join(files).split():
            return p
    raise Missing(f"{package}: no paragraph for the files {pattern}")


def licence_text(package, paragraph):
    """The licence text of a Files paragraph: its own, or the stand-alone paragraph's."""
    lines = field(paragraph, "License")
    name = lines[0]
    body = lines[1:]
    if not body:
        for p in paragraphs(package):
            own = field(p, "License")
            if field(p, "Files") is None and own and own[0] == name and len(own) > 1:
                body = own[1:]
                break
    if not body:
        raise Missing(f"{package}: no text of the licence {name}")
    return name, [("" if line.strip() == "." else line[1:].rstrip()) for line in body]


def copyright_lines(paragraph):
    return [line.strip() for line in field(paragraph, "Copyright")]


def free_text_part(text, first, stop, path):
    """The lines of `text` from the one that begins with `first` to the one before `stop`."""
    lines = text.split("\n")
    start = next((i for i, line in enumerate(lines) if line.startswith(first)), None)
    if start is None:
        raise Missing(f"{path}: no line beginning with {first!r}")
    end = next((i for i in range(start + 1, len(lines)) if lines[i].startswith(stop)), None)
    if end is None:
        raise Missing(f"{path}: no line beginning with {stop!r}")
    return "\n".join(lines[start:end]).strip("\n")


# The libraries built into the Windows programs: what each is, its Debian package and the
# parts of it (files patterns of its copyright file) that the programs contain.
WINDOWS_LIBRARIES = [
    ("CLI11, the command-line parser of lumivo24-cli.exe", "libcli11-dev", ["*"]),
    ("nlohmann-json (JSON for Modern C++), the JSON reader and writer of lumivo24-cli.exe",
     "nlohmann-json3-dev", ["*", "include/nlohmann/detail/conversions/to_chars.hpp",
                            "include/nlohmann/detail/output/serializer.hpp"]),
    ("winpthreads, the POSIX threads of the mingw-w64 runtime", "mingw-w64-x86-64-dev",
     ["mingw-w64-libraries/winpthreads/*", "mingw-w64-libraries/winpthreads/include/pthread.h"]),
    ("the mingw-w64 runtime", "mingw-w64-x86-64-dev",
     ["*", "mingw-w64-crt/crt/*", "mingw-w64-crt/gdtoa/*", "mingw-w64-crt/gdtoa/qnan.c"]),
]
# The libraries in the Linux tool: Debian package, the parts it contains, their name in the
# copyright file (the headers as the code includes them) and what they are.
DEBIAN_LIBRARIES = [
    ("libcli11-dev", ["*"], "CLI/*", "CLI11 {version}, its headers compiled into /usr/bin/lumivo24-cli"),
    ("nlohmann-json3-dev", WINDOWS_LIBRARIES[1][2], "nlohmann/*",
     "nlohmann-json {version}, its headers compiled into /usr/bin/lumivo24-cli"),
]
GCC_PACKAGE = "gcc-mingw-w64-base"


def library_section(title, package, patterns):
    """A library's parts as its copyright file lists them, then each licence's text once."""
    rule = "=" * 78
    out = [rule, f"{title} (Debian {package} {package_version(package)})", rule]
    texts = {}
    for pattern in patterns:
        p = files_paragraph(package, pattern)
        name, body = licence_text(package, p)
        texts.setdefault(name, body)
        files = " ".join(field(p, "Files")).split()
        more = f" and {len(files) - 1} more" if len(files) > 1 else ""
        out += ["", f"Files: {files[0]}{more}"]
        out += [f"Copyright: {line}" for line in copyright_lines(p)]
        out += [f"License: {name}"]
    for name, body in texts.items():
        out += ["", f"License {name}:", ""] + body
    return out + [""]


def gcc_section():
    path = f"{DOC}/{GCC_PACKAGE}/copyright"
    text = read(path)
    statement = free_text_part(text, "GCC is Copyright (C)", "On Debian GNU/Linux systems", path)
    libraries = free_text_part(text, "The following runtime libraries", "The libbacktrace", path)
    exception = free_text_part(text, "GCC RUNTIME LIBRARY EXCEPTION", "libquadmath/", path)
    rule = "=" * 78
    title = (f"the GCC runtime libraries libgcc and libstdc++ "
             f"(Debian {GCC_PACKAGE} {package_version(GCC_PACKAGE)})")
    out = [rule, title, rule, ""]
    for part in (statement, libraries, exception):
        out += part.split("\n") + [""]
    gpl = read("/usr/share/common-licenses/GPL-3").strip("\n")
    out += [rule, "The GNU General Public License, version 3", rule, ""] + gpl.split("\n")
    return out


def notices_text():
    out = [
        "LUMIVO24: notices of the software built into its programs",
        "",
        "The LUMIVO24 programs are under the licence in LICENSE.txt. Built into them are:",
        "- CLI11 and nlohmann-json, compiled into lumivo24-cli.exe from their headers;",
        "- the mingw-w64 runtime with winpthreads, and the GCC runtime libraries libgcc and",
        "  libstdc++ (GNU GPL version 3 or later with the GCC Runtime Library Exception), both",
        "  linked statically into lumivo24.exe and lumivo24-cli.exe.",
        "Their notices follow, as the Debian packages the programs were built with give them.",
        "",
    ]
    for title, package, patterns in WINDOWS_LIBRARIES:
        out += library_section(title, package, patterns)
    out += gcc_section()
    return "\n".join(out) + "\n"


def debian_copyright(project_path):
    own = read(project_path).rstrip("\n")
    defined = {field(p, "License")[0] for p in parse_text(own)
               if field(p, "Files") is None and field(p, "License")}
    files, licences = [], []
    for package, patterns, files_name, comment in DEBIAN_LIBRARIES:
        copyrights, names = [], set()
        for pattern in patterns:
            p = files_paragraph(package, pattern)
            name, body = licence_text(package, p)
            copyrights += copyright_lines(p)
            names.add(name)
        # One paragraph holds the library, so its parts must share one licence.
        if len(names) != 1:
            raise Missing(f"{package}: its parts have different licences")
        files += ["", f"Files: {files_name}", "Copyright: " + "\n           ".join(copyrights),
                  f"License: {name}",
                  "Comment: " + comment.format(version=package_version(package))]
        if name not in defined:
            defined.add(name)
            licences += ["", f"License: {name}"] + [(" " + line) if line else " ." for line in body]
    # The Files paragraphs go before the stand-alone licence paragraphs, which the project's own
    # file ends with.
    head, _, tail = own.partition("\n\nLicense: ")
    return "\n".join([head] + files + ["", "License: " + tail] + licences) + "\n"


def main(argv):
    try:
        if len(argv) == 3 and argv[1] == "text":
            content = notices_text()
            target = argv[2]
        elif len(argv) == 4 and argv[1] == "debian":
            content = debian_copyright(argv[2])
            target = argv[3]
        else:
            print(__doc__, file=sys.stderr)
            return 2
    except Missing as e:
        print(f"third_party_notices.py: {e}", file=sys.stderr)
        return 1
    with open(target, "w", encoding="utf-8") as f:
        f.write(content)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
