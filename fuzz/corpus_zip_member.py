#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes the seed archives of fuzz/corpus/zip_member/ (each well under 2 KB)."""
import io
import pathlib
import zipfile

out = pathlib.Path(__file__).resolve().parent / "corpus" / "zip_member"
out.mkdir(parents=True, exist_ok=True)


def archive(entries):
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w") as z:
        for name, data, method in entries:
            info = zipfile.ZipInfo(name, date_time=(2020, 1, 1, 0, 0, 0))
            info.compress_type = method
            z.writestr(info, data)
    return buffer.getvalue()


store, deflate = zipfile.ZIP_STORED, zipfile.ZIP_DEFLATED
(out / "mixed.zip").write_bytes(archive([
    ("one.txt", b"hello\r\nworld\r\n", store),
    ("sub/", b"", store),
    ("sub/two.txt", "\ufeffcaf\u00e9 \u20ac".encode("utf-8") * 4, deflate),
    ("empty.txt", b"", store),
]))
damaged = bytearray(archive([("crc.txt", b"stored text with a damaged byte", store)]))
damaged[damaged.index(b"stored text") + 3] ^= 0x20
(out / "bad_crc.zip").write_bytes(bytes(damaged))
(out / "utf16.zip").write_bytes(archive([
    ("le.txt", b"\xff\xfe" + "text".encode("utf-16-le"), deflate),
    ("be.md", b"\xfe\xff" + "text".encode("utf-16-be"), store),
]))
