// The flat tool button driven as a user drives it, the application hook
// registry under it, and the main window's about button.

#define QTEST_QPA_MOUSE_HANDLING // mouse events travel through the window, as real ones do

#include "about/AboutUnit.h"
#include "app/Unit1.h"
#include "components/AppHooks.h"
#include "components/AppHooksProbe.h"
#include "components/FlatCtls.h"
#include "components/FlatDropdown.h"
#include "components/PointerPlace.h"
#include "tests/app/AppTestMain.h"

#include <QLineEdit>
#include <QTest>

namespace {

// Moves the pointer as the system would: the cursor and a move event.
void MoveTo(QWidget* widget, QPoint at)
{
    QCursor::setPos(widget->mapToGlobal(at));
    QTest::mouseMove(widget, at);
}

struct TLog {
    QStringList Events;
    void Watch(TFlatButton& button, const QString& name)
    {
        button.OnMouseEnter = [this, name](TFlatButton&) { Events << name + QStringLiteral(" enter"); };
        button.OnMouseExit = [this, name](TFlatButton&) { Events << name + QStringLiteral(" exit"); };
        button.OnMouseDown = [this, name](TFlatButton&, Qt::MouseButton, QPoint) { Events << name + QStringLiteral(" down"); };
        button.OnMouseUp = [this, name](TFlatButton&, Qt::MouseButton, QPoint) { Events << name + QStringLiteral(" up"); };
        button.OnClick = [this, name](TFlatButton&) { Events << name + QStringLiteral(" click"); };
        button.OnDblClick = [this, name](TFlatButton&) { Events << name + QStringLiteral(" dblclick"); };
    }
    int Count(const QString& event) const { return int(Events.count(event)); }
};

QStringList Listened;
void FirstListener(TAppHookKind kind, QObject*, qintptr, qintptr)
{
    Listened << QStringLiteral("first %1").arg(kind);
    throw std::runtime_error("a failing listener");
}
void SecondListener(TAppHookKind kind, QObject*, qintptr, qintptr)
{
    Listened << QStringLiteral("second %1").arg(kind);
}

} // namespace

class TestFlatButton : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void oneClick();
    void dragOffAndBack();
    void rightButtonAndDisabling();
    void groups();
    void propertyCorrections();
    void keys();
    void actionLink();
    void doubleClicks();
    void autoRepeat();
    void hotMovesAndDeactivation();
    void pointerPlaceFromWindows();
    void sharedObjectsFollowTheButtons();
    void registry();
    void aboutButtonPixels();
    void aboutButtonOpensWindows();

private:
    std::unique_ptr<QWidget> FWindow;
    TFlatButton* FFirst = nullptr;
    TFlatButton* FSecond = nullptr;
};

void TestFlatButton::init()
{
    FWindow = std::make_unique<QWidget>();
    FWindow->resize(200, 100);
    FFirst = new TFlatButton(FWindow.get());
    FFirst->move(10, 10);
    FSecond = new TFlatButton(FWindow.get());
    FSecond->move(33, 10); // right next to the first
    FWindow->show();
    QVERIFY(QTest::qWaitForWindowActive(FWindow.get()));
    MoveTo(FWindow.get(), QPoint(150, 80));
}

void TestFlatButton::cleanup()
{
    FWindow.reset();
}

void TestFlatButton::oneClick()
{
    TLog log;
    log.Watch(*FFirst, QStringLiteral("A"));
    MoveTo(FFirst, QPoint(5, 5));
    QCOMPARE(FFirst->State(), tsHot);
    QTest::mousePress(FFirst, Qt::LeftButton, {}, QPoint(5, 5));
    QCOMPARE(FFirst->State(), tsPressed);
    QTest::mouseRelease(FFirst, Qt::LeftButton, {}, QPoint(5, 5));
    QCOMPARE(log.Events, (QStringList{QStringLiteral("A enter"), QStringLiteral("A down"), QStringLiteral("A up"),
                                      QStringLiteral("A exit"), QStringLiteral("A click"), QStringLiteral("A enter")}));
    QCOMPARE(FFirst->State(), tsHot);
    // The recheck after the click makes it the tracked hot button, so the
    // frame goes when the pointer jumps away without crossing it again.
    QCOMPARE(TFlatButton::HotButton(), FFirst);
    QCursor::setPos(FWindow->mapToGlobal(QPoint(150, 80)));
    QTRY_COMPARE(FFirst->State(), tsUp);
    QVERIFY(!TFlatButton::HotButton());
}

