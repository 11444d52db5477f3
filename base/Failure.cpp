#include "base/Failure.h"

#include <QApplication>
#include <QMessageBox>
#include <QWidget>

#include <new>

QEvent::Type CancelModeEventType()
{
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

QString FailureText(const char* source, const QString& argument)
{
    QString text = QCoreApplication::translate("Failure", source);
    return text.replace(QLatin1StringView("%s"), argument);
}

QString DisplayText(const QString& message)
{
    if (!message.isEmpty() && message.back().unicode() > u'.')
        //: The full stop the error display puts after a message that does not end in one.
        return message + FailureText(QT_TRANSLATE_NOOP("Failure", "."));
    return message;
}

void ShowFailure(const QString& message)
{
    // A control that holds the mouse would otherwise stay pressed under the box.
    if (QWidget* grabber = QWidget::mouseGrabber()) {
        QEvent cancel(CancelModeEventType());
        QCoreApplication::sendEvent(grabber, &cancel);
        grabber->releaseMouse();
    }

    QMessageBox box(QMessageBox::Critical, QCoreApplication::applicationName(),
                    DisplayText(message), QMessageBox::Ok);
    box.setObjectName(QStringLiteral("ErrorBox"));
    // Messages carry file names and typed numbers, which anyone may have
    // written: shown as their characters, never as markup with links or
    // pictures to load.
    box.setTextFormat(Qt::PlainText);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

void ShowCurrentException() noexcept
{
    try {
        try {
            throw;
        } catch (const TFailure& failure) {
            ShowFailure(failure.Message());
        } catch (const std::bad_alloc&) {
            ShowFailure(FailureText(QT_TRANSLATE_NOOP("Failure", "Out of memory")));
        } catch (const std::exception& e) {
            ShowFailure(QString::fromUtf8(e.what()));
        } catch (...) {
            ShowFailure(FailureText(QT_TRANSLATE_NOOP("Failure", "Unknown failure")));
        }
    } catch (...) {
        // The display itself failed (no memory for the box): nothing more can be shown.
    }
}
