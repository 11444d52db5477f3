#include "app/Unit1.h"

#include "about/AboutUnit.h"
#include "app/NumberField.h"
#include "app/TailLoad.h"
#include "base/Failure.h"
#include "components/Accessible.h"
#include "components/FlatCtls.h"
#include "textarea/Memo.h"
#include "textarea/MemoText.h"
#include "ui_Unit1.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileIconProvider>
#include <QGuiApplication>
#include <QHash>
#include <QIcon>
#include <QKeyEvent>
#include <QMimeDatabase>
#include <QPixmapCache>
#include <QScreen>

#include <cstring>
#include <limits>
#include <new>
#include <optional>

namespace {

// Moves a dialog to its place on the user's monitor as it is about to show.
class TDialogPlacer final : public QObject
{
public:
    TDialogPlacer(QWidget* dialog, QWidget* fallbackReference)
        : QObject(dialog), FDialog(dialog), FFallback(fallbackReference)
    {
        dialog->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == FDialog && event->type() == QEvent::Show) {
            QWidget* reference = QApplication::activeWindow();
            if (!reference || reference == FDialog)
                reference = FFallback;
            QScreen* screen = reference ? reference->screen() : QGuiApplication::primaryScreen();
            if (screen)
                FDialog->move(DialogTopLeft(screen->geometry(), FDialog->frameGeometry().size()));
        }
        return false;
    }

private:
    QWidget* FDialog;
    QPointer<QWidget> FFallback;
};

// Return and the keypad's Enter click a push button that has the focus, as
// Space does; Qt's push buttons take them only inside dialogs.
class TEnterClicks final : public QObject
{
public:
    explicit TEnterClicks(QAbstractButton* button) : QObject(button) { button->installEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        if (!enter || key->isAutoRepeat() || (key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
            return false;
        static_cast<QAbstractButton*>(watched)->click();
        return true;
    }
};

} // namespace

// The icons of the file dialog, one set for every run. A new dialog would
// otherwise make new icons (for its buttons and for every kind of file it
// lists), and Qt's pixmap cache keeps what it drew of each under that icon's
// own key, so every run would add pixmaps that nothing can use again.
class TDialogIcons final : public QFileIconProvider
{
public:
    QIcon icon(IconType type) const override
    {
        auto found = FByType.find(type);
        if (found == FByType.end())
            found = FByType.insert(type, QFileIconProvider::icon(type));
        return *found;
    }

    // Icons and types come from names alone: the dialog must never read a
    // file to show it (a FIFO or a file in /proc would hang the program
    // until it had been read, a hung mount for ever).
    QIcon icon(const QFileInfo& info) const override
    {
        if (info.isRoot())
            return icon(Drive);
        if (info.isDir())
            return icon(Folder);
        const QMimeType type = TypeByName(info);
        auto found = FByKind.find(type.name());
        if (found == FByKind.end())
            found = FByKind.insert(type.name(), QIcon::fromTheme(type.iconName(),
                                                 QIcon::fromTheme(type.genericIconName(), icon(File))));
        return *found;
    }

    QString type(const QFileInfo& info) const override
    {
        if (!info.isFile())
            return QFileIconProvider::type(info);
        const QMimeType type = TypeByName(info);
        return type.comment().isEmpty() ? type.name() : type.comment();
    }

    // Gives the dialog's buttons the icons the first dialog's buttons had.
    void ShareButtonIcons(const QFileDialog& dialog)
    {
        for (QAbstractButton* button : dialog.findChildren<QAbstractButton*>()) {
            const QString key = button->objectName() + u'|' + button->text();
            auto found = FButtons.find(key);
            if (found == FButtons.end())
                found = FButtons.insert(key, button->icon());
            button->setIcon(*found);
        }
    }

private:
    QMimeType TypeByName(const QFileInfo& info) const
    {
        return FTypes.mimeTypeForFile(info.fileName(), QMimeDatabase::MatchExtension);
    }

    mutable QHash<int, QIcon> FByType;
    mutable QHash<QString, QIcon> FByKind;
    QHash<QString, QIcon> FButtons;
    QMimeDatabase FTypes;
};

namespace {

// The main window is a frame named by its caption.
QAccessibleInterface* MainWindowAccessible(const QString& className, QObject* object)
{
    if (className == QLatin1StringView("TForm1") && object && object->isWidgetType())
        return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Window);
    return nullptr;
}

} // namespace

TOpenDialog::TOpenDialog(QWidget* owner) : FOwner(owner) {}

TOpenDialog::~TOpenDialog() = default;

bool TOpenDialog::Execute()
{
    if (!FIcons)
        FIcons = std::make_unique<TDialogIcons>();
    const std::optional<QString> chosen = RunDialog();
    // What Qt's styles drew for the dialog is keyed to its widgets, which are
    // gone; without this every run would leave some of it in the pixmap cache.
    QPixmapCache::clear();
    if (!chosen)
        return false;
    FFileName = *chosen;
    return true;
}

