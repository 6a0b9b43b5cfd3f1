#!/usr/bin/env python3
"""Writes the seed archives of the extraction fuzzer into extract_corpus/. Run it here."""
import io
import os
import zipfile

def entry(name, flag_bits=0, attributes=0, made_by_unix=False):
    info = zipfile.ZipInfo(name, date_time=(2024, 9, 1, 8, 0, 0))
    info.flag_bits |= flag_bits
    info.external_attr = attributes
    if made_by_unix:
        info.create_system = 3
    return info

def archive(path, entries, raw_names=()):
    """raw_names: (placeholder, bytes) pairs; zipfile writes only ASCII or UTF-8 names, so a GBK
    name goes in as an ASCII placeholder of the same length and is swapped afterwards."""
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w") as z:
        for info, data, method in entries:
            z.writestr(info, data, compress_type=method)
    data = buffer.getvalue()
    for placeholder, raw in raw_names:
        data = data.replace(placeholder.encode("ascii"), raw)
    with open(os.path.join("extract_corpus", path), "wb") as f:
        f.write(data)

S, D = zipfile.ZIP_STORED, zipfile.ZIP_DEFLATED
archive("stored-and-deflated.zip", [(entry("a.txt"), b"stored", S),
                                    (entry("b.txt"), b"deflated " * 8, D)])
archive("folders.zip", [(entry("doc/", attributes=0x10), b"", S),
                        (entry("doc/img/", attributes=0o40755 << 16, made_by_unix=True), b"", S),
                        (entry("doc/img/a.bmp"), b"BM" * 10, D),
                        (entry("x/y/z.txt"), b"deep", S)])
gbk_name = "\u4e57\u8f66/\u8868.xls".encode("gbk")  # the first character's second byte is 5C
archive("gbk-names.zip", [(entry("Q" * len(gbk_name)), b"gbk", D)], [("Q" * len(gbk_name), gbk_name)])
archive("utf8-name.zip", [(entry("\u6570\u636e/\u00ff.txt", flag_bits=0x800), b"u", D)])
archive("symlink-and-readonly.zip", [(entry("link", attributes=0o120777 << 16, made_by_unix=True), b"a.txt", S),
                                     (entry("ro.txt", attributes=0x01), b"ro", S)])
archive("unsafe-name.zip", [(entry("first.txt"), b"1", S), (entry("../x"), b"x", S)])
