// Btn_OutputClick: writes the line table and the invoice fields as an XML invoice file.
// Not built yet: the button does nothing.
#include "app/MainForm.h"

namespace tessaly {

void TmainForm::Btn_OutputClick() { LastExportWritten = false; }

} // namespace tessaly
