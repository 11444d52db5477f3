// The text area as a user drives it: keys, mouse, clipboard, undo, the
// context menu, long lines, and what a screen reader is told and can ask.

#include "base/Failure.h"
#include "textarea/Memo.h"
#include "textarea/MemoEditor.h"
#include "tests/ChildProcess.h"
#include "tests/textarea/MemoReference.h"
#include "tests/textarea/WholeLine.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QLibraryInfo>
#include <QLocale>
#include <QMenu>
#include <QScrollBar>
#include <QTest>
#include <QTextLayout>
#include <QTranslator>


namespace {

constexpr Qt::KeyboardModifiers None = Qt::NoModifier;
constexpr Qt::KeyboardModifiers Shift = Qt::ShiftModifier;
constexpr Qt::KeyboardModifiers Ctrl = Qt::ControlModifier;

// One step a user takes at the keyboard: a key with modifiers, or some text typed.
struct TStep {
    TStep(Qt::Key key, Qt::KeyboardModifiers modifiers = None) : Key(key), Modifiers(modifiers) {}
    TStep(const char* text) : Text(text) {}
    Qt::Key Key = Qt::Key_unknown;
    Qt::KeyboardModifiers Modifiers;
    const char* Text = nullptr;
};

QTestEventList Keys(std::initializer_list<TStep> steps)
{
    QTestEventList events;
    for (const TStep& step : steps) {
        if (step.Text)
            events.addKeyClicks(QString::fromUtf8(step.Text));
        else
            events.addKeyClick(step.Key, step.Modifiers);
    }
    return events;
}

} // namespace

class TestMemo : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void keys_data();
    void keys();
    void keysKeptFromShortcuts();
    void undoAfterAReloadDoesNothing();
    void pagesAndLongTexts();
    void mouseSelects();
    void dragBeyondTheViewScrolls();
    void wheel();
    void clipboard();
    void contextMenu();
    void longLine();
    void linesMatchAWholeLayout_data();
    void linesMatchAWholeLayout();
    void longRightToLeftLineReadsInOrder();
    void keyTextsAreTyped_data();
    void keyTextsAreTyped();
    void inputMethodComposesAtTheCaret();
    void editsInALongLineKeepPlaces_data();
    void editsInALongLineKeepPlaces();
    void paintsSelectionInHighlightColours();
    void accessibleText();
    void accessibleTextPastAnIntsReach();
    void copyBeyondMemoryFailsClearly();

private:
    TMemo* Memo() const { return FMemo.get(); }
    QPoint PointOf(std::int64_t pos) const { return Memo()->CharacterRect(pos).center(); }
    std::unique_ptr<TMemo> FMemo;
};

void TestMemo::init()
{
    FMemo = std::make_unique<TMemo>();
    FMemo->resize(300, 200);
    FMemo->show();
    FMemo->activateWindow();
    FMemo->setFocus();
    QVERIFY(QTest::qWaitForWindowActive(FMemo.get()));
}

void TestMemo::cleanup()
{
    FMemo.reset();
    QGuiApplication::clipboard()->clear();
}