void TestFlatButton::dragOffAndBack()
{
    TLog log;
    log.Watch(*FFirst, QStringLiteral("A"));
    MoveTo(FFirst, QPoint(5, 5));
    QTest::mousePress(FFirst, Qt::LeftButton, {}, QPoint(5, 5));
    MoveTo(FFirst, QPoint(100, 60));
    QCOMPARE(FFirst->State(), tsUp);
    QTest::mouseRelease(FFirst, Qt::LeftButton, {}, QPoint(100, 60));
    QCOMPARE(log.Count(QStringLiteral("A down")), 1);
    QCOMPARE(log.Count(QStringLiteral("A up")), 1);
    QCOMPARE(log.Count(QStringLiteral("A click")), 0);

    MoveTo(FFirst, QPoint(5, 5));
    QTest::mousePress(FFirst, Qt::LeftButton, {}, QPoint(5, 5));
    MoveTo(FFirst, QPoint(100, 60));
    MoveTo(FFirst, QPoint(6, 6));
    QCOMPARE(FFirst->State(), tsPressed);
    QTest::mouseRelease(FFirst, Qt::LeftButton, {}, QPoint(6, 6));
    QCOMPARE(log.Count(QStringLiteral("A click")), 1);
}

void TestFlatButton::rightButtonAndDisabling()
{
    TLog log;
    log.Watch(*FFirst, QStringLiteral("A"));
    MoveTo(FFirst, QPoint(5, 5));
    QVERIFY(FFirst->MouseInside());
    QTest::mouseClick(FFirst, Qt::RightButton, {}, QPoint(5, 5));
    QVERIFY(!FFirst->MouseInside());
    QCOMPARE(FFirst->State(), tsUp);

    // Disabled while held: the press ends without a click.
    MoveTo(FFirst, QPoint(6, 6));
    QTest::mousePress(FFirst, Qt::LeftButton, {}, QPoint(6, 6));
    FFirst->setEnabled(false);
    QCOMPARE(FFirst->State(), tsDisabled);
    QTest::mouseRelease(FFirst, Qt::LeftButton, {}, QPoint(6, 6));
    QCOMPARE(log.Count(QStringLiteral("A click")), 0);
    FFirst->setEnabled(true);
    QCOMPARE(FFirst->State(), tsUp);
}

void TestFlatButton::groups()
{
    TLog log;
    log.Watch(*FFirst, QStringLiteral("A"));
    log.Watch(*FSecond, QStringLiteral("B"));
    FFirst->SetDown(true);
    QVERIFY(!FFirst->Down()); // no group: never down

    FFirst->SetGroupIndex(1);
    FSecond->SetGroupIndex(1);
    FFirst->Click();
    QVERIFY(FFirst->Down());
    QCOMPARE(FFirst->State(), tsLatched);
    FSecond->Click();
    QVERIFY(FSecond->Down());
    QVERIFY(!FFirst->Down());
    QCOMPARE(FFirst->State(), tsUp);
    FSecond->Click(); // a latched radio button stays down, yet clicks
    QVERIFY(FSecond->Down());
    QCOMPARE(log.Count(QStringLiteral("B click")), 2);
    FSecond->SetDown(false);
    QVERIFY(FSecond->Down());

    // AllowAllUp goes to the whole group; then a click releases.
    FFirst->SetAllowAllUp(true);
    QVERIFY(FSecond->AllowAllUp());
    FSecond->Click();
    QVERIFY(!FSecond->Down());
    FSecond->Click();
    QVERIFY(FSecond->Down());
}

void TestFlatButton::propertyCorrections()
{
    FFirst->SetMargin(-2);
    QCOMPARE(FFirst->Margin(), -1);
    FFirst->SetMargin(3);
    QCOMPARE(FFirst->Margin(), 3);
    FFirst->SetNumGlyphs(0);
    QCOMPARE(FFirst->NumGlyphs(), 1);
    FFirst->SetNumGlyphs(9);
    QCOMPARE(FFirst->NumGlyphs(), 5);
    QCOMPARE(FFirst->width(), 23);
    FFirst->SetDropdownCombo(true);
    QCOMPARE(FFirst->width(), 34);
    FFirst->SetDropdownCombo(false);
    QCOMPARE(FFirst->width(), 23);
    FFirst->resize(5, 22);
    FFirst->SetDropdownCombo(true);
    FFirst->resize(5, 22);
    FFirst->SetDropdownCombo(false);
    QCOMPARE(FFirst->width(), 1);
}

