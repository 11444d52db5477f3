// Both windows as a screen reader sees them: roles, names, relations and
// actions, walked through Qt's accessibility interfaces.

#include "about/AboutUnit.h"
#include "app/Unit1.h"
#include "components/FlatCtls.h"
#include "components/ImageMp.h"
#include "textarea/Memo.h"
#include "components/VelmGrad.h"
#include "components/WebLabel.h"
#include "tests/Harness.h"
#include "tests/app/AppTestMain.h"

#include <QAccessible>
#include <QDesktopServices>
#include <QLabel>
#include <QTemporaryDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QUrl>

namespace {

// The interface of a widget, and of every descendant in the tree.
QList<QAccessibleInterface*> Tree(QAccessibleInterface* root)
{
    QList<QAccessibleInterface*> all{root};
    for (int i = 0; i < root->childCount(); ++i)
        if (QAccessibleInterface* child = root->child(i))
            all += Tree(child);
    return all;
}

QAccessibleInterface* Find(QAccessibleInterface* root, QObject* object)
{
    for (QAccessibleInterface* node : Tree(root))
        if (node->object() == object)
            return node;
    return nullptr;
}

} // namespace

class TestAccessible : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void mainWindow();
    void aboutWindow();
    void loadIsDescribed();

public:
    QList<QUrl> Opened;
    Q_INVOKABLE void Open(const QUrl& url) { Opened << url; }
};

void TestAccessible::mainWindow()
{
    TForm1 form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QAccessibleInterface* window = QAccessible::queryAccessibleInterface(&form);
    QCOMPARE(window->role(), QAccessible::Window);
    QCOMPARE(window->text(QAccessible::Name), QStringLiteral("Kestrun 1.0"));

    struct TExpected {
        QObject* Object;
        QAccessible::Role Role;
        const char* Name;
    };
    const TExpected expected[] = {
        {form.Memo1, QAccessible::EditableText, "File tail"},
        {form.ebReadNum, QAccessible::EditableText, "Last MB to open"},
        {form.bbOpen, QAccessible::Button, "Open file"},
        {form.FlatButton1, QAccessible::Button, "About Kestrun"},
    };
    for (const TExpected& control : expected) {
        QAccessibleInterface* node = Find(window, control.Object);
        QVERIFY2(node, control.Name);
        QCOMPARE(node->role(), control.Role);
        QCOMPARE(node->text(QAccessible::Name), QString::fromUtf8(control.Name));
    }
    QCOMPARE(form.bbOpen->text(), QStringLiteral("..."));
    QCOMPARE(Find(window, form.bbOpen)->text(QAccessible::Description),
             QStringLiteral("Choose a file and show its last megabytes"));
    // The field is labelled by the label, so it is spoken with the focus.
    const auto labels = Find(window, form.ebReadNum)->relations(QAccessible::Label);
    QVERIFY(!labels.isEmpty());
    QCOMPARE(labels.front().first->object(), form.Label1);

    // The about button: not a focus stop, yet found and pressed by name.
    QAccessibleInterface* about = Find(window, form.FlatButton1);
    QVERIFY(!about->state().focusable);
    QVERIFY(!about->state().pressed && !about->state().checked);
    QCOMPARE(about->actionInterface()->actionNames(), QStringList{QAccessibleActionInterface::pressAction()});
    const auto aboutWindows = [] {
        int n = 0;
        for (QWidget* top : QApplication::topLevelWidgets())
            n += qobject_cast<TAboutForm*>(top) && top->isVisible();
        return n;
    };
    QCOMPARE(aboutWindows(), 0);
    about->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    QCOMPARE(aboutWindows(), 1);
    TApplication::DestroyOtherWindows(&form);
}

void TestAccessible::aboutWindow()
{
    QDesktopServices::setUrlHandler(QStringLiteral("http"), this, "Open");
    TAboutForm form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QAccessibleInterface* window = QAccessible::queryAccessibleInterface(&form);
    QCOMPARE(window->role(), QAccessible::Dialog);
    QCOMPARE(window->text(QAccessible::Name), QStringLiteral("About"));

    QAccessibleInterface* link = Find(window, form.WebLabel1);
    QCOMPARE(link->role(), QAccessible::Link);
    QCOMPARE(link->text(QAccessible::Name), form.WebLabel1->text());
    link->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    QCOMPARE(Opened, QList<QUrl>{QUrl(QStringLiteral("http://www.kestrun.example"))});

    for (QObject* decoration : {static_cast<QObject*>(form.VelmGradient1), static_cast<QObject*>(form.ImageMp1)}) {
        QAccessibleInterface* node = Find(window, decoration);
        QCOMPARE(node->role(), QAccessible::Graphic);
        QCOMPARE(node->text(QAccessible::Description), QStringLiteral("Decorative"));
        QVERIFY(node->text(QAccessible::Name).isEmpty());
        QVERIFY(!node->state().focusable);
    }
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));

    // The panel has the focus at first: it says all the window says.
    QAccessibleInterface* panel = Find(window, form.Panel1);
    QCOMPARE(panel->text(QAccessible::Name), QStringLiteral("About Kestrun"));
    for (const QLabel* line : {form.Label2, form.Label3})
        QVERIFY(panel->text(QAccessible::Description).contains(line->text()));
}

// A load tells what the text area now shows: in its description, and in
// that of "...", where the focus is after the dialog, once the window is
// active again and a screen reader follows the focus there. (Qt's offscreen
// platform sends no accessibility events; the Orca flow hears them.)
void TestAccessible::loadIsDescribed()
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("three.log"));
    QVERIFY(WriteFile(path, "one\ntwo\nthree"));
    TForm1 form;
    const QString purpose = form.bbOpen->accessibleDescription();
    form.OpenDialog1.SetFileName(path);
    form.LoadTail();
    QCoreApplication::processEvents();
    QVERIFY(form.Memo1->accessibleDescription().isEmpty()); // not yet active: nobody would hear it
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    QTRY_COMPARE(form.Memo1->accessibleDescription(), QStringLiteral("Showing three.log, lines: 3."));
    QCOMPARE(form.bbOpen->accessibleDescription(), form.Memo1->accessibleDescription() + u' ' + purpose);
}

KESTRUN_APP_TEST_MAIN(TestAccessible)

#include "tst_accessible.moc"
