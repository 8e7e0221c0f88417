#!/usr/bin/env python3
"""Checks the built release launcher against what every Windows from 95 on
needs, and against the dialog and icon the user sees.

    tests/release/check_setup_exe.py [dist/win32/SETUP.EXE]

Prints one line per check and the file's size; exits 1 when any check fails.
Reads the PE file itself (headers, imports, data directories, resources) and
runs the MinGW objdump over the code for instructions a 486 or first Pentium
cannot execute.
"""
import os
import re
import shutil
import struct
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
DEFAULT_EXE = os.path.join(ROOT, "dist", "win32", "SETUP.EXE")
ALLOWED_IMPORTS = os.path.join(HERE, "win95-imports.txt")
SIZE_TARGET = 8 * 1024

RT_ICON, RT_DIALOG, RT_GROUP_ICON = 3, 5, 14
LANG_EN_US = 1033

WS_POPUP, WS_CHILD, WS_VISIBLE = 0x80000000, 0x40000000, 0x10000000
WS_GROUP, WS_TABSTOP = 0x00020000, 0x00010000
DS_SETFONT, DS_MODALFRAME, DS_CENTER = 0x40, 0x80, 0x800
BS_PUSHBUTTON, BS_DEFPUSHBUTTON, SS_CENTER = 0, 1, 1
CLASS_ATOMS = {0x80: "button", 0x82: "static"}

DIALOG_STYLE = WS_POPUP | WS_VISIBLE | DS_MODALFRAME | DS_SETFONT | DS_CENTER
# (class, id, text, (x, y, cx, cy), style): order matters, it is the tab order
# and the order the dialog manager creates them in.
DIALOG_CONTROLS = [
    ("button", 1, "OK", (136, 0, 50, 14), WS_CHILD | WS_TABSTOP | BS_DEFPUSHBUTTON),
    ("button", 2, "Cancel", (136, 24, 50, 14), WS_CHILD | WS_TABSTOP | BS_PUSHBUTTON),
    ("static", 0xFFFF, "Installation wird vorbereitet\u2026", (0, 21, 186, 8),
     WS_CHILD | WS_VISIBLE | WS_GROUP | SS_CENTER),
    ("static", 1000, "THE NAME OF YOUR APP GOES HERE", (0, 34, 186, 8),
     WS_CHILD | WS_VISIBLE | WS_GROUP | SS_CENTER),
]

# The program's own texts, as the bytes its message boxes get: Windows-1252,
# NUL-terminated. A source saved or compiled as UTF-8 shows up here.
PROGRAM_TEXTS = [
    "FILE.1 fehlt!",
    "Falsche Diskette",
    "N\u00e4chste Diskette",
    "Bitte legen Sie Diskette %s ein",
    "Installer konnte nicht erstellt werden. Ist ausreichend Speicherplatz vorhanden?",
]

# Instructions newer than the i486 (or needing a Pentium with MMX or later).
# Matched on the mnemonic, after any prefix objdump prints.
FORBIDDEN_MNEMONIC = re.compile(
    r"^(cmov\w*|fcmov\w*|f(u)?comip?|cpuid|rdtscp?|rdpmc|sysenter|sysexit|syscall|"
    r"cmpxchg8b|emms|femms|ldmxcsr|stmxcsr|fxsave\w*|fxrstor\w*|prefetch\w*|"
    r"[lsm]fence|clflush\w*|movnt\w*|maskmov\w*|popcnt|lzcnt|tzcnt|movbe|crc32)$")
# Any use of an MMX, SSE or AVX register means a SIMD instruction, whatever
# its mnemonic.
FORBIDDEN_OPERAND = re.compile(r"%(x|y|z)mm\d+|%mm\d\b")


class Check:
    def __init__(self):
        self.failures = 0

    def report(self, ok, what, detail=""):
        print(("ok    " if ok else "FAIL  ") + what + (": " + detail if detail else ""))
        if not ok:
            self.failures += 1
        return ok