void TestMemo::keys_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("anchor");
    QTest::addColumn<int>("caret");
    QTest::addColumn<QTestEventList>("events");
    QTest::addColumn<QString>("result");
    QTest::addColumn<int>("resultAnchor");
    QTest::addColumn<int>("resultCaret");

    const QString text = QStringLiteral("one two three");
    QTest::newRow("typing") << QString() << 0 << 0 << Keys({"abc"}) << "abc" << 3 << 3;
    QTest::newRow("Backspace") << text << 3 << 3 << Keys({{Qt::Key_Backspace, None}}) << "on two three" << 2 << 2;
    QTest::newRow("Delete") << text << 0 << 0 << Keys({{Qt::Key_Delete, None}}) << "ne two three" << 0 << 0;
    QTest::newRow("Enter") << "ab" << 1 << 1 << Keys({{Qt::Key_Return, None}}) << "a\nb" << 2 << 2;
    QTest::newRow("Ctrl+Tab types a tab") << "ab" << 1 << 1 << Keys({{Qt::Key_Tab, Ctrl}}) << "a\tb" << 2 << 2;
    QTest::newRow("Shift+Right selects") << text << 0 << 0 << Keys({{Qt::Key_Right, Shift}, {Qt::Key_Right, Shift}})
                                         << text << 0 << 2;
    QTest::newRow("Ctrl+Right by word") << text << 0 << 0 << Keys({{Qt::Key_Right, Ctrl}}) << text << 4 << 4;
    QTest::newRow("Home and Shift+End") << "ab\ncdef" << 5 << 5 << Keys({{Qt::Key_Home, None}, {Qt::Key_End, Shift}})
                                        << "ab\ncdef" << 3 << 7;
    QTest::newRow("Ctrl+End and Ctrl+Home") << "ab\ncd" << 1 << 1 << Keys({{Qt::Key_End, Ctrl}}) << "ab\ncd" << 5 << 5;
    QTest::newRow("Ctrl+Backspace deletes a word") << text << 7 << 7 << Keys({{Qt::Key_Backspace, Ctrl}})
                                                   << "one  three" << 4 << 4;
    QTest::newRow("Ctrl+A then typing") << text << 2 << 2 << Keys({{Qt::Key_A, Ctrl}, "z"}) << "z" << 1 << 1;
    QTest::newRow("redo") << text << 3 << 3 << Keys({"xy", {Qt::Key_Z, Ctrl}, {Qt::Key_Z, Ctrl | Shift}})
                          << "onexy two three" << 5 << 5;
    // Right-to-left lines: Left goes on through the text (the editing core's
    // own tests have the rest of what commands do).
    const QString arabic = QString::fromUtf8("عربي نص");
    QTest::newRow("Left in a right-to-left line") << arabic << 0 << 0 << Keys({{Qt::Key_Left, None}})
                                                  << arabic << 1 << 1;
    // What no shortcut takes is typed, as in Qt's own fields; Ctrl keys never are.
    QTest::newRow("Alt+letter types") << text << 0 << 0 << Keys({{Qt::Key_Q, Qt::AltModifier}})
                                      << QStringLiteral("q") + text << 1 << 1;
    QTest::newRow("Ctrl+letter does not") << text << 0 << 0 << Keys({{Qt::Key_Q, Ctrl}}) << text << 0 << 0;
}

void TestMemo::keys()
{
    QFETCH(QString, text);
    QFETCH(int, anchor);
    QFETCH(int, caret);
    QFETCH(QTestEventList, events);
    Memo()->SetText(text);
    Memo()->SetSelection(anchor, caret);
    events.simulate(Memo());
    QTEST(Memo()->Text(), "result");
    QTEST(int(Memo()->Anchor()), "resultAnchor");
    QTEST(int(Memo()->CursorPosition()), "resultCaret");
}

void TestMemo::keysKeptFromShortcuts()
{
    const auto kept = [this](Qt::Key key, Qt::KeyboardModifiers modifiers, const QString& text = {}) {
        QKeyEvent event(QEvent::ShortcutOverride, key, modifiers, text);
        event.ignore();
        QCoreApplication::sendEvent(Memo(), &event);
        return event.isAccepted();
    };
    QVERIFY(kept(Qt::Key_A, None, QStringLiteral("a")));
    QVERIFY(kept(Qt::Key_C, Ctrl));
    QVERIFY(kept(Qt::Key_Return, Ctrl));
    QVERIFY(kept(Qt::Key_Backspace, Qt::AltModifier));
    // No command takes plain Insert, and text typed with Alt goes to a shortcut first.
    QVERIFY(!kept(Qt::Key_Insert, None));
    QVERIFY(!kept(Qt::Key_Q, Qt::AltModifier, QStringLiteral("q")));
}

void TestMemo::undoAfterAReloadDoesNothing()
{
    Memo()->SetText(QStringLiteral("first"));
    QTest::keyClicks(Memo(), QStringLiteral("typed "));
    Memo()->SetText(QStringLiteral("reloaded"));
    QTest::keyClick(Memo(), Qt::Key_Z, Ctrl);
    QCOMPARE(Memo()->Text(), QStringLiteral("reloaded"));
}

