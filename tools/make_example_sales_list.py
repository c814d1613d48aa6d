#!/usr/bin/python3
"""Writes examples/销货清单示例.xlsx: a sales list laid out as the import reads it.

First sheet, headings in row 1, one goods line per row, columns A to M; amounts (F) include tax
and are numbers, rates (G) are fractions, tax classification codes (H) are 19-digit text.
The file is reproducible: fixed document dates and fixed ZIP entry times.

Usage: tools/make_example_sales_list.py [OUT.xlsx]   (needs python3-openpyxl)
"""
import datetime
import io
import os
import sys
import zipfile

from openpyxl import Workbook
from openpyxl.styles import Alignment, Font, PatternFill

HEADINGS = ["商品名称", "规格型号", "计量单位", "数量", "单价", "金额", "税率", "税收分类编码",
            "企业自编码", "是否使用优惠政策", "零税率标识", "优惠政策说明", "差额税计算扣除额"]

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

FIXED_TIME = datetime.datetime(2024, 3, 1, 9, 30, 0)


def build():
    wb = Workbook()
    ws = wb.active
    ws.title = "销货清单"
    ws.append(HEADINGS)
    for cell in ws[1]:
        cell.font = Font(bold=True)
        cell.alignment = Alignment(horizontal="center")
        cell.fill = PatternFill("solid", fgColor="DDEBF7")
    for name, model, unit, quantity, price, rate, code, own in LINES:
        amount = round(quantity * price, 2)
        ws.append([name, model or None, unit, quantity, price, amount, rate, code, own or None, "否",
                   None, None, None])
    for row in ws.iter_rows(min_row=2):
        row[4].number_format = "0.00"
        row[5].number_format = "#,##0.00"
        row[6].number_format = "0%"
        row[7].number_format = "@"
        row[7].alignment = Alignment(horizontal="center")
    widths = [14, 14, 9, 7, 10, 12, 7, 22, 11, 16, 11, 14, 16]
    for index, width in enumerate(widths):
        ws.column_dimensions[chr(ord("A") + index)].width = width
    ws.freeze_panes = "A2"
    wb.properties.creator = "Tessaly"
    wb.properties.created = FIXED_TIME
    wb.properties.modified = FIXED_TIME
    buffer = io.BytesIO()
    wb.save(buffer)
    return buffer.getvalue()


def with_fixed_times(data):
    """The same ZIP package with every entry dated FIXED_TIME."""
    source = zipfile.ZipFile(io.BytesIO(data))
    out = io.BytesIO()
    with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as target:
        for info in source.infolist():
            fixed = zipfile.ZipInfo(info.filename, FIXED_TIME.timetuple()[:6])
            fixed.compress_type = zipfile.ZIP_DEFLATED
            fixed.external_attr = info.external_attr
            target.writestr(fixed, source.read(info.filename))
    return out.getvalue()


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    path = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "examples", "销货清单示例.xlsx")
    with open(path, "wb") as f:
        f.write(with_fixed_times(build()))
    print(path)


if __name__ == "__main__":
    main()
