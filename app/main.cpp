#include "Tonecraft.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    CTonecraftApp theApp;
    if (!theApp.InitInstance(QApplication::arguments()))
        return 0;
    return QApplication::exec();
}
