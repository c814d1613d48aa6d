// The template copy (Btn_Dir) and the help (btn_help). Not built yet: both buttons do nothing.
#include "app/MainForm.h"

namespace tessaly {

void TmainForm::Btn_DirClick() {}

void TmainForm::btn_helpClick() {}

} // namespace tessaly
