#pragma once

// What the hook registry holds, for tests and diagnostics.

#include "components/AppHooks.h"

int AppHookUseCount(TAppHookListener listener);
int PlatformHookUseCount(TPlatformHook hook);
bool PlatformHookInstalled(TPlatformHook hook);
bool AppHookListExists();
