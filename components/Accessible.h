#pragma once

// How the custom controls present themselves to screen readers. The windows
// that use them call this before building them; the first call installs the
// interfaces, later ones do nothing.
void InstallAccessibility();
