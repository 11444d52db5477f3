#pragma once

#include <QApplication>
#include <QIcon>
#include <QString>
#include <QStringList>

class QWindow;

// The application object: created before anything else, it takes its title
// from the executable's name and carries the program icon.
class TApplication final : public QApplication
{
    Q_OBJECT
public:
    TApplication(int& argc, char** argv);

    // The executable's file name without folder and without everything from
    // its first "."; every character after the first in lower case.
    static QString TitleFromExecutable(const QString& executablePath);

    // The program icon in all its sizes.
    static QIcon ProgramIcon();

    // At the end of the program: destroys every parentless window but `keep`
    // (about windows closed from their title bar are only hidden until then).
    static void DestroyOtherWindows(const QWidget* keep);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CatchUpActivation();
    void KeepModalFocused(QWindow* focused);
    // Loads the catalogue `name` for the user's language from the first
    // folder that has one; English needs none.
    void InstallTranslation(const QString& name, const QStringList& folders);
};
