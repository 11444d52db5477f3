// Start-up to the main window's first paint. Starts as the program does
// (the application object, the main window from its layout, shown) and ends
// as soon as the window has painted once; with --minimal, the same for a
// bare QApplication showing an empty QWidget, the floor any Qt program pays.
// bench/run-bench times whole runs of both, from process start to exit.

#include "app/KestrunApp.h"
#include "app/Unit1.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>

#include <cstring>
#include <memory>

namespace {

// Quits the application once the watched window has painted.
class TFirstPaint final : public QObject
{
protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
        return false;
    }
};

} // namespace

int main(int argc, char** argv)
{
    const bool minimal = argc > 1 && std::strcmp(argv[1], "--minimal") == 0;
    TFirstPaint firstPaint;
    if (minimal) {
        QApplication application(argc, argv);
        QWidget window;
        window.resize(385, 377);
        window.installEventFilter(&firstPaint);
        window.show();
        return application.exec();
    }
    TApplication application(argc, argv);
    TForm1 Form1;
    Form1.installEventFilter(&firstPaint);
    Form1.show();
    return application.exec();
}
