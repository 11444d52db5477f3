// Dropdown menus on the flat tool button: which presses open them, where
// they open, what happens to the press that closes them.

#define QTEST_QPA_MOUSE_HANDLING

#include "base/Failure.h"
#include "components/FlatCtls.h"
#include "components/FlatDropdown.h"
#include "tests/Harness.h"

#include <QDialog>
#include <QTest>

namespace {

// Runs `whileOpen` once the menu is showing, then closes it (unless it did).
void WhenMenuOpens(QMenu* menu, std::function<void()> whileOpen)
{
    auto* poll = new QTimer(menu);
    QObject::connect(poll, &QTimer::timeout, menu, [menu, poll, whileOpen] {
        if (QApplication::activePopupWidget() != menu)
            return;
        poll->deleteLater();
        whileOpen();
        if (menu->isVisible())
            menu->close();
    });
    poll->start(10);
}

} // namespace

class TestDropdown : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void dropdownAlwaysWithoutMenu();
    void onDropdownDecides();
    void plainDropdownClicksThenOpens();
    void splitButton();
    void closingPressOnTheSameButton();
    void closingPressOnAnotherButton();
    void quickClickOnAnotherButton();
    void noMenuStillSweeps();
    void destroyedMenuEndsTheDropdown();
    void menuSettingsComeBack();
    void dockedPlacements();
    void quitWhileOpenSurvives();

private:
    std::unique_ptr<QDialog> FWindow;
    TFlatButton* FButton = nullptr;
    TFlatButton* FOther = nullptr;
    TPopupMenu* FMenu = nullptr;
    QStringList FLog;
};

void TestDropdown::init()
{
    FLog.clear();
    FWindow = std::make_unique<QDialog>();
    FWindow->resize(300, 200);
    FButton = new TFlatButton(FWindow.get());
    FButton->move(20, 20);
    FOther = new TFlatButton(FWindow.get());
    FOther->move(200, 150);
    FMenu = new TPopupMenu(FWindow.get());
    FMenu->addAction(QStringLiteral("First"));
    FMenu->addAction(QStringLiteral("Second"));
    FButton->OnClick = [this](TFlatButton&) { FLog << QStringLiteral("click"); };
    FOther->OnClick = [this](TFlatButton&) { FLog << QStringLiteral("other click"); };
    connect(FMenu, &QMenu::aboutToShow, this, [this] { FLog << QStringLiteral("menu"); });
    FWindow->show();
    QVERIFY(QTest::qWaitForWindowActive(FWindow.get()));
}

void TestDropdown::cleanup()
{
    FWindow.reset();
}

void TestDropdown::dropdownAlwaysWithoutMenu()
{
    FButton->SetDropdownAlways(true);
    bool shown = true;
    FButton->OnDropdown = [&](TFlatButton&, bool& showMenu, bool&) { shown = showMenu; FLog << QStringLiteral("dropdown"); };
    QTest::mouseClick(FButton, Qt::LeftButton, {}, QPoint(5, 5));
    QVERIFY(!shown);
    QCOMPARE(FLog, (QStringList{QStringLiteral("click"), QStringLiteral("dropdown")}));
    QVERIFY(FButton->State() != tsPressed);
}

void TestDropdown::onDropdownDecides()
{
    FButton->SetDropdownMenu(FMenu);
    FButton->OnDropdown = [](TFlatButton&, bool& showMenu, bool&) { showMenu = false; };
    QTest::mousePress(FButton, Qt::LeftButton, {}, QPoint(5, 5));
    QVERIFY(!FLog.contains(QStringLiteral("menu")));
    QTest::mouseRelease(FButton, Qt::LeftButton, {}, QPoint(5, 5));

    // Keeping the clicks: the press that closes the menu opens it again.
    int shows = 0;
    FButton->OnDropdown = [&](TFlatButton&, bool&, bool& removeClicks) {
        removeClicks = false;
        if (++shows == 1)
            WhenMenuOpens(FMenu, [this] { QTest::mousePress(FButton, Qt::LeftButton, {}, QPoint(5, 5)); });
        else
            WhenMenuOpens(FMenu, [] {}); // and the second time just close it
    };
    QTest::mousePress(FButton, Qt::LeftButton, {}, QPoint(5, 5));
    QTRY_COMPARE(shows, 2);
    QTRY_VERIFY(!QApplication::activePopupWidget());
    QTest::mouseRelease(FButton, Qt::LeftButton, {}, QPoint(5, 5));
}

