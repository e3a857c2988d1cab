"""Workbooks for the stand-in spreadsheet application's cases (openpyxl).

  book.py make OUT.xlsx CELL=TEXT ...   a workbook whose active sheet "Data"
                                        holds the texts (numbers as numbers);
                                        note:CELL=TEXT gives the cell a note
  book.py dump FILE.xlsx                every cell with a value or a note, one a
                                        line: CELL<TAB>TYPE:VALUE<TAB>NOTE
"""
import sys

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


if __name__ == "__main__":
    if sys.argv[1] == "make":
        make(sys.argv[2], sys.argv[3:])
    else:
        dump(sys.argv[2])
