#include "app/KestrunApp.h"

#include <QFileInfo>
#include <QImageReader>
#include <QLibraryInfo>
#include <QLocale>
#include <QMenu>
#include <QPixmap>
#include <QPointer>
#include <QSettings>
#include <QTranslator>
#include <QWidget>
#include <QWindow>

TApplication::TApplication(int& argc, char** argv)
    : QApplication(argc, argv)
{
    // The title captions every error box; the window manager groups our
    // windows under it.
    setApplicationName(TitleFromExecutable(applicationFilePath()));
    setWindowIcon(ProgramIcon());
    // Qt's texts and ours in the user's language: Qt's where its
    // translations are installed, ours under our data folder, or beside the
    // program when it runs from its build.
    InstallTranslation(QStringLiteral("qtbase"), {QLibraryInfo::path(QLibraryInfo::TranslationsPath)});
    const QString folder = applicationDirPath();
    InstallTranslation(QStringLiteral("kestrun"), {folder + QStringLiteral("/../share/kestrun/translations"),
                                                   folder + QStringLiteral("/translations")});
    // Docks and window managers match our windows to the desktop entry.
    setDesktopFileName(QStringLiteral("example.kestrun.Kestrun"));
    // Kestrun keeps nothing between runs, yet Qt's file dialog stores its
    // history and last folder in the user's settings. Point user settings at
    // a folder that cannot exist: reads find nothing, writes go nowhere.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("/dev/null"));
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("/dev/null"));
    installEventFilter(this);
    connect(this, &QGuiApplication::focusWindowChanged, this, &TApplication::KeepModalFocused);
}

bool TApplication::eventFilter(QObject* watched, QEvent* event)
{
    // Our windows keep their designed layout in every language, and a menu
    // would take that direction from the control it belongs to. Menus are
    // laid out by Qt, so they follow the language, as Qt's dialogs and boxes
    // do: right to left and whole in Arabic.
    if (event->type() == QEvent::Polish && qobject_cast<QMenu*>(watched))
        static_cast<QMenu*>(watched)->setLayoutDirection(layoutDirection());
    if (event->type() == QEvent::Hide && watched->isWidgetType()
        && static_cast<QWidget*>(watched)->windowType() == Qt::Popup)
        QMetaObject::invokeMethod(this, &TApplication::CatchUpActivation, Qt::QueuedConnection);
    return QApplication::eventFilter(watched, event);
}

void TApplication::KeepModalFocused(QWindow* focused)
{
    // While a modal window shows, it keeps the keyboard. A Wayland
    // compositor can still give it to a window below: Qt asks for a window
    // to be activated whenever the focus moves in it, and the answer to one
    // asked for just before the modal window appeared comes after it.
    const QPointer<QWidget> modal = activeModalWidget();
    if (!focused || !modal || !modal->windowHandle() || focused->type() == Qt::Popup)
        return;
    // The modal window itself, or one of its own (its completion list).
    for (const QWindow* window = focused; window; window = window->transientParent())
        if (window == modal->windowHandle())
            return;
    QMetaObject::invokeMethod(this, [modal] { if (modal) modal->activateWindow(); }, Qt::QueuedConnection);
}

void TApplication::InstallTranslation(const QString& name, const QStringList& folders)
{
    for (const QString& folder : folders) {
        auto* translator = new QTranslator(this);
        if (translator->load(QLocale(), name, QStringLiteral("_"), folder)) {
            installTranslator(translator);
            return;
        }
        delete translator;
    }
}

void TApplication::CatchUpActivation()
{
    // Qt drops a window's activation that arrives while a popup is open (a
    // completion list closing with the file dialog), and then no window of
    // ours is active although the window system gave one the focus: keys
    // reach no control and screen readers hear the window go, never come
    // back. Once the popups are gone, activate the window that has the focus.
    if (activeWindow() || activePopupWidget())
        return;
    const QWindow* focused = focusWindow();
    if (!focused)
        return;
    for (QWidget* top : topLevelWidgets()) {
        if (top->windowHandle() == focused && top->isVisible()) {
            setActiveWindow(top);
            return;
        }
    }
}

QString TApplication::TitleFromExecutable(const QString& executablePath)
{
    QString name = QFileInfo(executablePath).fileName();
    name.truncate(name.indexOf(u'.') < 0 ? name.size() : name.indexOf(u'.'));
    if (name.size() > 1)
        name = name.front() + name.mid(1).toLower();
    return name;
}

QIcon TApplication::ProgramIcon()
{
    QIcon icon;
    QImageReader reader(QStringLiteral(":/kestrun.ico"));
    for (int i = 0; i < reader.imageCount(); ++i) {
        if (!reader.jumpToImage(i))
            break;
        const QImage image = reader.read();
        if (!image.isNull())
            icon.addPixmap(QPixmap::fromImage(image));
    }
    // Larger sizes for docks and task switchers, which would otherwise
    // blow up the 32-pixel picture.
    for (const char* size : {"48", "128"})
        icon.addFile(QStringLiteral(":/icons/%1.png").arg(QLatin1StringView(size)));
    return icon;
}

void TApplication::DestroyOtherWindows(const QWidget* keep)
{
    QList<QPointer<QWidget>> others;
    for (QWidget* top : topLevelWidgets()) {
        if (top != keep && !top->parentWidget())
            others << top;
    }
    // One may take another down with it; the guards notice.
    for (const QPointer<QWidget>& top : others)
        delete top.data();
}
