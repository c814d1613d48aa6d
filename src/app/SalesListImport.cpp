// Btn_importClick: reads the first sheet of a sales-list workbook into the line table.
// Not built yet: the button does nothing.
#include "app/MainForm.h"

namespace tessaly {

void TmainForm::Btn_importClick() {}

} // namespace tessaly