class PeFile:
    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise ValueError("no MZ header")
        (pe,) = struct.unpack_from("<I", data, 0x3C)
        if data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("no PE signature")
        (self.machine, sections, _, _, _, optional_size,
         self.characteristics) = struct.unpack_from("<HHIIIHH", data, pe + 4)
        opt = pe + 24
        self.optional = opt
        (self.magic,) = struct.unpack_from("<H", data, opt)
        if self.magic != 0x10B:
            # Only the 32-bit layout is read further; the caller reports it.
            self.sections = []
            return
        (self.major_os, self.minor_os, _, _, self.major_subsystem,
         self.minor_subsystem) = struct.unpack_from("<6H", data, opt + 40)
        (self.subsystem,) = struct.unpack_from("<H", data, opt + 68)
        (directory_count,) = struct.unpack_from("<I", data, opt + 92)
        self.directories = [struct.unpack_from("<II", data, opt + 96 + 8 * i)
                            for i in range(directory_count)]
        self.sections = []
        table = opt + optional_size
        for i in range(sections):
            name, vsize, va, rsize, raw = struct.unpack_from("<8sIIII", data, table + 40 * i)
            self.sections.append((name.rstrip(b"\0").decode("latin-1"), va,
                                  max(vsize, rsize), raw, rsize))

    def directory(self, index):
        return self.directories[index] if index < len(self.directories) else (0, 0)

    def offset(self, rva):
        for _, va, size, raw, rsize in self.sections:
            if va <= rva < va + size:
                if rva - va >= rsize:
                    raise ValueError("RVA 0x%x lies in uninitialised data" % rva)
                return raw + rva - va
        raise ValueError("RVA 0x%x is in no section" % rva)

    def c_string(self, rva):
        start = self.offset(rva)
        return self.data[start:self.data.index(b"\0", start)].decode("latin-1")

    def imports(self):
        rva, size = self.directory(1)
        found = []
        if rva == 0:
            return found
        pos = self.offset(rva)
        while True:
            lookup, _, _, name_rva, thunks = struct.unpack_from("<5I", self.data, pos)
            if name_rva == 0:
                return found
            dll = self.c_string(name_rva)
            entry = self.offset(lookup or thunks)
            while True:
                (thunk,) = struct.unpack_from("<I", self.data, entry)
                if thunk == 0:
                    break
                if thunk & 0x80000000:
                    found.append((dll, "#%d" % (thunk & 0xFFFF)))
                else:
                    found.append((dll, self.c_string(thunk + 2)))
                entry += 4
            pos += 20

    def resources(self):
        """{(type, name, language): bytes} for every resource with numeric ids."""
        rva, _ = self.directory(2)
        found = {}
        if rva == 0:
            return found
        base = self.offset(rva)

        def entries(directory):
            named, numbered = struct.unpack_from("<HH", self.data, directory + 12)
            for i in range(named + numbered):
                ident, target = struct.unpack_from("<II", self.data, directory + 16 + 8 * i)
                yield (("name@0x%x" % ident) if ident & 0x80000000 else ident), target

        for rtype, t in entries(base):
            for name, n in entries(base + (t & 0x7FFFFFFF)):
                for lang, leaf in entries(base + (n & 0x7FFFFFFF)):
                    data_rva, size, _, _ = struct.unpack_from("<4I", self.data, base + leaf)
                    start = self.offset(data_rva)
                    found[(rtype, name, lang)] = self.data[start:start + size]
        return found


def read_sz_or_ord(blob, pos):
    """A dialog template's name-or-ordinal field: (value, next position)."""
    (first,) = struct.unpack_from("<H", blob, pos)
    if first == 0xFFFF:
        (ordinal,) = struct.unpack_from("<H", blob, pos + 2)
        return ordinal, pos + 4
    return read_wide(blob, pos)


def read_wide(blob, pos):
    end = pos
    while blob[end:end + 2] != b"\0\0":
        end += 2
    return blob[pos:end].decode("utf-16-le"), end + 2