void TestFlatButton::keys()
{
    TLog log;
    log.Watch(*FFirst, QStringLiteral("A"));
    FFirst->SetDefault(true);
    QTest::keyClick(FWindow.get(), Qt::Key_Return);
    QCOMPARE(log.Count(QStringLiteral("A click")), 1);
    QTest::keyClick(FWindow.get(), Qt::Key_Return, Qt::ShiftModifier);
    QCOMPARE(log.Count(QStringLiteral("A click")), 1);
    QTest::keyClick(FWindow.get(), Qt::Key_Escape);
    QCOMPARE(log.Count(QStringLiteral("A click")), 1);
    FFirst->SetCancel(true);
    QTest::keyClick(FWindow.get(), Qt::Key_Escape);
    QCOMPARE(log.Count(QStringLiteral("A click")), 2);

    FSecond->SetCaption(QStringLiteral("Save && &Go"));
    log.Watch(*FSecond, QStringLiteral("B"));
    QTest::keyClick(FWindow.get(), Qt::Key_G, Qt::AltModifier);
    QTest::keyClick(FWindow.get(), 'g');
    QCOMPARE(log.Count(QStringLiteral("B click")), 2);
    QTest::keyClick(FWindow.get(), 's'); // "&&" is a plain ampersand, no accelerator
    QCOMPARE(log.Count(QStringLiteral("B click")), 2);
    // Alt+letter reaches the buttons also while an edit has the focus,
    // which then does not type the letter; a plain letter is the edit's.
    auto* edit = new QLineEdit(FWindow.get());
    edit->move(0, 60);
    edit->show();
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_G, Qt::AltModifier);
    QCOMPARE(log.Count(QStringLiteral("B click")), 3);
    QCOMPARE(edit->text(), QString());
    QTest::keyClick(edit, 'g');
    QCOMPARE(log.Count(QStringLiteral("B click")), 3);
    QCOMPARE(edit->text(), QStringLiteral("g"));

    FSecond->SetDisplayMode(TFlatButton::dmGlyphOnly);
    QTest::keyClick(FWindow.get(), 'g');
    QTest::keyClick(edit, Qt::Key_G, Qt::AltModifier);
    QCOMPARE(log.Count(QStringLiteral("B click")), 3);
}

void TestFlatButton::actionLink()
{
    // Later changes of the action reach the button only while the button's
    // value still equals the action's.
    TFlatAction action;
    action.setCheckable(true);
    FFirst->SetGroupIndex(1);
    FFirst->SetAllowAllUp(true);
    FFirst->SetAction(&action);
    action.setChecked(true);
    QVERIFY(FFirst->Down());
    action.SetHelpContext(12);
    action.SetImageIndex(3);
    QCOMPARE(FFirst->HelpContext(), 12);
    QCOMPARE(FFirst->ImageIndex(), 3);

    FFirst->SetHelpContext(99);
    FFirst->SetImageIndex(5);
    action.SetHelpContext(13);
    action.SetImageIndex(4);
    QCOMPARE(FFirst->HelpContext(), 99);
    QCOMPARE(FFirst->ImageIndex(), 5);

    // Assigning the button to an action copies Down into its Checked.
    TFlatAction other;
    other.setCheckable(true);
    FFirst->SetDown(true);
    FFirst->AssignTo(&other);
    QVERIFY(other.isChecked());

    // Linked while a stored layout is read: only defaults are filled in...
    TFlatAction loaded;
    loaded.setCheckable(true);
    loaded.SetHelpContext(7);
    loaded.SetImageIndex(2);
    auto* button = new TFlatButton(FWindow.get());
    button->BeginLoad();
    button->SetGroupIndex(2);
    button->SetAllowAllUp(true);
    button->SetDown(true);
    button->SetHelpContext(40);
    button->SetAction(&loaded);
    button->Loaded();
    QVERIFY(button->Down());
    QCOMPARE(button->HelpContext(), 40);
    QCOMPARE(button->ImageIndex(), 2);
    // ...while at run time the action's values overwrite.
    button->SetAction(nullptr);
    button->SetAction(&loaded);
    QVERIFY(!button->Down());
    QCOMPARE(button->HelpContext(), 7);
}

