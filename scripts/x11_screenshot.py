#!/usr/bin/env python3
"""Saves the X screen of $DISPLAY, whole or a part of it, as a PNG:
x11_screenshot.py PNG [X Y WIDTH HEIGHT]. Python and libX11 alone: no image
tool, and no colormap needed (Wine leaves none installed when no window
manager runs, which xwd cannot do without)."""
import ctypes
import struct
import sys
import zlib


class XImage(ctypes.Structure):
    _fields_ = [("width", ctypes.c_int), ("height", ctypes.c_int), ("xoffset", ctypes.c_int),
                ("format", ctypes.c_int), ("data", ctypes.c_void_p), ("byte_order", ctypes.c_int),
                ("bitmap_unit", ctypes.c_int), ("bitmap_bit_order", ctypes.c_int),
                ("bitmap_pad", ctypes.c_int), ("depth", ctypes.c_int),
                ("bytes_per_line", ctypes.c_int), ("bits_per_pixel", ctypes.c_int),
                ("red_mask", ctypes.c_ulong), ("green_mask", ctypes.c_ulong),
                ("blue_mask", ctypes.c_ulong)]


def main():
    x11 = ctypes.CDLL("libX11.so.6")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XDefaultRootWindow.restype = ctypes.c_ulong
    x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
    x11.XGetImage.restype = ctypes.POINTER(XImage)
    x11.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                              ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
    for name in ("XDisplayWidth", "XDisplayHeight"):
        getattr(x11, name).argtypes = [ctypes.c_void_p, ctypes.c_int]
    display = x11.XOpenDisplay(None)
    if not display:
        sys.exit("x11_screenshot: cannot open the display")
    if len(sys.argv) >= 6:
        left, top, width, height = map(int, sys.argv[2:6])
    else:
        left, top = 0, 0
        width, height = x11.XDisplayWidth(display, 0), x11.XDisplayHeight(display, 0)
    all_planes, z_pixmap = 0xFFFFFFFF, 2
    image = x11.XGetImage(display, x11.XDefaultRootWindow(display), left, top, width, height,
                          all_planes, z_pixmap)
    if not image or image.contents.bits_per_pixel not in (24, 32):
        sys.exit("x11_screenshot: only true-colour screens (24 or 32 bits a pixel)")
    info = image.contents
    step = info.bits_per_pixel // 8
    data = ctypes.string_at(info.data, info.bytes_per_line * height)
    shifts = [(mask & -mask).bit_length() - 1 for mask in (info.red_mask, info.green_mask, info.blue_mask)]
    rows = []
    for y in range(height):
        line = data[y * info.bytes_per_line: y * info.bytes_per_line + width * step]
        row = bytearray(b"\0")
        for i in range(0, len(line), step):
            pixel = int.from_bytes(line[i:i + step], "little" if info.byte_order == 0 else "big")
            row += bytes((pixel >> shift) & 0xFF for shift in shifts)
        rows.append(bytes(row))

    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body +
                struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))

    with open(sys.argv[1], "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n" +
                  chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
                  chunk(b"IDAT", zlib.compress(b"".join(rows), 9)) + chunk(b"IEND", b""))


main()
