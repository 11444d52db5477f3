#pragma once

#include <QByteArray>
#include <QEvent>
#include <QString>

#include <exception>
#include <utility>

// One of our own failure texts in the user's language. source is the English
// wording, marked where it is written with QT_TRANSLATE_NOOP("Failure", ...)
// so that the catalogues list it; "%s" in it stands for argument, put in
// after the lookup, so a path or a typed number is shown as it is.
QString FailureText(const char* source, const QString& argument = {});

// A failure raised by our code. It carries the text the user will see; the
// application's error display shows it once it reaches the boundary where Qt
// called us.
class TFailure : public std::exception
{
public:
    explicit TFailure(QString message)
        : FMessage(std::move(message)), FUtf8(FMessage.toUtf8()) {}
    // One of our own texts, in the user's language (FailureText above).
    explicit TFailure(const char* source, const QString& argument = {})
        : TFailure(FailureText(source, argument)) {}

    const QString& Message() const noexcept { return FMessage; }
    const char* what() const noexcept override { return FUtf8.constData(); }

private:
    QString FMessage;
    QByteArray FUtf8;
};

// Sent to the widget that holds the mouse before a modal box opens, and by a
// control to itself when it must drop a press in progress.
QEvent::Type CancelModeEventType();

// The text the error display shows for a message: a "." is appended when the
// message is not empty and its last character sorts above ".".
QString DisplayText(const QString& message);

// The application's error display: cancels the mouse grab, then shows the
// message in a modal box with the error icon, one OK button and the
// application title as caption.
void ShowFailure(const QString& message);

// Shows the exception being handled. Call only from inside a catch block.
void ShowCurrentException() noexcept;

// Runs an event handler where Qt calls our code. Whatever the handler throws
// goes to the error display; nothing unwinds through Qt's frames.
template <typename F>
void CallHandler(F&& handler) noexcept
{
    try {
        std::forward<F>(handler)();
    } catch (...) {
        ShowCurrentException();
    }
}
