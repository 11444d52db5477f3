#include "about/AboutUnit.h"

#include "components/Failure.h"
#include "components/ImageMp.h"
#include "components/VelmGrad.h"
#include "components/WebLabel.h"
#include "ui_AboutUnit.h"

#include <QApplication>
#include <QBitmap>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>

TAboutForm::TAboutForm(QWidget* parent)
    : QDialog(parent), FUi(std::make_unique<Ui::TAboutForm>())
{
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
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    setPalette(black);
    setAutoFillBackground(true);

    ApplyStoredLayout(this);
    setFixedSize(size());

    BitBtnClose->setIcon(OkGlyph());
    BitBtnClose->setIconSize(QSize(18, 18));
    connect(BitBtnClose, &QPushButton::clicked, this, [this] { CallHandler([this] { BitBtnCloseClick(); }); });
    Panel1->setFocus();
}

TAboutForm::~TAboutForm() = default;

QIcon TAboutForm::OkGlyph()
{
    const QImage glyph(QStringLiteral(":/BtnOk.bmp"));
    QIcon icon;
    if (glyph.isNull())
        return icon;
    // The bottom-left pixel's colour is the transparent one.
    const QRgb transparent = glyph.pixel(0, glyph.height() - 1);
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
    deleteLater();
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

void TAboutForm::showEvent(QShowEvent* event)
{
    CallHandler([this] { FormShow(); });
    if (!FPlaced) {
        FPlaced = true;
        QScreen* primary = QGuiApplication::primaryScreen();
        QScreen* active = QApplication::activeWindow() ? QApplication::activeWindow()->screen() : primary;
        if (primary && active)
            move(CentredTopLeft(primary->geometry(), active->geometry(), size()));
    }
    QDialog::showEvent(event);
}