void TestMemo::pagesAndLongTexts()
{
    QStringList lines;
    for (int i = 0; i < 1000; ++i)
        lines << QStringLiteral("line %1").arg(i);
    Memo()->SetText(lines.join(u'\n'));
    QScrollBar* vertical = Memo()->verticalScrollBar();
    const int page = vertical->pageStep();
    QVERIFY(page > 3);

    QTest::keyClick(Memo(), Qt::Key_PageDown);
    QCOMPARE(Memo()->Model().LineOf(Memo()->CursorPosition()), page);
    QCOMPARE(vertical->value(), page);
    QTest::keyClick(Memo(), Qt::Key_End, Ctrl);
    QCOMPARE(Memo()->CursorPosition(), Memo()->Model().Length());
    QCOMPARE(vertical->value(), vertical->maximum());
    QCOMPARE(vertical->maximum(), 1000 - page);
    QTest::keyClick(Memo(), Qt::Key_PageUp, Shift);
    QCOMPARE(Memo()->Model().LineOf(Memo()->CursorPosition()), 999 - page);
    QVERIFY(Memo()->HasSelection());
}

void TestMemo::mouseSelects()
{
    Memo()->SetText(QStringLiteral("alpha beta gamma\nsecond line here"));
    QWidget* view = Memo()->viewport();

    QTest::mouseClick(view, Qt::LeftButton, None, PointOf(7));
    QCOMPARE(Memo()->CursorPosition(), 7);
    QTest::mouseClick(view, Qt::LeftButton, Shift, PointOf(12));
    QCOMPARE(Memo()->SelectedText(), QStringLiteral("eta g"));

    // Drag: press, move with the button held, release.
    QTest::mousePress(view, Qt::LeftButton, None, Memo()->CharacterRect(0).topLeft() + QPoint(0, 2));
    QMouseEvent move(QEvent::MouseMove, Memo()->CharacterRect(5).topLeft() + QPoint(0, 2),
                     view->mapToGlobal(QPoint()), Qt::NoButton, Qt::LeftButton, None);
    QCoreApplication::sendEvent(view, &move);
    QTest::mouseRelease(view, Qt::LeftButton, None, Memo()->CharacterRect(5).topLeft() + QPoint(0, 2));
    QCOMPARE(Memo()->SelectedText(), QStringLiteral("alpha"));

    QTest::mouseDClick(view, Qt::LeftButton, None, PointOf(8));
    QCOMPARE(Memo()->SelectedText(), QStringLiteral("beta"));
    // A third click soon after selects the line with its line end.
    QTest::mouseClick(view, Qt::LeftButton, None, PointOf(8));
    QCOMPARE(Memo()->SelectedText(), QStringLiteral("alpha beta gamma\n"));
}

void TestMemo::dragBeyondTheViewScrolls()
{
    QStringList lines;
    for (int i = 0; i < 200; ++i)
        lines << QStringLiteral("line %1").arg(i);
    Memo()->SetText(lines.join(u'\n'));
    QWidget* view = Memo()->viewport();
    QTest::mousePress(view, Qt::LeftButton, None, PointOf(0));
    QMouseEvent below(QEvent::MouseMove, QPoint(20, view->height() + 30), view->mapToGlobal(QPoint()),
                      Qt::NoButton, Qt::LeftButton, None);
    QCoreApplication::sendEvent(view, &below);
    QTRY_VERIFY(Memo()->verticalScrollBar()->value() > 3);
    QTest::mouseRelease(view, Qt::LeftButton, None, QPoint(20, view->height() + 30));
    const int value = Memo()->verticalScrollBar()->value();
    QVERIFY(Memo()->Model().LineOf(Memo()->CursorPosition()) >= value);
    QCOMPARE(Memo()->Anchor(), 0);
    QTest::qWait(150);
    QCOMPARE(Memo()->verticalScrollBar()->value(), value); // stops with the release
}

