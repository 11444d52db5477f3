#pragma once

// How our windows and controls present themselves to screen readers. Each
// control calls this once it is built; the first call installs the
// interfaces, later ones do nothing.
void InstallAccessibility();
