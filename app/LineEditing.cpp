#include "qnVelTorForm.h"
void TVelTorForm::EditInsertLineExecute() {}
void TVelTorForm::EditDeleteLineExecute() {}
void TVelTorForm::EditCutLineExecute() {}
void TVelTorForm::EditCopyLineExecute() {}
void TVelTorForm::EditPasteLineExecute() {}
void TVelTorForm::EditInsertLineUpdate() {}
void TVelTorForm::EditDeleteLineUpdate() {}
void TVelTorForm::EditCutLineUpdate() {}
void TVelTorForm::EditCopyLineUpdate() {}
void TVelTorForm::EditPasteLineUpdate() {}
void TVelTorForm::UpdateLineActions() {}
void TVelTorForm::UpdateTextActions() {}