void TestMemo::wheel()
{
    Memo()->SetText((QString(500, u'w') + u'\n').repeated(100));
    QWidget* view = Memo()->viewport();
    const auto roll = [&](QPoint delta, Qt::KeyboardModifiers modifiers) {
        QWheelEvent event(QPointF(50, 50), view->mapToGlobal(QPointF(50, 50)), QPoint(), delta,
                          Qt::NoButton, modifiers, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(view, &event);
    };
    roll({0, -120}, None);
    QCOMPARE(Memo()->verticalScrollBar()->value(), QApplication::wheelScrollLines());
    QCOMPARE(Memo()->horizontalScrollBar()->value(), 0);
    roll({0, -120}, Shift);
    QVERIFY(Memo()->horizontalScrollBar()->value() > 0);
    QCOMPARE(Memo()->verticalScrollBar()->value(), QApplication::wheelScrollLines());
    roll({120, 0}, None);
    QCOMPARE(Memo()->horizontalScrollBar()->value(), 0);
}

void TestMemo::clipboard()
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    Memo()->SetText(QStringLiteral("one two"));
    Memo()->SetSelection(0, 3);
    QTest::keyClick(Memo(), Qt::Key_C, Ctrl);
    QCOMPARE(clipboard->text(), QStringLiteral("one"));
    QTest::keyClick(Memo(), Qt::Key_End);
    clipboard->setText(QStringLiteral("A\r\nB\rC"));
    QTest::keyClick(Memo(), Qt::Key_V, Ctrl);
    QCOMPARE(Memo()->Text(), QStringLiteral("one twoA\nB\nC"));

    Memo()->SetSelection(0, 4);
    QTest::keyClick(Memo(), Qt::Key_X, Ctrl);
    QCOMPARE(clipboard->text(), QStringLiteral("one "));
    QCOMPARE(Memo()->Text(), QStringLiteral("twoA\nB\nC"));

    // The keys of other desktops: Ctrl+Insert, Shift+Delete, Shift+Insert.
    Memo()->SetSelection(0, 3);
    QTest::keyClick(Memo(), Qt::Key_Insert, Ctrl);
    QCOMPARE(clipboard->text(), QStringLiteral("two"));
    QTest::keyClick(Memo(), Qt::Key_Delete, Shift);
    QCOMPARE(Memo()->Text(), QStringLiteral("A\nB\nC"));
    QTest::keyClick(Memo(), Qt::Key_Insert, Shift);
    QTest::keyClick(Memo(), Qt::Key_Insert, Shift);
    QCOMPARE(Memo()->Text(), QStringLiteral("twotwoA\nB\nC"));
}

void TestMemo::contextMenu()
{
    Memo()->SetText(QStringLiteral("one two"));
    const auto enabled = [&] {
        std::unique_ptr<QMenu> menu(Memo()->CreateContextMenu());
        QStringList names;
        for (QAction* action : menu->actions())
            if (!action->isSeparator() && action->isEnabled())
                names << action->objectName();
        return names.join(u' ');
    };
    const auto trigger = [&](const char* name) {
        std::unique_ptr<QMenu> menu(Memo()->CreateContextMenu());
        menu->findChild<QAction*>(QLatin1StringView(name))->trigger();
    };
    QCOMPARE(enabled(), QStringLiteral("select-all"));
    trigger("select-all");
    QCOMPARE(Memo()->SelectedText(), QStringLiteral("one two"));
    QCOMPARE(enabled(), QStringLiteral("edit-cut edit-copy edit-delete"));
    Memo()->SetSelection(3, 7);
    trigger("edit-delete");
    QCOMPARE(Memo()->Text(), QStringLiteral("one"));
    QCOMPARE(enabled(), QStringLiteral("edit-undo select-all"));
    trigger("edit-undo");
    QCOMPARE(Memo()->Text(), QStringLiteral("one two"));
    trigger("edit-redo");
    QCOMPARE(Memo()->Text(), QStringLiteral("one"));
    Memo()->SetSelection(0, 3);
    trigger("edit-copy");
    trigger("edit-paste");
    trigger("edit-paste");
    QCOMPARE(Memo()->Text(), QStringLiteral("oneone"));

    // The captions are Qt's own, so Qt's translations give them.
    QTranslator german;
    QVERIFY(german.load(QLocale(QLocale::German), QStringLiteral("qtbase"), QStringLiteral("_"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath)));
    QCoreApplication::installTranslator(&german);
    std::unique_ptr<QMenu> menu(Memo()->CreateContextMenu());
    QCoreApplication::removeTranslator(&german);
    QVERIFY(menu->findChild<QAction*>(QStringLiteral("select-all"))->text().startsWith(
        QStringLiteral("Alles ausw\u00e4hlen")));
}

