// The start-up probe of the installed invoicing software, which may set Edit_SPBMBBH from its
// configuration. Not built yet: the product-code version keeps its start value.
#include "app/MainForm.h"

namespace tessaly {

void TmainForm::ProbeInvoicingSoftware() {}

} // namespace tessaly
