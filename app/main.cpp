#include "app/KestrunApp.h"
#include "app/Unit1.h"

int main(int argc, char** argv)
{
    TApplication application(argc, argv);
    TForm1 Form1;
    Form1.show();
    const int result = application.exec();
    TApplication::DestroyOtherWindows(&Form1);
    return result;
}
