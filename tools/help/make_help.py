#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Turns the user guide (Markdown) into the program's help page: one HTML file.

The page stands alone: its stylesheet is inside it and its images are embedded as data URIs,
so the same file works in the interfaces folder and as the fallback in the user folder.
Only the Markdown the guide uses is understood: headings, paragraphs, lists, tables, fenced
code, code spans, emphasis, links, images, and the help anchors <a id="..."></a>.

    make_help.py GUIDE.md OUTPUT.html [--require-anchor ID ...]

With --require-anchor, the page must hold an element of each id, or nothing is written and the
exit status is 1.
"""

import base64
import html
import mimetypes
import re
import sys
from pathlib import Path

STYLE = """
body { font-family: sans-serif; line-height: 1.5; max-width: 48em; margin: 1em auto;
       padding: 0 1em; color: #1f2328; background: #fff; }
h1, h2, h3 { line-height: 1.25; border-bottom: 1px solid #d8dee4; padding-bottom: .2em; }
code, pre { font-family: monospace; background: #f3f4f6; border-radius: 3px; }
code { padding: .1em .3em; }
pre { padding: .6em; overflow: auto; }
table { border-collapse: collapse; }
th, td { border: 1px solid #d0d7de; padding: .25em .6em; text-align: left; }
img { max-width: 100%; }
:target { background: #fff8c5; }
"""

ANCHOR = re.compile(r'<a id="([A-Za-z][\w-]*)"></a>')
INLINE = re.compile(
    r"(?P<code>`+)(?P<codetext>.+?)(?P=code)"
    r"|(?P<image>!\[(?P<alt>[^\]]*)\]\((?P<src>[^)\s]+)\))"
    r"|(?P<link>\[(?P<label>[^\]]+)\]\((?P<href>[^)\s]+)\))"
    r"|" + ANCHOR.pattern.replace("(", "(?P<anchor>", 1) + ""
    r"|\*\*(?P<strong>.+?)\*\*"
    r"|(?<![\w*])\*(?P<em>[^*\s][^*]*?)\*(?![\w*])"
    r"|(?<!\w)_(?P<em2>[^_\s][^_]*?)_(?!\w)",
    re.S,
)
LIST_ITEM = re.compile(r"^(\s*)([-*]|\d+\.)\s+(.*)$")
HEADING = re.compile(r"^(#{1,6})\s+(.*?)\s*#*\s*$")
TABLE_RULE = re.compile(r"^\|?\s*:?-+:?\s*(\|\s*:?-+:?\s*)*\|?\s*$")


class Page:
    def __init__(self, folder):
        self.folder = folder
        self.ids = set()

    def slug(self, text):
        """A heading's id as a forge makes it: lower case, punctuation dropped, blanks to '-'."""
        plain = html.unescape(re.sub(r"<[^>]+>", "", text)).lower()
        base = re.sub(r"[^\w\- ]", "", plain).strip().replace(" ", "-") or "section"
        slug, n = base, 1
        while slug in self.ids:
            slug, n = f"{base}-{n}", n + 1
        self.ids.add(slug)
        return slug

    def image(self, alt, src):
        path = self.folder / src
        if src.startswith(("http:", "https:", "data:")) or not path.is_file():
            raise SystemExit(f"make_help: image {src} not found beside the guide")
        kind = mimetypes.guess_type(path.name)[0] or "application/octet-stream"
        data = base64.b64encode(path.read_bytes()).decode("ascii")
        return f'<img alt="{html.escape(alt)}" src="data:{kind};base64,{data}">'

    def inline(self, text):
        out, pos = [], 0
        for m in INLINE.finditer(text):
            out.append(html.escape(text[pos : m.start()], quote=False))
            pos = m.end()
            if m.group("code"):
                out.append(f"<code>{html.escape(m.group('codetext').strip(), quote=False)}</code>")
            elif m.group("image"):
                out.append(self.image(m.group("alt"), m.group("src")))
            elif m.group("link"):
                label, href = self.inline(m.group("label")), m.group("href")
                # Another file of the docs is not beside the installed page: its name stays.
                if href.startswith(("http:", "https:", "mailto:", "#")):
                    out.append(f'<a href="{html.escape(href)}">{label}</a>')
                else:
                    out.append(label)
            elif m.group("anchor"):
                self.ids.add(m.group("anchor"))
                out.append(f'<a id="{m.group("anchor")}"></a>')
            elif m.group("strong"):
                out.append(f"<strong>{self.inline(m.group('strong'))}</strong>")
            else:
                out.append(f"<em>{self.inline(m.group('em') or m.group('em2'))}</em>")
        out.append(html.escape(text[pos:], quote=False))
        return "".join(out)

    def cells(self, line):
        line = line.strip()
        if line.startswith("|"):
            line = line[1:]
        if line.endswith("|"):
            line = line[:-1]
        cells = re.split(r"(?<!\\)\|", line)
        return [self.inline(cell.strip().replace("\\|", "|")) for cell in cells]

    def render(self, lines):
        out, i = [], 0
        while i < len(lines):
            line = lines[i]
            if not line.strip():
                i += 1
            elif line.startswith("```"):
                end = i + 1
                while end < len(lines) and not lines[end].startswith("```"):
                    end += 1
                code = html.escape("\n".join(lines[i + 1 : end]), quote=False)
                out.append(f"<pre><code>{code}</code></pre>")
                i = end + 1
            elif HEADING.match(line):
                hashes, text = HEADING.match(line).groups()
                body = self.inline(text)
                level = len(hashes)
                out.append(f'<h{level} id="{self.slug(body)}">{body}</h{level}>')
                i += 1
            elif line.lstrip().startswith("|") and i + 1 < len(lines) and TABLE_RULE.match(
                lines[i + 1]
            ):
                head = "".join(f"<th>{c}</th>" for c in self.cells(line))
                rows, i = [], i + 2
                while i < len(lines) and lines[i].lstrip().startswith("|"):
                    rows.append("<tr>" + "".join(f"<td>{c}</td>" for c in self.cells(lines[i])) + "</tr>")
                    i += 1
                out.append(f"<table>\n<tr>{head}</tr>\n" + "\n".join(rows) + "\n</table>")
            elif LIST_ITEM.match(line):
                i = self.list(lines, i, out)
            else:
                para = [line.strip()]
                i += 1
                while i < len(lines) and lines[i].strip() and not self.starts_block(lines, i):
                    para.append(lines[i].strip())
                    i += 1
                text = self.inline("\n".join(para))
                # An anchor alone marks the place; it needs no paragraph of its own.
                out.append(text if ANCHOR.fullmatch("\n".join(para)) else f"<p>{text}</p>")
        return "\n".join(out)

    def starts_block(self, lines, i):
        line = lines[i]
        return bool(
            line.startswith("```")
            or HEADING.match(line)
            or LIST_ITEM.match(line)
            or (line.lstrip().startswith("|") and i + 1 < len(lines) and TABLE_RULE.match(lines[i + 1]))
        )

    def list(self, lines, i, out):
        """One list from line i; items run on over indented lines. Returns the next line."""
        indent = len(LIST_ITEM.match(lines[i]).group(1))
        ordered = LIST_ITEM.match(lines[i]).group(2)[0].isdigit()
        items = []
        while i < len(lines):
            m = LIST_ITEM.match(lines[i])
            if m and len(m.group(1)) == indent:
                items.append([m.group(3)])
                i += 1
            elif lines[i].strip() and len(lines[i]) - len(lines[i].lstrip()) > indent:
                items[-1].append(lines[i].strip())
                i += 1
            elif not lines[i].strip() and i + 1 < len(lines) and LIST_ITEM.match(lines[i + 1]):
                i += 1  # a blank line between items keeps the list
            else:
                break
        tag = "ol" if ordered else "ul"
        body = "\n".join(f"<li>{self.inline(chr(10).join(item))}</li>" for item in items)
        out.append(f"<{tag}>\n{body}\n</{tag}>")
        return i


def main(argv):
    args = argv[1:]
    required = []
    while "--require-anchor" in args:
        at = args.index("--require-anchor")
        required.append(args[at + 1])
        del args[at : at + 2]
    if len(args) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    guide, output = Path(args[0]), Path(args[1])
    lines = guide.read_text(encoding="utf-8").splitlines()
    page = Page(guide.parent)
    body = page.render(lines)
    missing = [anchor for anchor in required if anchor not in page.ids]
    if missing:
        print(f"make_help: {guide} has no anchor {', '.join(missing)}", file=sys.stderr)
        return 1
    title = next((HEADING.match(l).group(2) for l in lines if HEADING.match(l)), "Help")
    title = html.escape(ANCHOR.sub("", title), quote=False)
    output.parent.mkdir(parents=True, exist_ok=True)
    output.write_text(
        "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
        f"<title>{title}</title>\n<style>{STYLE}</style>\n</head>\n<body>\n{body}\n</body>\n</html>\n",
        encoding="utf-8",
    )
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
