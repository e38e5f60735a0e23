#!/usr/bin/env python3
"""The words a document sets in each font, as an independent reader finds them.

  font_words.py FILE.fodt        LibreOffice's flat ODT: spans resolved through their styles
  font_words.py --raw FILE       libmwaw's mwaw2raw output for a Macintosh document

Prints one line per font: the count of words, a tab, the font's name.
"""
import collections, re, subprocess, sys
import xml.etree.ElementTree as ET

WORD = re.compile(r'\w+', re.UNICODE)
NS = {
    'office': 'urn:oasis:names:tc:opendocument:xmlns:office:1.0',
    'style': 'urn:oasis:names:tc:opendocument:xmlns:style:1.0',
    'text': 'urn:oasis:names:tc:opendocument:xmlns:text:1.0',
}

def q(prefix, name):
    return '{%s}%s' % (NS[prefix], name)

def from_fodt(path, counts):
    root = ET.parse(path).getroot()
    fonts, parents = {}, {}
    for s in root.iter(q('style', 'style')):
        name = s.get(q('style', 'name'))
        parents[name] = s.get(q('style', 'parent-style-name'))
        props = s.find(q('style', 'text-properties'))
        if props is not None and props.get(q('style', 'font-name')):
            fonts[name] = props.get(q('style', 'font-name'))

    def font_of(style):
        while style:
            if style in fonts:
                return fonts[style]
            style = parents.get(style)
        return None

    def walk(el, font):
        style = el.get(q('text', 'style-name'))
        if style:
            font = font_of(style) or font
        if el.text:
            counts[font] += len(WORD.findall(el.text))
        for child in el:
            walk(child, font)
            if child.tail:
                counts[font] += len(WORD.findall(child.tail))

    body = root.find(q('office', 'body'))
    walk(body, None)

def from_raw(path, counts):
    out = subprocess.run(['mwaw2raw', path], capture_output=True, text=True, errors='replace').stdout
    font = None
    for line in out.splitlines():
        line = line.strip()
        if line.startswith('openSpan('):
            m = re.search(r'style:font-name: ([^,)]*)', line)
            font = m.group(1).strip() if m else None
        elif line.startswith('closeSpan'):
            font = None
        elif line.startswith('insertText('):
            m = re.match(r'insertText\(text: (.*)\)$', line)
            if m:
                counts[font] += len(WORD.findall(m.group(1)))

counts = collections.Counter()
if sys.argv[1] == '--raw':
    from_raw(sys.argv[2], counts)
else:
    from_fodt(sys.argv[1], counts)
for font, n in sorted(counts.items(), key=lambda kv: str(kv[0])):
    print('%d\t%s' % (n, font))
