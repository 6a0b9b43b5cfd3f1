#!/usr/bin/env python3
"""Writes the seed catalogues of the catalogue fuzzer into catalogue_corpus/. Run it here.
The first byte of every seed is the fuzzer's piece size; the rest is the catalogue."""
import os

def seed(name, piece, body):
    with open(os.path.join("catalogue_corpus", name), "wb") as f:
        f.write(bytes([piece]) + body)

counts = "[题目数量]\r\nWord题数量=3\r\nExcel题数量 = ５\r\n"
requirements = "[操作要求]\r\nWord第1题=加粗~居中~保存\r\nExcel第3题=\"求和\"~~排序\r\nname2=v2\r\n"
text = "; 题库\r\n" + counts + "\r\n" + requirements

seed("gbk-crlf.ini", 7, text.encode("gbk"))
seed("gbk-lone-cr.ini", 3, text.replace("\r\n", "\r").encode("gbk"))
seed("utf8-bom.ini", 5, b"\xef\xbb\xbf" + text.encode("utf-8"))
seed("utf8-lf.ini", 16, text.replace("\r\n", "\n").encode("utf-8"))
seed("utf16le.ini", 1, b"\xff\xfe" + (text + "Word第2题=😀~x\r\n").encode("utf-16-le"))
seed("mixed-ends.ini", 2,
     b"  [s] \n\tk = 'v' \r\n;k=no\rk=later\r\r\n[S]\nk=second\n[s\nj=\"q\"\nk")
# GBK characters whose second byte is "[" (0x5B), "\" (0x5C) or "]" (0x5D), in names and values.
seed("gbk-bracket-trail.ini", 4,
     b"[\x81\x5d]\r\n\x81\x5b=1\r\n[s]\r\nk=\x81\x5b\x81\x5c\r\n\x81\x5bk=2\r\n")
seed("odd-bytes.ini", 9,
     b"[s]\nk=a\x00b\n\xff\xfe[t]\nk\n=x\n[s]\nk=dup\n" + "[题]\n".encode("utf-8") + b"\xcc")
