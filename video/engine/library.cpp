// libkestrum.so: the exports live in the engine library, taken in whole.
