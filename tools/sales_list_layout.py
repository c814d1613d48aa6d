"""The sales-list workbook as the import reads it: the headings in the first row of the first
sheet, one goods line per row below them, columns A to M.

The headings are the captions of the line table's columns 1 to 13. Columns H and I are
formatted as text, so that a 19-digit tax classification code stays text instead of turning
into a rounded number; D to G and M carry number formats. Formats sit on whole columns, not on
cells, so an untouched row below the headings holds no cell and is not part of the list.

write_xlsx needs python3-openpyxl, write_xls python3-xlwt (Debian packages).
"""

import datetime
import io
import zipfile

SHEET_NAME = "销货清单"

# heading, width in characters, number format of the column (None: General)
COLUMNS = [
    ("商品名称", 28, None),              # A goods name; an empty name ends the list
    ("规格型号", 16, None),              # B model
    ("计量单位", 10, None),              # C unit
    ("数量", 12, "0.00######"),          # D quantity
    ("单价(含税)", 14, "0.00######"),    # E unit price
    ("金额(含税)", 14, "0.00"),          # F amount
    ("税率", 8, "0.00#"),                # G tax rate as a fraction: 0.13
    ("税收分类编码", 22, "@"),           # H tax classification code, 19 digits
    ("企业自编码", 16, "@"),             # I company's own goods code
    ("是否使用优惠政策", 18, None),      # J
    ("零税率标识", 12, None),            # K
    ("优惠政策说明", 20, None),          # L
    ("差额税计算扣除额", 18, "0.00"),    # M
]
HEADINGS = [heading for heading, _, _ in COLUMNS]

# A fixed time for the document properties and the ZIP entries: the same rows give the same file.
FIXED_TIME = datetime.datetime(2017, 10, 31, 0, 0, 0)


def _column_letter(index):
    return chr(ord("A") + index)


def write_xlsx(path, rows=()):
    """Writes the headings and `rows` (lists of cell values, column A first) as an .xlsx file."""
    from openpyxl import Workbook
    from openpyxl.styles import Alignment, Font, PatternFill

    workbook = Workbook()
    workbook.properties.creator = "Tessaly"
    workbook.properties.created = FIXED_TIME
    workbook.properties.modified = FIXED_TIME
    sheet = workbook.active
    sheet.title = SHEET_NAME

    bold = Font(bold=True)
    centred = Alignment(horizontal="center", vertical="center")
    fill = PatternFill(fill_type="solid", start_color="FFDDEBF7", end_color="FFDDEBF7")
    for index, (heading, width, number_format) in enumerate(COLUMNS):
        letter = _column_letter(index)
        column = sheet.column_dimensions[letter]
        column.width = width
        if number_format:
            column.number_format = number_format
        cell = sheet.cell(row=1, column=index + 1, value=heading)
        cell.font = bold
        cell.alignment = centred
        cell.fill = fill
    for row_index, row in enumerate(rows, start=2):
        for index, value in enumerate(row):
            if value is None:
                continue
            cell = sheet.cell(row=row_index, column=index + 1, value=value)
            number_format = COLUMNS[index][2] if index < len(COLUMNS) else None
            if number_format:
                cell.number_format = number_format
    sheet.freeze_panes = "A2"

    buffer = io.BytesIO()
    workbook.save(buffer)
    _write_zip_with_fixed_times(buffer.getvalue(), path)


def _write_zip_with_fixed_times(package, path):
    stamp = FIXED_TIME.timetuple()[:6]
    with zipfile.ZipFile(io.BytesIO(package)) as source, \
            zipfile.ZipFile(path, "w", compression=zipfile.ZIP_DEFLATED) as target:
        for entry in source.infolist():
            info = zipfile.ZipInfo(entry.filename, date_time=stamp)
            info.compress_type = zipfile.ZIP_DEFLATED
            info.external_attr = 0o644 << 16
            target.writestr(info, source.read(entry.filename))


def write_xls(path, rows=()):
    """Writes the headings and `rows` as a BIFF8 .xls file (for Excel before 2007)."""
    import xlwt

    workbook = xlwt.Workbook(encoding="utf-8")
    sheet = workbook.add_sheet(SHEET_NAME)
    heading_style = xlwt.easyxf(
        "font: bold on; align: horiz center, vert center; "
        "pattern: pattern solid, fore_colour pale_blue")
    column_styles = []
    for index, (heading, width, number_format) in enumerate(COLUMNS):
        style = xlwt.XFStyle()
        style.num_format_str = number_format or "General"
        column_styles.append(style)
        column = sheet.col(index)
        column.width = 256 * width
        if number_format:
            column.set_style(style)
        sheet.write(0, index, heading, heading_style)
    for row_index, row in enumerate(rows, start=1):
        for index, value in enumerate(row):
            if value is None:
                continue
            style = column_styles[index] if index < len(column_styles) else xlwt.XFStyle()
            sheet.write(row_index, index, value, style)
    sheet.set_panes_frozen(True)
    sheet.set_horz_split_pos(1)
    sheet.set_horz_split_first_visible(1)
    sheet.set_remove_splits(True)
    workbook.save(path)
