#pragma once

// Answers modal windows (dialogs, error boxes) from inside their own event
// loops, the way a user would, so tests can run the real thing.

#include <QApplication>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>

class TModalDriver final : public QObject
{
public:
    // Calls `answer` once for each modal window that shows while this lives.
    explicit TModalDriver(std::function<void(QWidget*)> answer)
        : FAnswer(std::move(answer))
    {
        connect(&FTimer, &QTimer::timeout, this, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal || !modal->isVisible() || modal == FLast)
                return;
            FLast = modal;
            ++FCount;
            FAnswer(modal);
        });
        FTimer.start(20);
    }

    int Count() const { return FCount; }
    bool Seen() const { return FCount > 0; }

private:
    QTimer FTimer;
    std::function<void(QWidget*)> FAnswer;
    QPointer<QWidget> FLast;
    int FCount = 0;
};