std::optional<QString> TOpenDialog::RunDialog()
{
    // A dialog for this run only. A dialog kept from run to run keeps its
    // name box's completer, which answers the folder listing that arrives
    // after the dialog has closed by showing its list on its own, over
    // whatever window is there, and holds the keyboard and mouse.
    QFileDialog dialog;
    dialog.setObjectName(QStringLiteral("OpenDialog1"));
    // Qt's own dialog everywhere: it accepts names that do not exist, and we
    // can place it.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setIconProvider(FIcons.get());
    FIcons->ShareButtonIcons(dialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.setSizeGripEnabled(true);
    new TDialogPlacer(&dialog, FOwner);
    if (!FFileName.isEmpty())
        dialog.selectFile(FFileName);

    // Back to where the user was once the dialog has gone, whatever an X11
    // window manager makes of a closed owner-less window. A Wayland
    // compositor gives the keyboard back to the window that had it; a
    // request of ours would be answered late, after the window that comes
    // next (an error box), and take the keyboard from that one.
    const QPointer<QWidget> active = QApplication::activeWindow();
    const QPointer<QWidget> focus = QApplication::focusWidget();
    const bool accepted = dialog.exec() == QDialog::Accepted;
    const QStringList chosen = dialog.selectedFiles();
    if (active && !QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
        active->activateWindow();
    if (active && focus)
        focus->setFocus(Qt::OtherFocusReason);
    if (!accepted || chosen.isEmpty())
        return std::nullopt;
    return chosen.front();
}

TForm1::TForm1(QWidget* parent)
    : QWidget(parent), FUi(std::make_unique<Ui::TForm1>()),
      FDecimalSeparator(UserDecimalSeparator())
{
    InstallAccessibility();
    static const bool mainWindowAccessible = [] {
        QAccessible::installFactory(MainWindowAccessible);
        return true;
    }();
    Q_UNUSED(mainWindowAccessible);
    FUi->setupUi(this);
    Memo1 = FUi->Memo1;
    bbOpen = FUi->bbOpen;
    ebReadNum = FUi->ebReadNum;
    Label1 = FUi->Label1;
    FlatButton1 = FUi->FlatButton1;
    FOpenDescription = bbOpen->accessibleDescription();
    // The number field takes any text, however long.
    ebReadNum->setMaxLength(std::numeric_limits<int>::max());

    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Button);
    ApplyStoredLayout(this);
    // A caption in another language may be wider than the designed one; it
    // then grows to the left, so that it never runs under the field.
    const int gap = 2 * Label1->fontMetrics().horizontalAdvance(u' ');
    if (Label1->geometry().right() + gap >= ebReadNum->x())
        Label1->move(ebReadNum->x() - gap - Label1->width(), Label1->y());
    FAnchors.Capture(this);

    new TEnterClicks(bbOpen);
    connect(bbOpen, &QPushButton::clicked, this, [this] { CallHandler([this] { bbOpenClick(); }); });
    FlatButton1->OnClick = [this](TFlatButton&) { FlatButton1Click(); };
    Memo1->setFocus();
}

TForm1::~TForm1() = default;

void TForm1::bbOpenClick()
{
    if (OpenDialog1.Execute())
        LoadTail();
}

void TForm1::FlatButton1Click()
{
    // A new window on every click; it frees itself on OK.
    auto* about = new TAboutForm;
    about->show();
}

void TForm1::LoadTail()
{
    TTailLoad load(OpenDialog1.FileName(), BytesToRead(ebReadNum->text(), FDecimalSeparator), *Memo1);
    if (auto text = load.Outcome())
        Memo1->LoadStore(std::move(*text));
    DescribeShown(OpenDialog1.FileName());
}

void TForm1::DescribeShown(const QString& path)
{
    FShown = tr("Showing %1, lines: %L2.").arg(QFileInfo(path).fileName()).arg(Memo1->Model().LineCount());
    FShownUntold = true;
    // Right after the dialog the window manager has yet to give this window
    // back the keyboard, and a screen reader hears only what changes where
    // the focus is.
    if (isActiveWindow())
        QMetaObject::invokeMethod(this, &TForm1::TellShown, Qt::QueuedConnection);
}

void TForm1::TellShown()
{
    if (!FShownUntold || !isActiveWindow())
        return;
    FShownUntold = false;
    Memo1->setAccessibleDescription(FShown);
    bbOpen->setAccessibleDescription(FShown + u' ' + FOpenDescription);
}

void TForm1::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LocaleChange)
        FDecimalSeparator = UserDecimalSeparator();
    if (event->type() == QEvent::ActivationChange && FShownUntold && isActiveWindow())
        QMetaObject::invokeMethod(this, &TForm1::TellShown, Qt::QueuedConnection);
    QWidget::changeEvent(event);
}

void TForm1::closeEvent(QCloseEvent* event)
{
    // Closing the main window ends the program, about windows or not.
    event->accept();
    QCoreApplication::quit();
}

void TForm1::resizeEvent(QResizeEvent* event)
{
    FAnchors.Apply(size());
    QWidget::resizeEvent(event);
}
