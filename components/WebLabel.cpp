#include "components/WebLabel.h"

#include "base/Failure.h"

#include <QDesktopServices>
#include <QMouseEvent>
#include <QUrl>

const QString TWebLabel::DefaultLink = QStringLiteral("www.kestrun.example");

TWebLabel::TWebLabel(QWidget* parent)
    : QLabel(parent)
{
    QPalette palette = this->palette();
    palette.setColor(QPalette::WindowText, Qt::blue);
    setPalette(palette);
    QFont font = this->font();
    font.setPixelSize(13);
    setFont(font);
    SetUnderlineOnly(true);
    setCursor(Qt::PointingHandCursor);
}

void TWebLabel::SetHover(bool hover)
{
    FHover = hover;
    SetUnderlineOnly(!hover);
}

void TWebLabel::SetUnderlineOnly(bool underline)
{
    QFont font = this->font();
    font.setBold(false);
    font.setItalic(false);
    font.setStrikeOut(false);
    font.setUnderline(underline);
    setFont(font);
}

QString TWebLabel::Prefix(TURLType type)
{
    switch (type) {
    case lnFile: return QStringLiteral("file://");
    case lnFtp: return QStringLiteral("ftp://");
    case lnGopher: return QStringLiteral("gopher://");
    case lnHttp: return QStringLiteral("http://");
    case lnHttps: return QStringLiteral("https://");
    case lnMailto: return QStringLiteral("mailto:");
    case lnNews: return QStringLiteral("news:");
    case lnTelnet: return QStringLiteral("telnet:");
    case lnWais: return QStringLiteral("wais:");
    }
    return QString();
}

QString TWebLabel::Address()
{
    if (FLink.isEmpty()) {
        FLink = DefaultLink;
        return QStringLiteral("http://") + FLink;
    }
    return Prefix(FLinkTyp) + FLink;
}

void TWebLabel::OpenLink()
{
    // Whether the desktop could open it is not reported.
    QDesktopServices::openUrl(QUrl(Address(), QUrl::TolerantMode));
}

void TWebLabel::enterEvent(QEnterEvent*)
{
    if (FHover)
        SetUnderlineOnly(true);
}

void TWebLabel::leaveEvent(QEvent*)
{
    if (FHover)
        SetUnderlineOnly(false);
}

void TWebLabel::mousePressEvent(QMouseEvent* event)
{
    FPressed = event->button() == Qt::LeftButton;
    event->accept();
}

void TWebLabel::mouseReleaseEvent(QMouseEvent* event)
{
    event->accept();
    const bool click = FPressed && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    FPressed = false;
    if (click)
        CallHandler([this] { OpenLink(); });
}