void TestFlatButton::doubleClicks()
{
    TLog log;
    log.Watch(*FFirst, QStringLiteral("A"));
    MoveTo(FFirst, QPoint(5, 5));
    QTest::mouseDClick(FFirst, Qt::LeftButton, {}, QPoint(5, 5));
    QCOMPARE(log.Count(QStringLiteral("A click")), 2);
    QCOMPARE(log.Count(QStringLiteral("A dblclick")), 0);

    FFirst->SetGroupIndex(3);
    FFirst->SetDown(true);
    log.Events.clear();
    QTest::mouseDClick(FFirst, Qt::LeftButton, {}, QPoint(5, 5));
    QCOMPARE(log.Count(QStringLiteral("A dblclick")), 1);
    QVERIFY(FFirst->Down());
}

void TestFlatButton::autoRepeat()
{
    TLog log;
    log.Watch(*FFirst, QStringLiteral("A"));
    FFirst->SetRepeating(true);
    MoveTo(FFirst, QPoint(5, 5));
    QTest::mousePress(FFirst, Qt::LeftButton, {}, QPoint(5, 5));
    QCOMPARE(log.Count(QStringLiteral("A click")), 1); // at once on the press
    QTest::qWait(150);
    QCOMPARE(log.Count(QStringLiteral("A click")), 1); // the first repeat waits 400 ms
    QTRY_COMPARE_WITH_TIMEOUT(log.Count(QStringLiteral("A click")), 2, 1000);
    QTRY_VERIFY_WITH_TIMEOUT(log.Count(QStringLiteral("A click")) >= 4, 1000); // then every 100 ms

    MoveTo(FFirst, QPoint(100, 60)); // off the button: paused
    QTest::qWait(150);
    const int paused = log.Count(QStringLiteral("A click"));
    QTest::qWait(350);
    QCOMPARE(log.Count(QStringLiteral("A click")), paused);
    MoveTo(FFirst, QPoint(5, 5)); // back on: resumed
    QTRY_VERIFY_WITH_TIMEOUT(log.Count(QStringLiteral("A click")) > paused, 1000);

    QTest::mouseRelease(FFirst, Qt::LeftButton, {}, QPoint(5, 5));
    const int released = log.Count(QStringLiteral("A click"));
    QTest::qWait(300);
    QCOMPARE(log.Count(QStringLiteral("A click")), released);

    // Moving over the held button keeps the countdown going: one click on
    // the press, then one at 400 ms and every 100 ms after.
    QTest::mousePress(FFirst, Qt::LeftButton, {}, QPoint(5, 5));
    for (int i = 0; i < 16; ++i) {
        MoveTo(FFirst, QPoint(5 + i % 3, 5));
        QTest::qWait(50);
    }
    QVERIFY2(log.Count(QStringLiteral("A click")) - released >= 4,
             qPrintable(QString::number(log.Count(QStringLiteral("A click")) - released)));
    QTest::mouseRelease(FFirst, Qt::LeftButton, {}, QPoint(5, 5));
}

void TestFlatButton::hotMovesAndDeactivation()
{
    TLog log;
    log.Watch(*FFirst, QStringLiteral("A"));
    log.Watch(*FSecond, QStringLiteral("B"));
    MoveTo(FFirst, QPoint(20, 5));
    MoveTo(FFirst, QPoint(25, 5)); // straight onto the neighbour
    QCOMPARE(log.Events, (QStringList{QStringLiteral("A enter"), QStringLiteral("A exit"), QStringLiteral("B enter")}));
    QCOMPARE(TFlatButton::HotButton(), FSecond);

    // Losing activation removes the hot look...
    QEvent deactivate(QEvent::ApplicationDeactivate);
    QCoreApplication::sendEvent(qApp, &deactivate);
    QVERIFY(!FSecond->MouseInside());
    QVERIFY(!TFlatButton::HotButton());

    // ...unless the button shows its border when inactive.
    FSecond->SetShowBorderWhenInactive(true);
    MoveTo(FSecond, QPoint(10, 10));
    MoveTo(FSecond, QPoint(11, 10));
    QVERIFY(FSecond->MouseInside());
    QCoreApplication::sendEvent(qApp, &deactivate);
    QVERIFY(FSecond->MouseInside());

    // The 125 ms check notices a pointer that left without a move event.
    QCursor::setPos(FWindow->mapToGlobal(QPoint(150, 80)));
    QTRY_VERIFY_WITH_TIMEOUT(!FSecond->MouseInside(), 1000);
}

