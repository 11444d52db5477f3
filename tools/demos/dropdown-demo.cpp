// A window with a plain dropdown button and a split one, for looking at the
// menus under a virtual X server. The window sits at 100, 100.

#include "components/FlatCtls.h"
#include "components/FlatDropdown.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Dropdown demo"));
    window.resize(240, 160);
    window.move(100, 100);

    auto* menu = new TPopupMenu(&window);
    for (const char* item : {"Open...", "Open recent", "Reload"})
        menu->addAction(QString::fromLatin1(item));
    auto* plain = new TFlatButton(&window);
    plain->setGeometry(20, 20, 60, 24);
    plain->SetCaption(QStringLiteral("&File"));
    plain->SetDropdownMenu(menu);

    auto* splitMenu = new TPopupMenu(&window);
    for (const char* item : {"Save as...", "Save all"})
        splitMenu->addAction(QString::fromLatin1(item));
    auto* split = new TFlatButton(&window);
    split->setGeometry(120, 20, 60, 24);
    split->SetCaption(QStringLiteral("&Save"));
    split->SetDropdownMenu(splitMenu);
    split->SetDropdownCombo(true);
    split->SetFlat(false);

    window.show();
    return application.exec();
}
