// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The offscreen platform plugin keeps its screen and cursor objects until the process ends: suppress
// exactly those leaks (the plugin has no frame pointers, hence the full unwinder). One include per test.
extern "C" {
__attribute__((used)) inline const char* __lsan_default_suppressions() { return "leak:QGuiApplicationPrivate::createPlatformIntegration\nleak:libqoffscreen.so\n"; }
__attribute__((used)) inline const char* __asan_default_options() { return "fast_unwind_on_malloc=0"; }
}
