#include "qnVelTorForm.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    TVelTorForm VelTorForm;
    VelTorForm.show();
    return application.exec();
}