def parse_dialog(blob):
    """A plain DIALOG template as a dict; raises on DIALOGEX."""
    if struct.unpack_from("<HH", blob, 0) == (1, 0xFFFF):
        raise ValueError("extended template (DIALOGEX)")
    style, ex_style, count, x, y, cx, cy = struct.unpack_from("<IIHhhhh", blob, 0)
    pos = 18
    menu, pos = read_sz_or_ord(blob, pos)
    window_class, pos = read_sz_or_ord(blob, pos)
    title, pos = read_wide(blob, pos)
    font = None
    if style & DS_SETFONT:
        (points,) = struct.unpack_from("<H", blob, pos)
        face, pos = read_wide(blob, pos + 2)
        font = (face, points)
    controls = []
    for _ in range(count):
        pos = (pos + 3) & ~3
        c_style, c_ex, cx_, cy_, cw, ch, cid = struct.unpack_from("<IIhhhhH", blob, pos)
        pos += 18
        c_class, pos = read_sz_or_ord(blob, pos)
        text, pos = read_sz_or_ord(blob, pos)
        (extra,) = struct.unpack_from("<H", blob, pos)
        pos += 2 + extra
        if isinstance(c_class, int):
            c_class = CLASS_ATOMS.get(c_class, "#0x%x" % c_class)
        controls.append({"class": c_class.lower(), "id": cid, "text": text,
                         "rect": (cx_, cy_, cw, ch), "style": c_style,
                         "ex_style": c_ex, "extra": extra})
    return {"style": style, "ex_style": ex_style, "rect": (x, y, cx, cy), "menu": menu,
            "class": window_class, "title": title, "font": font, "controls": controls}


def check_dialog(check, resources):
    keys = [k for k in resources if k[0] == RT_DIALOG and k[1] == 101]
    if not check.report(len(keys) == 1, "dialog 101 present once",
                        "languages %s" % [k[2] for k in keys]):
        return
    check.report(keys[0][2] == LANG_EN_US, "dialog 101 language", str(keys[0][2]))
    try:
        dialog = parse_dialog(resources[keys[0]])
    except ValueError as error:
        check.report(False, "dialog 101 is a plain DIALOG template", str(error))
        return
    check.report(True, "dialog 101 is a plain DIALOG template")
    check.report(dialog["style"] == DIALOG_STYLE and dialog["ex_style"] == 0,
                 "dialog style", "0x%08x ex 0x%x" % (dialog["style"], dialog["ex_style"]))
    check.report(dialog["rect"][2:] == (186, 68), "dialog size",
                 "%d x %d" % dialog["rect"][2:])
    # An empty name in these fields is the single zero word: no menu, the
    # system's dialog class, no caption.
    check.report(dialog["menu"] == "" and dialog["class"] == "" and dialog["title"] == "",
                 "no menu, default class, no title",
                 "%r %r %r" % (dialog["menu"], dialog["class"], dialog["title"]))
    check.report(dialog["font"] == ("MS Sans Serif", 8), "dialog font", repr(dialog["font"]))
    controls = dialog["controls"]
    check.report(len(controls) == len(DIALOG_CONTROLS), "dialog has four controls",
                 str(len(controls)))
    for i, (want, got) in enumerate(zip(DIALOG_CONTROLS, controls), 1):
        w_class, w_id, w_text, w_rect, w_style = want
        actual = (got["class"], got["id"], got["text"], got["rect"], got["style"],
                  got["ex_style"], got["extra"])
        check.report(actual == (w_class, w_id, w_text, w_rect, w_style, 0, 0),
                     "control %d (%s %d)" % (i, w_class, w_id if w_id != 0xFFFF else -1),
                     "%s %d %r %s style 0x%08x ex 0x%x extra %d" % actual)


def check_icon(check, resources):
    keys = [k for k in resources if k[0] == RT_GROUP_ICON and k[1] == 101]
    if not check.report(len(keys) == 1, "icon group 101 present once"):
        return
    group = resources[keys[0]]
    reserved, kind, count = struct.unpack_from("<HHH", group, 0)
    if not check.report((reserved, kind, count) == (0, 1, 1), "icon group holds one icon",
                        "type %d count %d" % (kind, count)):
        return
    width, height, colours, _, planes, bits, size, ident = struct.unpack_from(
        "<BBBBHHIH", group, 6)
    check.report((width, height, colours, bits) == (32, 32, 16, 4),
                 "icon entry 32 x 32, 16 colours",
                 "%d x %d, %d colours, %d bpp" % (width, height, colours, bits))
    images = [k for k in resources if k[0] == RT_ICON and k[1] == ident]
    if not check.report(len(images) == 1, "icon image %d present" % ident):
        return
    image = resources[images[0]]
    header_size, bi_width, bi_height, _, bi_bits = struct.unpack_from("<IiiHH", image, 0)
    # The height of an icon bitmap counts the XOR image and the AND mask.
    check.report(header_size == 40 and (bi_width, bi_height, bi_bits) == (32, 64, 4)
                 and len(image) == size,
                 "icon image is a 32 x 32 4-bit bitmap",
                 "header %d, %d x %d/2, %d bpp, %d bytes" % (header_size, bi_width, bi_height,
                                                            bi_bits, len(image)))


