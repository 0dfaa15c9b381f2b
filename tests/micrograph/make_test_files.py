#!/usr/bin/env python3
"""Writes the micrographs the reader tests open, with writers independent of the program: mrcfile
for MRC, tifffile (and libtiff's own tiffcp for LZW) for TIFF, and PNG written here by hand with
zlib. Beside each readable file goes NAME.f32, the image the reader must give (frames summed in
float32, rows as stored), and manifest.json lists them; the damaged files are listed there too,
for the test's table of messages.
    make_test_files.py OUTPUT_FOLDER"""
import io
import json
import os
import struct
import subprocess
import sys
import zlib

import mrcfile
import numpy as np
import tifffile

out = sys.argv[1]
os.makedirs(out, exist_ok=True)
rng = np.random.default_rng(23)
W, H = 37, 23  # not square, so that a transposed image cannot pass
manifest = {"good": [], "bad": []}


def path(name):
    return os.path.join(out, name)


def expect(name, frames, pixel_nm, frame_list):
    total = np.zeros((H, W), np.float32)
    for f in frame_list:
        total = (total + f.astype(np.float32)).astype(np.float32)
    total.astype("<f4").tofile(path(name + ".f32"))
    manifest["good"].append({"file": name, "width": W, "height": H, "frames": frames, "pixelSizeNm": pixel_nm})


def ints(dtype):
    info = np.iinfo(dtype)
    a = rng.integers(info.min, info.max, size=(H, W), endpoint=True, dtype=np.int64).astype(dtype)
    a[0, 0], a[0, 1] = info.min, info.max  # the extremes catch sign and byte-order faults
    return a


def floats(dtype=np.float32):
    return (rng.standard_normal((H, W)) * 1000).astype(dtype)


# MRC
def mrc(name, frames, voxel=None, stack=False, extended=None):
    with mrcfile.new(path(name), overwrite=True) as m:
        m.set_data(frames[0] if len(frames) == 1 else np.stack(frames))
        if stack:
            m.set_image_stack()
        if voxel is not None:
            m.voxel_size = voxel
        if extended is not None:
            m.set_extended_header(extended)
    expect(name, len(frames), voxel / 10 if voxel else 0, [f for f in frames])


