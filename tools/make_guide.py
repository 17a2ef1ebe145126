#!/usr/bin/python3
"""Turns the README and the user guide into the HTML pages that ship.

make_guide.py OUT_DIR      writes OUT_DIR/README.html and OUT_DIR/guide.html
make_guide.py --check DIR  checks every link and picture of DIR's pages

Each page stands alone: its pictures are embedded, links between the shipped
pages point at their .html names, and a link to a page that does not ship
(the developer guide, say) keeps its words but loses its target, so that
nothing in the zip or the installed folder points at a file that is not
there.
"""
import base64
import html.parser
import os
import re
import sys
import urllib.parse

import markdown

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
# Source (relative to the tree) -> the name it ships under.
PAGES = {"README.md": "README.html", "docs/guide.md": "guide.html"}
STYLE = """body{font-family:Segoe UI,Tahoma,sans-serif;max-width:52em;margin:2em auto;padding:0 1em;line-height:1.45}
pre{background:#f4f4f4;padding:.6em;overflow-x:auto}code{font-family:Consolas,monospace}
table{border-collapse:collapse}td,th{border:1px solid #bbb;padding:.2em .5em;vertical-align:top}
img{max-width:100%}"""


def shipped_name(source_page, target):
    """The shipped page a relative link to TARGET from SOURCE_PAGE means, or None."""
    path = os.path.normpath(os.path.join(os.path.dirname(source_page), target))
    return PAGES.get(path.replace(os.sep, "/"))


def rewrite(source_page, text):
    folder = os.path.join(ROOT, os.path.dirname(source_page))

    def picture(match):
        alt, target = match.group(1), match.group(2)
        with open(os.path.join(folder, target), "rb") as f:
            data = base64.b64encode(f.read()).decode("ascii")
        return f"![{alt}](data:image/png;base64,{data})"

    def link(match):
        words, target = match.group(1), match.group(2)
        if re.match(r"^[a-z]+:", target) or target.startswith("#"):
            return match.group(0)
        file_part, _, anchor = target.partition("#")
        name = shipped_name(source_page, file_part)
        if name is None:
            return words
        return f"[{words}]({name}{'#' + anchor if anchor else ''})"

    text = re.sub(r"!\[([^\]]*)\]\(([^)\s]+\.png)\)", picture, text)
    return re.sub(r"(?<!!)\[([^\]]+)\]\(([^)\s]+)\)", link, text)


def build(out_dir):
    os.makedirs(out_dir, exist_ok=True)
    for source, name in PAGES.items():
        with open(os.path.join(ROOT, source), encoding="utf-8") as f:
            text = rewrite(source, f.read())
        body = markdown.markdown(text, extensions=["tables", "toc"])
        title = re.search(r"^# (.+)$", text, re.M).group(1)
        page = (f'<!DOCTYPE html>\n<html lang="en"><head><meta charset="utf-8">'
                f"<title>{title}</title><style>{STYLE}</style></head>\n"
                f"<body>\n{body}\n</body></html>\n")
        with open(os.path.join(out_dir, name), "w", encoding="utf-8", newline="\r\n") as f:
            f.write(page)


class Targets(html.parser.HTMLParser):
    def __init__(self):
        super().__init__()
        self.ids, self.links, self.pictures = set(), [], []

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        if "id" in attrs:
            self.ids.add(attrs["id"])
        if tag == "a" and "name" in attrs:
            self.ids.add(attrs["name"])
        if tag == "a" and attrs.get("href"):
            self.links.append(attrs["href"])
        if tag == "img":
            self.pictures.append(attrs.get("src", ""))


def exit_code_problems():
    """The exit-code tables of the pages against the program's own table."""
    with open(os.path.join(ROOT, "src/app/exit_codes.h"), encoding="utf-8") as f:
        source = f.read()
    numbers = dict(re.findall(r"^\s+(\w+) = (\d+),", source, re.M))
    words = re.findall(r"\{ExitCode::(\w+), L\"([a-z-]+)\"", source)
    program = {(numbers[name], word) for name, word in words}
    problems = []
    for page in PAGES:
        with open(os.path.join(ROOT, page), encoding="utf-8") as f:
            table = set(re.findall(r"^\| (\d+) \| `([a-z-]+)` \|", f.read(), re.M))
        if table and table != program:
            problems.append(f"{page}: exit codes differ from the program's: "
                            f"missing {sorted(program - table)}, extra {sorted(table - program)}")
    return problems


def check(folder):
    parsed = {}
    for name in PAGES.values():
        targets = Targets()
        with open(os.path.join(folder, name), encoding="utf-8") as f:
            targets.feed(f.read())
        parsed[name] = targets
    problems, links = exit_code_problems(), 0
    for name, targets in parsed.items():
        for src in targets.pictures:
            if not src.startswith("data:image/png;base64,"):
                problems.append(f"{name}: picture not embedded: {src[:60]}")
        for href in targets.links:
            links += 1
            if re.match(r"^[a-z]+:", href):
                continue
            file_part, _, anchor = urllib.parse.unquote(href).partition("#")
            page = file_part or name
            if page not in parsed:
                problems.append(f"{name}: link to a file that does not ship: {href}")
            elif anchor and anchor not in parsed[page].ids:
                problems.append(f"{name}: no anchor '{anchor}' in {page}")
    for problem in problems:
        print(problem)
    print(f"{len(parsed)} pages, {links} links, "
          f"{sum(len(t.pictures) for t in parsed.values())} pictures; {len(problems)} broken")
    return 1 if problems else 0


if __name__ == "__main__":
    if len(sys.argv) == 3 and sys.argv[1] == "--check":
        sys.exit(check(sys.argv[2]))
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    build(sys.argv[1])
