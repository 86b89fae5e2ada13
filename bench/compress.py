"""Compress or decompress one file with Python's zlib module (gzip container at level 6,
as gzip writes it), for bench/compress.sh.

usage: compress.py compress|decompress IN OUT"""
import sys
import zlib


def main():
    action, src, dst = sys.argv[1:4]
    with open(src, "rb") as f:
        data = f.read()
    if action == "compress":
        z = zlib.compressobj(6, zlib.DEFLATED, 31)
        out = z.compress(data) + z.flush()
    else:
        out = zlib.decompress(data, 47)
    with open(dst, "wb") as f:
        f.write(out)


main()
