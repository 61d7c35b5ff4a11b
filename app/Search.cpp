#include "qnVelTorForm.h"
void TVelTorForm::KensakuLeftButtonClick() {}
void TVelTorForm::KensakuRightButtonClick() {}
void TVelTorForm::KensakuUpButtonClick() {}
void TVelTorForm::KensakuDownButtonClick() {}
void TVelTorForm::SearchButtonLeft(QPushButton *) {}