void TestDropdown::plainDropdownClicksThenOpens()
{
    FButton->SetDropdownMenu(FMenu);
    FButton->SetModalResult(7);
    FWindow->setResult(5);
    QPoint menuAt;
    WhenMenuOpens(FMenu, [&] { menuAt = FMenu->pos(); FLog << QStringLiteral("open"); });
    QTest::mousePress(FButton, Qt::LeftButton, {}, QPoint(5, 5));
    QCOMPARE(FLog, (QStringList{QStringLiteral("click"), QStringLiteral("menu"), QStringLiteral("open")}));
    QCOMPARE(menuAt, FButton->mapToGlobal(QPoint(0, FButton->height())));
    QCOMPARE(FWindow->result(), 5); // ModalResult is for plain clicks only
    QTest::mouseRelease(FButton, Qt::LeftButton, {}, QPoint(5, 5));
    QCOMPARE(FLog.count(QStringLiteral("click")), 1);
}

void TestDropdown::splitButton()
{
    FButton->SetDropdownMenu(FMenu);
    FButton->SetDropdownCombo(true);
    FButton->SetModalResult(7);
    QCOMPARE(FButton->width(), 34);

    QTest::mouseClick(FButton, Qt::LeftButton, {}, QPoint(5, 5)); // main part
    QCOMPARE(FLog, QStringList{QStringLiteral("click")});
    QCOMPARE(FWindow->result(), 7);

    FLog.clear();
    bool menuPartOnly = false;
    WhenMenuOpens(FMenu, [&] {
        // Only the menu part looks pressed: the content is not shifted.
        menuPartOnly = FButton->State() == tsPressed;
    });
    QTest::mousePress(FButton, Qt::LeftButton, {}, QPoint(28, 5)); // the 11-pixel menu part
    QTest::mouseRelease(FButton, Qt::LeftButton, {}, QPoint(28, 5));
    QCOMPARE(FLog, QStringList{QStringLiteral("menu")});
    QVERIFY(menuPartOnly);

    // From the keyboard a split button clicks plainly.
    FLog.clear();
    FButton->SetDefault(true);
    QTest::keyClick(FWindow.get(), Qt::Key_Return);
    QCOMPARE(FLog, QStringList{QStringLiteral("click")});
}

void TestDropdown::closingPressOnTheSameButton()
{
    FButton->SetDropdownMenu(FMenu);
    FButton->SetDropdownCombo(true);
    WhenMenuOpens(FMenu, [this] { QTest::mousePress(FButton, Qt::LeftButton, {}, QPoint(28, 5)); });
    QTest::mousePress(FButton, Qt::LeftButton, {}, QPoint(28, 5));
    QTest::mouseRelease(FButton, Qt::LeftButton, {}, QPoint(28, 5));
    QTest::qWait(100);
    QCOMPARE(FLog.count(QStringLiteral("menu")), 1);
    QVERIFY(!QApplication::activePopupWidget());
}

void TestDropdown::closingPressOnAnotherButton()
{
    FButton->SetDropdownMenu(FMenu);
    QStringList otherEvents;
    FOther->OnMouseDown = [&](TFlatButton&, Qt::MouseButton, QPoint) { otherEvents << QStringLiteral("down"); };
    FOther->OnMouseUp = [&](TFlatButton&, Qt::MouseButton, QPoint) { otherEvents << QStringLiteral("up"); };
    WhenMenuOpens(FMenu, [this] { QTest::mousePress(FOther, Qt::LeftButton, {}, QPoint(5, 5)); });
    FButton->Click(); // returns when the press on the other button closed the menu
    QTRY_COMPARE(otherEvents, QStringList{QStringLiteral("down")});
    QTest::mouseRelease(FOther, Qt::LeftButton, {}, QPoint(5, 5));
    QCOMPARE(otherEvents, (QStringList{QStringLiteral("down"), QStringLiteral("up")}));
    QVERIFY(FLog.contains(QStringLiteral("other click")));
}

void TestDropdown::quickClickOnAnotherButton()
{
    // Press and release both arrive while the menu is open: the other button
    // gets both afterwards, in order, and does not stay pressed.
    FButton->SetDropdownMenu(FMenu);
    QStringList otherEvents;
    FOther->OnMouseDown = [&](TFlatButton&, Qt::MouseButton, QPoint) { otherEvents << QStringLiteral("down"); };
    FOther->OnMouseUp = [&](TFlatButton&, Qt::MouseButton, QPoint) { otherEvents << QStringLiteral("up"); };
    WhenMenuOpens(FMenu, [this] { QTest::mouseClick(FOther, Qt::LeftButton, {}, QPoint(5, 5)); });
    FButton->Click();
    QTRY_COMPARE(otherEvents, (QStringList{QStringLiteral("down"), QStringLiteral("up")}));
    QVERIFY(FLog.contains(QStringLiteral("other click")));
    QVERIFY(FOther->State() != tsPressed);
    QVERIFY(QWidget::mouseGrabber() != FOther);
}