void TestMemo::longLine()
{
    // Long enough to be laid out a window at a time, with tabs in it.
    QString line;
    for (int i = 0; line.size() < 60000; ++i)
        line += QStringLiteral("word%1").arg(i) + QChar(i % 7 ? u' ' : u'\t');
    Memo()->SetText(line + QStringLiteral("\nshort"));
    QTest::keyClick(Memo(), Qt::Key_End);
    QCOMPARE(Memo()->CursorPosition(), line.size());
    QScrollBar* horizontal = Memo()->horizontalScrollBar();
    QVERIFY(horizontal->value() > 0);
    QVERIFY(horizontal->value() <= horizontal->maximum());
    // The caret is in view, and a click on a character finds it again.
    QVERIFY(Memo()->viewport()->rect().contains(Memo()->CharacterRect(line.size()).topLeft()));
    for (qint64 pos : {qint64(line.size() - 3), qint64(line.size() - 2000)}) {
        Memo()->EnsureVisible(pos);
        QCOMPARE(Memo()->PositionAt(Memo()->CharacterRect(pos).topLeft() + QPoint(1, 2)), pos);
    }
    QTest::keyClicks(Memo(), QStringLiteral("!"));
    QCOMPARE(Memo()->Text().size(), line.size() + 7);
    QTest::keyClick(Memo(), Qt::Key_Home);
    QCOMPARE(horizontal->value(), 0);
    QTest::keyClick(Memo(), Qt::Key_Right, Ctrl);
    QCOMPARE(Memo()->CursorPosition(), 6);
}

void TestMemo::linesMatchAWholeLayout_data()
{
    QTest::addColumn<QString>("piece");
    QTest::newRow("Latin with kerning") << QStringLiteral("AVATAR Ty To Wa ");
    QTest::newRow("Arabic") << QString::fromUtf8("مرحبا بالعالم ");
    QTest::newRow("Hebrew") << QString::fromUtf8("שלום עולם ");
    QTest::newRow("mixed") << QString::fromUtf8("log 12:00 مرحبا ok שלום ");
    QTest::newRow("CJK") << QString::fromUtf8("漢字テスト ");
    QTest::newRow("emoji") << QString::fromUtf8("x 😀 👩\u200d💻 ");
}

// A line of about 20,000 units under a line above it: every position's x,
// a click there, and Down from the line above land where a layout of the
// whole line puts them.
void TestMemo::linesMatchAWholeLayout()
{
    QFETCH(QString, piece);
    const QString line = piece.repeated(20000 / piece.size());
    Memo()->SetText(QStringLiteral("above\n") + line);
    const int start = 6;
    const auto whole = MemoReference::WholeLine(line, Memo()->font());
    const QTextLine reference = whole->lineAt(0);
    // x in the line: the caret's place plus how far the view is scrolled, less
    // the place of a caret at x = 0.
    const int origin = Memo()->CaretRect(0).x();
    const auto lineX = [&](std::int64_t pos) {
        Memo()->EnsureVisible(pos);
        return Memo()->CaretRect(pos).x() + Memo()->horizontalScrollBar()->value() - origin;
    };
    for (int pos = 0; pos <= line.size(); pos += 997) {
        const int at = whole->nextCursorPosition(whole->previousCursorPosition(pos)); // a cursor position
        const qreal expected = reference.cursorToX(at);
        QVERIFY2(std::abs(lineX(start + at) - expected) <= 1,
                 qPrintable(QStringLiteral("%1: %2, whole %3").arg(at).arg(lineX(start + at)).arg(expected)));
        // A click there finds what the whole layout finds at that x.
        const QPoint click = Memo()->CaretRect(start + at).center();
        const int hit = int(Memo()->PositionAt(click) - start);
        const qreal clickX = click.x() + Memo()->horizontalScrollBar()->value() - origin;
        QCOMPARE(hit, reference.xToCursor(clickX, QTextLine::CursorBetweenCharacters));
    }
    // Down from the line above keeps the column in pixels.
    Memo()->SetSelection(3, 3);
    const qreal column = lineX(3);
    QTest::keyClick(Memo(), Qt::Key_Down);
    QCOMPARE(int(Memo()->CursorPosition()) - start, reference.xToCursor(column, QTextLine::CursorBetweenCharacters));
}

