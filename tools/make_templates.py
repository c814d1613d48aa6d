#!/usr/bin/python3
"""Writes the two sales-list templates that Btn_Dir copies for the user:
templates/开票清单模板.xlsx (Excel 2007 and later) and templates/开票清单模板.xls (older Excel).
Both hold only the heading row; the layout is in sales_list_layout.py.

    tools/make_templates.py            rewrite the committed templates
    tools/make_templates.py --check    fail when the committed templates differ from a fresh run

The check compares the parts of an .xlsx package unpacked, so that it does not depend on the
bytes zlib's deflate happens to produce.
"""

import os
import sys
import tempfile
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import sales_list_layout  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
TEMPLATES = {
    "开票清单模板.xlsx": sales_list_layout.write_xlsx,
    "开票清单模板.xls": sales_list_layout.write_xls,
}


def _content(path):
    if zipfile.is_zipfile(path):
        with zipfile.ZipFile(path) as package:
            return [(entry.filename, package.read(entry)) for entry in package.infolist()]
    with open(path, "rb") as file:
        return file.read()


def main():
    check = sys.argv[1:] == ["--check"]
    if sys.argv[1:] and not check:
        sys.exit(__doc__)
    folder = os.path.join(ROOT, "templates")
    with tempfile.TemporaryDirectory() as scratch:
        stale = []
        for name, write in TEMPLATES.items():
            target = os.path.join(scratch if check else folder, name)
            write(target)
            if check:
                committed = os.path.join(folder, name)
                if not os.path.exists(committed) or _content(target) != _content(committed):
                    stale.append(name)
            else:
                print(os.path.relpath(target, ROOT))
        if stale:
            sys.exit("out of date, run tools/make_templates.py: " + ", ".join(stale))


if __name__ == "__main__":
    main()