// Where a program sees the pointer only over its own windows (Wayland), the
// control under it is what the windows were told, whatever QCursor::pos() says.
void TestFlatButton::pointerPlaceFromWindows()
{
    const TPointerPlace place(TPointerPlace::psWindows);
    QWidget other;
    other.resize(100, 100);
    other.show();
    QVERIFY(QTest::qWaitForWindowExposed(&other));
    QWindow* main = FWindow->windowHandle();
    QWindow* second = other.windowHandle();
    const auto send = [](QWindow* window, QEvent::Type type, QPointF at = {}) {
        if (type == QEvent::Enter) {
            QEnterEvent event(at, at, at);
            QCoreApplication::sendEvent(window, &event);
        } else if (type == QEvent::Leave) {
            QEvent event(QEvent::Leave);
            QCoreApplication::sendEvent(window, &event);
        } else {
            QMouseEvent event(type, at, at, Qt::NoButton, Qt::NoButton, Qt::NoModifier);
            QCoreApplication::sendEvent(window, &event);
        }
    };
    QCursor::setPos(FFirst->mapToGlobal(QPoint(5, 5))); // a stale place over the button
    QCOMPARE(place.Control(), nullptr);
    send(main, QEvent::Enter, QPointF(150, 80));
    QCOMPARE(place.Control(), FWindow.get());
    send(main, QEvent::MouseMove, QPointF(15, 15));
    QCOMPARE(place.Control(), FFirst);
    QCOMPARE(place.ControlAt(FSecond, QPoint(3, 3)), FSecond);
    // Into another window: the second's enter may come before the first's leave.
    send(second, QEvent::Enter, QPointF(5, 5));
    send(main, QEvent::Leave);
    QCOMPARE(place.Control(), &other);
    send(second, QEvent::Leave);
    QCOMPARE(place.Control(), nullptr);
    // Held with the button down, a window hears moves outside itself.
    send(main, QEvent::MouseMove, QPointF(-20, 15));
    QCOMPARE(place.Control(), nullptr);
}

void TestFlatButton::sharedObjectsFollowTheButtons()
{
    QVERIFY(TFlatButton::HotTimer());
    QCOMPARE(TFlatButton::HotTimer()->interval(), 125);
    QVERIFY(!TButtonGlyph::CheckerPattern().isNull());
    QCOMPARE(AppHookUseCount(HotHookListener), TFlatButton::ButtonCount());
    FWindow.reset();
    QCOMPARE(TFlatButton::ButtonCount(), 0);
    QVERIFY(!TFlatButton::HotTimer());
    QVERIFY(!TButtonGlyph::HasCheckerPattern());
    QVERIFY(!PlatformHookInstalled(phGetMessage));
    TFlatButton again;
    QVERIFY(TFlatButton::HotTimer());
    QVERIFY(PlatformHookInstalled(phCallWndProc) && PlatformHookInstalled(phGetMessage));
    QVERIFY(!PlatformHookInstalled(phCbt));
}