// Past the length laid out whole, a right-to-left line still starts at its
// right end and reads leftwards window after window, and a character's
// place does not depend on which windows were laid out before.
void TestMemo::longRightToLeftLineReadsInOrder()
{
    const QString line = QString::fromUtf8("مرحبا بالعالم ").repeated(5000);
    Memo()->SetText(QStringLiteral("a"));
    const int leftEnd = Memo()->CaretRect(0).x();
    Memo()->SetText(line);
    const auto lineX = [&](std::int64_t pos) {
        Memo()->EnsureVisible(pos);
        return Memo()->CaretRect(pos).x() + Memo()->horizontalScrollBar()->value();
    };
    int previous = lineX(0);
    const int fresh = lineX(40000);
    for (std::int64_t pos = 1000; pos <= line.size(); pos += 1000) {
        const int x = lineX(pos);
        QVERIFY2(x < previous, qPrintable(QStringLiteral("%1 at %2 is not left of %3").arg(pos).arg(x).arg(previous)));
        previous = x;
    }
    QVERIFY2(std::abs(lineX(line.size()) - leftEnd) <= 2, "the line's end is at the left margin");
    QCOMPARE(lineX(40000), fresh);
}

void TestMemo::keyTextsAreTyped_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("inserted");
    QTest::newRow("emoji") << QString::fromUtf8("😀") << true;
    QTest::newRow("zero-width non-joiner") << QStringLiteral("\u200c") << true;
    QTest::newRow("zero-width joiner") << QStringLiteral("\u200d") << true;
    QTest::newRow("right-to-left mark") << QStringLiteral("\u200f") << true;
    QTest::newRow("private use") << QStringLiteral("\ue000") << true;
    QTest::newRow("a control character") << QStringLiteral("\u0007") << false;
    QTest::newRow("half a pair") << QString(QChar(0xd83d)) << false;
}

// What a keyboard layout or compose sequence sends as one key is typed whole.
void TestMemo::keyTextsAreTyped()
{
    QFETCH(QString, typed);
    QFETCH(bool, inserted);
    Memo()->SetText(QStringLiteral("xy"));
    Memo()->SetSelection(1, 1);
    QKeyEvent key(QEvent::KeyPress, 0, Qt::NoModifier, typed);
    QApplication::sendEvent(Memo(), &key);
    QCOMPARE(Memo()->Text(), inserted ? u'x' + typed + u'y' : QStringLiteral("xy"));
}

void TestMemo::inputMethodComposesAtTheCaret()
{
    Memo()->SetText(QStringLiteral("first\nab cd"));
    Memo()->SetSelection(9, 9);
    const QImage before = Memo()->viewport()->grab().toImage();
    QTextCharFormat underline;
    underline.setFontUnderline(true);
    QInputMethodEvent compose(QString::fromUtf8("にほ"), {{QInputMethodEvent::TextFormat, 0, 2, underline},
                                                          {QInputMethodEvent::Cursor, 1, 1, {}}});
    QApplication::sendEvent(Memo(), &compose);
    // Shown, not yet in the text; the caret inside the composition.
    QCOMPARE(Memo()->Text(), QStringLiteral("first\nab cd"));
    QVERIFY(Memo()->viewport()->grab().toImage() != before);
    QVERIFY(Memo()->CaretRect(9).x() > Memo()->CaretRect(8).x() + 2);
    // What the input method asks: the caret's line, positions within it.
    QCOMPARE(static_cast<QWidget*>(Memo())->inputMethodQuery(Qt::ImSurroundingText).toString(), QStringLiteral("ab cd"));
    QCOMPARE(static_cast<QWidget*>(Memo())->inputMethodQuery(Qt::ImCursorPosition).toInt(), 3);
    QCOMPARE(static_cast<QWidget*>(Memo())->inputMethodQuery(Qt::ImCursorRectangle).toRect().x(),
             Memo()->CaretRect(9).translated(Memo()->viewport()->pos()).x());
    // The commit replaces the composition.
    QInputMethodEvent commit;
    commit.setCommitString(QString::fromUtf8("日本"));
    QApplication::sendEvent(Memo(), &commit);
    QCOMPARE(Memo()->Text(), QString::fromUtf8("first\nab 日本cd"));
    QCOMPARE(Memo()->CursorPosition(), 11);
    Memo()->SetSelection(7, 12);
    QCOMPARE(static_cast<QWidget*>(Memo())->inputMethodQuery(Qt::ImAnchorPosition).toInt(), 1);
    QCOMPARE(static_cast<QWidget*>(Memo())->inputMethodQuery(Qt::ImCurrentSelection).toString(), QString::fromUtf8("b 日本c"));
}

