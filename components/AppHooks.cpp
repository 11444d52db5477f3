#include "components/AppHooks.h"
#include "components/AppHooksProbe.h"

#include <QApplication>
#include <QEvent>
#include <QMouseEvent>
#include <QPlatformSurfaceEvent>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

struct TRegistration {
    TAppHookListener Listener;
    int UseCount;
    TAppHookKinds Kinds;
};

std::unique_ptr<std::vector<TRegistration>> Registrations;

TAppHookKinds HookKinds(TPlatformHook hook)
{
    switch (hook) {
    case phCallWndProc:
        return AppHookBit(ahActivateApp) | AppHookBit(ahWindowPosChanged);
    case phCbt:
        return AppHookBit(ahDestroyWindow);
    case phGetMessage:
        return AppHookBit(ahMouseMove);
    }
    return 0;
}

void CallListeners(TAppHookKind kind, QObject* window, qintptr param1, qintptr param2)
{
    if (!Registrations)
        return;
    // The count is read once; listeners may unregister while they run.
    const std::size_t count = Registrations->size();
    for (std::size_t i = 0; i < count && Registrations && i < Registrations->size(); ++i) {
        const TRegistration registration = (*Registrations)[i];
        if (!(registration.Kinds & AppHookBit(kind)))
            continue;
        try {
            registration.Listener(kind, window, param1, param2);
        } catch (...) {
            // A listener's failure must not stop the others or reach Qt.
        }
    }
}

// One application event filter stands for one platform hook.
class THookFilter final : public QObject
{
public:
    explicit THookFilter(TPlatformHook hook) : FHook(hook) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (!Registrations)
            return false;
        switch (FHook) {
        case phCallWndProc:
            if (event->type() == QEvent::ApplicationActivate || event->type() == QEvent::ApplicationDeactivate) {
                CallListeners(ahActivateApp, watched, event->type() == QEvent::ApplicationActivate ? 1 : 0, 0);
            } else if (event->type() == QEvent::Move && watched->isWidgetType()
                       && static_cast<QWidget*>(watched)->isWindow()) {
                const QPoint at = static_cast<QWidget*>(watched)->pos();
                CallListeners(ahWindowPosChanged, watched, at.x(), at.y());
            }
            break;
        case phCbt:
            if (event->type() == QEvent::PlatformSurface
                && static_cast<QPlatformSurfaceEvent*>(event)->surfaceEventType()
                    == QPlatformSurfaceEvent::SurfaceAboutToBeDestroyed)
                CallListeners(ahDestroyWindow, watched, 0, 0);
            break;
        case phGetMessage:
            // Every mouse move of the application, as it reaches its window.
            if (event->type() == QEvent::MouseMove && watched->isWindowType()) {
                const QPoint at = static_cast<QMouseEvent*>(event)->position().toPoint();
                CallListeners(ahMouseMove, watched, at.x(), at.y());
            }
            break;
        }
        return false;
    }

private:
    TPlatformHook FHook;
};

struct THookSlot {
    std::unique_ptr<THookFilter> Filter;
    int UseCount = 0;
};

THookSlot Hooks[PlatformHookCount];

void RemoveAllHooks()
{
    for (THookSlot& hook : Hooks) {
        if (hook.Filter && qApp)
            qApp->removeEventFilter(hook.Filter.get());
        hook.Filter.reset();
        hook.UseCount = 0;
    }
    Registrations.reset();
}

void InstallHook(TPlatformHook hook)
{
    static bool cleanupRegistered = false;
    if (!qApp)
        return; // tried again by the next registration that needs it
    if (!cleanupRegistered) {
        qAddPostRoutine(RemoveAllHooks);
        cleanupRegistered = true;
    }
    Hooks[hook].Filter = std::make_unique<THookFilter>(hook);
    qApp->installEventFilter(Hooks[hook].Filter.get());
}

} // namespace

void RegisterAppHook(TAppHookListener listener, TAppHookKinds kinds, bool countOnly)
{
    if (!Registrations)
        Registrations = std::make_unique<std::vector<TRegistration>>();
    auto found = std::find_if(Registrations->begin(), Registrations->end(),
                              [listener](const TRegistration& r) { return r.Listener == listener; });
    if (found != Registrations->end())
        ++found->UseCount;
    else
        Registrations->push_back({listener, 1, kinds});

    if (countOnly)
        return;
    for (int hook = 0; hook < PlatformHookCount; ++hook) {
        if (!(HookKinds(TPlatformHook(hook)) & kinds))
            continue;
        ++Hooks[hook].UseCount;
        if (!Hooks[hook].Filter)
            InstallHook(TPlatformHook(hook));
    }
}

void UnregisterAppHook(TAppHookListener listener)
{
    if (!Registrations)
        return;
    auto found = std::find_if(Registrations->begin(), Registrations->end(),
                              [listener](const TRegistration& r) { return r.Listener == listener; });
    if (found != Registrations->end()) {
        const TAppHookKinds kinds = found->Kinds;
        if (--found->UseCount == 0)
            Registrations->erase(found);
        for (int hook = 0; hook < PlatformHookCount; ++hook) {
            if (!(HookKinds(TPlatformHook(hook)) & kinds))
                continue;
            if (Hooks[hook].UseCount > 0)
                --Hooks[hook].UseCount;
            if (Hooks[hook].UseCount == 0 && Hooks[hook].Filter) {
                if (qApp)
                    qApp->removeEventFilter(Hooks[hook].Filter.get());
                Hooks[hook].Filter.reset();
            }
        }
    }
    if (Registrations->empty())
        Registrations.reset();
}

bool ApplicationHasActiveWindow()
{
    return QApplication::activeWindow() != nullptr;
}

int AppHookUseCount(TAppHookListener listener)
{
    if (!Registrations)
        return 0;
    for (const TRegistration& r : *Registrations)
        if (r.Listener == listener)
            return r.UseCount;
    return 0;
}

int PlatformHookUseCount(TPlatformHook hook)
{
    return Hooks[hook].UseCount;
}

bool PlatformHookInstalled(TPlatformHook hook)
{
    return Hooks[hook].Filter != nullptr;
}

bool AppHookListExists()
{
    return Registrations != nullptr;
}
