#include "about/AboutUnit.h"

#include "base/Colors.h"
#include "base/Failure.h"
#include "components/Accessible.h"
#include "components/ImageMp.h"
#include "components/VelmGrad.h"
#include "components/WebLabel.h"
#include "ui_AboutUnit.h"

#include <QApplication>
#include <QBitmap>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <QTimer>

TAboutForm::TAboutForm(QWidget* parent)
    : QDialog(parent), FUi(std::make_unique<Ui::TAboutForm>())
{
    InstallAccessibility();
    FUi->setupUi(this);
    ImageMp1 = FUi->ImageMp1;
    Panel1 = FUi->Panel1;
    Label2 = FUi->Label2;
    BitBtnClose = FUi->BitBtnClose;
    label1 = FUi->label1;
    VelmGradient1 = FUi->VelmGradient1;
    WebLabel1 = FUi->WebLabel1;
    Label3 = FUi->Label3;

    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                   | Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint);
    // The black backdrop is painted, not set as a palette: a palette of its
    // own would give every about window's button new style pixmaps in Qt's
    // pixmap cache, kept there long after the window is gone.

    ApplyStoredLayout(this);
    setFixedSize(size());

    BitBtnClose->setIcon(OkGlyph());
    BitBtnClose->setIconSize(QSize(18, 18));
    // The panel has the focus when the window opens, and screen readers say
    // what has the focus: so it says all the window says. A screen reader
    // may skip announcing the window itself: Orca does when the click that
    // opened it reaches it only after the window is active. The lines are
    // the panel's labels, so they are not read twice when it does announce.
    Panel1->setAccessibleDescription(Label3->text() + u'\n' + Label2->text() + u'\n' + WebLabel1->text());
    for (QLabel* line : {label1, Label2, Label3})
        line->setBuddy(Panel1);
    connect(BitBtnClose, &QPushButton::clicked, this, [this] { CallHandler([this] { BitBtnCloseClick(); }); });
    Panel1->setFocus();
}

TAboutForm::~TAboutForm() = default;

QIcon TAboutForm::OkGlyph()
{
    // One icon for every window: a new one each time would leave its scaled
    // copies in Qt's pixmap cache after the window is gone.
    static QIcon* shared = nullptr;
    if (!shared) {
        shared = new QIcon(BuildOkGlyph());
        qAddPostRoutine([] {
            delete shared;
            shared = nullptr;
        });
    }
    return *shared;
}

QIcon TAboutForm::BuildOkGlyph()
{
    const QImage glyph(QStringLiteral(":/BtnOk.bmp"));
    QIcon icon;
    if (glyph.isNull())
        return icon;
    const QRgb transparent = TransparentColour(glyph);
    const int side = glyph.height();
    const auto look = [&](int index) {
        const QImage part = glyph.copy(index * side, 0, side, side);
        QPixmap pixmap = QPixmap::fromImage(part);
        pixmap.setMask(QBitmap::fromImage(part.createMaskFromColor(transparent, Qt::MaskInColor)));
        return pixmap;
    };
    icon.addPixmap(look(0), QIcon::Normal);
    icon.addPixmap(look(1), QIcon::Disabled);
    return icon;
}

void TAboutForm::FormShow()
{
    ImageMp1->SetTimerRate(30);
}

void TAboutForm::BitBtnCloseClick()
{
    setResult(QDialog::Accepted);
    ActivateNextAbout();
    deleteLater();
}

void TAboutForm::ActivateNextAbout()
{
    if (!isActiveWindow())
        return;
    TAboutForm* next = nullptr;
    const auto windows = QApplication::topLevelWidgets();
    for (QWidget* window : windows) {
        auto* about = qobject_cast<TAboutForm*>(window);
        if (about && about != this && about->isVisible() && (!next || about->FActivatedAt > next->FActivatedAt))
            next = about;
    }
    if (!next)
        return;
    // After this window has gone, and after the window manager has picked
    // whom to give the keyboard.
    QTimer::singleShot(0, next, [next] {
        next->raise();
        next->activateWindow();
    });
}

void TAboutForm::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
        static std::uint64_t activations = 0;
        FActivatedAt = ++activations;
    }
    QDialog::changeEvent(event);
}

void TAboutForm::hideEvent(QHideEvent* event)
{
    // Closed from its title bar: only hidden, and the next about window takes over.
    if (!event->spontaneous())
        ActivateNextAbout();
    QDialog::hideEvent(event);
}

void TAboutForm::paintEvent(QPaintEvent*)
{
    QPainter(this).fillRect(rect(), Qt::black);
}

void TAboutForm::keyPressEvent(QKeyEvent* event)
{
    // No button cancels: Escape does nothing.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TAboutForm::NameForScreenReaders()
{
    // A new about window lies exactly over the one before. Screen readers
    // take windows alike in role, name and place for one (Orca announces
    // neither the window nor its focus then), so the second and later ones
    // open at a time are numbered for them.
    int open = 1;
    const auto windows = QApplication::topLevelWidgets();
    for (QWidget* window : windows)
        open += window != this && qobject_cast<TAboutForm*>(window) && window->isVisible();
    setAccessibleName(open > 1 ? QStringLiteral("%1 (%L2)").arg(windowTitle()).arg(open) : QString());
    const QString name = accessibleName().isEmpty() ? windowTitle() : accessibleName();
    Panel1->setAccessibleName(name + u' ' + label1->text());
}

void TAboutForm::showEvent(QShowEvent* event)
{
    CallHandler([this] { FormShow(); });
    if (!FPlaced) {
        FPlaced = true;
        QScreen* primary = QGuiApplication::primaryScreen();
        QScreen* active = QApplication::activeWindow() ? QApplication::activeWindow()->screen() : primary;
        if (primary && active)
            move(CentredTopLeft(primary->geometry(), active->geometry(), size()));
        NameForScreenReaders();
    }
    QDialog::showEvent(event);
    // Window managers do not activate a tool window on their own, and this
    // one takes the keyboard when it shows: Enter closes it at once.
    activateWindow();
}