void TestMemo::editsInALongLineKeepPlaces_data()
{
    QTest::addColumn<QString>("separator");
    QTest::newRow("spaces") << QStringLiteral(" ");
    QTest::newRow("tabs") << QStringLiteral("\t");
}

// An edit in a long line moves what follows it exactly as far as a fresh
// layout of the edited text would.
void TestMemo::editsInALongLineKeepPlaces()
{
    QFETCH(QString, separator);
    QString line;
    // Longer than a line laid out whole, so that its marks are moved.
    for (int i = 0; line.size() < 60000; ++i)
        line += QStringLiteral("w%1").arg(i % 97) + separator;
    Memo()->SetText(line);
    Memo()->SetSelection(15000, 15000);       // lays the line out
    Memo()->SetSelection(1500, 1500);
    QTest::keyClicks(Memo(), QStringLiteral("WWW"));
    QTest::keyClick(Memo(), Qt::Key_Backspace);
    Memo()->SetSelection(3000, 3010);
    QTest::keyClick(Memo(), Qt::Key_Delete);

    TMemo fresh;
    fresh.resize(Memo()->size());
    fresh.SetText(Memo()->Text());
    QCOMPARE(fresh.Text().size(), line.size() - 8);
    for (std::int64_t pos : {std::int64_t(1400), std::int64_t(4000), std::int64_t(19000)}) {
        // Where the character is in the line, whatever the scrolling.
        const auto place = [pos](TMemo& memo) {
            memo.EnsureVisible(pos);
            return memo.CharacterRect(pos).translated(memo.horizontalScrollBar()->value(), 0);
        };
        QCOMPARE(place(*Memo()), place(fresh));
    }
}

void TestMemo::paintsSelectionInHighlightColours()
{
    QPalette palette = Memo()->palette();
    palette.setColor(QPalette::Highlight, QColor(255, 0, 0));
    palette.setColor(QPalette::Base, QColor(0, 0, 255));
    Memo()->setPalette(palette);
    Memo()->SetText(QStringLiteral("selected\nnot selected"));
    Memo()->SetSelection(0, 8);
    const QImage image = Memo()->viewport()->grab().toImage();
    const QRect first = Memo()->CharacterRect(1);
    const QRect second = Memo()->CharacterRect(10);
    const auto count = [&](const QRect& row, QColor colour) {
        int n = 0;
        for (int x = 0; x < 40; ++x)
            n += image.pixelColor(row.left() + x, row.center().y()) == colour;
        return n;
    };
    QVERIFY(count(first, Qt::red) > 10);
    QCOMPARE(count(second, Qt::red), 0);
    QVERIFY(count(second, Qt::blue) > 10);
}

void TestMemo::accessibleText()
{
    Memo()->SetText(QString::fromUtf8("first line\nsecond 😀 word\nthird"));
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(Memo());
    QVERIFY(accessible);
    QCOMPARE(accessible->role(), QAccessible::EditableText);
    QVERIFY(accessible->state().multiLine && accessible->state().editable);
    QAccessibleTextInterface* text = accessible->textInterface();
    QAccessibleEditableTextInterface* editable = accessible->editableTextInterface();
    QVERIFY(text && editable);

    QCOMPARE(text->characterCount(), Memo()->Text().size());
    QCOMPARE(text->text(6, 10), QStringLiteral("line"));
    int start = 0;
    int end = 0;
    QCOMPARE(text->textAtOffset(13, QAccessible::LineBoundary, &start, &end), QString::fromUtf8("second 😀 word\n"));
    QCOMPARE(std::pair(start, end), std::pair(11, 26));
    QCOMPARE(text->textAfterOffset(13, QAccessible::LineBoundary, &start, &end), QStringLiteral("third"));
    QCOMPARE(text->textBeforeOffset(13, QAccessible::LineBoundary, &start, &end), QStringLiteral("first line\n"));
    QCOMPARE(text->textAtOffset(18, QAccessible::CharBoundary, &start, &end), QString::fromUtf8("😀"));
    QCOMPARE(text->textAtOffset(22, QAccessible::WordBoundary, &start, &end), QStringLiteral("word"));

    text->setSelection(0, 0, 5);
    QCOMPARE(text->selectionCount(), 1);
    QCOMPARE(Memo()->SelectedText(), QStringLiteral("first"));
    text->setCursorPosition(11);
    QCOMPARE(text->cursorPosition(), 11);
    QCOMPARE(text->selectionCount(), 0);

    const QRect rect = text->characterRect(13);
    QVERIFY(rect.isValid());
    QCOMPARE(text->offsetAtPoint(rect.center()), 13);

    editable->insertText(0, QStringLiteral(">> "));
    editable->replaceText(3, 8, QStringLiteral("1st"));
    editable->deleteText(0, 3);
    QCOMPARE(Memo()->Text().section(u'\n', 0, 0), QStringLiteral("1st line"));
}

