#!/usr/bin/env python3
"""The notices of the libraries built into the programs, taken from the copyright files of the
Debian packages they are built with, so that each text is the one its authors wrote and names
the version that was compiled in.

  third_party_notices.py text OUTPUT BUILD-DIR PROGRAM=MAP...
      THIRD-PARTY-NOTICES for the Windows packages. Which library is in which program is read
      from each program's link map (GNU ld's -Map) of the release build, made in BUILD-DIR (whose
      own files are the programs' code, not a library's): the archives and object files it was
      linked from (the mingw-w64 runtime with winpthreads, the GCC runtime libraries libgcc and
      libstdc++, linked statically) and the functions compiled into it from the header-only
      CLI11 and nlohmann-json. A library is named for the programs that contain it,
      and its notice is given once; the GNU GPL version 3 follows, which the GCC runtime's
      exception refers to. A file from outside the build tree that no rule here knows stops the
      script, so that no library goes into a program without its notice.
  third_party_notices.py debian PROJECT-COPYRIGHT OUTPUT
      The Debian package's copyright file: the project's own, followed by paragraphs for CLI11
      and nlohmann-json, which the Linux tool contains (it links the C and C++ runtimes
      dynamically, as packages of their own).

Most of the copyright files are machine-readable (paragraphs of fields, a licence text indented
by one space, " ." for an empty line); GCC's is free text, cut at lines that begin its parts.
Exits 1, naming what is missing, when a file or a part is not where it is expected.
"""
import os
import re
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


# The libraries that may be built into the Windows programs: what each is, its Debian package,
# the parts of it (files patterns of its copyright file) that the programs contain, and how a
# link map shows it: a file linked in (its path, made absolute) or a function compiled in (its
# mangled name in a section of the map).
WINDOWS_LIBRARIES = [
    {"name": "CLI11", "what": "the command-line parser", "package": "libcli11-dev",
     "patterns": ["*"], "symbol": re.compile(r"(?<![0-9])3CLI")},
    {"name": "nlohmann-json", "title": "nlohmann-json (JSON for Modern C++)",
     "what": "the JSON reader and writer",
     "package": "nlohmann-json3-dev",
     "patterns": ["*", "include/nlohmann/detail/conversions/to_chars.hpp",
                  "include/nlohmann/detail/output/serializer.hpp"],
     "symbol": re.compile(r"(?<![0-9])8nlohmann")},
    {"name": "winpthreads", "what": "the POSIX threads of the mingw-w64 runtime",
     "package": "mingw-w64-x86-64-dev",
     "patterns": ["mingw-w64-libraries/winpthreads/*",
                  "mingw-w64-libraries/winpthreads/include/pthread.h"],
     "file": re.compile(r"^/usr/x86_64-w64-mingw32/lib/lib(win)?pthread\.a$")},
    {"name": "the mingw-w64 runtime", "what": "its start-up code, C library parts and import "
     "libraries", "package": "mingw-w64-x86-64-dev",
     "patterns": ["*", "mingw-w64-crt/crt/*", "mingw-w64-crt/gdtoa/*", "mingw-w64-crt/gdtoa/qnan.c"],
     "file": re.compile(r"^/usr/x86_64-w64-mingw32/lib/[^/]+$")},
    {"name": "libgcc", "what": "the GCC runtime library", "gcc": True,
     "file": re.compile(r"^/usr/lib/gcc/x86_64-w64-mingw32/[^/]+/(libgcc(_eh)?\.a|crt\w+\.o)$")},
    {"name": "libstdc++", "what": "the GCC runtime's C++ library", "gcc": True,
     "file": re.compile(r"^/usr/lib/gcc/x86_64-w64-mingw32/[^/]+/libstdc\+\+\.a$")},
]
# The libraries in the Linux tool: Debian package, the parts it contains, their name in the
# copyright file (the headers as the code includes them) and what they are.
DEBIAN_LIBRARIES = [
    ("libcli11-dev", ["*"], "CLI/*", "CLI11 {version}, its headers compiled into /usr/bin/lumivo24-cli"),
    ("nlohmann-json3-dev", WINDOWS_LIBRARIES[1]["patterns"], "nlohmann/*",
     "nlohmann-json {version}, its headers compiled into /usr/bin/lumivo24-cli"),
]
GCC_PACKAGE = "gcc-mingw-w64-base"


