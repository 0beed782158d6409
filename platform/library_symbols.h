// The common step of the tables that load a system library on first use
// instead of linking it: open the libraries and find every named function.
#pragma once

#include <cstddef>

namespace platform {

/// Opens each library of `libraries` (each a list of file names separated
/// by '|', tried in order, e.g. "libcdio.so.19|libcdio.so") and looks up
/// `names[i]` into `found[i]` in any of them. true when every library
/// opened and every name was found; `found` is all null otherwise. The
/// libraries stay loaded for the life of the process, as linked ones would.
bool load_library_symbols(const char *const *libraries, size_t library_count, const char *const *names,
                          void **found, size_t count);

}  // namespace platform

#define RAZAVORI_SYMBOL_NAME(name) #name,
#define RAZAVORI_SYMBOL_ASSIGN(name) \
  symbol_table.name = reinterpret_cast<decltype(symbol_table.name)>(symbol_found[symbol_index++]);

/// Fills `table` (one function pointer member per entry of the X-macro
/// LIST) from `libraries` (an array of '|'-separated file name lists);
/// evaluates to true when every function was found, leaving `table`
/// untouched otherwise.
#define RAZAVORI_LOAD_SYMBOLS(LIST, table, libraries)                                                  \
  [&](auto &symbol_table) {                                                                            \
    const char *const symbol_names[] = {LIST(RAZAVORI_SYMBOL_NAME)};                                   \
    void *symbol_found[sizeof symbol_names / sizeof *symbol_names];                                    \
    if (!platform::load_library_symbols(libraries, sizeof libraries / sizeof *libraries, symbol_names, \
                                        symbol_found, sizeof symbol_names / sizeof *symbol_names))     \
      return false;                                                                                    \
    size_t symbol_index = 0;                                                                           \
    LIST(RAZAVORI_SYMBOL_ASSIGN)                                                                       \
    return true;                                                                                       \
  }(table)
