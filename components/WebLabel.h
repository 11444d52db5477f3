#pragma once

#include <QLabel>
#include <QString>

// A label that acts as a hyperlink: a pointing hand, underlined text, and a
// click hands scheme prefix + Link to the desktop's URL opener.
class TWebLabel final : public QLabel
{
    Q_OBJECT
    Q_PROPERTY(QString Link READ Link WRITE SetLink)
    Q_PROPERTY(TURLType LinkTyp READ LinkTyp WRITE SetLinkTyp)
    Q_PROPERTY(bool Hover READ Hover WRITE SetHover)

public:
    enum TURLType : quint8 {
        lnFile, lnFtp, lnGopher, lnHttp, lnHttps, lnMailto, lnNews, lnTelnet, lnWais
    };
    Q_ENUM(TURLType)

    // The address opened when Link is empty; it then becomes the Link.
    static const QString DefaultLink;

    explicit TWebLabel(QWidget* parent = nullptr);

    const QString& Link() const { return FLink; }
    void SetLink(const QString& link) { FLink = link; }
    TURLType LinkTyp() const { return FLinkTyp; }
    void SetLinkTyp(TURLType type) { FLinkTyp = type; }
    bool Hover() const { return FHover; }
    // Replaces the whole font style: none with hover, underline alone without.
    void SetHover(bool hover);

    static QString Prefix(TURLType type);

    // The address a click opens now (it may set Link to the default).
    QString Address();
    void OpenLink();

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void SetUnderlineOnly(bool underline);

    QString FLink;
    TURLType FLinkTyp = lnHttp;
    bool FHover = false;
    bool FPressed = false;
};