def check_instructions(check, path):
    objdump = shutil.which("i686-w64-mingw32-objdump") or shutil.which("objdump")
    if not check.report(objdump is not None, "objdump available"):
        return
    out = subprocess.run([objdump, "-d", "--no-show-raw-insn", path], capture_output=True,
                         text=True, check=True).stdout
    instructions, bad = 0, []
    for line in out.splitlines():
        parts = line.split("\t")
        if len(parts) < 2 or not re.match(r"^\s*[0-9a-f]+:$", parts[0]):
            continue
        words = parts[1].split()
        while words and words[0] in ("lock", "rep", "repz", "repe", "repnz", "repne",
                                     "data16", "addr16", "cs", "ds", "es", "fs", "gs", "ss"):
            words = words[1:]
        if not words:
            continue
        instructions += 1
        if FORBIDDEN_MNEMONIC.match(words[0]) or FORBIDDEN_OPERAND.search(parts[1]):
            bad.append(line.strip())
    check.report(instructions > 0, "code disassembled", "%d instructions" % instructions)
    check.report(not bad, "no instructions beyond the i486 (CMOV, FCOMI, CPUID, RDTSC, MMX, SSE)",
                 "; ".join(bad[:5]) + (" ..." if len(bad) > 5 else ""))


def main(argv):
    path = argv[1] if len(argv) > 1 else DEFAULT_EXE
    check = Check()
    print("checking " + os.path.relpath(path))
    try:
        with open(path, "rb") as f:
            data = f.read()
        pe = PeFile(data)
    except (OSError, ValueError) as error:
        check.report(False, "readable PE file", str(error))
        return 1

    if not check.report(pe.magic == 0x10B and pe.machine == 0x14C, "PE32 for i386",
                        "magic 0x%x machine 0x%x" % (pe.magic, pe.machine)):
        return 1
    check.report(pe.subsystem == 2, "GUI subsystem", str(pe.subsystem))
    check.report((pe.major_os, pe.minor_os) == (4, 0), "OS version 4.0",
                 "%d.%d" % (pe.major_os, pe.minor_os))
    check.report((pe.major_subsystem, pe.minor_subsystem) == (4, 0), "subsystem version 4.0",
                 "%d.%d" % (pe.major_subsystem, pe.minor_subsystem))
    tls_rva, tls_size = pe.directory(9)
    check.report(tls_rva == 0 and tls_size == 0, "no TLS directory")

    # DLL names are case-insensitive to the loader, function names are not;
    # an import by ordinal is never on the list.
    with open(ALLOWED_IMPORTS) as f:
        allowed = {(dll.upper(), name) for dll, _, name in
                   (line.strip().partition("!") for line in f
                    if line.strip() and not line.startswith("#"))}
    imports = pe.imports()
    strays = ["%s!%s" % i for i in imports if (i[0].upper(), i[1]) not in allowed]
    dlls = sorted({i[0] for i in imports})
    check.report(bool(imports) and not strays, "every import on the Windows 95 list",
                 "%d imports from %s" % (len(imports), ", ".join(dlls))
                 + ("; not allowed: " + ", ".join(strays) if strays else ""))

    texts_missing = [t for t in PROGRAM_TEXTS if t.encode("cp1252") + b"\0" not in data]
    check.report(not texts_missing, "program texts in Windows-1252",
                 "missing " + ", ".join(repr(t) for t in texts_missing) if texts_missing else "")

    check_instructions(check, path)
    try:
        resources = pe.resources()
    except (ValueError, struct.error) as error:
        check.report(False, "resource section readable", str(error))
        resources = {}
    check_dialog(check, resources)
    check_icon(check, resources)

    size = len(data)
    check.report(size <= SIZE_TARGET, "size %d bytes (%.2f KiB), target %d" %
                 (size, size / 1024.0, SIZE_TARGET))
    print("%s: %d check(s) failed" % (os.path.basename(path), check.failures)
          if check.failures else "%s: all checks passed" % os.path.basename(path))
    return 1 if check.failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
