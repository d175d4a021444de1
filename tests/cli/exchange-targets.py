#!/usr/bin/env python3
"""Targets for the exchange parity case: exchange-targets.py DIR writes cpNNN.bin and its .ttt
for every listed code page, and wide.bin with a UTF-16 .ttt. exchange-targets.py --normalise
FILE rewrites an XLIFF file without the whitespace between elements, which each platform's XML
library indents its own way."""
import sys
import xml.etree.ElementTree as ET

SAMPLES = {
    65001: "Grüße, 你好 😀", 936: "文件 打开", 950: "檔案 開啟", 932: "ファイル 表示",
    949: "파일 열기", 1250: "Łódź Žluť", 1251: "Файл Открыть", 1252: "Café “quoted” €",
    1253: "Αρχείο", 1254: "Dosya Şimdi", 1255: "קובץ", 1256: "ملف", 1257: "Ąžuolas",
    1258: "Đơn giá",
}
# Bytes that are no character in some code page, controls, a backslash before an escape.
ODD = [b"raw \x81\x8d\x90\x9d\xff end", b"ctl \x01\x7f\r tab\t", b"C:\\x41 \\\\ \\0 dir",
       b"lead \xc4", b"Hello open world"]


def escape(raw):
    out = bytearray()
    for b in raw:
        out += {0: b"\\0", 9: b"\\t", 10: b"\\n", 13: b"\\r", 92: b"\\\\"}.get(b, bytes([b]))
    return bytes(out)


def write(path, texts, wide):
    data = bytearray(b"\0" * 16)
    ttt = (b"\xff\xfe" + "[Glosmorin]".encode("utf-16-le")) if wide else b"[Glosmorin]"
    for raw in texts:
        units = len(raw) // 2 if wide else len(raw)
        head = "\r\n0x%08X,%04d=" % (len(data), units)
        text = raw.decode("utf-16-le", "surrogatepass") if wide else None
        if wide:
            body = "".join({0: "\\0", 9: "\\t", 10: "\\n", 13: "\\r", 92: "\\\\"}.get(ord(c), c)
                           for c in text)
            ttt += (head + body).encode("utf-16-le", "surrogatepass")
        else:
            ttt += head.encode() + escape(raw)
        data += raw + (b"\0\0" if wide else b"\0")
    ttt += "\r\n".encode("utf-16-le") if wide else b"\r\n"
    data += b"\0" * max(0, 600 - len(data))
    open(path, "wb").write(data)
    open(path + ".ttt", "wb").write(ttt)


def main():
    if sys.argv[1] == "--normalise":
        ET.register_namespace("", "urn:oasis:names:tc:xliff:document:1.2")
        tree = ET.parse(sys.argv[2])
        for e in tree.iter():
            if e.text is not None and not e.text.strip() and len(e):
                e.text = None
            if e.tail is not None and not e.tail.strip():
                e.tail = None
        tree.write(sys.argv[2], encoding="utf-8", xml_declaration=True)
        return
    folder = sys.argv[1]
    for cp, sample in SAMPLES.items():
        encoded = sample.encode("utf-8" if cp == 65001 else "cp%d" % cp)
        write("%s/cp%d.bin" % (folder, cp), [encoded] + ODD + [encoded], False)
    wide = ["Wide 你好 😀".encode("utf-16-le"), b"\x00\xd8A\x00", "Tab\there\r".encode("utf-16-le")]
    write(folder + "/wide.bin", wide, True)


main()