mrc("mode0.mrc", [ints(np.int8)], voxel=1.5)
mrc("mode1.mrc", [ints(np.int16)], voxel=0.834)
mrc("mode2_extended.mrc", [floats()], voxel=1.06, extended=np.arange(64, dtype=np.int32))
mrc("mode6.mrc", [ints(np.uint16)], voxel=2.0)
mrc("mode12.mrc", [floats(np.float16)], voxel=1.0)
mrc("stack_mode1.mrc", [ints(np.int16) // 4 for _ in range(3)], voxel=0.5, stack=True)
mrc("big_endian.mrc", [floats().astype(">f4")], voxel=1.2)
mrc("no_pixel_size.mrc", [floats()])


# TIFF
def tif(name, frames, pixel_nm=0.0, **kw):
    with tifffile.TiffWriter(path(name), byteorder=kw.pop("byteorder", "<")) as t:
        for f in frames:
            extra = dict(kw)
            if pixel_nm:
                extra.update(resolution=(1e7 / pixel_nm, 1e7 / pixel_nm), resolutionunit="CENTIMETER")
            t.write(f, photometric="minisblack", **extra)
    expect(name, len(frames), pixel_nm, frames)


tif("uint8.tif", [ints(np.uint8)])
tif("int8.tif", [ints(np.int8)])
tif("int16_strips.tif", [ints(np.int16)], rowsperstrip=5)
tif("uint16_deflate.tif", [ints(np.uint16)], compression="zlib")
tif("int32.tif", [ints(np.int32) // 1024])
tif("uint32.tif", [ints(np.uint32) // 1024])
tif("float32_pixel.tif", [floats()], pixel_nm=0.125)  # 8e7 pixels a cm: a rational tifffile writes exactly
tif("big_endian.tif", [floats()], byteorder=">")
tif("pages_uint16.tif", [ints(np.uint16) // 4 for _ in range(3)])


# ImageJ's way: ResolutionUnit none, XResolution in pixels per the unit its description names.
def imagej(name, unit, per_unit, description=None):
    f = floats()
    res = (1 / per_unit, 1 / per_unit)
    if description is None:
        tifffile.imwrite(path(name), f, imagej=True, resolution=res, metadata={"unit": unit})
    else:  # what ImageJ or others write beyond ASCII, which tifffile's imagej mode will not
        tifffile.imwrite(path(name), f, description=description, resolution=res, resolutionunit="NONE",
                         metadata=None)
    expect(name, 1, 0.1478, [f])


imagej("imagej_micron.tif", "micron", 0.0001478)
imagej("imagej_nm.tif", "nm", 0.1478)
imagej("imagej_A.tif", "A", 1.478)
imagej("imagej_angstrom_utf8.tif", None, 1.478, "ImageJ=1.54f\nimages=1\nunit=\u00c5\n".encode())
imagej("imagej_micro_escaped.tif", None, 0.0001478, b"ImageJ=1.54f\nunit=\\u00B5m\nspacing=1.0\n")


def lzw(name, source, predictor):
    src = path(source)
    subprocess.run(["tiffcp", "-c", "lzw:%d" % predictor if predictor else "lzw", src, path(name)], check=True)
    entry = dict(next(e for e in manifest["good"] if e["file"] == source), file=name)
    os.remove(path(source))
    os.replace(path(source + ".f32"), path(name + ".f32"))
    manifest["good"].remove(next(e for e in manifest["good"] if e["file"] == source))
    manifest["good"].append(entry)


tif("lzw_uint16_source.tif", [ints(np.uint16)])
lzw("lzw_uint16_predictor.tif", "lzw_uint16_source.tif", 2)
tif("lzw_float32_source.tif", [floats()])
lzw("lzw_float32.tif", "lzw_float32_source.tif", 0)


# PNG, by hand: signature, IHDR, optional pHYs, one IDAT of filter-0 rows, IEND.
def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)


def png_bytes(a, colour=0, ppm=None, width=None, height=None):
    depth = 16 if a.dtype == np.uint16 else 8
    rows = a.astype(">u2" if depth == 16 else "u1").tobytes()
    stride = len(rows) // a.shape[0]
    raw = b"".join(b"\0" + rows[i * stride:(i + 1) * stride] for i in range(a.shape[0]))
    body = chunk(b"IHDR", struct.pack(">IIBBBBB", width or a.shape[1], height or a.shape[0], depth, colour, 0, 0, 0))
    if ppm:
        body += chunk(b"pHYs", struct.pack(">IIB", ppm, ppm, 1))
    return b"\x89PNG\r\n\x1a\n" + body + chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b"")


g8 = ints(np.uint8)
open(path("grey8.png"), "wb").write(png_bytes(g8))
expect("grey8.png", 1, 0.0, [g8])
g16 = ints(np.uint16)
open(path("grey16_pixel.png"), "wb").write(png_bytes(g16, ppm=4000000000))
expect("grey16_pixel.png", 1, 0.25, [g16])


# Damaged and unsupported files; the test says what each must be told.
def bad(name, data):
    open(path(name), "wb").write(data)
    manifest["bad"].append(name)


def tif_bytes(a, **kw):
    tifffile.imwrite(path("scratch.tif"), a, **kw)
    data = open(path("scratch.tif"), "rb").read()
    os.remove(path("scratch.tif"))
    return data


def patch_tag(data, tag, value):
    """Sets a SHORT tag of the first IFD of a little-endian classic TIFF."""
    ifd = struct.unpack_from("<I", data, 4)[0]
    count = struct.unpack_from("<H", data, ifd)[0]
    for i in range(count):
        at = ifd + 2 + 12 * i
        if struct.unpack_from("<H", data, at)[0] == tag:
            return data[:at + 8] + struct.pack("<H", value) + data[at + 10:]
    raise KeyError(tag)


bad("rgb.tif", tif_bytes(rng.integers(0, 255, (H, W, 3), dtype=np.uint8), photometric="rgb"))
bad("tiled.tif", tif_bytes(ints(np.uint16)[:16, :32], tile=(16, 16)))
bad("float64.tif", tif_bytes(floats(np.float64)))
bad("jpeg2000.tif", patch_tag(tif_bytes(ints(np.uint16)), 259, 34712))
deflated = bytearray(tif_bytes(ints(np.uint16), compression="zlib"))
offset = deflated.find(b"\x78")  # the zlib stream's header, after the 8-byte file header
deflated[offset + 2:offset + 40] = bytes(38)
bad("corrupt_deflate.tif", bytes(deflated))
nan = floats()
nan[7, 11] = np.nan
bad("nan.tif", tif_bytes(nan))
bad("truncated.tif", tif_bytes(ints(np.uint16))[:600])

# Headers that claim far more than the file holds.
def patch_long(data, tag, value):
    """Sets a SHORT or LONG tag of the first IFD of a little-endian classic TIFF."""
    ifd = struct.unpack_from("<I", data, 4)[0]
    count = struct.unpack_from("<H", data, ifd)[0]
    for i in range(count):
        at = ifd + 2 + 12 * i
        if struct.unpack_from("<H", data, at)[0] == tag:
            kind = struct.unpack_from("<H", data, at + 2)[0]
            return data[:at + 8] + struct.pack("<H" if kind == 3 else "<I", value) + data[at + 10 + 2 * (kind != 3):]
    raise KeyError(tag)


def claim(data, side):
    for tag in (256, 257, 278):  # width, height, rows a strip
        data = patch_long(data, tag, side)
    return data


bad("claims_uncompressed.tif", claim(tif_bytes(ints(np.uint16)), 11585))
short = bytearray(tif_bytes(ints(np.uint16), rowsperstrip=5))
with tifffile.TiffFile(io.BytesIO(bytes(short))) as t:
    counts = t.pages[0].tags["StripByteCounts"]
    struct.pack_into("<I" if counts.dtype == 4 else "<H", short, counts.valueoffset, 100)
bad("short_strip.tif", bytes(short))
bad("claims_compressed.tif", claim(tif_bytes(ints(np.uint16), compression="zlib"), 11585))
with tifffile.TiffWriter(path("many_pages.tif")) as t:
    page = np.zeros((16, 16), np.uint8)
    for _ in range(5000):
        t.write(page, photometric="minisblack", compression="zlib")
manifest["bad"].append("many_pages.tif")


def shared_strip_pages(pages, side):
    """Many pages whose strips are all the one strip of the file: each claims bytes already counted."""
    strip = bytes(rng.integers(0, 255, side * side, dtype=np.uint8))
    tags = [(256, 3, side), (257, 3, side), (258, 3, 8), (259, 3, 1), (262, 3, 1), (273, 4, 8), (277, 3, 1),
            (278, 3, side), (279, 4, len(strip))]
    ifd_size = 2 + 12 * len(tags) + 4
    first = 8 + len(strip)
    out = b"II*\0" + struct.pack("<I", first) + strip
    for p in range(pages):
        nxt = first + (p + 1) * ifd_size if p + 1 < pages else 0
        entries = b"".join(struct.pack("<HHI", t, k, 1) + (struct.pack("<HH", v, 0) if k == 3 else struct.pack("<I", v))
                           for t, k, v in tags)
        out += struct.pack("<H", len(tags)) + entries + struct.pack("<I", nxt)
    return out


bad("shared_strips.tif", shared_strip_pages(100, 64))
bad("rgb.png", png_bytes(rng.integers(0, 255, (H, W * 3), dtype=np.uint8), colour=2, width=W))
bad("claims.png", png_bytes(ints(np.uint16), width=11585, height=11585))
bad("truncated.png", png_bytes(ints(np.uint8))[:100])
bad("not_an_image.txt", b"Just some text, not a micrograph.\n")

json.dump(manifest, open(path("manifest.json"), "w"), indent=1)
