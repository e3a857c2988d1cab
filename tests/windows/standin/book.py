"""Workbooks for the stand-in spreadsheet application's cases (openpyxl).

  book.py make OUT.xlsx CELL=TEXT ...   a workbook whose active sheet "Data"
                                        holds the texts (numbers as numbers);
                                        note:CELL=TEXT gives the cell a note
  book.py dump FILE.xlsx                every cell with a value or a note, one a
                                        line: CELL<TAB>TYPE:VALUE<TAB>NOTE
  book.py mark IN OUT                   a copy of the package IN whose worksheets
                                        end in a value and a detail placeholder
  book.py same A B                      exit 0 when the packages A and B hold the
                                        same parts in the same order, byte for byte
"""
import re
import sys
import zipfile

import openpyxl
import openpyxl.comments


def make(out, cells):
    wb = openpyxl.Workbook()
    ws = wb.active
    ws.title = "Data"
    for spec in cells:
        cell, value = spec.split("=", 1)
        if cell.startswith("note:"):
            ws[cell[5:]].comment = openpyxl.comments.Comment(value, "test")
            continue
        try:
            ws[cell] = float(value) if value.strip() else value
        except ValueError:
            ws[cell] = value
    wb.save(out)


def dump(path):
    ws = openpyxl.load_workbook(path).active
    for row in ws.iter_rows():
        for c in row:
            if c.value is None and c.comment is None:
                continue
            note = c.comment.text if c.comment else "-"
            print(f"{c.coordinate}\t{type(c.value).__name__}:{c.value}\t{note}")


def mark(src, out):
    """Rows after a worksheet's last: !!price,A01; and &&orders,A01 as inline strings."""
    with zipfile.ZipFile(src) as zin, zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as zout:
        for info in zin.infolist():
            data = zin.read(info.filename)
            if re.fullmatch(r"xl/worksheets/[^/]+\.xml", info.filename):
                text = data.decode("utf-8")
                m = re.search(r"<(\w+:)?sheetData\s*/>|</(\w+:)?sheetData>", text)
                if m:
                    p = m.group(1) or m.group(2) or ""
                    rows = "".join(
                        f'<{p}row r="{r}"><{p}c r="B{r}" t="inlineStr"><{p}is><{p}t>{t}</{p}t>'
                        f"</{p}is></{p}c></{p}row>"
                        for r, t in ((1048500, "!!price,A01;"), (1048502, "&amp;&amp;orders,A01")))
                    closing = m.group(0) if m.group(0).startswith("</") else f"</{p}sheetData>"
                    opening = "" if m.group(0).startswith("</") else f"<{p}sheetData>"
                    text = text[: m.start()] + opening + rows + closing + text[m.end():]
                    data = text.encode("utf-8")
            zout.writestr(info, data)


def same(a, b):
    with zipfile.ZipFile(a) as za, zipfile.ZipFile(b) as zb:
        na, nb = za.namelist(), zb.namelist()
        if na != nb:
            sys.exit(f"{a} and {b} list other parts: {na} / {nb}")
        for name in na:
            if za.read(name) != zb.read(name):
                sys.exit(f"{name} differs between {a} and {b}")


if __name__ == "__main__":
    {"make": lambda: make(sys.argv[2], sys.argv[3:]), "dump": lambda: dump(sys.argv[2]),
     "mark": lambda: mark(sys.argv[2], sys.argv[3]),
     "same": lambda: same(sys.argv[2], sys.argv[3])}[sys.argv[1]]()