def link_map_inputs(text):
    """The files a link map says went into the program, absolute paths made plain, and the
    names of the sections and symbols of its memory map."""
    files, names = set(), set()
    lines = text.split("\n")
    try:
        start = lines.index("Archive member included to satisfy reference by file (symbol)")
    except ValueError:
        start = None
    memory_map = next((i for i, line in enumerate(lines)
                       if line.startswith("Linker script and memory map")), None)
    if memory_map is None:
        raise Missing("not a link map: no memory map in it")
    if start is not None:
        for line in lines[start + 1:memory_map]:
            match = re.match(r"^(/\S+\.a)\(", line)
            if match:
                files.add(os.path.normpath(match.group(1)))
    for line in lines[memory_map:]:
        match = re.match(r"^LOAD (/\S+)$", line)
        if match and not match.group(1).endswith(".a"):
            files.add(os.path.normpath(match.group(1)))  # an object file goes in whole
            continue
        names.update(re.findall(r"\S*_Z\S+", line))
    return files, names


def libraries_in(program, text, build_dir):
    """The entries of WINDOWS_LIBRARIES that a program's link map shows in it."""
    files, names = link_map_inputs(text)
    found = []
    for path in sorted(files):
        if path.startswith(build_dir + "/"):
            continue  # the program's own code
        library = next((lib for lib in WINDOWS_LIBRARIES
                        if "file" in lib and lib["file"].match(path)), None)
        if library is None:
            raise Missing(f"{program} is linked with {path}, whose notice is not known here")
        if library not in found:
            found.append(library)
    for library in WINDOWS_LIBRARIES:
        if "symbol" in library and any(library["symbol"].search(n) for n in names):
            found.append(library)
    return [lib for lib in WINDOWS_LIBRARIES if lib in found]


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


def gcc_section(title):
    path = f"{DOC}/{GCC_PACKAGE}/copyright"
    text = read(path)
    statement = free_text_part(text, "GCC is Copyright (C)", "On Debian GNU/Linux systems", path)
    libraries = free_text_part(text, "The following runtime libraries", "The libbacktrace", path)
    exception = free_text_part(text, "GCC RUNTIME LIBRARY EXCEPTION", "libquadmath/", path)
    rule = "=" * 78
    out = [rule, f"{title} (Debian {GCC_PACKAGE} {package_version(GCC_PACKAGE)})", rule, ""]
    for part in (statement, libraries, exception):
        out += part.split("\n") + [""]
    gpl = read("/usr/share/common-licenses/GPL-3").strip("\n")
    out += [rule, "The GNU General Public License, version 3", rule, ""] + gpl.split("\n")
    return out


def in_programs(programs):
    return "in " + " and ".join(programs)


def notices_text(maps, build_dir):
    """`maps`: (program, link map path) pairs, in the order the programs are named."""
    contents = []
    for program, path in maps:
        contents.append((program, libraries_in(program, read(path), build_dir)))
    out = [
        "LUMIVO24: notices of the software built into its programs",
        "",
        "The LUMIVO24 programs are under the licence in LICENSE.txt. Built into them, as their",
        "link maps show, are:",
    ]
    for program, libraries in contents:
        out.append(f"- {program}: " + ", ".join(lib["name"] for lib in libraries) + ";")
    out[-1] = out[-1][:-1] + "."
    out += [
        "The GCC runtime libraries are under the GNU GPL version 3 or later with the GCC Runtime",
        "Library Exception. Each notice follows, as the Debian packages the programs were built",
        "with give it.",
        "",
    ]
    gcc = []
    for library in WINDOWS_LIBRARIES:
        programs = [program for program, libraries in contents if library in libraries]
        if not programs:
            continue
        name = library.get("title", library["name"])
        title = f"{name}, {library['what']}, {in_programs(programs)}"
        if library.get("gcc"):
            gcc.append(title)
        else:
            out += library_section(title, library["package"], library["patterns"])
    if gcc:
        out += gcc_section("; ".join(gcc))
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
        if len(argv) >= 5 and argv[1] == "text" and all("=" in a for a in argv[4:]):
            maps = [tuple(a.split("=", 1)) for a in argv[4:]]
            content = notices_text(maps, os.path.normpath(os.path.abspath(argv[3])))
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
