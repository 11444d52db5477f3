// Shows one about window on its own, for looking at it under a virtual X
// server before the main window has its about button.

#include "about/AboutUnit.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    auto* about = new TAboutForm;
    about->show();
    QObject::connect(about, &QObject::destroyed, &application, &QCoreApplication::quit);
    return application.exec();
}
