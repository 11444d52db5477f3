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
    // Calls `answer` once each time a modal window shows while this lives.
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
        // A window shown again (a dialog kept for the next run) is a new one to answer.
        qApp->installEventFilter(this);
    }
    ~TModalDriver() override { qApp->removeEventFilter(this); }

    int Count() const { return FCount; }
    bool Seen() const { return FCount > 0; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show && watched == FLast)
            FLast = nullptr;
        return false;
    }

private:
    QTimer FTimer;
    std::function<void(QWidget*)> FAnswer;
    QPointer<QWidget> FLast;
    int FCount = 0;
};