// Past 2,147,483,647 units a screen reader still reaches the text around
// the caret, the start when the caret is there and what was typed at the end.
void TestMemo::accessibleTextPastAnIntsReach()
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    QSKIP("2 GB of text is too slow to fill under the sanitizers");
#endif
    constexpr std::int64_t Size = std::int64_t(std::numeric_limits<int>::max()) + 4000;
    TBlockBytes block(static_cast<char*>(std::malloc(Size)));
    QVERIFY(block);
    std::memset(block.get(), 'a', Size);
    for (std::int64_t at = 99; at < Size; at += 100)
        block.get()[at] = '\n';
    std::memcpy(block.get(), "start", 5);
    Memo()->LoadStore(TTextStore(std::move(block), Size));
    QAccessibleTextInterface* text = QAccessible::queryAccessibleInterface(Memo())->textInterface();
    QCOMPARE(text->characterCount(), std::numeric_limits<int>::max());
    QCOMPARE(text->text(0, 5), QStringLiteral("start"));

    Memo()->SetSelection(Size, Size);
    QTest::keyClicks(Memo(), QStringLiteral("tail"));
    const int caret = text->cursorPosition();
    QCOMPARE(text->text(caret - 4, caret), QStringLiteral("tail"));
    QCOMPARE(caret, text->characterCount());
    int start = 0;
    int end = 0;
    QVERIFY(text->textAtOffset(caret - 1, QAccessible::LineBoundary, &start, &end).endsWith(u"tail"));
    QCOMPARE(end, caret);
    // Placing the caret through the interface reaches the same text.
    text->setCursorPosition(caret - 2);
    QCOMPARE(Memo()->CursorPosition(), Size + 2);

    Memo()->SetSelection(3, 3);
    QCOMPARE(text->cursorPosition(), 3);
    QCOMPARE(text->text(0, 5), QStringLiteral("start"));
}

void TestMemo::copyBeyondMemoryFailsClearly()
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    QSKIP("the sanitizers need more address space than the limit below allows");
#endif
    // 300 MB of text, whose copy needs 600 MB more, in a child allowed 450 MB more.
    const int status = ExitStatusWithAddressLimit(AddressSpaceInUse() + (450 << 20), [] {
        constexpr std::int64_t Size = 300'000'000;
        TBlockBytes block(static_cast<char*>(std::malloc(Size)));
        std::memset(block.get(), 'x', Size);
        // Copy and Cut of all of it fail with a message, and the text stays.
        TMemo memo;
        memo.LoadStore(TTextStore(std::move(block), Size));
        memo.SelectAll();
        for (const TCommand command : {TCommand::cmCopy, TCommand::cmCut}) {
            try {
                memo.Editor().Run(command);
                return 1;
            } catch (const TFailure& failure) {
                if (failure.Message() != u"Not enough memory to copy the selection")
                    return 2;
            }
            if (memo.Model().Length() != Size || memo.Model().Text(Size - 3, Size) != u"xxx")
                return 4;
        }
        return 0;
    });
    QCOMPARE(status, 0);
}

QTEST_MAIN(TestMemo)
#include "tst_memo.moc"
