#!/usr/bin/env python3
"""Seeds the fuzz corpora from the test fixtures and from small volumes made
with the real mkfs tools, so every harness starts from well-formed input.

    seed_corpus.py FIXTURE_DIR CORPUS_DIR WORK_DIR [KESTRUM_CLI]

Writes CORPUS_DIR/<harness>/seed-*; existing files are kept. With the path
of kestrum-cli, the scan-state harness gets the body of a real state file.
"""

import os
import struct
import subprocess
import sys

SECTOR = 512


def read_at(path, offset, size):
    with open(path, "rb") as f:
        f.seek(offset)
        return f.read(size)


def put(corpus, harness, name, data):
    folder = os.path.join(corpus, harness)
    os.makedirs(folder, exist_ok=True)
    path = os.path.join(folder, "seed-" + name)
    if data and not os.path.exists(path):
        with open(path, "wb") as f:
            f.write(data)


def sector_records(image, limit_sectors=1 << 17):
    """The sectors of an image that are neither all zero nor all 0xFF (NTFS's
    empty $LogFile), as a 24-bit sector number and the 512 bytes."""
    out = bytearray()
    with open(image, "rb") as f:
        sector = 0
        while sector < limit_sectors:
            block = f.read(SECTOR)
            if len(block) < SECTOR:
                break
            if block.strip(b"\0") and block.strip(b"\xff"):
                out += struct.pack("<I", sector)[:3] + block
            sector += 1
    return bytes(out)


def info(fixtures, name):
    values = {}
    with open(os.path.join(fixtures, name)) as f:
        for line in f:
            key, _, value = line.strip().partition("=")
            values[key] = value
    return values


def ntfs_seeds(fixtures, corpus):
    image = os.path.join(fixtures, "ntfs.img")
    boot = read_at(image, 0, SECTOR)
    spc = boot[0x0D]
    mft = struct.unpack_from("<Q", boot, 0x30)[0] * spc * SECTOR
    put(corpus, "ntfs_boot", "ntfs-start", read_at(image, 0, 64 * 1024))
    put(corpus, "classifier", "ntfs-start", read_at(image, 0, 64 * 1024))
    put(corpus, "classifier", "ntfs-mft", read_at(image, mft, 64 * 1024))
    for record in list(range(0, 27)) + [64, 65, 66, 70, 80, 100]:
        data = read_at(image, mft + record * 1024, 1024)
        put(corpus, "ntfs_file_record", "record-%d" % record, data)
        if record in (5, 64, 65, 66):
            put(corpus, "ntfs_index", "record-%d" % record, data + read_at(image, 0, 16 * 1024))
    # Run lists: the geometry header the harness reads, then the runs.
    header = struct.pack("<II", 0, 196608)
    for name, runs in (("one", b"\x11\x10\x20\x00"), ("two", b"\x21\x40\x00\x10\x11\x08\x30\x00"),
                       ("sparse", b"\x31\x01\x00\x00\x01\x01\x10\x00"), ("back", b"\x21\x10\x00\x20\x21\x10\x00\xf0\x00")):
        put(corpus, "ntfs_run_list", name, header + runs)


def fat_seeds(fixtures, corpus):
    for name in ("fat16", "fat32"):
        image = os.path.join(fixtures, name + ".img")
        boot = read_at(image, 0, SECTOR)
        reserved = struct.unpack_from("<H", boot, 14)[0]
        fats = boot[16]
        root_entries = struct.unpack_from("<H", boot, 17)[0]
        fat_size = struct.unpack_from("<H", boot, 22)[0] or struct.unpack_from("<I", boot, 36)[0]
        spc = boot[13]
        first_data = reserved + fats * fat_size + (root_entries * 32 + SECTOR - 1) // SECTOR
        if name == "fat16":
            root = (reserved + fats * fat_size) * SECTOR
        else:
            root_cluster = struct.unpack_from("<I", boot, 44)[0]
            root = (first_data + (root_cluster - 2) * spc) * SECTOR
        put(corpus, "fat_boot", name + "-start", read_at(image, 0, 64 * 1024))
        put(corpus, "fat_directory", name + "-root", read_at(image, root, 16 * 1024))
        put(corpus, "classifier", name + "-root", read_at(image, root, 64 * 1024))


def exfat_seeds(fixtures, corpus):
    image = os.path.join(fixtures, "exfat.img")
    boot = read_at(image, 0, SECTOR)
    heap = struct.unpack_from("<I", boot, 0x58)[0]
    root_cluster = struct.unpack_from("<I", boot, 0x60)[0]
    spc_shift = boot[0x6D]
    root = (heap + ((root_cluster - 2) << spc_shift)) * SECTOR
    put(corpus, "exfat_boot", "exfat-start", read_at(image, 0, 64 * 1024))
    put(corpus, "exfat_entry_sets", "exfat-root", read_at(image, root, 16 * 1024))
    put(corpus, "classifier", "exfat-root", read_at(image, root, 64 * 1024))


