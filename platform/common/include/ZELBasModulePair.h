/// @file ZELBasModulePair.h
/// The code base's counted start-up protocol, as each platform module takes part
/// in it: a module counter, and a caller's tally raised by 1 when the counter
/// goes 0 -> 1 and lowered by 1 when it goes 1 -> 0.
#pragma once

/// Marks a declaration a module exports.
#if defined(_WIN32)
#define ZELBAS_EXPORT __declspec(dllexport)
#define ZELBAS_IMPORT __declspec(dllimport)
#else
#define ZELBAS_EXPORT __attribute__((visibility("default")))
/// Marks a declaration a module takes from another module.
#define ZELBAS_IMPORT __attribute__((visibility("default")))
#endif

/// Called by a platform module on every initialize (up = 1) and finalize
/// (up = 0), before it counts; tests install one to see the order of calls.
typedef void (*ZELBasModuleObserver)(const char* module, int up);

/// Declares NAME_initialize(int&), NAME_finalize(int&), and two test hooks:
/// NAME_GetCounter() and NAME_SetObserver().
// NOLINTBEGIN(bugprone-macro-parentheses): API is a declaration specifier.
#define ZELBAS_DECLARE_MODULE_PAIR(NAME, API) \
  API void NAME##_initialize(int& tally);     \
  API void NAME##_finalize(int& tally);       \
  API int NAME##_GetCounter();                \
  API void NAME##_SetObserver(ZELBasModuleObserver observer);
// NOLINTEND(bugprone-macro-parentheses)

/// Defines the pair declared above; one use per platform module. The
/// counter and the observer are the module's own (hidden like the rest).
#define ZELBAS_DEFINE_MODULE_PAIR(NAME)                                   \
  struct NAME##_PairState {                                               \
    static inline int counter = 0;                                        \
    static inline ZELBasModuleObserver observer = nullptr;                \
  };                                                                      \
  void NAME##_initialize(int& tally) {                                    \
    if (NAME##_PairState::observer) NAME##_PairState::observer(#NAME, 1); \
    if (NAME##_PairState::counter++ == 0) ++tally;                        \
  }                                                                       \
  void NAME##_finalize(int& tally) {                                      \
    if (NAME##_PairState::observer) NAME##_PairState::observer(#NAME, 0); \
    if (--NAME##_PairState::counter == 0) --tally;                        \
  }                                                                       \
  int NAME##_GetCounter() { return NAME##_PairState::counter; }           \
  void NAME##_SetObserver(ZELBasModuleObserver observer) { NAME##_PairState::observer = observer; }
