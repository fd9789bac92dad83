#!/usr/bin/env python3
"""Writes the benchmark data files into a folder.

    make_data.py FOLDER NAME...

Names:
  log-utf8      >= 2.15 GB CR LF log, English and Chinese, UTF-8 without BOM.
                The first line holds NEEDLE-AT-START, the last NEEDLE-AT-END,
                and no line holds "timeout" (any case) more than once; every
                other line holds "worker" once or twice (1.09 times a line).
  log-utf16le   the same lines in UTF-16 LE with a BOM, >= 2.15 GB
  log-utf16be   the same lines in UTF-16 BE with a BOM, >= 2.15 GB
  log-gbk       the same lines as log-utf8 in GBK (code page 936)
  paint-small   the first 1 MiB of log-utf8, cut at a line end
  line-small    one line of 200 KiB (ASCII, Chinese and tabs), LF at the end
  line-big      the same line at 200 MiB
  lines-long    200 lines of 300,000 units each (the line-small text), LF ends
  dense4-utf8   2 GiB of 4-byte CR LF lines ("ab" CR LF)
  dense15-utf8  2 GiB of 15-byte CR LF lines (13 digits CR LF)
  dense4-utf16le, dense15-utf16le  the same lines in UTF-16 LE with a BOM, as
                many as fill 1 GB in UTF-8 (2 GB)

The content depends only on this file, so equal names give equal bytes.
Each file is written under a temporary name and renamed when complete.
"""
import os
import sys

MIN_BYTES = 2150 * 1000 * 1000
FIRST = "NEEDLE-AT-START marks the first line\r\n"
LAST = "the last line holds NEEDLE-AT-END\r\n"
MESSAGES = [
    "Connection to db-01 established",
    "连接数据库超时，正在第 3 次重试",
    "request handled in 12 ms",
    "用户 zhang.wei 登录成功",
    "upstream Timeout after 30 s",
    "缓存命中率 97.3%，内存占用 512 MB",
    "worker restarted after TIMEOUT",
    "Scheduled job 日报生成 finished",
    "read timeout on socket 17",
    "配置已重新加载 config.ini",
    "GET /api/v1/orders?page=3 200",
]


def block_text():
    """About 16 MiB (as UTF-8) of log lines, each ending in CR LF."""
    lines, size, i = [], 0, 1
    while size < 16 << 20:
        line = "2024-05-%02d %02d:%02d:%02d.%03d\t%s\t[worker-%d]\t%s\t#%d\r\n" % (
            1 + i % 28, i % 24, i % 60, (i * 7) % 60, (i * 13) % 1000,
            "WARN" if i % 5 == 0 else "INFO", i % 8, MESSAGES[(i * 7) % len(MESSAGES)], i)
        lines.append(line)
        size += len(line.encode("utf-8"))
        i += 1
    return "".join(lines)


def write_log(path, codec, bom):
    block = block_text().encode(codec)
    head, tail = FIRST.encode(codec), LAST.encode(codec)
    with open(path, "wb") as f:
        f.write(bom + head)
        written = len(bom) + len(head) + len(tail)
        # log-gbk keeps the line count of log-utf8, so both hold the same text.
        ref = len(block_text().encode("utf-8")) if codec == "gbk" else len(block)
        reps = -(-(MIN_BYTES - written) // ref)
        for _ in range(reps):
            f.write(block)
        f.write(tail)


def write_paint_small(path):
    data = (FIRST + block_text()).encode("utf-8")[: 1 << 20]
    with open(path, "wb") as f:
        f.write(data[: data.rindex(b"\n") + 1])


def write_line(path, size):
    unit = ("abcdefghij中文0123456789\t" * 4096).encode("utf-8")
    with open(path, "wb") as f:
        total = 0
        while total < size:
            f.write(unit)
            total += len(unit)
        f.write(b"\n")


def write_long_lines(path, count, units):
    text = ("abcdefghij中文0123456789\t" * (units // 23 + 1))[: units - 1]
    line = (text + "\n").encode("utf-8")
    with open(path, "wb") as f:
        for _ in range(count):
            f.write(line)


def write_dense(path, width, codec, bom, utf8_bytes):
    """Lines of width bytes in UTF-8, as many as fill utf8_bytes in UTF-8."""
    if width == 4:
        text = "ab\r\n" * (1 << 16)
    else:
        text = "".join(("%0*d" % (width - 2, i % (10 ** (width - 2))))[-(width - 2):] + "\r\n"
                       for i in range(1 << 16))
    block = text.encode(codec)
    total = utf8_bytes * len(block) // len(text.encode("utf-8"))
    with open(path, "wb") as f:
        f.write(bom)
        for _ in range(-(-total // len(block))):
            f.write(block)


MAKERS = {
    "log-utf8": lambda p: write_log(p, "utf-8", b""),
    "log-utf16le": lambda p: write_log(p, "utf-16-le", b"\xff\xfe"),
    "log-utf16be": lambda p: write_log(p, "utf-16-be", b"\xfe\xff"),
    "log-gbk": lambda p: write_log(p, "gbk", b""),
    "paint-small": write_paint_small,
    "line-small": lambda p: write_line(p, 200 << 10),
    "line-big": lambda p: write_line(p, 200 << 20),
    "lines-long": lambda p: write_long_lines(p, 200, 300000),
    "dense4-utf8": lambda p: write_dense(p, 4, "utf-8", b"", 1 << 31),
    "dense15-utf8": lambda p: write_dense(p, 15, "utf-8", b"", 1 << 31),
    "dense4-utf16le": lambda p: write_dense(p, 4, "utf-16-le", b"\xff\xfe", 1000 * 1000 * 1000),
    "dense15-utf16le": lambda p: write_dense(p, 15, "utf-16-le", b"\xff\xfe", 1000 * 1000 * 1000),
}


def main():
    if len(sys.argv) < 3 or any(n not in MAKERS for n in sys.argv[2:]):
        sys.stderr.write("usage: make_data.py FOLDER {%s}...\n" % "|".join(MAKERS))
        return 2
    folder = sys.argv[1]
    for name in sys.argv[2:]:
        path = os.path.join(folder, name + ".txt")
        tmp = path + ".part"
        MAKERS[name](tmp)
        os.replace(tmp, path)
    return 0


if __name__ == "__main__":
    sys.exit(main())