def disk_seeds(fixtures, corpus, work):
    put(corpus, "partition_table", "disk-mbr", read_at(os.path.join(fixtures, "disk.img"), 0, SECTOR))
    gpt = os.path.join(work, "gpt.img")
    with open(gpt, "wb") as f:
        f.truncate(1 << 20)
    layout = "label: gpt\n,256K\n,256K\n"
    subprocess.run(["sfdisk", "-q", gpt], input=layout.encode(), check=True)
    put(corpus, "partition_table", "gpt", read_at(gpt, 0, 40 * SECTOR))


def gpt_seeds(corpus, work):
    """Small whole disks with a GPT made by sfdisk, behind the harness's
    sector-size byte: 512-byte sectors (whole, and with the primary header
    zeroed so the backup serves), and 4096-byte ones through a loop device."""
    image = os.path.join(work, "gpt-small.img")
    for name, size, first, layout in (("512", 128 << 10, 0, "first-lba: 34\nstart=34,size=64\nstart=100,size=50\n"),
                                      ("4096", 192 << 10, 3, "first-lba: 6\nstart=6,size=16\nstart=24,size=10\n")):
        with open(image, "wb") as f:
            f.truncate(size)
        if name == "512":
            subprocess.run(["sfdisk", "-q", image], input=("label: gpt\n" + layout).encode(), check=True)
        else:
            if os.geteuid() != 0:
                continue
            loop = subprocess.run(["losetup", "-f", "--show", "-b", "4096", image], check=True,
                                  capture_output=True, text=True).stdout.strip()
            try:
                subprocess.run(["sfdisk", "-q", "--no-reread", loop], input=("label: gpt\n" + layout).encode(),
                               check=True)
            finally:
                subprocess.run(["losetup", "-d", loop], check=True)
        data = read_at(image, 0, size)
        put(corpus, "gpt", "sfdisk-" + name, bytes([first]) + data)
        sector = 512 if name == "512" else 4096
        put(corpus, "gpt", "sfdisk-" + name + "-backup", bytes([first]) + data[:sector] + bytes(sector) +
            data[2 * sector:])


def run(argv, **kw):
    subprocess.run(argv, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, **kw)


def small_volumes(corpus, work):
    """Whole volumes for the reader harnesses, with a few files and a deleted one."""
    src = os.path.join(work, "files")
    os.makedirs(os.path.join(src, "dir", "sub"), exist_ok=True)
    for name, size in (("a.txt", 100), ("dir/b.bin", 5000), ("dir/sub/c.dat", 1500), ("gone.txt", 700)):
        with open(os.path.join(src, name), "wb") as f:
            f.write(bytes((i * 7 + len(name)) & 0xFF for i in range(size)))
    env = dict(os.environ, MTOOLS_SKIP_CHECK="1")
    for label, args, mib in (("fat16", ["-F", "16", "-s", "1"], 4), ("fat32", ["-F", "32", "-s", "1"], 34)):
        image = os.path.join(work, label + ".img")
        if os.path.exists(image):
            os.remove(image)
        run(["mkfs.vfat", "-C", *args, "-n", "SEED", image, str(mib * 1024)])
        run(["mcopy", "-s", "-i", image, os.path.join(src, "a.txt"), os.path.join(src, "dir"),
             os.path.join(src, "gone.txt"), "::"], env=env)
        run(["mdel", "-i", image, "::gone.txt"], env=env)
        put(corpus, "fat_volume", label, sector_records(image))
    image = os.path.join(work, "ntfs.img")
    with open(image, "wb") as f:
        f.truncate(4 << 20)
    run(["mkfs.ntfs", "-F", "-f", "-q", "-s", "512", "-c", "512", "-L", "SEED", image])
    for name in ("a.txt", "gone.txt"):
        run(["ntfscp", "-f", image, os.path.join(src, name), name])
    put(corpus, "ntfs_volume", "ntfs", sector_records(image))
    image = os.path.join(work, "exfat.img")
    with open(image, "wb") as f:
        f.truncate(4 << 20)
    run(["mkfs.exfat", "-L", "SEED", image])
    put(corpus, "exfat_volume", "exfat", sector_records(image))


def edit_entries(image, name11, edit):
    """Applies edit(bytearray of 32) to every directory entry whose 11 name bytes are name11."""
    with open(image, "r+b") as f:
        data = bytearray(f.read())
        for at in range(0, len(data) - 31, 32):
            if data[at:at + 11] == name11:
                entry = data[at:at + 32]
                edit(entry)
                data[at:at + 32] = entry
        f.seek(0)
        f.write(data)


