#!/usr/bin/python3
"""A failing disk made of an image file: a FUSE file system holding one
file, "disk", whose reads answer EIO where any sector of a chosen range is
touched and are held back where a slow range is touched. Every read is
logged ("OFFSET SIZE ok|eio"), so a test can count the reads per range.
The file is opened with direct_io: each read the kernel gets reaches this
process as it was asked, never through the page cache.

  faulty_disk.py IMAGE MOUNTPOINT LOG [--bad FIRST:COUNT]... [--slow FIRST:COUNT:MS]...

Sector numbers are 512-byte sectors of IMAGE. Runs in the foreground until
unmounted (fusermount3 -u MOUNTPOINT or umount).
"""

import argparse
import errno
import os
import stat

import pyfuse3
import trio

SECTOR = 512
DISK_INODE = pyfuse3.ROOT_INODE + 1
DISK_NAME = b"disk"


def sector_range(text, fields):
    parts = [int(p) for p in text.split(":")]
    if len(parts) != fields:
        raise argparse.ArgumentTypeError(f"expected {fields} numbers: {text}")
    return tuple(parts)


class FaultyDisk(pyfuse3.Operations):
    def __init__(self, image, log, bad, slow):
        super().__init__()
        self.fd = os.open(image, os.O_RDONLY)
        self.size = os.fstat(self.fd).st_size
        self.log = open(log, "a", buffering=1)
        self.bad = bad
        self.slow = slow

    @staticmethod
    def touches(offset, size, first, count):
        return offset // SECTOR < first + count and (offset + size - 1) // SECTOR >= first

    def attributes(self, inode):
        entry = pyfuse3.EntryAttributes()
        entry.st_ino = inode
        if inode == pyfuse3.ROOT_INODE:
            entry.st_mode = stat.S_IFDIR | 0o755
            entry.st_nlink = 2
        else:
            entry.st_mode = stat.S_IFREG | 0o444
            entry.st_nlink = 1
            entry.st_size = self.size
        entry.st_uid = entry.st_gid = 0
        entry.st_blksize = SECTOR
        entry.attr_timeout = entry.entry_timeout = 300
        return entry

    async def getattr(self, inode, ctx=None):
        if inode not in (pyfuse3.ROOT_INODE, DISK_INODE):
            raise pyfuse3.FUSEError(errno.ENOENT)
        return self.attributes(inode)

    async def lookup(self, parent_inode, name, ctx=None):
        if parent_inode != pyfuse3.ROOT_INODE or name != DISK_NAME:
            raise pyfuse3.FUSEError(errno.ENOENT)
        return self.attributes(DISK_INODE)

    async def opendir(self, inode, ctx):
        if inode != pyfuse3.ROOT_INODE:
            raise pyfuse3.FUSEError(errno.ENOTDIR)
        return inode

    async def readdir(self, fh, start_id, token):
        if start_id == 0:
            pyfuse3.readdir_reply(token, DISK_NAME, self.attributes(DISK_INODE), 1)

    async def open(self, inode, flags, ctx):
        if inode != DISK_INODE:
            raise pyfuse3.FUSEError(errno.EISDIR)
        if flags & (os.O_WRONLY | os.O_RDWR):
            raise pyfuse3.FUSEError(errno.EROFS)
        return pyfuse3.FileInfo(fh=inode, direct_io=True, keep_cache=False)

    async def read(self, fh, offset, size):
        size = max(0, min(size, self.size - offset))
        for first, count, ms in self.slow:
            if self.touches(offset, size, first, count):
                await trio.sleep(ms / 1000)
        failed = any(self.touches(offset, size, first, count) for first, count in self.bad)
        self.log.write(f"{offset} {size} {'eio' if failed else 'ok'}\n")
        if failed:
            raise pyfuse3.FUSEError(errno.EIO)
        return os.pread(self.fd, size, offset)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("image")
    parser.add_argument("mountpoint")
    parser.add_argument("log")
    parser.add_argument("--bad", action="append", default=[], type=lambda t: sector_range(t, 2))
    parser.add_argument("--slow", action="append", default=[], type=lambda t: sector_range(t, 3))
    args = parser.parse_args()
    disk = FaultyDisk(args.image, args.log, args.bad, args.slow)
    options = set(pyfuse3.default_options)
    options.add("fsname=faulty_disk")
    options.add("ro")
    pyfuse3.init(disk, args.mountpoint, options)
    try:
        trio.run(pyfuse3.main)
    finally:
        pyfuse3.close(unmount=True)


if __name__ == "__main__":
    main()
