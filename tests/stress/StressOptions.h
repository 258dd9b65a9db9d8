#pragma once

// How long the stress run lasts, set from the command line by the stress program's main.
inline double stressSeconds = 20.0;