void TestFlatButton::registry()
{
    FWindow.reset(); // no buttons: the registry is ours alone
    QVERIFY(!AppHookListExists());

    RegisterAppHook(FirstListener, AppHookBit(ahWindowPosChanged) | AppHookBit(ahDestroyWindow));
    RegisterAppHook(SecondListener, AppHookBit(ahWindowPosChanged));
    RegisterAppHook(SecondListener, AppHookBit(ahMouseMove), true); // a second use, count only
    QCOMPARE(AppHookUseCount(SecondListener), 2);
    QCOMPARE(PlatformHookUseCount(phCallWndProc), 2);
    QCOMPARE(PlatformHookUseCount(phCbt), 1);
    QVERIFY(!PlatformHookInstalled(phGetMessage));

    // A listener that throws does not stop the next one.
    QWidget moved;
    moved.show();
    QVERIFY(QTest::qWaitForWindowExposed(&moved));
    Listened.clear();
    moved.move(moved.pos() + QPoint(7, 3));
    QCoreApplication::processEvents();
    QVERIFY(Listened.contains(QStringLiteral("first 1")));
    QVERIFY(Listened.contains(QStringLiteral("second 1")));
    QVERIFY(Listened.indexOf(QStringLiteral("first 1")) < Listened.indexOf(QStringLiteral("second 1")));

    UnregisterAppHook(SecondListener);
    QCOMPARE(AppHookUseCount(SecondListener), 1);
    QCOMPARE(PlatformHookUseCount(phCallWndProc), 1); // both registrations took one use
    UnregisterAppHook(SecondListener);
    QCOMPARE(AppHookUseCount(SecondListener), 0);
    QCOMPARE(PlatformHookUseCount(phCallWndProc), 0); // never below 0
    QVERIFY(PlatformHookInstalled(phCbt));
    UnregisterAppHook(FirstListener);
    QVERIFY(!PlatformHookInstalled(phCallWndProc));
    QVERIFY(!PlatformHookInstalled(phCbt));
    QVERIFY(!AppHookListExists());
    UnregisterAppHook(FirstListener); // not registered: nothing happens
}

void TestFlatButton::aboutButtonPixels()
{
    TForm1 form;
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    TFlatButton* button = form.FlatButton1;
    QCOMPARE(button->geometry(), QRect(348, 16, 25, 25));
    const QRgb face = QGuiApplication::palette().color(QPalette::Button).rgb();
    const QRgb light = QGuiApplication::palette().color(QPalette::Light).rgb();
    const QRgb dark = QGuiApplication::palette().color(QPalette::Dark).rgb();
    const QRgb cyan = qRgb(0, 255, 255);

    const auto grabbed = [&] { return button->grab().toImage().convertToFormat(QImage::Format_RGB32); };
    // The question mark's first cyan pixel is at (5, 1) in the glyph.
    QImage rest = grabbed();
    QCOMPARE(rest.pixel(0, 0), face);
    QCOMPARE(rest.pixel(24, 24), face);
    QCOMPARE(rest.pixel(5 + 5, 5 + 1), cyan);

    MoveTo(button, QPoint(12, 12));
    const QImage hot = grabbed();
    QCOMPARE(hot.pixel(0, 0), light);
    QCOMPARE(hot.pixel(12, 0), light);
    QCOMPARE(hot.pixel(24, 24), dark);
    QCOMPARE(hot.pixel(1, 1), face);

    QTest::mousePress(button, Qt::LeftButton, {}, QPoint(12, 12));
    const QImage pressed = grabbed();
    QCOMPARE(pressed.pixel(0, 0), dark);
    QCOMPARE(pressed.pixel(24, 24), light);
    QCOMPARE(pressed.pixel(6 + 5, 6 + 1), cyan);
    QVERIFY(pressed.pixel(5 + 5, 5 + 1) != cyan);
    QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(100, 100)); // released off: nothing opens
    QCoreApplication::processEvents();
    const auto abouts = [] {
        int count = 0;
        for (QWidget* top : QApplication::topLevelWidgets())
            count += qobject_cast<TAboutForm*>(top) && top->isVisible();
        return count;
    };
    QCOMPARE(abouts(), 0);
}

void TestFlatButton::aboutButtonOpensWindows()
{
    TForm1 form;
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    const auto abouts = [] {
        QList<TAboutForm*> found;
        for (QWidget* top : QApplication::topLevelWidgets())
            if (auto* about = qobject_cast<TAboutForm*>(top); about && about->isVisible())
                found << about;
        return found;
    };
    MoveTo(form.FlatButton1, QPoint(12, 12));
    QTest::mouseClick(form.FlatButton1, Qt::LeftButton, {}, QPoint(12, 12));
    QCOMPARE(abouts().size(), 1);
    QTest::mouseClick(form.FlatButton1, Qt::LeftButton, {}, QPoint(12, 12));
    const QList<TAboutForm*> two = abouts();
    QCOMPARE(two.size(), 2);
    QCOMPARE(two[0]->pos(), two[1]->pos());
    qDeleteAll(two);
}

KESTRUN_APP_TEST_MAIN(TestFlatButton)

#include "tst_flatbutton.moc"
