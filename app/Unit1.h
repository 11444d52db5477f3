#pragma once

#include "base/FormLayout.h"

#include <QChar>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <memory>
#include <optional>

class TDialogIcons;
class QLabel;
class QLineEdit;
class QPushButton;
class TFlatButton;
class TMemo;
namespace Ui { class TForm1; }

// The file-open dialog of the main window. It keeps the last confirmed path
// and offers it again on the next run.
class TOpenDialog final
{
public:
    explicit TOpenDialog(QWidget* owner);
    ~TOpenDialog();
    TOpenDialog(const TOpenDialog&) = delete;
    TOpenDialog& operator=(const TOpenDialog&) = delete;

    // Runs the dialog modally; true when the user confirmed a path, which
    // FileName then holds. Any name is accepted, existing or not.
    bool Execute();

    const QString& FileName() const { return FFileName; }
    void SetFileName(const QString& fileName) { FFileName = fileName; }

private:
    // The dialog itself, made and destroyed here; the confirmed path, if any.
    std::optional<QString> RunDialog();

    QPointer<QWidget> FOwner;
    QString FFileName;
    // The icons every run's dialog shows, kept from run to run.
    std::unique_ptr<TDialogIcons> FIcons;
};

// The main window: a number of megabytes, a file picked with "...", and the
// end of that file in the text area.
class TForm1 final : public QWidget
{
    Q_OBJECT
public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    // Shows the last (number in ebReadNum) x 1,000,000 bytes of the file
    // OpenDialog1 names in Memo1. Throws TFailure; Memo1 keeps its text then.
    void LoadTail();

    TMemo* Memo1 = nullptr;
    QPushButton* bbOpen = nullptr;
    TOpenDialog OpenDialog1{this};
    QLineEdit* ebReadNum = nullptr;
    QLabel* Label1 = nullptr;
    TFlatButton* FlatButton1 = nullptr;

protected:
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void bbOpenClick();
    void FlatButton1Click();
    // What a load showed, for screen readers: the text area's description,
    // and "..."'s, which is what has the focus after a load and so is heard
    // as it changes, once this window is active again.
    void DescribeShown(const QString& path);
    void TellShown();

    std::unique_ptr<Ui::TForm1> FUi;
    TAnchorLayout FAnchors;
    QChar FDecimalSeparator;
    QString FOpenDescription;
    QString FShown;
    bool FShownUntold = false;
};
