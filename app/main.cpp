#include "app/KestrunApp.h"
#include "app/Unit1.h"

int main(int argc, char** argv)
{
    TApplication application(argc, argv);
    TForm1 Form1;
    Form1.show();
    return application.exec();
}