def foreign_fat_seeds(corpus, work):
    """A FAT16 volume as other systems and damage leave it: short names with
    spaces inside, a deleted long name whose parts lost their attribute byte."""
    env = dict(os.environ, MTOOLS_SKIP_CHECK="1", LC_ALL="C.UTF-8")
    image = os.path.join(work, "foreign.img")
    if os.path.exists(image):
        os.remove(image)
    run(["mkfs.vfat", "-C", "-F", "16", "-s", "1", "-n", "SEED", image, str(4 * 1024)])
    content = os.path.join(work, "content.bin")
    with open(content, "wb") as f:
        f.write(bytes(range(256)) * 12)
    for name in ("PADX0000.XPD", "PADX0001.XPD", "a removed long name file.txt", "GONE.BIN"):
        run(["mcopy", "-i", image, content, "::" + name], env=env)
    run(["mdel", "-i", image, "::a removed long name file.txt", "::GONE.BIN"], env=env)

    def spaces(e):
        e[3] = e[8] = 0x20

    def attribute(value):
        def edit(e):
            e[11] = value
        return edit

    edit_entries(image, b"PADX0000XPD", spaces)
    edit_entries(image, b"PADX0001XPD", spaces)
    edit_entries(image, b"\xE5a\0 \0r\0e\0m\0", attribute(0x20))
    edit_entries(image, b"\xE5x\0t\0\0\0\xFF\xFF\xFF\xFF", attribute(0x00))
    put(corpus, "fat_volume", "foreign-fat16", sector_records(image))
    boot = read_at(image, 0, SECTOR)
    reserved, fats = struct.unpack_from("<H", boot, 14)[0], boot[16]
    root_entries, fat_size = struct.unpack_from("<H", boot, 17)[0], struct.unpack_from("<H", boot, 22)[0]
    root = (reserved + fats * fat_size) * SECTOR
    put(corpus, "fat_directory", "foreign-root", read_at(image, root, root_entries * 32))
    # The same after a quick format: its folder only found by its "." and "..".
    run(["mmd", "-i", image, "::dir", "::dir/sub"], env=env)
    run(["mcopy", "-i", image, content, "::dir/sub/inner.bin"], env=env)
    run(["mkfs.vfat", "-F", "16", "-s", "1", "-n", "QUICK", image])
    put(corpus, "fat_volume", "quick-formatted-fat16", sector_records(image))


def scan_state_seeds(corpus, work, cli):
    """The body (after the 24-byte header) of the state a deep scan keeps."""
    for name in ("fat16", "ntfs"):
        state = os.path.join(work, name + ".kss")
        if os.path.exists(state):
            os.remove(state)
        run([cli, "scan", "--state", state, os.path.join(work, name + ".img")])
        with open(state, "rb") as f:
            put(corpus, "scan_state_file", name, f.read()[24:])


def text(s):
    data = s.encode("utf-16-le")
    return struct.pack("<I", len(data)) + data


def repair_seeds(fixtures, corpus):
    """A repair history and a saved lost-partition scan as the program writes
    them, with real boot sectors of the fixtures."""
    mbr = read_at(os.path.join(fixtures, "disk.img"), 0, SECTOR)
    boot = read_at(os.path.join(fixtures, "ntfs.img"), 0, SECTOR)
    history = b"VRN1" + struct.pack("<I", 1) + text("Seed Disk 8 GB") + struct.pack("<I", 2)
    for time, sectors in (("2026-01-02 03:04:05", [(0, mbr)]), ("2026-01-02 03:05:00", [(0, mbr), (2048, boot)])):
        history += text(time) + struct.pack("<I", len(sectors))
        for number, data in sectors:
            history += struct.pack("<I", number) + data
    put(corpus, "repair_files", "history", history)
    found = b"KFP1" + struct.pack("<I", 1 << 20) + text("/dev/sdz") + text("Seed Disk 8 GB") + struct.pack("<I", 2)
    for start, count, kind, state in ((2048, 4096, 102, 0), (8192, 0, 107, 2)):
        end = start + count - 1 if count else 0
        found += struct.pack("<5I", start, end, count, kind, state) + boot
    put(corpus, "repair_files", "found", found)


def main():
    if len(sys.argv) not in (4, 5):
        sys.exit(__doc__)
    fixtures, corpus, work = sys.argv[1:4]
    os.makedirs(work, exist_ok=True)
    ntfs_seeds(fixtures, corpus)
    fat_seeds(fixtures, corpus)
    exfat_seeds(fixtures, corpus)
    disk_seeds(fixtures, corpus, work)
    gpt_seeds(corpus, work)
    small_volumes(corpus, work)
    foreign_fat_seeds(corpus, work)
    repair_seeds(fixtures, corpus)
    if len(sys.argv) == 5:
        scan_state_seeds(corpus, work, sys.argv[4])


if __name__ == "__main__":
    main()
