// Intentionally empty: the shared library built from this file exists only to
// link the core libraries whole and prove they need no text relocations.
