#pragma once

#include <QtGlobal>

class QObject;

// Application-wide notifications for any number of listeners, served by one
// application event filter per kind of platform hook.
enum TAppHookKind { ahActivateApp, ahWindowPosChanged, ahDestroyWindow, ahMouseMove };
using TAppHookKinds = unsigned; // a set of TAppHookKind bits
constexpr TAppHookKinds AppHookBit(TAppHookKind kind) { return 1u << kind; }

// The three hooks that serve the kinds: activation and window moves, window
// destruction, mouse moves.
enum TPlatformHook { phCallWndProc, phCbt, phGetMessage };
inline constexpr int PlatformHookCount = 3;

// (kind, window, first parameter, second parameter). For ahActivateApp the
// first parameter is 1 when the application becomes active, 0 when it stops
// being active; for ahMouseMove the parameters are the position in the window.
using TAppHookListener = void (*)(TAppHookKind kind, QObject* window, qintptr param1, qintptr param2);

void RegisterAppHook(TAppHookListener listener, TAppHookKinds kinds, bool countOnly = false);
void UnregisterAppHook(TAppHookListener listener);

// Whether the application has an active window.
bool ApplicationHasActiveWindow();
