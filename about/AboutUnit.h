#pragma once

#include "base/FormLayout.h"

#include <QDialog>

#include <cstdint>
#include <memory>

class QLabel;
class TBitBtn;
class TImageMp;
class TVelmGradient;
class TWebLabel;
namespace Ui { class TAboutForm; }

// The about window: the program's name over a blue-to-black gradient, the
// spinning wire frame, a web link and OK. It stays on top, is shown
// modelessly, frees itself on OK and only hides when closed from its title bar.
class TAboutForm final : public QDialog
{
    Q_OBJECT
public:
    explicit TAboutForm(QWidget* parent = nullptr);
    ~TAboutForm() override;

    TImageMp* ImageMp1 = nullptr;
    QWidget* Panel1 = nullptr;
    QLabel* Label2 = nullptr;
    TBitBtn* BitBtnClose = nullptr;
    QLabel* label1 = nullptr;
    TVelmGradient* VelmGradient1 = nullptr;
    TWebLabel* WebLabel1 = nullptr;
    QLabel* Label3 = nullptr;

    // The OK glyph: the normal look and the disabled look, olive transparent.
    // The OK button's glyph, built once and shared by every window.
    static QIcon OkGlyph();

protected:
    void changeEvent(QEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    static QIcon BuildOkGlyph();
    void FormShow();
    void BitBtnCloseClick();
    // Hands the keyboard to the about window that was active last, of those
    // still showing, as this one goes: not to whatever the desktop picks.
    void ActivateNextAbout();
    // What screen readers call the window and its panel; see the .cpp.
    void NameForScreenReaders();

    std::unique_ptr<Ui::TAboutForm> FUi;
    bool FPlaced = false;
    std::uint64_t FActivatedAt = 0; // when this window was last activated, in activations counted
};