void TestDropdown::noMenuStillSweeps()
{
    // A press on the button that is pending when a dropdown without a menu
    // ends does not run the dropdown again.
    int dropdowns = 0;
    FButton->SetDropdownAlways(true);
    FButton->OnDropdown = [&](TFlatButton&, bool& ShowMenu, bool&) {
        ShowMenu = false;
        ++dropdowns;
        const QPoint at = FButton->mapTo(FWindow.get(), QPoint(5, 5));
        for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
            QCoreApplication::postEvent(FWindow->windowHandle(),
                                        new QMouseEvent(type, at, at, FWindow->mapToGlobal(at), Qt::LeftButton,
                                                        type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                                                        Qt::NoModifier));
    };
    FButton->Click();
    QTest::qWait(50);
    QCOMPARE(dropdowns, 1);
    QVERIFY(FButton->State() != tsPressed);
}

void TestDropdown::destroyedMenuEndsTheDropdown()
{
    FButton->SetDropdownMenu(FMenu);
    FButton->SetModalResult(7);
    FWindow->setResult(0);
    bool dropdown = false;
    FButton->OnDropdown = [&](TFlatButton&, bool&, bool&) { dropdown = true; };
    delete FMenu;
    FMenu = nullptr;
    QCOMPARE(FButton->DropdownMenu(), nullptr);
    QTest::mouseClick(FButton, Qt::LeftButton, {}, QPoint(5, 5));
    QVERIFY(FLog.contains(QStringLiteral("click")));
    QVERIFY(!dropdown);
    QCOMPARE(FWindow->result(), 7);
}

void TestDropdown::menuSettingsComeBack()
{
    FButton->SetDropdownMenu(FMenu);
    FMenu->Alignment = TPopupMenu::paCenter;
    FMenu->TrackButton = TPopupMenu::tbRightButton;
    TPopupMenu::TTrackButton during = TPopupMenu::tbRightButton;
    WhenMenuOpens(FMenu, [&] { during = FMenu->TrackButton; });
    FButton->Click();
    QCOMPARE(during, TPopupMenu::tbLeftButton);
    QCOMPARE(FMenu->Alignment, TPopupMenu::paCenter);
    QCOMPARE(FMenu->TrackButton, TPopupMenu::tbRightButton);
    QCOMPARE(FMenu->PopupComponent.data(), FButton);

    // A failure while the menu is being shown: settings back, click ended.
    FMenu->OnPopup = [](TPopupMenu&) { throw TFailure(QStringLiteral("no menu today")); };
    QCOMPARE(FailureOf([&] { FButton->Click(); }), QStringLiteral("no menu today"));
    QCOMPARE(FMenu->Alignment, TPopupMenu::paCenter);
    QCOMPARE(FMenu->TrackButton, TPopupMenu::tbRightButton);
    QCOMPARE(FButton->State(), tsUp);
}

void TestDropdown::dockedPlacements()
{
    FButton->SetDropdownMenu(FMenu);
    QRect opened;
    FWindow->setProperty("DockPosition", QStringLiteral("dpLeft"));
    WhenMenuOpens(FMenu, [&] { opened = FMenu->geometry(); });
    FButton->Click();
    QCOMPARE(opened.topLeft(), FButton->mapToGlobal(QPoint(FButton->width(), 0)));

    FWindow->setProperty("DockPosition", QStringLiteral("dpRight"));
    WhenMenuOpens(FMenu, [&] { opened = FMenu->geometry(); });
    FButton->Click();
    QCOMPARE(opened.right() + 1, FButton->mapToGlobal(QPoint(0, 0)).x());
    QCOMPARE(opened.top(), FButton->mapToGlobal(QPoint(0, 0)).y());
    QCOMPARE(FMenu->Alignment, TPopupMenu::paLeft);
}

void TestDropdown::quitWhileOpenSurvives()
{
    FButton->SetDropdownMenu(FMenu);
    bool timedOut = false;
    WhenMenuOpens(FMenu, [] { QCoreApplication::quit(); });
    QTimer::singleShot(0, FButton, [this] { FButton->Click(); });
    QTimer::singleShot(5000, qApp, [&] { timedOut = true; QCoreApplication::exit(1); });
    QCOMPARE(QCoreApplication::exec(), 0);
    QVERIFY(!timedOut);
}

QTEST_MAIN(TestDropdown)

#include "tst_dropdown.moc"
