#!/usr/bin/python3
"""Writes examples/销货清单示例.xlsx: a sales list filled in on the layout of the templates
(sales_list_layout.py), as the import reads it.

Amounts (F) include tax and are numbers, rates (G) are fractions, tax classification codes (H)
are 19-digit text. The file is reproducible: fixed document dates and fixed ZIP entry times.

Usage: tools/make_example_sales_list.py [OUT.xlsx]   (needs python3-openpyxl)
"""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import sales_list_layout  # noqa: E402

# name, model, unit, quantity, unit price (with tax), rate, classification code, own code
LINES = [
    ("办公椅", "HY-802 黑色", "把", 12, 356.00, 0.13, "1050201010000000000", "BG-0012"),
    ("A4复印纸", "70g 500张/包", "包", 40, 23.50, 0.13, "1070101020000000000", "BG-0031"),
    ("激光打印机", "LBP2900+", "台", 2, 1299.00, 0.13, "1090511030000000000", "SB-0007"),
    ("硒鼓", "CRG-303", "个", 6, 428.00, 0.13, "1090511990000000000", "SB-0019"),
    ("文件柜", "五节 1.8m", "组", 3, 1150.00, 0.13, "1050201990000000000", "BG-0044"),
    ("中性笔", "0.5mm 黑", "盒", 25, 18.80, 0.13, "1060503010000000000", "BG-0102"),
    ("技术服务费", "", "次", 1, 800.00, 0.06, "3040201000000000000", ""),
]


def rows():
    for name, model, unit, quantity, price, rate, code, own in LINES:
        amount = round(quantity * price, 2)
        yield [name, model or None, unit, quantity, price, amount, rate, code, own or None, "否"]


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    path = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "examples", "销货清单示例.xlsx")
    sales_list_layout.write_xlsx(path, list(rows()))
    print(path)


if __name__ == "__main__":
    main()
