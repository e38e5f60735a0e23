#!/usr/bin/env python3
"""Writes SIZE megabytes of Macintosh text to PATH: French and English prose
with Macintosh accents and punctuation, CR line ends, tabs and the odd
backslash. Prints the share of bytes outside ASCII."""
import random
import sys

size = int(float(sys.argv[1]) * 1000 * 1000)
path = sys.argv[2]
random.seed(7)
plain = ("le la les de des du un une et est pour dans avec sur par que qui pas plus "
         "the of and to in is that for it as was with be by on not this are from "
         "archive disk system manual page letter file document report text word "
         "C:\\DOS 1991 200 (see) note, end. - ;").split()
accented = ("caf\u00e9 d\u00e9j\u00e0 \u00e9t\u00e9 na\u00efve fa\u00e7ade \u00e0 o\u00f9 cr\u00e8me "
            "\u201cquoted\u201d \u2022 \u2026 \u00a9 \u00b1 \u2013 \u00c9cole").split()
words = [w.encode("mac_roman") for w in plain * 4 + accented]
out = bytearray()
while len(out) < size:
    line = b" ".join(random.choice(words) for _ in range(random.randint(4, 16)))
    out += (b"\t" if random.random() < 0.1 else b"") + line + b"\r"
out = out[:size]
with open(path, "wb") as f:
    f.write(out)
print("%.1f%% of the bytes are outside ASCII" % (100.0 * sum(b >= 0x80 for b in out) / len(out)))
