#!/usr/bin/env python3
"""A minimal stand-in for `partset split`, with the same command line and
layout, for machines where the authoring tool has not been built:

    make_set.py split INSTALLER --name NAME --out DIR [--disk BYTES|cd]
                [--part-size BYTES] [--launcher SETUP.EXE] [--force]

Floppies: DIR/disk1/{SETUP.EXE,FILE.1}, DIR/disk2/FILE.2, ...; one part per
disk, each filling its disk (counted in 512-byte clusters). cd: DIR/{SETUP.EXE,
FILE.1, ...}, parts of --part-size bytes (one part when not given).

A part is a 1024-byte header (the name, NUL-terminated, in bytes 0..259; set
data in 260..1022, the same in every part; byte 1023 nonzero in the last part
only) followed by the next slice of the installer.
"""
import argparse
import os
import shutil
import sys

HEADER = 1024
CLUSTER = 512


def header(name, set_data, last):
    head = bytearray(HEADER)
    head[:len(name)] = name
    head[260:260 + len(set_data)] = set_data
    head[1023] = 1 if last else 0
    return bytes(head)


def main(argv):
    parser = argparse.ArgumentParser(prog="make_set.py")
    parser.add_argument("command", choices=["split"])
    parser.add_argument("installer")
    parser.add_argument("--name", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--disk", default="cd")
    parser.add_argument("--part-size", type=int)
    parser.add_argument("--launcher", required=True)
    parser.add_argument("--force", action="store_true")
    args = parser.parse_args(argv[1:])

    name = args.name.encode("cp1252")
    if len(name) > 259:
        parser.error("name longer than 259 bytes")
    with open(args.installer, "rb") as f:
        payload = f.read()
    launcher_size = os.path.getsize(args.launcher)
    # A set of its own: any other set's parts differ in these bytes.
    set_data = b"E2E-SET\0" + os.urandom(16)

    if args.disk == "cd":
        step = (args.part_size or len(payload) + HEADER) - HEADER
        disks = None
    else:
        usable = int(args.disk) // CLUSTER * CLUSTER
        launcher_clusters = -(-launcher_size // CLUSTER) * CLUSTER
        if usable - launcher_clusters <= HEADER:
            print("make_set.py: the launcher leaves no room on disk 1", file=sys.stderr)
            return 5
        disks = [usable - launcher_clusters - HEADER] + [usable - HEADER] * len(payload)
    if disks is None and step <= 0:
        parser.error("--part-size must exceed the header")

    slices, offset, index = [], 0, 0
    while offset < len(payload) or not slices:
        size = disks[index] if disks else step
        slices.append(payload[offset:offset + size])
        offset += size
        index += 1

    if os.path.exists(args.out) and os.listdir(args.out):
        if not args.force:
            print("make_set.py: %s exists" % args.out, file=sys.stderr)
            return 4
        shutil.rmtree(args.out)
    for number, piece in enumerate(slices, 1):
        where = args.out if disks is None else os.path.join(args.out, "disk%d" % number)
        os.makedirs(where, exist_ok=True)
        if number == 1:
            shutil.copyfile(args.launcher, os.path.join(where, "SETUP.EXE"))
        with open(os.path.join(where, "FILE.%d" % number), "wb") as f:
            f.write(header(name, set_data, number == len(slices)) + piece)
    print('"%s": %d installer bytes in %d parts' % (args.name, len(payload), len(slices)))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
