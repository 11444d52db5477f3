#pragma once

#include "base/FormLayout.h"

#include <QDialog>

#include <memory>

class QLabel;
class QPushButton;
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
    QPushButton* BitBtnClose = nullptr;
    QLabel* label1 = nullptr;
    TVelmGradient* VelmGradient1 = nullptr;
    TWebLabel* WebLabel1 = nullptr;
    QLabel* Label3 = nullptr;

    // The OK glyph: the normal look and the disabled look, olive transparent.
    // The OK button's glyph, built once and shared by every window.
    static QIcon OkGlyph();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    static QIcon BuildOkGlyph();
    void FormShow();
    void BitBtnCloseClick();

    std::unique_ptr<Ui::TAboutForm> FUi;
    bool FPlaced = false;
};
